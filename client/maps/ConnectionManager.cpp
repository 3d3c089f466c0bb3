#include "client/maps/ConnectionManager.h"

#include <atomic>
#include <cstdint>

#include "client/maps/HTTPHandler.h"
#include "kestra/Mutex.h"
#include "kestra/TextCodec.h"
#include "platform/HttpTransfer.h"

namespace {

constexpr long PROBE_CONNECT_TIMEOUT_MS = 5000;
constexpr long PROBE_STALL_SECONDS = 10;

// The mutex guards the probe address and its generation only; it is never held while a
// probe waits for the network.
struct State {
    kestra::Mutex mutex;
    std::atomic<bool> connected{false};
    std::wstring probeUrl;
    std::uint64_t generation = 0;
};

State& state() {
    static State s;
    return s;
}

enum class ProbeResult { Answered, NoAnswer, Stopped };

// Any HTTP answer at all counts: the network works even when the page is missing.
ProbeResult probe(const std::wstring& url, const ConnectionManager::KeepRunning& keepRunning) {
    if (url.empty()) {
        return ProbeResult::NoAnswer;
    }
    platform::HttpOptions options;
    options.userAgent = HTTPHandler::userAgent();
    options.connectTimeoutMs = PROBE_CONNECT_TIMEOUT_MS;
    options.stallTimeoutSeconds = PROBE_STALL_SECONDS;
    options.keepRunning = keepRunning;
    const std::string address = kestra::wideToUtf8(HTTPHandler::completeUrl(url));
    switch (platform::HttpTransfer::head(address, options).outcome) {
        case platform::HttpOutcome::Complete:
            return ProbeResult::Answered;
        case platform::HttpOutcome::Aborted:
            return ProbeResult::Stopped;
        default:
            return ProbeResult::NoAnswer;
    }
}

}  // namespace

void ConnectionManager::initialise(const std::wstring& probeUrl) {
    State& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    s.connected = false;
    s.probeUrl = probeUrl;
    ++s.generation;
}

std::wstring ConnectionManager::probeUrl() {
    State& s = state();
    kestra::Mutex::Locker lock(s.mutex);
    return s.probeUrl;
}

bool ConnectionManager::isConnected(const KeepRunning& keepRunning) {
    State& s = state();
    std::wstring url;
    std::uint64_t generation = 0;
    {
        kestra::Mutex::Locker lock(s.mutex);
        url = s.probeUrl;
        generation = s.generation;
    }
    const ProbeResult result = probe(url, keepRunning);
    if (result == ProbeResult::Stopped) {
        return false;
    }
    kestra::Mutex::Locker lock(s.mutex);
    if (generation == s.generation) {
        s.connected = result == ProbeResult::Answered;
    }
    return result == ProbeResult::Answered;
}

bool ConnectionManager::connect(const std::wstring&, const KeepRunning& keepRunning) {
    if (!getConnectedFlag()) {
        isConnected(keepRunning);
    }
    return getConnectedFlag();
}

bool ConnectionManager::getConnectedFlag() {
    return state().connected.load();
}
