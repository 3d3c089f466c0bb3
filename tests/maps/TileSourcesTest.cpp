#include <gtest/gtest.h>

#include "LogCapture.h"
#include "TestSupport.h"
#include "client/maps/GoogleMapsLoader.h"
#include "client/maps/HTTPHandler.h"
#include "client/maps/MicrosoftMapsLoader.h"
#include "client/maps/OpenStreetMapsLoader.h"
#include "kestra/Exceptions.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "testing/http/HttpServer.h"

using fixture::HttpServer;

namespace {

std::wstring wide(const std::string& text) {
    return kestra::utf8ToWide(text);
}

std::wstring nameOf(IMapsLoader& source, int level, int x, int y, int mapType) {
    return source.createBlockProp(level, x, y, mapType)->name;
}

template <class E, class F>
std::string failure(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.place() + ": " + e.condition();
    }
    return "";
}

HttpServer::Resource page(const std::string& body, const std::string& type = "text/html") {
    HttpServer::Resource r;
    r.contentType = type;
    r.body = body;
    return r;
}

WorldCoords somewhere() {
    DecimalCoords d;
    d.latitude = 55.75;
    d.longitude = -37.5;
    return CoordinateUtils::fromDecimal(d);
}

// Each test gets its own settings file and a local server for tiles and pages.
class TileSourcesTest : public ::testing::Test {
protected:
    void SetUp() override { kestra::Settings::startup(dir.wstr() + L"/settings.cfg"); }
    void TearDown() override { kestra::Settings::shutdown(); }
    void set(const wchar_t* key, const std::string& value) {
        kestra::Settings::setStringValue(key, wide(value));
    }

    testsupport::TempDir dir;
    HttpServer server;
};

TEST_F(TileSourcesTest, GoogleNamesBlocksByQuadtreeOrByColumnRowAndInvertedZoom) {
    GoogleMapsLoader google;
    EXPECT_EQ(nameOf(google, 1, 0, 0, 0), L"&t=t");
    EXPECT_EQ(nameOf(google, 2, 1, 0, 0), L"&t=tr");
    EXPECT_EQ(nameOf(google, 3, 3, 3, 0), L"&t=tss");
    EXPECT_EQ(nameOf(google, 3, 0, 2, 0), L"&t=ttq");
    EXPECT_EQ(nameOf(google, 4, 5, 1, 1), L"&x=5&y=1&zoom=14");
    EXPECT_EQ(nameOf(google, 4, 5, 1, 3), L"&x=5&y=1&zoom=14");

    // Numbers outside the world wrap in the name; the record keeps them as asked.
    auto block = google.createBlockProp(3, -1, 4, 1);
    EXPECT_EQ(block->name, L"&x=3&y=0&zoom=15");
    EXPECT_EQ(block->x, -1);
    EXPECT_EQ(block->y, 4);
    EXPECT_EQ(block->level, 3);
    EXPECT_EQ(block->mapType, 1);
    EXPECT_EQ(google.createBlockProp(3, 0, 0, 3)->mapType, 1);
    EXPECT_EQ(google.createBlockProp(3, 0, 0, 2)->mapType, 0);

    LogCapture log;
    EXPECT_EQ(nameOf(google, 20, 7, 9, 1), L"&x=7&y=9&zoom=-2");
    EXPECT_TRUE(
        log.contains("[ERROR] GoogleMapsLoader::createBlockPropForRoadmap - bad zoom. Zoom = -2"));
    EXPECT_EQ(GoogleMapsLoader::getBlockNameByLevelAndBlockNumber(26, 0, 0).size(), 26u);
    EXPECT_TRUE(
        log.contains("GoogleMapsLoader::getBlockNameByLevelAndBlockNumber: level > "
                     "MAX_LEVELS_NUM."));
}

TEST_F(TileSourcesTest, MicrosoftAndOpenStreetNames) {
    MicrosoftMapsLoader microsoft;
    EXPECT_EQ(nameOf(microsoft, 1, 0, 0, 1), L"r");
    EXPECT_EQ(nameOf(microsoft, 3, 2, 1, 1), L"r12");
    EXPECT_EQ(nameOf(microsoft, 3, 2, 1, 0), L"a12");
    EXPECT_EQ(nameOf(microsoft, 5, 15, 0, 2), L"h1111");
    EXPECT_EQ(nameOf(microsoft, 3, -1, 0, 1), L"r11");
    OpenStreetMapsLoader openStreet;
    EXPECT_EQ(nameOf(openStreet, 5, 3, 7, 1), L"4/3/7");
    EXPECT_EQ(nameOf(openStreet, 3, 4, -1, 1), L"2/0/3");
}

TEST_F(TileSourcesTest, IdentitiesTypesAndZoomIntervals) {
    GoogleMapsLoader google;
    MicrosoftMapsLoader microsoft;
    OpenStreetMapsLoader openStreet;
    std::wstring name;
    google.getName(name);
    EXPECT_EQ(name, L"google");
    microsoft.getName(name);
    EXPECT_EQ(name, L"microsoft");
    openStreet.getName(name);
    EXPECT_EQ(name, L"openStreet");
    EXPECT_EQ(google.getLoaderId(), 0);
    EXPECT_EQ(microsoft.getLoaderId(), 1);
    EXPECT_EQ(openStreet.getLoaderId(), 2);
    EXPECT_EQ(google.getBlockSideSize(), 256);

    const bool googleTypes[] = {true, true, false, false};
    const bool microsoftTypes[] = {true, true, true, false};
    const bool openStreetTypes[] = {false, true, false, false};
    for (int type = 0; type < 4; ++type) {
        EXPECT_EQ(google.isMapTypeSupported(type), googleTypes[type]);
        EXPECT_EQ(microsoft.isMapTypeSupported(type), microsoftTypes[type]);
        EXPECT_EQ(openStreet.isMapTypeSupported(type), openStreetTypes[type]);
    }

    int low = 0;
    int high = 0;
    google.getZoomInterval(low, high, 0);
    EXPECT_EQ(low * 100 + high, 120);
    google.getZoomInterval(low, high, 3);
    EXPECT_EQ(low * 100 + high, 218);
    microsoft.getZoomInterval(low, high, 2);
    EXPECT_EQ(low * 100 + high, 218);
    microsoft.getZoomInterval(low, high, 1);
    EXPECT_EQ(low * 100 + high, 220);
    openStreet.getZoomInterval(low, high, 0);
    EXPECT_EQ(low * 100 + high, 220);
    EXPECT_EQ(failure<kestra::MapLoaderException>([&] { google.getZoomInterval(low, high, 2); }),
              "GoogleMapsLoader::getZoomInterval: Unsupported map type");
    EXPECT_EQ(failure<kestra::MapLoaderException>([&] { microsoft.getZoomInterval(low, high, 3); }),
              "MicrosoftMapsLoader::getZoomInterval: Unsupported map type.");
}

TEST_F(TileSourcesTest, AddressesFollowEachServicesScheme) {
    GoogleMapsLoader google;
    MicrosoftMapsLoader microsoft;
    OpenStreetMapsLoader openStreet;
    std::wstring url;
    google.getBlockURL(url, 1, L"&x=5&y=1&zoom=14");
    EXPECT_EQ(url, L"mt.google.com//mt?n=404&v=&x=5&y=1&zoom=14");
    google.getBlockURL(url, 0, L"&t=tq");
    EXPECT_EQ(url, L"kh.google.com//kh?n=404&v=&t=tq");
    google.getTestURL(url, 3);
    EXPECT_EQ(url, L"http://mt.google.com/mt?n=404&x=0&y=0&zoom=17&v=");
    google.getTestURL(url, 0);
    EXPECT_EQ(url, L"http://kh.google.com/kh?n=404&t=t&v=");
    microsoft.getBlockURL(url, 1, L"r0123");
    EXPECT_EQ(url, L"ecn.t0.tiles.virtualearth.net//tiles//r0123?g=");
    microsoft.getTestURL(url, 2);
    EXPECT_EQ(url, L"http://ecn.t0.tiles.virtualearth.net//tiles//h0?g=");
    microsoft.getTestURL(url, 0);
    EXPECT_EQ(url, L"http://ecn.t0.tiles.virtualearth.net//tiles//a0?g=");
    openStreet.getBlockURL(url, 1, L"4/3/7");
    EXPECT_EQ(url, L"https://tile.openstreetmap.org/4/3/7.png");
    openStreet.getTestURL(url, 1);
    EXPECT_EQ(url, L"https://tile.openstreetmap.org/0/0/0.png");
    EXPECT_EQ(openStreet.getCurrentVersion(), L"");
}

TEST_F(TileSourcesTest, ConfiguredHostsServeTheBlocksTheSourcesName) {
    set(L"maps.google.domain", ".localhost:" + std::to_string(server.port()));
    set(L"maps.microsoft.tileHost", server.hostAndPort());
    set(L"maps.openStreet.tileHost", server.url(""));
    server.serveDefault(page("tile", "image/png"));
    GoogleMapsLoader google;
    MicrosoftMapsLoader microsoft;
    OpenStreetMapsLoader openStreet;
    HTTPHandler handler;
    std::wstring type;
    int status = 0;
    std::wstring url;
    for (IMapsLoader* source :
         {static_cast<IMapsLoader*>(&google), static_cast<IMapsLoader*>(&microsoft),
          static_cast<IMapsLoader*>(&openStreet)}) {
        auto block = source->createBlockProp(3, 2, 1, 1);
        source->getBlockURL(url, 1, block->name);
        EXPECT_EQ(handler.loadFile(url, type, status), "tile");
        source->getTestURL(url, 1);
        EXPECT_EQ(handler.loadFile(url, type, status), "tile");
    }
    std::vector<std::string> targets;
    for (const auto& request : server.requests()) {
        targets.push_back(request.target);
    }
    const std::vector<std::string> expected = {"//mt?n=404&v=&x=2&y=1&zoom=15",
                                               "/mt?n=404&x=0&y=0&zoom=17&v=",
                                               "//tiles//r12?g=",
                                               "//tiles//r0?g=",
                                               "/2/2/1.png",
                                               "/0/0/0.png"};
    EXPECT_EQ(targets, expected);
}

TEST_F(TileSourcesTest, GoogleFindsItsVersionOnAnEightBitPage) {
    set(L"maps.google.domain", ".maps.test");
    set(L"maps.google.pageHost", server.hostAndPort());
    server.serve(
        "/maps",
        page("<script>var t=\"http://mt0.maps.test/mt?n\\x3d404\\x26v\\x3dw2.99\\x26hl"
             "\\x3den\";\"http://khm0.maps.test/kh?n\\x3d404\\x26v\\x3d44\\x26\"</script>"));
    GoogleMapsLoader google;
    google.refresh(1, 5, somewhere(), nullptr);
    EXPECT_EQ(google.getCurrentVersion(), L"w2.99");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].target, "/maps?q=55.75,-37.5&z=5");

    google.refresh(1, 5, somewhere(), nullptr);  // known: not asked again
    EXPECT_EQ(server.requests().size(), 1u);
    std::wstring url;
    google.getBlockURL(url, 1, L"&x=1&y=2&zoom=3");
    EXPECT_EQ(url, L"mt.maps.test//mt?n=404&v=w2.99&x=1&y=2&zoom=3");

    google.clearVersion();  // a new map type: the next refresh asks for its version
    google.updateVersion(0, 5, somewhere());
    EXPECT_EQ(google.getCurrentVersion(), L"44");
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(TileSourcesTest, GoogleVersionRulesForMissingPatternsAndUtf16Pages) {
    set(L"maps.google.domain", ".maps.test");
    set(L"maps.google.pageHost", server.hostAndPort());
    GoogleMapsLoader google;
    // The first server's address without a version end: the second server's is used.
    server.serve("/maps", page("http://mt1.maps.test/mt?n\\x3d404\\x26v\\x3d13\\x26 "
                               "http://mt0.maps.test/mt?n\\x3d404\\x26v\\x3d12"));
    EXPECT_EQ(google.getVersion(1, 3, somewhere()), L"13");
    // No address at all on an 8-bit page: "32".
    server.serve("/maps", page("<html>nothing</html>"));
    EXPECT_EQ(google.getVersion(1, 3, somewhere()), L"32");
    // The same page as UTF-16: no fallback.
    const std::string nothing16 = kestra::wideToUtf16le(L"<html>nothing</html>");
    server.serve("/maps", page(nothing16, "text/html; charset=UTF-16"));
    EXPECT_EQ(failure<kestra::MapLoaderException>([&] { google.getVersion(1, 3, somewhere()); }),
              "GoogleMapsLoader::getVersion: While  get version.");
    const std::string found16 =
        kestra::wideToUtf16le(L"x http://mt0.maps.test/mt?n\\x3d404\\x26v\\x3d77\\x26 y");
    server.serve("/maps", page(found16, "text/html; charset=utf-16le"));
    EXPECT_EQ(google.getVersion(1, 3, somewhere()), L"77");
    // A "version" that could not be one is not taken.
    server.serve("/maps", page("http://mt0.maps.test/mt?n\\x3d404\\x26v\\x3d<b>x y</b>\\x26"));
    EXPECT_EQ(google.getVersion(1, 3, somewhere()), L"32");

    server.serve("/maps", [] {
        HttpServer::Resource r = page("down");
        r.status = 503;
        return r;
    }());
    EXPECT_EQ(failure<kestra::HTTPException>([&] { google.getVersion(1, 3, somewhere()); }),
              "GoogleMapsLoader::getVersion:  HTTP not ok status.ERROR code = 503");
    server.serve("/maps", page(""));
    EXPECT_EQ(failure<kestra::HTTPException>([&] { google.getVersion(1, 3, somewhere()); }),
              "GoogleMapsLoader::getVersion: Load data size is 0.");
}

TEST_F(TileSourcesTest, MicrosoftFindsItsVersionOrFallsBackTo282) {
    set(L"maps.microsoft.tileDomain", ".tiles.test");
    set(L"maps.microsoft.pageHost", server.hostAndPort());
    server.serve("/", page("src='http://ecn.t2.tiles.test/tiles/a1023.jpeg?g=5678&n=z' "
                           "src='http://ecn.t1.tiles.test/tiles/r12.png?g=99'"));
    MicrosoftMapsLoader microsoft;
    microsoft.refresh(1, 4, somewhere(), nullptr);
    EXPECT_EQ(microsoft.getCurrentVersion(), L"99");  // "r" is looked for first
    std::wstring url;
    microsoft.getBlockURL(url, 1, L"r0123");
    EXPECT_EQ(url, L"ecn.t0.tiles.virtualearth.net//tiles//r0123?g=99");

    MicrosoftMapsLoader second;
    server.serve("/", page(kestra::wideToUtf16le(L"http://x.tiles.test/tiles/h0?g=12345678901"),
                           "text/html; charset=UTF-16"));
    EXPECT_EQ(second.getVersionFromURL(), L"1234567890");  // at most 10 digits
    server.serve("/", page("<html>no tiles here</html>"));
    EXPECT_EQ(second.getVersionFromURL(), L"282");
    server.serve("/", [] {
        HttpServer::Resource r = page("");
        r.status = 500;
        return r;
    }());
    EXPECT_EQ(failure<kestra::MapLoaderException>([&] { second.getVersionFromURL(); }),
              "MicrosoftMapsLoader::getVersionFromURL: HTTP not ok status. ERROR code = 500");
    server.serve("/", page(""));
    EXPECT_EQ(failure<kestra::MapLoaderException>([&] { second.getVersionFromURL(); }),
              "MicrosoftMapsLoader::getVersionFromURL: Load data size is 0.");
    EXPECT_TRUE(second.isValidImage("an ordinary tile"));
    EXPECT_TRUE(second.getCurrentVersion().empty());
}

}  // namespace
