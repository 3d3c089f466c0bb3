#include "testing/http/HttpServer.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>

namespace fixture {
namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string pathOf(const std::string& target) {
    return target.substr(0, target.find('?'));
}

}  // namespace

std::string HttpServer::Request::header(const std::string& lowerName) const {
    const auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

HttpServer::HttpServer() : HttpServer(0) {}

HttpServer::HttpServer(int port) : server_(std::make_unique<httplib::Server>()) {
    fallback_.status = 404;
    fallback_.body = "Not Found";
    // One request per connection: a stopping server never waits for idle keep-alive
    // connections, and every request of a test is a fresh exchange.
    server_->set_keep_alive_max_count(1);
    auto handler = [this](const httplib::Request& request, httplib::Response& response) {
        handle(request, response);
    };
    server_->Get(".*", handler);
    server_->Post(".*", handler);
    if (port == 0) {
        port_ = server_->bind_to_any_port("127.0.0.1");
    } else if (server_->bind_to_port("127.0.0.1", port)) {
        port_ = port;
    }
    if (port_ <= 0) {
        throw std::runtime_error("HttpServer: cannot bind a port on 127.0.0.1");
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // The port listens already; wait for the accepting loop so that stop() can end it.
    for (int i = 0; i < 10000 && !server_->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

HttpServer::~HttpServer() {
    stop();
}

void HttpServer::stop() {
    stopping_ = true;
    if (server_) {
        server_->stop();
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::string HttpServer::hostAndPort() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::string HttpServer::url(const std::string& target) const {
    return "http://" + hostAndPort() + target;
}

void HttpServer::serve(const std::string& target, const Resource& resource) {
    std::lock_guard<std::mutex> lock(mutex_);
    resources_[target] = resource;
}

void HttpServer::remove(const std::string& target) {
    std::lock_guard<std::mutex> lock(mutex_);
    resources_.erase(target);
}

void HttpServer::serveDefault(const Resource& resource) {
    std::lock_guard<std::mutex> lock(mutex_);
    fallback_ = resource;
}

std::vector<HttpServer::Request> HttpServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::size_t HttpServer::count(const std::string& method, const std::string& target) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool withQuery = target.find('?') != std::string::npos;
    return static_cast<std::size_t>(
        std::count_if(requests_.begin(), requests_.end(), [&](const Request& r) {
            return r.method == method && (withQuery ? r.target : r.path) == target;
        }));
}

void HttpServer::clearRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

void HttpServer::record(const httplib::Request& request) {
    Request r;
    r.method = request.method;
    r.target = request.target;
    r.path = pathOf(request.target);
    for (const auto& [name, value] : request.headers) {
        r.headers[lower(name)] = value;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(r);
}

bool HttpServer::find(const httplib::Request& request, Resource& resource) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = resources_.find(request.target);
    if (it == resources_.end()) {
        it = resources_.find(pathOf(request.target));
    }
    if (it == resources_.end()) {
        resource = fallback_;
        return false;
    }
    resource = it->second;
    return true;
}

// Sleeps in short steps; false when the server began to stop meanwhile.
bool HttpServer::pause(int milliseconds) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) {
        if (stopping_) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return !stopping_;
}

void HttpServer::handle(const httplib::Request& request, httplib::Response& response) {
    record(request);
    Resource resource;
    find(request, resource);
    if (resource.neverAnswer) {
        while (pause(1000)) {
        }
        response.status = 503;
        return;
    }
    if (resource.responseDelayMs > 0 && !pause(resource.responseDelayMs)) {
        response.status = 503;
        return;
    }
    if (request.method == "HEAD" && !resource.allowHead) {
        response.status = 405;
        return;
    }
    answer(request, response, resource);
}

void HttpServer::answer(const httplib::Request& request, httplib::Response& response,
                        const Resource& resource) {
    if (resource.status != 200) {
        response.status = resource.status;
    }  // else left unset, so that the library answers a range with 206
    for (const auto& [name, value] : resource.headers) {
        response.set_header(name, value);
    }
    if (!resource.acceptRanges) {
        // The library answers ranges itself; a server that cannot seek never sees them.
        const_cast<httplib::Request&>(request).ranges.clear();
    }
    const std::size_t length = resource.declaredLength >= 0
                                   ? static_cast<std::size_t>(resource.declaredLength)
                                   : resource.body.size();
    auto first = std::make_shared<std::size_t>(static_cast<std::size_t>(-1));
    response.set_content_provider(
        length, resource.contentType,
        [this, resource, first](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (*first == static_cast<std::size_t>(-1)) {
                *first = offset;
            }
            const std::size_t sent = offset - *first;
            if (offset >= resource.body.size() || sent >= resource.dropAfter) {
                return false;  // closes the connection: the reply is cut short
            }
            std::size_t n = resource.body.size() - offset;
            n = std::min(n, resource.dropAfter - sent);
            if (resource.chunkSize > 0) {
                n = std::min(n, resource.chunkSize);
                if (resource.chunkDelayMs > 0 && sent > 0 && !pause(resource.chunkDelayMs)) {
                    return false;
                }
            }
            return sink.write(resource.body.data() + offset, n);
        });
}

}  // namespace fixture
