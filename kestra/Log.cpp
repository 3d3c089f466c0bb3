#include "kestra/Log.h"

#include <atomic>
#include <cstdio>
#include <filesystem>

#include "kestra/Mutex.h"
#include "kestra/TextCodec.h"

namespace kestra {
namespace {

Mutex& logMutex() {
    static Mutex mutex;
    return mutex;
}

std::FILE* logFile = nullptr;  // guarded by logMutex()
std::atomic<int> logThreshold{LOG_INFO};

std::string narrowPath(const std::wstring& path) {
    return wideToUtf8(path);
}

}  // namespace

bool Log::open(const std::wstring& path, int threshold, std::uintmax_t sizeLimit) {
    Mutex::Locker lock(logMutex());
    if (logFile != nullptr) {
        std::fclose(logFile);
        logFile = nullptr;
    }
    const std::string file = narrowPath(path);
    if (file.empty()) {
        return false;
    }
    // Measure the file by opening it for appending, as the size check always did. "e"
    // (close-on-exec): a program this one starts (the updater, the client) must not
    // inherit the log and write into it.
    std::FILE* probe = std::fopen(file.c_str(), "abe");
    if (probe == nullptr) {
        return false;
    }
    std::fseek(probe, 0, SEEK_END);
    const long size = std::ftell(probe);
    std::fclose(probe);
    const bool tooLarge = size > 0 && static_cast<std::uintmax_t>(size) > sizeLimit;
    logFile = std::fopen(file.c_str(), tooLarge ? "wbe" : "abe");
    logThreshold = threshold;
    return logFile != nullptr;
}

void Log::close() {
    Mutex::Locker lock(logMutex());
    if (logFile != nullptr) {
        std::fclose(logFile);
        logFile = nullptr;
    }
}

bool Log::isOpen() {
    Mutex::Locker lock(logMutex());
    return logFile != nullptr;
}

int Log::threshold() {
    return logThreshold.load();
}

std::wstring Log::levelTag(int level) {
    switch (level) {
        case LOG_ERROR:
            return L"[ERROR]";
        case LOG_WARNING:
            return L"[WARNING]";
        case LOG_INFO:
            return L"[INFO]";
        case LOG_DEBUG:
            return L"[DEBUG]";
        default:
            return std::wstring();
    }
}

void Log::write(const std::string& message, int level) {
    if (level > logThreshold.load()) {
        return;
    }
    const std::string line = wideToUtf8(levelTag(level)) + " " + message + "\n";
    Mutex::Locker lock(logMutex());
    if (logFile == nullptr) {
        return;
    }
    std::fwrite(line.data(), 1, line.size(), logFile);
    std::fflush(logFile);
}

void Log::write(const std::wstring& message, int level) {
    if (level > logThreshold.load()) {
        return;
    }
    std::string text = wideToUtf8(message);
    if (text.empty() && !message.empty()) {
        // Not valid text: keep what can be kept rather than losing the line.
        for (wchar_t c : message) {
            text.push_back(static_cast<unsigned>(c) < 0x80 ? static_cast<char>(c) : '?');
        }
    }
    write(text, level);
}

}  // namespace kestra
