#include "client/maps/HTTPLoader.h"

#include <chrono>
#include <exception>

#include "client/maps/ConnectionManager.h"
#include "client/maps/IHTTPListener.h"
#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

using kestra::Log;

namespace {
constexpr int WAIT_MS = 5000;
constexpr unsigned int POLL_MS = 100;
constexpr std::int64_t PROBE_INTERVAL_MS = 10000;
}  // namespace

HTTPLoader::HTTPLoader(IHTTPListener* listener, const std::wstring& probeUrl, kestra::IClock& clock)
    : listener_(listener),
      probeUrl_(probeUrl),
      clock_(clock),
      thread_(this, L"HTTPLoader"),
      handler_([this] { return running_.load(); }) {
    ConnectionManager::initialise(probeUrl);
}

HTTPLoader::~HTTPLoader() {
    stop();
}

std::wstring HTTPLoader::serviceWebRoot() {
    std::wstring root;
    if (kestra::Settings::isReady() &&
        kestra::Settings::getStringValue(L"lumoraServer.webRoot", &root) && !root.empty()) {
        return root;
    }
    return DEFAULT_SERVICE_WEB_ROOT;
}

void HTTPLoader::start() {
    if (thread_.isRunning()) {
        return;
    }
    // Set before the thread starts, so that a stop() right after start() is never undone.
    running_ = true;
    thread_.start();
}

bool HTTPLoader::addRequest(std::unique_ptr<HTTPRequest> request) {
    if (!request) {
        return false;
    }
    {
        kestra::Mutex::Locker lock(queueLock_);
        if (!running_) {
            return false;
        }
        queue_.push_back(std::move(request));
    }
    {
        std::lock_guard<std::mutex> lock(eventMutex_);
        signalled_ = true;
    }
    event_.notify_one();
    return true;
}

std::size_t HTTPLoader::queuedCount() const {
    kestra::Mutex::Locker lock(queueLock_);
    return queue_.size();
}

// A transfer or a probe in progress sees the cleared flag within 50 ms and aborts.
void HTTPLoader::stop() {
    running_ = false;
    {
        std::lock_guard<std::mutex> lock(eventMutex_);
        signalled_ = true;
    }
    event_.notify_one();
    while (thread_.isRunning()) {
        kestra::Thread::sleep(POLL_MS);
    }
    kestra::Mutex::Locker lock(queueLock_);
    queue_.clear();
}

void HTTPLoader::waitForWork(int milliseconds) {
    std::unique_lock<std::mutex> lock(eventMutex_);
    event_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return signalled_; });
    signalled_ = false;
}

void HTTPLoader::run() {
    ConnectionManager::connect(probeUrl_, keepRunning());
    lastProbeMs_ = clock_.monotonicMs();
    while (running_) {
        waitForWork(WAIT_MS);
        kestra::Thread::sleep(POLL_MS);
        try {
            bool connected = checkConnection();
            while (running_ && connected) {
                std::unique_ptr<HTTPRequest> request = takeRequest();
                if (!request) {
                    break;
                }
                process(std::move(request));
                connected = ConnectionManager::getConnectedFlag();
            }
        } catch (const std::exception& e) {
            Log::error(std::string("HTTPLoader::run: exception \"") + e.what() + "\".");
        }
    }
}

// Probes at most every 10 seconds (of the steady clock: setting the calendar clock
// changes nothing here); in between the last answer stands.
bool HTTPLoader::checkConnection() {
    const std::int64_t now = clock_.monotonicMs();
    if (now - lastProbeMs_ <= PROBE_INTERVAL_MS) {
        return ConnectionManager::getConnectedFlag();
    }
    lastProbeMs_ = now;
    if (ConnectionManager::isConnected(keepRunning())) {
        return true;
    }
    return ConnectionManager::connect(probeUrl_, keepRunning());
}

ConnectionManager::KeepRunning HTTPLoader::keepRunning() {
    return [this] { return running_.load(); };
}

std::unique_ptr<HTTPRequest> HTTPLoader::takeRequest() {
    kestra::Mutex::Locker lock(queueLock_);
    if (queue_.empty()) {
        return nullptr;
    }
    std::unique_ptr<HTTPRequest> request = std::move(queue_.front());
    queue_.pop_front();
    return request;
}

void HTTPLoader::requeue(std::unique_ptr<HTTPRequest> request) {
    kestra::Mutex::Locker lock(queueLock_);
    if (running_) {
        queue_.push_back(std::move(request));
    }
}

// Request states: queued -> fetching -> delivered (success or failure), or back to queued
// when the fetch failed because the network is gone.
void HTTPLoader::process(std::unique_ptr<HTTPRequest> request) {
    auto result = std::make_unique<HTTPResult>();
    result->requestId = request->requestId;
    result->url = request->url;
    listener_->onHTTPStart();
    try {
        fetch(*request, *result);
    } catch (const kestra::HTTPException&) {
        if (!ConnectionManager::isConnected(keepRunning())) {
            requeue(std::move(request));
            ConnectionManager::connect(probeUrl_, keepRunning());
            if (running_) {
                listener_->onHTTPFinish();
            }
            return;
        }
        result->data.clear();
        result->error = 1;
    } catch (const std::exception& e) {
        Log::error(std::string("HTTPLoader::process: exception \"") + e.what() + "\".");
        result->data.clear();
        result->error = 1;
    }
    request.reset();
    if (running_) {
        listener_->onHTTPResult(std::move(result), this);
        listener_->onHTTPFinish();
    }
}

void HTTPLoader::fetch(const HTTPRequest& request, HTTPResult& result) {
    int status = 0;
    if (!request.saveToFile) {
        std::wstring contentType;
        result.data = handler_.loadFile(request.url, contentType, status);
        result.contentType = contentType;
        result.status = status;
        if (status != 200) {
            result.data.clear();
            result.error = 1;
        }
        result.size = result.data.size();
        return;
    }
    std::wstring host;
    std::wstring path;
    HTTPHandler::splitUrl(HTTPHandler::completeUrl(request.url), host, path);
    std::uint64_t bytes = 0;
    const int code = handler_.loadAndSaveFile(listener_, bytes, host, path, result.contentType,
                                              status, request.filePath);
    result.status = status;
    result.size = bytes;
    result.error = (status == 200 || status == 206 || code != 0) ? code : 1;
}
