#pragma once

#include <atomic>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace fixture {

// A real HTTP/1.1 server on 127.0.0.1 for tests, running in the test's own process on a
// free port. It serves whatever the test puts under an address, speaks real status codes,
// Content-Type, HEAD and byte ranges, and can be told to be slow, to break a reply off, to
// lie about its length or never to answer. Every request is recorded.
//
//   fixture::HttpServer server;
//   fixture::HttpServer::Resource tile;
//   tile.contentType = "image/png";
//   tile.body = pngBytes;
//   server.serve("/4/3/7.png", tile);
//   ... fetch server.url("/4/3/7.png") ...
//   EXPECT_EQ(server.count("GET", "/4/3/7.png"), 1u);
class HttpServer {
public:
    struct Resource {
        int status = 200;
        std::string contentType = "text/plain";
        std::string body;
        // Extra response headers (e.g. "Location" for a redirect).
        std::map<std::string, std::string> headers;
        // Answer "Range: bytes=N-" with 206 and the rest from N; false: ignore the header
        // and send the whole body with 200, as a server that cannot seek does.
        bool acceptRanges = true;
        // false: HEAD is answered with 405.
        bool allowHead = true;
        // Send the body in pieces of chunkSize bytes with chunkDelayMs between them
        // (0: all at once).
        std::size_t chunkSize = 0;
        int chunkDelayMs = 0;
        // Wait this long before answering at all.
        int responseDelayMs = 0;
        // Close the connection after this many body bytes (counted from the start of what
        // this reply sends); the declared length still promises the rest.
        std::size_t dropAfter = static_cast<std::size_t>(-1);
        // Declare this Content-Length instead of the body's size (-1: the true size). A
        // larger value makes the server close the connection after the real body.
        long long declaredLength = -1;
        // Accept the request and never answer (until the server stops).
        bool neverAnswer = false;
    };

    struct Request {
        std::string method;
        std::string target;  // path and query as sent
        std::string path;
        std::map<std::string, std::string> headers;  // names in lower case
        std::string header(const std::string& lowerName) const;
    };

    // Listens on a free port, or on the given one (to come back on the same address after
    // stop()).
    HttpServer();
    explicit HttpServer(int port);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:port"
    std::string hostAndPort() const;
    // "http://127.0.0.1:port" + target
    std::string url(const std::string& target = "/") const;

    // Serves resource at target. A target with a query ("/mt?n=404&v=1") matches only that
    // exact request; one without matches the path with any query. Later calls replace.
    void serve(const std::string& target, const Resource& resource);
    void remove(const std::string& target);
    // Answer for every request that matches nothing (default: 404 "Not Found").
    void serveDefault(const Resource& resource);

    std::vector<Request> requests() const;
    // Requests with this method whose target (or, for a target without "?", path) equals
    // the given one.
    std::size_t count(const std::string& method, const std::string& target) const;
    void clearRequests();

    // Stops answering and closes the port (the destructor does this too).
    void stop();

private:
    void handle(const httplib::Request& request, httplib::Response& response);
    bool find(const httplib::Request& request, Resource& resource) const;
    void record(const httplib::Request& request);
    void answer(const httplib::Request& request, httplib::Response& response,
                const Resource& resource);
    bool pause(int milliseconds) const;

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Resource> resources_;
    Resource fallback_;
    std::vector<Request> requests_;
};

}  // namespace fixture
