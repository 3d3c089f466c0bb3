#pragma once

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace service {

// The local tile server: answers the block addresses of the three tile sources (see
// TileAddress) from a tile set on disk, <folder>/<set>/<z>/<x>/<y>.png or .jpg, and the two
// pages on which the sources look up their tile version: Google's "/maps?q=..." and
// Microsoft's root page. "/attribution.txt" serves the set's ATTRIBUTION.txt. A tile that
// the set does not have is answered with 404.
class TileServer {
public:
    struct Options {
        std::string folder;
        std::string host = "127.0.0.1";
        int port = 0;  // 0: any free port
        // The domain suffix the client's settings give the Google source (its tile hosts
        // are "mt" and "kh" followed by it) and the tile domain of the Microsoft source;
        // both appear on the version pages. Empty: ".localhost:<port>".
        std::string googleDomain;
        std::string microsoftDomain;
    };

    static constexpr const char* VERSION = "1";

    // Throws std::runtime_error when it cannot listen.
    explicit TileServer(const Options& options);
    ~TileServer();
    TileServer(const TileServer&) = delete;
    TileServer& operator=(const TileServer&) = delete;

    int port() const { return port_; }
    void stop();

private:
    void routes();
    void answerTile(const httplib::Request& request, httplib::Response& response) const;
    std::string googlePage() const;
    std::string microsoftPage() const;

    Options options_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace service
