#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// How a transfer is made. Every transfer follows redirects (http and https only), asks
// the origin for a fresh copy and can be aborted from outside while it runs.
struct HttpOptions {
    std::string userAgent;
    // Extra request header lines, "Name: value".
    std::vector<std::string> headers;
    // Polled about every 50 ms while the transfer runs; returning false aborts it at once.
    std::function<bool()> keepRunning;
    long connectTimeoutMs = 15000;
    // A transfer during which no byte arrives for this long is given up.
    long stallTimeoutSeconds = 30;
    long maxRedirects = 5;
    // A body held in memory larger than this ends the transfer as Rejected (0: no limit).
    std::uint64_t maxBodyBytes = 0;
};

// Outcomes: Complete (a whole response arrived, whatever its status), Aborted (keepRunning
// said stop), NoConnection (no response at all: the host could not be reached, refused,
// or never answered), Interrupted (a response started but its body did not arrive whole:
// a dropped connection, a Content-Length that lies, a stall), Rejected (the body sink
// refused the data, e.g. a failed file write).
enum class HttpOutcome { Complete, Aborted, NoConnection, Interrupted, Rejected };

// What one exchange produced. The header fields describe the final response after
// redirects.
struct HttpReply {
    HttpOutcome outcome = HttpOutcome::NoConnection;
    long status = 0;
    std::string contentType;
    // The declared body length of the response, -1 when the response declares none.
    std::int64_t contentLength = -1;
    // From a Content-Range header: the first byte sent and the whole resource's length
    // (-1 when absent).
    std::int64_t rangeStart = -1;
    std::int64_t rangeTotal = -1;
    // The body, for transfers into memory.
    std::string body;
    std::uint64_t bodyBytes = 0;
    // The transfer library's description of what went wrong (empty when Complete).
    std::string error;
};

// HTTP and HTTPS transfers over libcurl, run on the calling thread.
class HttpTransfer {
public:
    // Receives the body chunk by chunk. The reply passed along already holds the final
    // response's status and headers. Returning false ends the transfer as Rejected.
    using BodySink =
        std::function<bool(const HttpReply& reply, const char* data, std::size_t size)>;

    // GET with the body collected in reply.body.
    static HttpReply get(const std::string& url, const HttpOptions& options);
    // GET with the body handed to sink (reply.body stays empty).
    static HttpReply get(const std::string& url, const HttpOptions& options, const BodySink& sink);
    // HEAD: status and headers only.
    static HttpReply head(const std::string& url, const HttpOptions& options);
};

}  // namespace platform
