#include "TileServer.h"

#include <httplib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "TileAddress.h"

namespace service {

namespace {

bool readFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

std::map<std::string, std::string> queryOf(const httplib::Request& request) {
    std::map<std::string, std::string> query;
    for (const auto& p : request.params) {
        query.emplace(p.first, p.second);
    }
    return query;
}

void notFound(httplib::Response& response) {
    response.status = 404;
    response.set_content("<html><body>Not Found</body></html>", "text/html");
}

}  // namespace

TileServer::TileServer(const Options& options)
    : options_(options), server_(std::make_unique<httplib::Server>()) {
    routes();
    port_ = options_.port == 0 ? server_->bind_to_any_port(options_.host) : options_.port;
    if (port_ <= 0 || (options_.port != 0 && !server_->bind_to_port(options_.host, port_))) {
        throw std::runtime_error("cannot listen on " + options_.host + ":" +
                                 std::to_string(options_.port));
    }
    const std::string own = ".localhost:" + std::to_string(port_);
    if (options_.googleDomain.empty()) {
        options_.googleDomain = own;
    }
    if (options_.microsoftDomain.empty()) {
        options_.microsoftDomain = own;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    for (int i = 0; i < 5000 && !server_->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TileServer::~TileServer() {
    stop();
}

void TileServer::stop() {
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

void TileServer::routes() {
    server_->Get("/", [this](const httplib::Request&, httplib::Response& r) {
        r.set_content(microsoftPage(), "text/html");
    });
    server_->Get("/maps", [this](const httplib::Request&, httplib::Response& r) {
        r.set_content(googlePage(), "text/html");
    });
    server_->Get("/attribution.txt", [this](const httplib::Request&, httplib::Response& r) {
        std::string text;
        if (!readFile(options_.folder + "/ATTRIBUTION.txt", text)) {
            notFound(r);
            return;
        }
        r.set_content(text, "text/plain; charset=utf-8");
    });
    server_->Get(".*",
                 [this](const httplib::Request& q, httplib::Response& r) { answerTile(q, r); });
}

void TileServer::answerTile(const httplib::Request& request, httplib::Response& response) const {
    const std::optional<TileAddress> tile = TileAddress::parse(request.path, queryOf(request));
    if (!tile) {
        notFound(response);
        return;
    }
    const std::string base = options_.folder + "/" + tile->folder() + "/" +
                             std::to_string(tile->z) + "/" + std::to_string(tile->x) + "/" +
                             std::to_string(tile->y);
    std::string bytes;
    if (readFile(base + ".png", bytes)) {
        response.set_content(bytes, "image/png");
    } else if (readFile(base + ".jpg", bytes)) {
        response.set_content(bytes, "image/jpeg");
    } else {
        notFound(response);
    }
}

// The text the Google source searches for its version: the tile servers written with the
// page's escapes (\x3d is "=", \x26 is "&") as literal characters.
std::string TileServer::googlePage() const {
    const std::string tail = std::string("?n\\x3d404\\x26v\\x3d") + VERSION + "\\x26";
    return "<html><head><title>Lumora local tiles</title></head><body><script>var tiles = ["
           "\"http://mt0" +
           options_.googleDomain + "/mt" + tail + "\", \"http://khm0" + options_.googleDomain +
           "/kh" + tail + "\"];</script></body></html>\n";
}

std::string TileServer::microsoftPage() const {
    std::string page = "<html><head><title>Lumora local tiles</title></head><body>";
    for (const char* letter : {"r", "a", "h"}) {
        page += std::string("<img src=\"http://t0") + options_.microsoftDomain + "/tiles/" +
                letter + "0?g=" + VERSION + "\">";
    }
    return page + "</body></html>\n";
}

}  // namespace service
