#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "client/maps/ConnectionManager.h"
#include "client/maps/HTTPHandler.h"
#include "client/maps/HTTPRequest.h"
#include "client/maps/HTTPResult.h"
#include "kestra/Clock.h"
#include "kestra/IRunnable.h"
#include "kestra/Mutex.h"
#include "kestra/Thread.h"

class IHTTPListener;

// A worker thread "HTTPLoader" that fetches queued requests one after another and hands
// each result to its listener. Requests wait while the network is down (ConnectionManager)
// and go out when it is back.
//
// States: created -> running (start) -> stopped (stop; queued requests are dropped and a
// transfer in progress is aborted at once). Requests are accepted only while running.
class HTTPLoader : public kestra::IRunnable {
public:
    // probeUrl: the address whose answer means "connected" (the service's web site root).
    HTTPLoader(IHTTPListener* listener, const std::wstring& probeUrl,
               kestra::IClock& clock = kestra::SystemClock::instance());
    ~HTTPLoader() override;
    HTTPLoader(const HTTPLoader&) = delete;
    HTTPLoader& operator=(const HTTPLoader&) = delete;

    void start();
    // True once the thread runs and accepts requests.
    bool isStarted() const { return running_.load() && thread_.isRunning(); }
    bool isRunning() const { return running_.load(); }
    // Queues a request (oldest first) and wakes the thread; false (request dropped) when
    // the loader does not run.
    bool addRequest(std::unique_ptr<HTTPRequest> request);
    std::size_t queuedCount() const;
    void stop();

    // The service's web site root: setting "lumoraServer.webRoot", else
    // DEFAULT_SERVICE_WEB_ROOT.
    static std::wstring serviceWebRoot();
    static constexpr const wchar_t* DEFAULT_SERVICE_WEB_ROOT = L"http://localhost:5280/";

    void run() override;

private:
    bool checkConnection();
    // The probe of this loader ends when the loader stops.
    ConnectionManager::KeepRunning keepRunning();
    std::unique_ptr<HTTPRequest> takeRequest();
    void requeue(std::unique_ptr<HTTPRequest> request);
    void process(std::unique_ptr<HTTPRequest> request);
    void fetch(const HTTPRequest& request, HTTPResult& result);
    void waitForWork(int milliseconds);

    IHTTPListener* listener_;
    std::wstring probeUrl_;
    kestra::IClock& clock_;
    kestra::Thread thread_;
    std::atomic<bool> running_{false};
    mutable kestra::Mutex queueLock_;
    std::deque<std::unique_ptr<HTTPRequest>> queue_;
    // The wake-up event (auto-reset).
    std::mutex eventMutex_;
    std::condition_variable event_;
    bool signalled_ = false;
    std::int64_t lastProbeMs_ = 0;  // steady clock
    HTTPHandler handler_;
};
