#include "client/maps/HTTPLoader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "LogCapture.h"
#include "ManualClock.h"
#include "RecordingHttpListener.h"
#include "TestSupport.h"
#include "client/maps/ConnectionManager.h"
#include "client/maps/HTTPHandler.h"
#include "kestra/TextCodec.h"
#include "testing/http/HttpServer.h"

using fixture::HttpServer;
namespace fs = std::filesystem;

namespace {

constexpr int GUARD_MS = 20000;  // only keeps a broken test from hanging

std::wstring wide(const std::string& text) {
    return kestra::utf8ToWide(text);
}

std::string bytes(std::size_t size, int seed = 1) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 131 + seed * 7 + i / 251) & 0xFF);
    }
    return data;
}

HttpServer::Resource file(const std::string& body) {
    HttpServer::Resource r;
    r.contentType = "application/zip";
    r.body = body;
    return r;
}

// Compares file contents without printing them on failure.
::testing::AssertionResult sameBytes(const std::string& actual, const std::string& expected) {
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) {
        ++at;
    }
    return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                         << ", first difference at byte " << at;
}

std::unique_ptr<HTTPRequest> request(int id, const std::string& url, const fs::path& target = {}) {
    auto r = std::make_unique<HTTPRequest>();
    r->requestId = id;
    r->url = wide(url);
    r->saveToFile = !target.empty();
    r->filePath = target.wstring();
    return r;
}

class HTTPLoaderTest : public ::testing::Test {
protected:
    // Starts a loader that probes server and waits until it accepts requests.
    std::unique_ptr<HTTPLoader> startLoader(const HttpServer& probe) {
        auto loader = std::make_unique<HTTPLoader>(&listener, wide(probe.url("/")), clock);
        loader->start();
        EXPECT_TRUE(testsupport::waitUntil(
            [&] { return loader->isStarted() && ConnectionManager::getConnectedFlag(); },
            GUARD_MS));
        return loader;
    }
    bool waitResults(std::size_t n) {
        return testsupport::waitUntil([&] { return listener.resultCount() >= n; }, GUARD_MS);
    }

    RecordingHttpListener listener;
    ManualClock clock;
    testsupport::TempDir dir;
};

TEST_F(HTTPLoaderTest, InMemoryRequestsArriveInOrderBetweenStartAndFinish) {
    HttpServer server;
    HttpServer::Resource page = file("<information/>");
    page.contentType = "text/xml";
    server.serve("/clientinfo/", page);
    auto loader = startLoader(server);
    ASSERT_TRUE(loader->addRequest(request(7, server.hostAndPort() + "/clientinfo/")));
    ASSERT_TRUE(loader->addRequest(request(8, server.url("/nothing/"))));
    ASSERT_TRUE(waitResults(2));
    loader->stop();

    const std::vector<HTTPResult> results = listener.results();
    EXPECT_EQ(results[0].requestId, 7);
    EXPECT_EQ(results[0].status, 200);
    EXPECT_EQ(results[0].error, 0);
    EXPECT_EQ(results[0].data, "<information/>");
    EXPECT_EQ(results[0].size, 14u);
    EXPECT_EQ(results[0].contentType, L"text/xml");
    EXPECT_EQ(results[1].requestId, 8);
    EXPECT_EQ(results[1].status, 404);
    EXPECT_EQ(results[1].error, 1);
    EXPECT_TRUE(results[1].data.empty());
    const std::vector<std::string> expected = {"start", "result", "finish",
                                               "start", "result", "finish"};
    EXPECT_EQ(listener.events(), expected);
    EXPECT_FALSE(loader->addRequest(request(9, server.url("/clientinfo/"))));
}

TEST_F(HTTPLoaderTest, DownloadsResumeFromWhereTheFileStopped) {
    HttpServer server;
    const std::string body = bytes(300000);
    server.serve("/update.zip", file(body));
    const fs::path target = dir.path() / "update.zip";
    testsupport::writeFile(target, body.substr(0, 120000));
    auto loader = startLoader(server);
    loader->addRequest(request(1, server.url("/update.zip"), target));
    ASSERT_TRUE(waitResults(1));
    loader->stop();

    const HTTPResult result = listener.results().at(0);
    EXPECT_EQ(result.error, 0);
    EXPECT_EQ(result.status, 206);
    EXPECT_EQ(result.size, 300000u);
    EXPECT_TRUE(result.data.empty());
    EXPECT_TRUE(sameBytes(testsupport::readFile(target), body));
    ASSERT_EQ(server.count("GET", "/update.zip"), 1u);
    for (const auto& r : server.requests()) {
        if (r.method == "GET") {
            EXPECT_EQ(r.header("range"), "bytes=120000-");
        }
    }
}

TEST_F(HTTPLoaderTest, AServerThatCannotSeekRestartsTheFileFromZero) {
    LogCapture log;
    HttpServer server;
    HttpServer::Resource whole = file(bytes(50000, 3));
    whole.acceptRanges = false;
    server.serve("/update.zip", whole);
    const fs::path target = dir.path() / "update.zip";
    testsupport::writeFile(target, std::string(20000, 'x'));
    auto loader = startLoader(server);
    loader->addRequest(request(1, server.url("/update.zip"), target));
    ASSERT_TRUE(waitResults(1));
    loader->stop();

    EXPECT_EQ(listener.results().at(0).error, 0);
    EXPECT_EQ(listener.results().at(0).status, 200);
    EXPECT_TRUE(sameBytes(testsupport::readFile(target), bytes(50000, 3)));
    EXPECT_TRUE(log.contains("[ERROR] HTTPLodar:InternetSetFilePointer error;"));
}

TEST_F(HTTPLoaderTest, ACompleteFileIsKeptWithoutAnyGetWhenTheListenerDeclines) {
    HttpServer server;
    server.serve("/update.zip", file(bytes(4000, 5)));
    const fs::path target = dir.path() / "update.zip";
    testsupport::writeFile(target, bytes(4000, 6));  // same size: counts as complete
    auto loader = startLoader(server);
    loader->addRequest(request(1, server.url("/update.zip"), target));
    ASSERT_TRUE(waitResults(1));
    EXPECT_EQ(listener.results().at(0).error, 2);
    EXPECT_EQ(server.count("GET", "/update.zip"), 0u);
    EXPECT_EQ(server.count("HEAD", "/update.zip"), 1u);
    EXPECT_TRUE(sameBytes(testsupport::readFile(target), bytes(4000, 6)));

    // Asked again with a listener that wants it reloaded: fetched whole.
    listener.setReload(true);
    loader->addRequest(request(2, server.url("/update.zip"), target));
    ASSERT_TRUE(waitResults(2));
    loader->stop();
    EXPECT_EQ(listener.results().at(1).error, 0);
    EXPECT_TRUE(sameBytes(testsupport::readFile(target), bytes(4000, 5)));
    const std::vector<std::string> expected = {"start", "reload?", "result", "finish",
                                               "start", "reload?", "result", "finish"};
    EXPECT_EQ(listener.events(), expected);
}

TEST_F(HTTPLoaderTest, BadRepliesNeverLeaveAFileReportedComplete) {
    HttpServer server;
    server.serve("/gone.zip", [] {
        HttpServer::Resource r = file("<html>not here</html>");
        r.status = 404;
        return r;
    }());
    HttpServer::Resource half = file(bytes(80000));
    half.dropAfter = 30000;
    server.serve("/half.zip", half);
    HttpServer::Resource noHead = file(bytes(9000));
    noHead.allowHead = false;
    server.serve("/nohead.zip", noHead);
    auto loader = startLoader(server);
    loader->addRequest(request(1, server.url("/gone.zip"), dir.path() / "gone.zip"));
    loader->addRequest(request(2, server.url("/half.zip"), dir.path() / "half.zip"));
    loader->addRequest(request(3, server.url("/nohead.zip"), dir.path() / "nohead.zip"));
    ASSERT_TRUE(waitResults(3));
    loader->stop();

    const std::vector<HTTPResult> results = listener.results();
    EXPECT_EQ(results[0].status, 404);
    EXPECT_EQ(results[0].error, 1);
    EXPECT_EQ(testsupport::readFile(dir.path() / "gone.zip"), "");  // the error page stays out
    EXPECT_EQ(results[1].error, 1);
    EXPECT_EQ(results[1].size, 30000u);
    EXPECT_TRUE(
        sameBytes(testsupport::readFile(dir.path() / "half.zip"), bytes(80000).substr(0, 30000)));
    // Without HEAD the size comes from the reply itself.
    EXPECT_EQ(results[2].error, 0);
    EXPECT_TRUE(sameBytes(testsupport::readFile(dir.path() / "nohead.zip"), bytes(9000)));
}

TEST_F(HTTPLoaderTest, StoppingMidDownloadReturnsTwoAndKeepsThePartialFileForResume) {
    HttpServer server;
    const std::string body = bytes(400000, 9);
    HttpServer::Resource slow = file(body);
    slow.chunkSize = 4000;
    slow.chunkDelayMs = 20;
    server.serve("/update.zip", slow);
    const fs::path target = dir.path() / "update.zip";

    std::atomic<bool> keepRunning{true};
    HTTPHandler handler([&] { return keepRunning.load(); });
    std::thread stopper([&] {
        testsupport::waitUntil(
            [&] {
                std::error_code ec;
                return fs::file_size(target, ec) >= 40000 && !ec;
            },
            GUARD_MS, 5);
        keepRunning = false;
    });
    std::uint64_t bytesRead = 0;
    std::wstring type;
    int status = 0;
    const int code = handler.loadAndSaveFile(&listener, bytesRead, wide(server.hostAndPort()),
                                             L"/update.zip", type, status, target.wstring());
    stopper.join();
    EXPECT_EQ(code, 2);
    const std::uint64_t kept = fs::file_size(target);
    EXPECT_GE(kept, 40000u);
    EXPECT_LT(kept, body.size());
    EXPECT_TRUE(sameBytes(testsupport::readFile(target), body.substr(0, kept)));

    // A loader later picks up from there.
    server.serve("/update.zip", file(body));
    auto loader = startLoader(server);
    loader->addRequest(request(1, server.url("/update.zip"), target));
    ASSERT_TRUE(waitResults(1));
    loader->stop();
    EXPECT_EQ(listener.results().at(0).error, 0);
    EXPECT_TRUE(sameBytes(testsupport::readFile(target), body));
    EXPECT_EQ(server.requests().back().header("range"), "bytes=" + std::to_string(kept) + "-");
}

TEST_F(HTTPLoaderTest, StoppingTheLoaderAbortsItsTransferAndDeliversNothing) {
    HttpServer server;
    HttpServer::Resource silent;
    silent.neverAnswer = true;
    server.serve("/silent", silent);
    auto loader = startLoader(server);
    loader->addRequest(request(1, server.url("/silent")));
    loader->addRequest(request(2, server.url("/silent")));
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return server.count("GET", "/silent") == 1; }, GUARD_MS));
    loader->stop();
    EXPECT_FALSE(loader->isRunning());
    EXPECT_EQ(loader->queuedCount(), 0u);
    EXPECT_EQ(listener.resultCount(), 0u);
    EXPECT_EQ(listener.events(), std::vector<std::string>{"start"});
}

TEST_F(HTTPLoaderTest, AFailureWhileConnectedIsDeliveredAsFailed) {
    HttpServer probe;
    std::string closed;
    {
        HttpServer gone;
        closed = gone.url("/clientinfo/");
    }
    auto loader = startLoader(probe);
    loader->addRequest(request(4, closed));
    ASSERT_TRUE(waitResults(1));
    loader->stop();
    EXPECT_EQ(listener.results().at(0).requestId, 4);
    EXPECT_EQ(listener.results().at(0).error, 1);
    EXPECT_EQ(listener.results().at(0).status, 0);
}

TEST_F(HTTPLoaderTest, RequestsWaitWhileTheNetworkIsDownAndGoOutWhenItIsBack) {
    auto server = std::make_unique<HttpServer>();
    const int port = server->port();
    HttpServer::Resource page = file("id=1");
    auto loader = startLoader(*server);
    server->stop();
    server.reset();
    loader->addRequest(request(5, "http://127.0.0.1:" + std::to_string(port) + "/getid/"));
    // The fetch fails, the probe fails too: the request goes back into the queue.
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return listener.events().size() >= 2 && loader->queuedCount() == 1; }, GUARD_MS));
    EXPECT_EQ(listener.resultCount(), 0u);
    EXPECT_FALSE(ConnectionManager::getConnectedFlag());

    server = std::make_unique<HttpServer>(port);
    server->serve("/getid/", page);
    clock.advance(11);  // the next pass probes again
    loader->addRequest(request(6, "http://127.0.0.1:" + std::to_string(port) + "/getid/"));
    ASSERT_TRUE(waitResults(2));
    loader->stop();
    EXPECT_EQ(listener.results().at(0).requestId, 5);
    EXPECT_EQ(listener.results().at(0).data, "id=1");
    EXPECT_EQ(listener.results().at(1).requestId, 6);
}

}  // namespace

namespace {

// Every loader probes the service's web root with its own stop: stopping one loader ends
// its own probe and leaves the probes of everyone else alone, and a probe that waits for
// a silent server holds up no other caller.
TEST_F(HTTPLoaderTest, EachProbeBelongsToItsCaller) {
    HttpServer service;
    startLoader(service)->stop();
    EXPECT_TRUE(ConnectionManager::isConnected()) << "a stopped loader stopped every probe";

    HttpServer::Resource silent;
    silent.neverAnswer = true;
    service.serve("/", silent);
    service.clearRequests();
    std::atomic<bool> keepProbing{true};
    std::atomic<bool> probeEnded{false};
    std::thread prober([&] {
        ConnectionManager::isConnected([&] { return keepProbing.load(); });
        probeEnded = true;
    });
    EXPECT_TRUE(testsupport::waitUntil([&] { return service.count("HEAD", "/") == 1; }, GUARD_MS));
    EXPECT_FALSE(ConnectionManager::isConnected([] { return false; }));
    EXPECT_FALSE(probeEnded.load()) << "the second caller waited for the first one's probe";
    EXPECT_TRUE(ConnectionManager::getConnectedFlag()) << "a stopped probe changes nothing";
    keepProbing = false;
    prober.join();
    EXPECT_TRUE(ConnectionManager::getConnectedFlag());
}

}  // namespace
