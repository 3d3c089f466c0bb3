#include "platform/HttpTransfer.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdlib>
#include <mutex>

namespace platform {
namespace {

constexpr int POLL_MS = 50;

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool startsWithNoCase(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) !=
                                    std::tolower(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

std::string trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) {
        ++begin;
    }
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::int64_t parseNumber(const std::string& text) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) {
        return -1;
    }
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return value < 0 ? -1 : value;
}

// The state of one exchange, shared with libcurl's callbacks.
struct Exchange {
    HttpReply reply;
    const HttpTransfer::BodySink* sink = nullptr;
    std::uint64_t maxBody = 0;
    bool sawResponse = false;
    bool rejected = false;
};

// "HTTP/1.1 206 Partial Content": a new response begins (redirects and interim replies
// each start one), so the header fields of the previous one are forgotten.
void takeStatusLine(Exchange& ex, const std::string& line) {
    ex.sawResponse = true;
    HttpReply& r = ex.reply;
    r.contentType.clear();
    r.contentLength = -1;
    r.rangeStart = -1;
    r.rangeTotal = -1;
    const std::size_t space = line.find(' ');
    r.status = space == std::string::npos ? 0 : std::atol(line.c_str() + space + 1);
}

// "Content-Range: bytes 100-199/1000"
void takeContentRange(HttpReply& r, const std::string& value) {
    const std::size_t space = value.find(' ');
    const std::size_t dash = value.find('-');
    const std::size_t slash = value.find('/');
    if (space == std::string::npos || dash == std::string::npos || slash == std::string::npos) {
        return;
    }
    r.rangeStart = parseNumber(value.substr(space + 1, dash - space - 1));
    r.rangeTotal = parseNumber(value.substr(slash + 1));
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    Exchange& ex = *static_cast<Exchange*>(user);
    const std::string line(data, size * count);
    if (startsWithNoCase(line, "HTTP/")) {
        takeStatusLine(ex, line);
    } else if (startsWithNoCase(line, "content-type:")) {
        ex.reply.contentType = trim(line.substr(13));
    } else if (startsWithNoCase(line, "content-length:")) {
        ex.reply.contentLength = parseNumber(trim(line.substr(15)));
    } else if (startsWithNoCase(line, "content-range:")) {
        takeContentRange(ex.reply, trim(line.substr(14)));
    }
    return size * count;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    Exchange& ex = *static_cast<Exchange*>(user);
    const std::size_t n = size * count;
    ex.reply.bodyBytes += n;
    if (ex.maxBody != 0 && ex.reply.bodyBytes > ex.maxBody) {
        ex.rejected = true;
        return 0;  // anything but n makes libcurl end the transfer
    }
    if (ex.sink != nullptr) {
        if (!(*ex.sink)(ex.reply, data, n)) {
            ex.rejected = true;
            return 0;
        }
    } else {
        ex.reply.body.append(data, n);
    }
    return n;
}

curl_slist* headerList(const HttpOptions& options) {
    curl_slist* list = nullptr;
    // Always from the origin, never from a cache on the way.
    list = curl_slist_append(list, "Cache-Control: no-cache");
    list = curl_slist_append(list, "Pragma: no-cache");
    for (const std::string& header : options.headers) {
        list = curl_slist_append(list, header.c_str());
    }
    return list;
}

void configure(CURL* easy, const std::string& url, const HttpOptions& options, Exchange& ex,
               curl_slist* headers) {
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, options.maxRedirects);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, options.userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, options.stallTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &ex);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &ex);
}

// Drives the transfer in short steps so that keepRunning is looked at every 50 ms, also
// while the server is silent. Returns libcurl's result, or nothing when aborted.
bool drive(CURL* easy, const HttpOptions& options, CURLcode& result) {
    CURLM* multi = curl_multi_init();
    curl_multi_add_handle(multi, easy);
    bool aborted = false;
    int running = 1;
    result = CURLE_FAILED_INIT;
    for (;;) {
        if (options.keepRunning && !options.keepRunning()) {
            aborted = true;
            break;
        }
        if (curl_multi_perform(multi, &running) != CURLM_OK || running == 0) {
            break;
        }
        curl_multi_poll(multi, nullptr, 0, POLL_MS, nullptr);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE) {
            result = message->data.result;
        }
    }
    curl_multi_remove_handle(multi, easy);
    curl_multi_cleanup(multi);
    return !aborted;
}

HttpReply perform(const std::string& url, const HttpOptions& options, bool headOnly,
                  const HttpTransfer::BodySink* sink, std::uint64_t maxBody) {
    initialiseOnce();
    Exchange ex;
    ex.sink = sink;
    ex.maxBody = maxBody;
    CURL* easy = curl_easy_init();
    if (easy == nullptr) {
        ex.reply.error = "the transfer library cannot start a transfer";
        return ex.reply;
    }
    curl_slist* headers = headerList(options);
    configure(easy, url, options, ex, headers);
    if (headOnly) {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    }
    CURLcode result = CURLE_OK;
    const bool finished = drive(easy, options, result);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);

    HttpReply& reply = ex.reply;
    if (!finished) {
        reply.outcome = HttpOutcome::Aborted;
        reply.error = "aborted";
    } else if (result == CURLE_OK) {
        reply.outcome = HttpOutcome::Complete;
    } else {
        reply.error = curl_easy_strerror(result);
        if (ex.rejected) {
            reply.outcome = HttpOutcome::Rejected;
        } else if (!ex.sawResponse) {
            reply.outcome = HttpOutcome::NoConnection;
        } else {
            reply.outcome = HttpOutcome::Interrupted;
        }
    }
    return reply;
}

}  // namespace

HttpReply HttpTransfer::get(const std::string& url, const HttpOptions& options) {
    return perform(url, options, false, nullptr, options.maxBodyBytes);
}

HttpReply HttpTransfer::get(const std::string& url, const HttpOptions& options,
                            const BodySink& sink) {
    return perform(url, options, false, &sink, 0);
}

HttpReply HttpTransfer::head(const std::string& url, const HttpOptions& options) {
    return perform(url, options, true, nullptr, 0);
}

}  // namespace platform
