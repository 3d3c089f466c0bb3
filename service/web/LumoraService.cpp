#include "LumoraService.h"

#include <httplib.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include "GidFile.h"

namespace fixture {

LumoraService::LumoraService(int port, const std::string& host)
    : server_(std::make_unique<httplib::Server>()),
      host_(host),
      package_(std::make_shared<const std::string>()) {
    routes();
    port_ = port == 0 ? server_->bind_to_any_port(host_) : port;
    if (port_ <= 0 || (port != 0 && !server_->bind_to_port(host_, port_))) {
        throw std::runtime_error("LumoraService: cannot listen on " + host_ + ":" +
                                 std::to_string(port));
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // Requests made before the loop runs would wait in the backlog anyway; this only makes
    // is_running() true for the caller.
    for (int i = 0; i < 5000 && !server_->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

LumoraService::~LumoraService() {
    stop();
}

void LumoraService::stop() {
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
}

std::string LumoraService::root() const {
    return "http://" + host_ + ":" + std::to_string(port_) + "/";
}

void LumoraService::routes() {
    server_->Get("/clientinfo/", [this](const httplib::Request& q, httplib::Response& r) {
        record(q);
        answerClientInfo(q, r);
    });
    server_->Get("/getid/", [this](const httplib::Request& q, httplib::Response& r) {
        record(q);
        answerGetId(q, r);
    });
    server_->Get(PACKAGE_PATH, [this](const httplib::Request& q, httplib::Response& r) {
        record(q);
        answerPackage(q, r);
    });
    server_->set_error_handler([this](const httplib::Request& q, httplib::Response& r) {
        if (r.status == 404) {
            record(q);
            r.set_content("<html><body>Not Found</body></html>", "text/html");
        }
    });
}

void LumoraService::record(const httplib::Request& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back({request.method, request.path, request.get_header_value("Range")});
}

std::string LumoraService::clientInfoText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string update = info_.update.empty() ? packageUrl() : info_.update;
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<information>\n  <version>" +
           info_.version + "</version>\n  <update>" + update + "</update>\n  <download>" +
           info_.download + "</download>\n  <fileSize>" + info_.fileSize +
           "</fileSize>\n  <updateSize>" + info_.updateSize + "</updateSize>\n</information>\n";
}

void LumoraService::answerClientInfo(const httplib::Request&, httplib::Response& response) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (clientInfoFailures_ > 0) {
            --clientInfoFailures_;
            response.status = 503;
            response.set_content("<html><body>Service Unavailable</body></html>", "text/html");
            return;
        }
        if (rawClientInfo_) {
            response.status = rawStatus_;
            response.set_content(rawBody_, rawContentType_.c_str());
            return;
        }
    }
    response.set_content(clientInfoText(), "text/xml");
}

namespace {

// Twelve letters and digits from the system's random source.
std::string randomPassword() {
    static const char alphabet[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::random_device source;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(alphabet) - 2);
    std::string password;
    for (int i = 0; i < 12; ++i) {
        password.push_back(alphabet[pick(source)]);
    }
    return password;
}

}  // namespace

long long LumoraService::takeGid() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (gidFile_) {
        return gidFile_->take();
    }
    return nextGid_++;
}

// An id that could not be recorded is not handed out: a later start would give it again.
void LumoraService::answerGetId(const httplib::Request&, httplib::Response& response) {
    long long gid = 0;
    try {
        gid = takeGid();
    } catch (const std::exception& e) {
        response.status = 503;
        response.set_content(std::string("<html><body>") + e.what() + "</body></html>",
                             "text/html");
        return;
    }
    const std::string password = randomPassword();
    response.set_content("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<registration><gid>" +
                             std::to_string(gid) + "</gid><password>" + password +
                             "</password></registration>\n",
                         "text/xml");
}

// The package goes out through a content provider, so that byte ranges are honoured and a
// download can be broken off or promise more than it sends.
void LumoraService::answerPackage(const httplib::Request& request, httplib::Response& response) {
    std::shared_ptr<const std::string> package;
    std::size_t limit = static_cast<std::size_t>(-1);
    long long declared = -1;
    std::function<void(const Request&)> hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        package = package_;
        declared = declaredSize_;
        if (request.method == "GET" && breaksLeft_ > 0) {
            --breaksLeft_;
            limit = breakAfter_;
        }
        if (request.method == "GET") {
            hook = packageHook_;
        }
    }
    if (hook) {
        hook({request.method, request.path, request.get_header_value("Range")});
    }
    const std::size_t length = declared >= 0 ? static_cast<std::size_t>(declared) : package->size();
    auto sent = std::make_shared<std::size_t>(0);
    response.set_content_provider(
        length, "application/zip",
        [package, limit, sent](std::size_t offset, std::size_t size, httplib::DataSink& sink) {
            if (offset >= package->size() || *sent >= limit) {
                return false;  // promised more than there is, or told to break off
            }
            std::size_t count = std::min(size, package->size() - offset);
            count = std::min(count, limit - *sent);
            *sent += count;
            return sink.write(package->data() + offset, count);
        });
}

void LumoraService::setVersionInfo(const VersionInfo& info) {
    std::lock_guard<std::mutex> lock(mutex_);
    info_ = info;
    rawClientInfo_ = false;
}

void LumoraService::setClientInfoReply(int status, const std::string& contentType,
                                       const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    rawClientInfo_ = true;
    rawStatus_ = status;
    rawContentType_ = contentType;
    rawBody_ = body;
}

void LumoraService::failClientInfo(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    clientInfoFailures_ = count;
}

void LumoraService::setPackage(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    package_ = std::make_shared<const std::string>(bytes);
}

void LumoraService::breakDownloads(std::size_t afterBytes, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    breakAfter_ = afterBytes;
    breaksLeft_ = count;
}

void LumoraService::declarePackageSize(long long size) {
    std::lock_guard<std::mutex> lock(mutex_);
    declaredSize_ = size;
}

void LumoraService::setPackageRequestHook(std::function<void(const Request&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    packageHook_ = std::move(hook);
}

void LumoraService::setNextGid(long long gid) {
    std::lock_guard<std::mutex> lock(mutex_);
    nextGid_ = gid;
}

void LumoraService::keepGidsIn(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    gidFile_ = std::make_unique<GidFile>(path, nextGid_);
}

std::vector<LumoraService::Request> LumoraService::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::size_t LumoraService::count(const std::string& method, const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(requests_.begin(), requests_.end(),
                      [&](const Request& r) { return r.method == method && r.path == path; }));
}

}  // namespace fixture
