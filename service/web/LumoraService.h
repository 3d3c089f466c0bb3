#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
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

class GidFile;

// The service's web endpoint on 127.0.0.1, for tests and for the local service of the run
// command: "clientinfo/" (the newest version and where its package lies), "getid/" (a new
// GID and password for a registration) and the update package itself, with HEAD and byte
// ranges so that downloads can resume. Tests can make it fail, break a download off after
// some bytes or lie about the package's size. Every request is recorded.
class LumoraService {
public:
    // What "clientinfo/" announces.
    struct VersionInfo {
        std::string version = "1.9.0";
        // Address of the package; empty: this service's own PACKAGE_PATH.
        std::string update;
        std::string download = "http://localhost/lumora/download/";
        std::string fileSize;
        std::string updateSize;
    };

    struct Request {
        std::string method;
        std::string path;
        std::string range;  // the Range header, empty when none
    };

    static constexpr const char* PACKAGE_PATH = "/update/update.zip";

    // Listens on a free port (0) or the given one; throws std::runtime_error when it cannot.
    explicit LumoraService(int port = 0, const std::string& host = "127.0.0.1");
    ~LumoraService();
    LumoraService(const LumoraService&) = delete;
    LumoraService& operator=(const LumoraService&) = delete;

    int port() const { return port_; }
    // "http://host:port/": the web root that the client's setting names.
    std::string root() const;
    std::string packageUrl() const { return root() + (PACKAGE_PATH + 1); }

    void setVersionInfo(const VersionInfo& info);
    // Replaces the "clientinfo/" reply with this one (an error page, say).
    void setClientInfoReply(int status, const std::string& contentType, const std::string& body);
    // The next count "clientinfo/" requests are answered with 503.
    void failClientInfo(int count);
    // The XML text that "clientinfo/" sends for the current version information.
    std::string clientInfoText() const;

    void setPackage(const std::string& bytes);
    // The next count package downloads stop after this many bytes of their reply.
    void breakDownloads(std::size_t afterBytes, int count);
    // Announces (HEAD and GET) this many bytes instead of the package's size; -1: true size.
    void declarePackageSize(long long size);

    // Called on the server's thread for every package GET, before it is answered.
    void setPackageRequestHook(std::function<void(const Request&)> hook);

    // The gid that the next "getid/" hands out (then counting up); each comes with a random
    // password.
    void setNextGid(long long gid);
    // Keeps the counter in this file from now on (see GidFile), so that ids stay unique
    // across restarts; the counter continues from the file, or from the current next gid
    // when that is larger. Throws std::runtime_error when the file holds no number.
    void keepGidsIn(const std::string& path);

    std::vector<Request> requests() const;
    std::size_t count(const std::string& method, const std::string& path) const;

    void stop();

private:
    void routes();
    void record(const httplib::Request& request);
    void answerClientInfo(const httplib::Request& request, httplib::Response& response);
    void answerGetId(const httplib::Request& request, httplib::Response& response);
    long long takeGid();
    void answerPackage(const httplib::Request& request, httplib::Response& response);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    std::string host_;
    int port_ = 0;

    mutable std::mutex mutex_;
    VersionInfo info_;
    bool rawClientInfo_ = false;
    int rawStatus_ = 200;
    std::string rawContentType_;
    std::string rawBody_;
    int clientInfoFailures_ = 0;
    std::shared_ptr<const std::string> package_;
    std::size_t breakAfter_ = 0;
    int breaksLeft_ = 0;
    long long declaredSize_ = -1;
    long long nextGid_ = 100001;
    std::unique_ptr<GidFile> gidFile_;
    std::function<void(const Request&)> packageHook_;
    std::vector<Request> requests_;
};

}  // namespace fixture
