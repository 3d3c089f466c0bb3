#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/HttpTransfer.h"

class IHTTPListener;

// Synchronous HTTP fetches on the caller's thread: a document into memory, or a resumable
// download into a file. Addresses without a scheme get "http://"; "https://" works too, and
// redirects are followed. Every request names the program and its version as its user
// agent (settings key "general.userAgent" overrides it).
//
// A transfer polls keepRunning (given at construction) and ends promptly once it turns
// false: the maps loader and the HTTP loader stop their downloads this way.
class HTTPHandler {
public:
    explicit HTTPHandler(std::function<bool()> keepRunning = {});

    // GET into memory. Returns the body and reports the status and Content-Type of the
    // final response (also for an empty body). Throws kestra::HTTPException
    // ("HTTPHandler::loadFile") with "Can not open URL" when no response arrives at all,
    // with "Transfer interrupted" when the body breaks off before its end, and with
    // "Response too large" beyond 64 MiB. An aborted transfer returns an empty body.
    std::string loadFile(const std::wstring& url, std::wstring& contentType, int& status);
    // The same for host and path, joined with "/" unless the path starts with one.
    std::string loadFile(const std::wstring& host, const std::wstring& path,
                         std::wstring& contentType, int& status);

    // Download states: asking the size (HEAD) -> deciding (keep, resume or restart the
    // target file) -> receiving (GET, with "Range: bytes=N-" when resuming) -> done.
    // Results: 0 the file is complete; 1 incomplete (a failure, a broken reply, an unknown
    // or different size); 2 nothing done: stopped, or the complete file was kept because
    // the listener declined a reload. bytesRead is what the file holds afterwards. A server
    // that ignores the range restarts the file from byte 0 (logged as
    // "HTTPLodar:InternetSetFilePointer error;"); only 200 and 206 bodies reach the file.
    // Throws kestra::HTTPException ("HTTPHandler::loadAndSaveFile") when the server cannot
    // be reached, the file cannot be created ("Can not create file") or written
    // ("WriteFile error.").
    int loadAndSaveFile(IHTTPListener* listener, std::uint64_t& bytesRead, const std::wstring& host,
                        const std::wstring& path, std::wstring& contentType, int& status,
                        const std::wstring& filePath);

    // A transfer during which nothing arrives for this long is given up (default 30 s).
    void setStallTimeout(long seconds) { stallTimeoutSeconds_ = seconds; }

    // "http://" in front of an address that names no scheme; otherwise unchanged.
    static std::wstring completeUrl(const std::wstring& url);
    // host + "/" + path, or host + path when path starts with "/".
    static std::wstring joinHostPath(const std::wstring& host, const std::wstring& path);
    // Splits an address into host (with its scheme, if any) and path (from the first "/"
    // after the host, "/" when there is none).
    static void splitUrl(const std::wstring& url, std::wstring& host, std::wstring& path);
    // "Lumora/<version>", or the value of "general.userAgent" when that is set.
    static std::string userAgent();

private:
    // The GET of a download; offset may fall back to 0 when the server ignores the range.
    platform::HttpReply receive(const std::string& address, const std::string& target,
                                std::uint64_t& offset, platform::HttpOptions options,
                                std::uint64_t& bytesRead);
    bool running() const { return !keepRunning_ || keepRunning_(); }

    std::function<bool()> keepRunning_;
    long stallTimeoutSeconds_ = 30;
};
