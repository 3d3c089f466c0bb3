#pragma once

#include <cstdint>
#include <string>

namespace kestra {

enum LogLevel { LOG_ERROR = 0, LOG_WARNING = 1, LOG_INFO = 2, LOG_DEBUG = 3 };

// The process-wide log: one file, lines of "tag message", flushed after every line. Any
// thread may write; a lock keeps lines whole. Before open() every line is dropped.
// Wide messages are written as UTF-8; narrow ones are taken to be UTF-8 already.
class Log {
public:
    // Opens path for appending. A file larger than sizeLimit bytes is emptied first.
    // Returns false when the file cannot be opened (the log then stays silent).
    static bool open(const std::wstring& path, int threshold, std::uintmax_t sizeLimit);
    static void close();
    static bool isOpen();

    static void write(const std::wstring& message, int level);
    static void write(const std::string& message, int level);
    static void error(const std::wstring& message) { write(message, LOG_ERROR); }
    static void error(const std::string& message) { write(message, LOG_ERROR); }
    static void warning(const std::wstring& message) { write(message, LOG_WARNING); }
    static void warning(const std::string& message) { write(message, LOG_WARNING); }
    static void info(const std::wstring& message) { write(message, LOG_INFO); }
    static void info(const std::string& message) { write(message, LOG_INFO); }
    static void debug(const std::wstring& message) { write(message, LOG_DEBUG); }
    static void debug(const std::string& message) { write(message, LOG_DEBUG); }

    static std::wstring levelTag(int level);
    static int threshold();
};

}  // namespace kestra
