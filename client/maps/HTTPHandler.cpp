#include "client/maps/HTTPHandler.h"

#include <cstdio>
#include <filesystem>

#include "client/maps/IHTTPListener.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "platform/HttpTransfer.h"

#ifndef LUMORA_VERSION
#define LUMORA_VERSION "0"
#endif

using kestra::Log;
using platform::HttpOutcome;
using platform::HttpReply;
using platform::HttpTransfer;

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t MAX_MEMORY_BODY = 64u * 1024u * 1024u;
const char* const LOAD_PLACE = "HTTPHandler::loadFile";
const char* const SAVE_PLACE = "HTTPHandler::loadAndSaveFile";

[[noreturn]] void fail(const char* place, const std::string& text, const std::string& detail) {
    Log::error(std::string(place) + ": " + text + " " + detail);
    throw kestra::HTTPException(place, text);
}

// Header values are ASCII in practice; any other byte is taken as Latin-1.
std::wstring headerText(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (unsigned char c : text) {
        wide.push_back(static_cast<wchar_t>(c));
    }
    return wide;
}

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The target file of a download. It is opened before the GET and written only with the
// body of a 200 or 206 reply that fits where the file stands.
class DownloadFile {
public:
    DownloadFile(const std::string& path, std::uint64_t offset) : path_(path), offset_(offset) {
        file_ = std::fopen(path.c_str(), "r+b");
        if (file_ == nullptr) {
            file_ = std::fopen(path.c_str(), "w+b");
        }
        if (file_ == nullptr || std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
            close();
            fail(SAVE_PLACE, "Can not create file", path);
        }
    }
    ~DownloadFile() { close(); }
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    // Decides at the first chunk what the reply is good for.
    bool accept(const HttpReply& reply) {
        if (decided_) {
            return usable_;
        }
        decided_ = true;
        if (reply.status == 206 && reply.rangeStart == static_cast<std::int64_t>(offset_)) {
            usable_ = true;
        } else if (reply.status == 200) {
            usable_ = true;
            if (offset_ > 0) {
                // The server sends the whole file instead of the rest: start over.
                Log::error("HTTPLodar:InternetSetFilePointer error;");
                restart();
            }
        }
        return usable_;
    }

    bool write(const char* data, std::size_t size) {
        if (std::fwrite(data, 1, size, file_) != size) {
            return false;
        }
        written_ += size;
        return true;
    }

    void close() {
        if (file_ != nullptr) {
            std::fclose(file_);
            file_ = nullptr;
        }
    }

    std::uint64_t offset() const { return offset_; }
    std::uint64_t written() const { return written_; }

private:
    void restart() {
        std::fclose(file_);
        file_ = std::fopen(path_.c_str(), "w+b");
        offset_ = 0;
        if (file_ == nullptr) {
            fail(SAVE_PLACE, "Can not create file", path_);
        }
    }

    std::string path_;
    std::FILE* file_ = nullptr;
    std::uint64_t offset_;
    std::uint64_t written_ = 0;
    bool decided_ = false;
    bool usable_ = false;
};

// The whole resource's size as a reply declares it, -1 when unknown.
std::int64_t declaredTotal(const HttpReply& reply) {
    if (reply.status == 206) {
        return reply.rangeTotal;
    }
    return reply.status == 200 ? reply.contentLength : -1;
}

}  // namespace

HTTPHandler::HTTPHandler(std::function<bool()> keepRunning)
    : keepRunning_(std::move(keepRunning)) {}

std::string HTTPHandler::userAgent() {
    std::wstring agent;
    if (kestra::Settings::isReady() &&
        kestra::Settings::getStringValue(L"general.userAgent", &agent) && !agent.empty()) {
        return kestra::wideToUtf8(agent);
    }
    return std::string("Lumora/") + LUMORA_VERSION;
}

std::wstring HTTPHandler::completeUrl(const std::wstring& url) {
    if (startsWith(url, L"http://") || startsWith(url, L"https://")) {
        return url;
    }
    return L"http://" + url;
}

std::wstring HTTPHandler::joinHostPath(const std::wstring& host, const std::wstring& path) {
    if (startsWith(path, L"/")) {
        return host + path;
    }
    return host + L"/" + path;
}

void HTTPHandler::splitUrl(const std::wstring& url, std::wstring& host, std::wstring& path) {
    std::size_t start = 0;
    if (startsWith(url, L"http://")) {
        start = 7;
    } else if (startsWith(url, L"https://")) {
        start = 8;
    }
    const std::size_t slash = url.find(L'/', start);
    if (slash == std::wstring::npos) {
        host = url;
        path = L"/";
        return;
    }
    host = url.substr(0, slash);
    path = url.substr(slash);
}

std::string HTTPHandler::loadFile(const std::wstring& host, const std::wstring& path,
                                  std::wstring& contentType, int& status) {
    return loadFile(joinHostPath(host, path), contentType, status);
}

std::string HTTPHandler::loadFile(const std::wstring& url, std::wstring& contentType, int& status) {
    const std::string address = kestra::wideToUtf8(completeUrl(url));
    platform::HttpOptions options;
    options.userAgent = userAgent();
    options.keepRunning = keepRunning_;
    options.stallTimeoutSeconds = stallTimeoutSeconds_;
    options.maxBodyBytes = MAX_MEMORY_BODY;
    HttpReply reply = HttpTransfer::get(address, options);
    switch (reply.outcome) {
        case HttpOutcome::NoConnection:
            fail(LOAD_PLACE, "Can not open URL", address + " (" + reply.error + ")");
        case HttpOutcome::Interrupted:
            fail(LOAD_PLACE, "Transfer interrupted", address + " (" + reply.error + ")");
        case HttpOutcome::Rejected:
            fail(LOAD_PLACE, "Response too large", address);
        case HttpOutcome::Aborted:
            reply.body.clear();  // a stopped transfer never passes for a whole one
            break;
        case HttpOutcome::Complete:
            break;
    }
    status = static_cast<int>(reply.status);
    contentType = headerText(reply.contentType);
    return std::move(reply.body);
}

namespace {

platform::HttpOptions transferOptions(const std::function<bool()>& keepRunning,
                                      long stallTimeoutSeconds) {
    platform::HttpOptions options;
    options.userAgent = HTTPHandler::userAgent();
    options.keepRunning = keepRunning;
    options.stallTimeoutSeconds = stallTimeoutSeconds;
    return options;
}

// The size the server announces for a plain GET, -1 when it does not say.
std::int64_t askSize(const std::string& address, platform::HttpOptions options) {
    options.headers.push_back("Connection: close");
    const HttpReply head = HttpTransfer::head(address, options);
    if (head.outcome == HttpOutcome::NoConnection) {
        fail(SAVE_PLACE, "Can not open URL", address + " (" + head.error + ")");
    }
    if (head.outcome == HttpOutcome::Complete && head.status == 200) {
        return head.contentLength;
    }
    return -1;
}

}  // namespace

int HTTPHandler::loadAndSaveFile(IHTTPListener* listener, std::uint64_t& bytesRead,
                                 const std::wstring& host, const std::wstring& path,
                                 std::wstring& contentType, int& status,
                                 const std::wstring& filePath) {
    bytesRead = 0;
    const std::string address = kestra::wideToUtf8(completeUrl(joinHostPath(host, path)));
    const std::string target = kestra::wideToUtf8(filePath);
    const platform::HttpOptions options = transferOptions(keepRunning_, stallTimeoutSeconds_);
    const std::int64_t serverSize = askSize(address, options);
    if (!running()) {
        return 2;
    }

    // Keep, resume or restart what is already there.
    std::uint64_t offset = 0;
    std::error_code ec;
    if (fs::is_regular_file(target, ec)) {
        const std::uint64_t fileSize = fs::file_size(target, ec);
        bool reload = false;
        if (serverSize >= 0 && fileSize == static_cast<std::uint64_t>(serverSize)) {
            if (!running() || listener == nullptr || !listener->isFileToReload(filePath)) {
                bytesRead = fileSize;
                return 2;
            }
            reload = true;
        }
        if (reload || serverSize < 0 || static_cast<std::uint64_t>(serverSize) < fileSize) {
            fs::remove(target, ec);
        } else {
            offset = fileSize;
        }
    }
    const HttpReply reply = receive(address, target, offset, options, bytesRead);
    status = static_cast<int>(reply.status);
    contentType = headerText(reply.contentType);
    if (!running()) {
        return 2;
    }
    const std::int64_t total = serverSize >= 0 ? serverSize : declaredTotal(reply);
    const bool complete = reply.outcome == HttpOutcome::Complete && bytesRead > offset &&
                          total >= 0 && bytesRead == static_cast<std::uint64_t>(total);
    return complete ? 0 : 1;
}

HttpReply HTTPHandler::receive(const std::string& address, const std::string& target,
                               std::uint64_t& offset, platform::HttpOptions options,
                               std::uint64_t& bytesRead) {
    if (offset > 0) {
        options.headers.push_back("Range: bytes=" + std::to_string(offset) + "-");
    }
    DownloadFile file(target, offset);
    bool writeFailed = false;
    const HttpReply reply = HttpTransfer::get(
        address, options, [&](const HttpReply& head, const char* data, std::size_t size) {
            if (!file.accept(head)) {
                return true;  // an error page or a misplaced range never reaches the file
            }
            if (!file.write(data, size)) {
                writeFailed = true;
                return false;
            }
            return true;
        });
    file.close();
    if (writeFailed) {
        fail(SAVE_PLACE, "WriteFile error.", target);
    }
    if (reply.outcome == HttpOutcome::NoConnection) {
        fail(SAVE_PLACE, "Can not send request GET", address + " (" + reply.error + ")");
    }
    offset = file.offset();
    bytesRead = file.written() + file.offset();
    return reply;
}
