#include "client/maps/ConnectionManager.h"

#include <atomic>

#include "client/maps/HTTPHandler.h"
#include "kestra/Mutex.h"
#include "kestra/TextCodec.h"
#include "platform/HttpTransfer.h"
#include "platform/NetworkLink.h"

namespace {

constexpr long PROBE_CONNECT_TIMEOUT_MS = 5000;
constexpr long PROBE_STALL_SECONDS = 10;

struct State {
    kestra::Mutex mutex;
    std::atomic<bool> connected{false};
    std::atomic<bool> stopping{false};
    bool haveLink = false;
    std::wstring probeUrl;
    std::function<bool()> linkCheck;
};

State& state() {
    static State s;
    return s;
}

bool linkUp(State& s) {
    return s.linkCheck ? s.linkCheck() : platform::networkLinkUp();
}

// Any HTTP answer at all counts: the network works even when the page is missing.
bool probeAnswers(State& s) {
    if (s.probeUrl.empty()) {
        return false;
    }
    platform::HttpOptions options;
    options.userAgent = HTTPHandler::userAgent();
    options.connectTimeoutMs = PROBE_CONNECT_TIMEOUT_MS;
    options.stallTimeoutSeconds = PROBE_STALL_SECONDS;
    options.keepRunning = [&s] { return !s.stopping.load(); };
    const std::string address = kestra::wideToUtf8(HTTPHandler::completeUrl(s.probeUrl));
    return platform::HttpTransfer::head(address, options).outcome ==
           platform::HttpOutcome::Complete;
}

}  // namespace

void ConnectionManager::initialise(const std::wstring& probeUrl) {
    State& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    s.connected = false;
    s.stopping = false;
    s.haveLink = false;
    s.probeUrl = probeUrl;
}

std::wstring ConnectionManager::probeUrl() {
    State& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    return s.probeUrl;
}

bool ConnectionManager::isConnected() {
    State& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    bool connected = probeAnswers(s);
    if (!connected && s.haveLink && !s.stopping) {
        connected = linkUp(s);
    }
    s.connected = connected;
    return connected;
}

bool ConnectionManager::connect(const std::wstring&) {
    State& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    if (!s.connected && !s.stopping) {
        isConnected();
        if (!s.connected && !s.stopping && linkUp(s)) {
            s.haveLink = true;
            if (!isConnected()) {
                s.haveLink = false;
            }
        }
    }
    return s.connected;
}

void ConnectionManager::release() {
    State& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    s.haveLink = false;
}

bool ConnectionManager::getConnectedFlag() {
    return state().connected.load();
}

void ConnectionManager::stopAll() {
    state().stopping = true;
}

void ConnectionManager::setLinkCheck(std::function<bool()> check) {
    State& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    s.linkCheck = std::move(check);
}
