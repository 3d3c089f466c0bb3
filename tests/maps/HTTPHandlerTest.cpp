#include "client/maps/HTTPHandler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "LogCapture.h"
#include "TestSupport.h"
#include "kestra/Exceptions.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "testing/http/HttpServer.h"

using fixture::HttpServer;

namespace {

std::wstring wide(const std::string& text) {
    return kestra::utf8ToWide(text);
}

std::string bytes(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 131 + i / 256) & 0xFF);
    }
    return data;
}

HttpServer::Resource resource(int status, const std::string& type, const std::string& body) {
    HttpServer::Resource r;
    r.status = status;
    r.contentType = type;
    r.body = body;
    return r;
}

// Runs f and returns the condition of the HTTPException it throws ("" when none).
template <class F>
std::string failure(F f) {
    try {
        f();
    } catch (const kestra::HTTPException& e) {
        return e.place() + ": " + e.condition();
    }
    return "";
}

TEST(HTTPHandlerTest, AddressesGainTheSchemeAndKeepTheirDoubleSlashes) {
    EXPECT_EQ(HTTPHandler::completeUrl(L"host//tiles//r0?g=1"), L"http://host//tiles//r0?g=1");
    EXPECT_EQ(HTTPHandler::completeUrl(L"http://a/b"), L"http://a/b");
    EXPECT_EQ(HTTPHandler::completeUrl(L"https://a/b"), L"https://a/b");
    EXPECT_EQ(HTTPHandler::joinHostPath(L"h", L"p"), L"h/p");
    EXPECT_EQ(HTTPHandler::joinHostPath(L"h", L"/p"), L"h/p");
    std::wstring host;
    std::wstring path;
    HTTPHandler::splitUrl(L"https://h:81//x/y?z", host, path);
    EXPECT_EQ(host, L"https://h:81");
    EXPECT_EQ(path, L"//x/y?z");
    HTTPHandler::splitUrl(L"h", host, path);
    EXPECT_EQ(host, L"h");
    EXPECT_EQ(path, L"/");

    HttpServer server;
    server.serve("//tiles//r0?g=7", resource(200, "image/png", "tile"));
    HTTPHandler handler;
    std::wstring type;
    int status = 0;
    const std::string body =
        handler.loadFile(wide(server.hostAndPort() + "//tiles//r0?g=7"), type, status);
    EXPECT_EQ(body, "tile");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(type, L"image/png");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, "//tiles//r0?g=7");
}

TEST(HTTPHandlerTest, ReportsStatusAndTypeOfEveryCompleteReply) {
    HttpServer server;
    server.serve("/tile.png", resource(200, "image/png", bytes(70000)));
    server.serve("/missing", resource(404, "text/html", "<html>gone</html>"));
    server.serve("/broken", resource(500, "text/plain", "oops"));
    server.serve("/empty", resource(200, "image/png", ""));
    HttpServer::Resource moved = resource(302, "text/html", "moved");
    moved.headers["Location"] = server.url("/tile.png");
    server.serve("/old", moved);

    HTTPHandler handler;
    std::wstring type;
    int status = 0;
    EXPECT_EQ(handler.loadFile(wide(server.url("/tile.png")), type, status), bytes(70000));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(handler.loadFile(wide(server.hostAndPort()), L"missing", type, status),
              "<html>gone</html>");
    EXPECT_EQ(status, 404);
    EXPECT_EQ(type, L"text/html");
    EXPECT_EQ(handler.loadFile(wide(server.url("/broken")), type, status), "oops");
    EXPECT_EQ(status, 500);
    EXPECT_EQ(handler.loadFile(wide(server.url("/empty")), type, status), "");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(handler.loadFile(wide(server.url("/old")), type, status), bytes(70000));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(type, L"image/png");
}

TEST(HTTPHandlerTest, NamesTheProgramAsUserAgentUnlessTheSettingsSayOtherwise) {
    HttpServer server;
    HTTPHandler handler;
    std::wstring type;
    int status = 0;
    handler.loadFile(wide(server.url("/a")), type, status);
    EXPECT_EQ(status, 404);
    EXPECT_EQ(server.requests().at(0).header("user-agent"), "Lumora/1.9.0");

    testsupport::TempDir dir;
    kestra::Settings::startup(dir.wstr() + L"/settings.cfg");
    kestra::Settings::setStringValue(L"general.userAgent", L"Lumora-test/2 (ops@example.org)");
    handler.loadFile(wide(server.url("/b")), type, status);
    kestra::Settings::shutdown();
    EXPECT_EQ(server.requests().at(1).header("user-agent"), "Lumora-test/2 (ops@example.org)");
}

TEST(HTTPHandlerTest, UnreachableEmptyAndBrokenRepliesAreErrors) {
    LogCapture log;
    HttpServer server;
    HttpServer::Resource half = resource(200, "image/png", bytes(50000));
    half.dropAfter = 20000;
    server.serve("/half", half);
    HttpServer::Resource liar = resource(200, "image/png", bytes(1000));
    liar.declaredLength = 5000;
    server.serve("/liar", liar);
    const std::string closed = server.url("/x");
    HTTPHandler handler;
    std::wstring type;
    int status = 0;
    EXPECT_EQ(failure([&] { handler.loadFile(wide(server.url("/half")), type, status); }),
              "HTTPHandler::loadFile: Transfer interrupted");
    EXPECT_EQ(failure([&] { handler.loadFile(wide(server.url("/liar")), type, status); }),
              "HTTPHandler::loadFile: Transfer interrupted");
    EXPECT_EQ(failure([&] { handler.loadFile(L"", type, status); }),
              "HTTPHandler::loadFile: Can not open URL");
    server.stop();
    EXPECT_EQ(failure([&] { handler.loadFile(wide(closed), type, status); }),
              "HTTPHandler::loadFile: Can not open URL");
    EXPECT_TRUE(log.contains("[ERROR] HTTPHandler::loadFile: Can not open URL"));
}

TEST(HTTPHandlerTest, AStopAbortsATransferToAServerThatNeverAnswers) {
    HttpServer server;
    HttpServer::Resource silent;
    silent.neverAnswer = true;
    server.serve("/silent", silent);
    std::atomic<bool> keepRunning{true};
    HTTPHandler handler([&] { return keepRunning.load(); });
    std::thread stopper([&] {
        testsupport::waitUntil([&] { return server.requests().size() == 1; }, 10000);
        keepRunning = false;
    });
    std::wstring type;
    int status = -1;
    // Without the abort the 30-second stall limit would end it with "Can not open URL".
    EXPECT_EQ(handler.loadFile(wide(server.url("/silent")), type, status), "");
    EXPECT_EQ(status, 0);
    stopper.join();
}

TEST(HTTPHandlerTest, AStalledServerIsGivenUp) {
    HttpServer server;
    HttpServer::Resource silent;
    silent.neverAnswer = true;
    server.serve("/silent", silent);
    HTTPHandler handler;
    handler.setStallTimeout(1);
    std::wstring type;
    int status = 0;
    EXPECT_EQ(failure([&] { handler.loadFile(wide(server.url("/silent")), type, status); }),
              "HTTPHandler::loadFile: Can not open URL");
}

}  // namespace
