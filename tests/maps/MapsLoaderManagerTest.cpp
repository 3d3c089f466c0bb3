#include "client/maps/MapsLoaderManager.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "CacheTestSupport.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "TestSupport.h"
#include "client/maps/CacheManager.h"
#include "client/maps/ConnectionManager.h"
#include "client/maps/IMapsLoaderListener.h"
#include "kestra/Settings.h"
#include "testing/http/HttpServer.h"

using fixture::HttpServer;

namespace {

constexpr int GUARD_MS = 20000;  // only keeps a broken test from hanging

// Records what the loader reports, as the block matrix and the view manager would see it.
class Observer : public MapsDataTypes::IMapsHandler, public IMapsLoaderListener {
public:
    void onBlockLoaded(LoadedBlock& block) override {
        std::lock_guard<std::mutex> lock(mutex_);
        blocks_.push_back(block);
    }
    void onLoaderTick() override { note("tick"); }
    void onNoInternet() override { note("noInternet"); }
    void onInternetAvailable() override { note("internet"); }
    void onNetworkStart() override { note("networkStart"); }
    void onNetworkStop() override { note("networkStop"); }
    void doZoom(int direction) override { note("zoom " + std::to_string(direction)); }
    void onRefresh() override { note("refresh"); }
    void changeMapLoaderAndType(int newId, int currentId, int newType) override {
        note("change " + std::to_string(newId) + " " + std::to_string(currentId) + " " +
             std::to_string(newType));
    }

    std::vector<LoadedBlock> blocks() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return blocks_;
    }
    std::size_t count(const std::string& event) const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::size_t n = 0;
        for (const std::string& e : events_) {
            n += e == event ? 1 : 0;
        }
        return n;
    }

private:
    void note(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }
    mutable std::mutex mutex_;
    std::vector<LoadedBlock> blocks_;
    std::vector<std::string> events_;
};

HttpServer::Resource resource(int status, const std::string& type, const std::string& body) {
    HttpServer::Resource r;
    r.status = status;
    r.contentType = type;
    r.body = body;
    return r;
}

// A world pixel inside block (x, y) at 256 pixels per block.
MercatorCoords pixelOf(int x, int y) {
    MercatorCoords p;
    p.x = x * 256 + 17;
    p.y = y * 256 + 200;
    return p;
}

class MapsLoaderManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Settings::startup(dir.wstr() + L"/settings.cfg");
        set(L"maps.openStreet.tileHost", server.url(""));
        set(L"maps.microsoft.tileHost", server.hostAndPort());
        set(L"maps.microsoft.pageHost", server.hostAndPort());
        set(L"maps.google.domain", ".localhost:" + std::to_string(server.port()));
        set(L"maps.google.pageHost", server.hostAndPort());
        server.serve("/0/0/0.png", resource(200, "image/png", "probe tile"));
        ConnectionManager::initialise(kestra::utf8ToWide(server.url("/")));
        CacheManager::setCachePlace(dir.wstr(), dir.wstr());
        manager = std::make_unique<MapsLoaderManager>(clock);
        manager->setListener(&observer);
    }
    void TearDown() override {
        manager.reset();
        CacheManager::shutdown();
        kestra::Settings::shutdown();
    }
    void set(const wchar_t* key, const std::string& value) {
        kestra::Settings::setStringValue(key, kestra::utf8ToWide(value));
    }
    // Selects a source, hands over the view and starts the thread, online.
    void startWith(int loaderId, int mapType) {
        ASSERT_TRUE(manager->selectLoader(loaderId));
        int side = 0;
        manager->setOnline();
        manager->setViewParams(mapType, &observer, side, 5, WorldCoords(), false);
        EXPECT_EQ(side, 256);
        manager->start();
        ASSERT_TRUE(testsupport::waitUntil(
            [&] { return manager->getInternetState() == MapsLoaderManager::INTERNET; }, GUARD_MS));
    }
    bool waitBlocks(std::size_t n) {
        return testsupport::waitUntil([&] { return observer.blocks().size() >= n; }, GUARD_MS);
    }
    std::string cached(const std::wstring& loader, const std::wstring& name) {
        std::wstring type;
        std::string data;
        return CacheManager::findMaxVersionCacheItem(loader, cachetest::block(name), type, data)
                   ? data
                   : "-";
    }

    testsupport::TempDir dir;
    HttpServer server;
    ManualClock clock;
    Observer observer;
    std::unique_ptr<MapsLoaderManager> manager;
};

TEST_F(MapsLoaderManagerTest, TheThirteenthRequestIsRefused) {
    LogCapture log;
    EXPECT_FALSE(manager->loadMapBlock(pixelOf(1, 1), 1, 5));  // no source yet
    EXPECT_TRUE(log.contains("[ERROR] GoogleMapsLoader::loadMapBlock blockSideSize == 0."));
    ASSERT_TRUE(manager->selectLoader(2));
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(manager->loadMapBlock(pixelOf(i, 1), 1, 5));
    }
    EXPECT_FALSE(manager->loadMapBlock(pixelOf(12, 1), 1, 5));
    EXPECT_EQ(manager->size(), 12u);
    EXPECT_FALSE(manager->loadMapBlock(pixelOf(1, 1), 1, 0));
    EXPECT_TRUE(log.contains("[ERROR] GoogleMapsLoader::loadMapBlock zoom <= 0."));
    manager->requestRefresh();
    EXPECT_EQ(manager->size(), 0u);
}

TEST_F(MapsLoaderManagerTest, SelectingAnUnknownSourceLeavesNone) {
    EXPECT_TRUE(manager->selectLoader(1));
    EXPECT_EQ(MapsLoaderManager::getCurrentLoader()->getLoaderId(), 1);
    EXPECT_FALSE(manager->selectLoader(5));
    EXPECT_EQ(MapsLoaderManager::getCurrentLoader(), nullptr);
    EXPECT_FALSE(manager->isMapTypeSupported(1));
    EXPECT_TRUE(manager->selectLoader(2));
    EXPECT_TRUE(manager->isMapTypeSupported(1));
    EXPECT_FALSE(manager->isMapTypeSupported(0));
}

TEST_F(MapsLoaderManagerTest, DownloadedBlocksAreDeliveredAndCachedAndThenServedFromTheCache) {
    server.serve("/4/3/2.png", resource(200, "image/png; charset=binary", "tile 3 2"));
    startWith(2, 1);
    ASSERT_TRUE(manager->loadMapBlock(pixelOf(3, 2), 1, 5));
    ASSERT_TRUE(waitBlocks(1));
    ASSERT_TRUE(manager->loadMapBlock(pixelOf(3, 2), 1, 5));
    ASSERT_TRUE(waitBlocks(2));
    for (const LoadedBlock& block : observer.blocks()) {
        EXPECT_EQ(block.status, LoadedBlock::IMAGE_PRESENT);
        EXPECT_EQ(block.data, "tile 3 2");
        EXPECT_EQ(block.size, 8u);
        EXPECT_EQ(block.imageType, L"png");
        EXPECT_EQ(block.x, 3);
        EXPECT_EQ(block.y, 2);
        EXPECT_EQ(block.level, 5);
        EXPECT_EQ(block.blockSide, 256);
    }
    EXPECT_EQ(server.count("GET", "/4/3/2.png"), 1u);
    EXPECT_EQ(cached(L"openStreet", L"4/3/2"), "tile 3 2");
    EXPECT_GE(observer.count("networkStart"), 1u);
    EXPECT_EQ(observer.count("networkStart"), observer.count("networkStop"));
}

TEST_F(MapsLoaderManagerTest, MissingAndNonImageBlocksComeWithoutImageAndAreNotCached) {
    LogCapture log;
    server.serve("/4/5/5.png", resource(404, "text/html", "<html>no</html>"));
    server.serve("/4/6/5.png", resource(200, "text/html", "<html>login</html>"));
    server.serve("/4/7/5.png", resource(500, "text/plain", "broken"));
    server.serve("/4/8/5.png", resource(200, "image/png", "ok"));
    startWith(2, 1);
    for (int x : {5, 6, 7, 8}) {
        ASSERT_TRUE(manager->loadMapBlock(pixelOf(x, 5), 1, 5));
    }
    ASSERT_TRUE(waitBlocks(3));
    const std::vector<LoadedBlock> blocks = observer.blocks();
    ASSERT_EQ(blocks.size(), 3u);  // the 500 is an error: that request is dropped
    EXPECT_EQ(blocks[0].x, 5);
    EXPECT_EQ(blocks[0].status, LoadedBlock::NO_IMAGE);
    EXPECT_TRUE(blocks[0].data.empty());
    EXPECT_EQ(blocks[1].x, 6);
    EXPECT_EQ(blocks[1].status, LoadedBlock::NO_IMAGE);
    EXPECT_EQ(blocks[2].x, 8);
    EXPECT_EQ(blocks[2].status, LoadedBlock::IMAGE_PRESENT);
    EXPECT_EQ(cached(L"openStreet", L"4/5/5"), "-");
    EXPECT_EQ(cached(L"openStreet", L"4/6/5"), "-");
    EXPECT_TRUE(
        log.contains("[DEBUG] GoogleMapsLoader::Load from Internet: code == "
                     "HTTP_NOT_FOUND_ERROR"));
    EXPECT_TRUE(log.contains("[ERROR] GoogleMapsLoader::loadImageFromURL: file is not image."));
    EXPECT_TRUE(log.contains("[ERROR] GoogleMapsLoader:HTTPException Bad http status."));
}

TEST_F(MapsLoaderManagerTest, OfflineEveryBlockIsTheNewestStoredCopyWhateverItsVersion) {
    server.serve("/", resource(200, "text/html", "no version here"));  // version "282"
    server.serve("//tiles//r021?g=282", resource(200, "image/png", "version 282"));
    server.serve("//tiles//r0?g=282", resource(200, "image/png", "probe tile"));
    CacheManager::saveCacheItem(L"microsoft", cachetest::block(L"r021"), L"100", L"png",
                                "version 100");
    startWith(1, 1);
    manager->setOffline();
    ASSERT_TRUE(manager->loadMapBlock(pixelOf(1, 2), 1, 4));
    ASSERT_TRUE(waitBlocks(1));
    EXPECT_EQ(observer.blocks()[0].data, "version 100");
    EXPECT_EQ(server.count("GET", "//tiles//r021?g=282"), 0u);

    // Online, the source's current version is what counts.
    manager->setOnline();
    int side = 0;
    manager->setViewParams(1, &observer, side, 4, WorldCoords(), true);
    EXPECT_EQ(MapsLoaderManager::getCurrentLoader()->getCurrentVersion(), L"282");
    ASSERT_TRUE(manager->loadMapBlock(pixelOf(1, 2), 1, 4));
    ASSERT_TRUE(waitBlocks(2));
    EXPECT_EQ(observer.blocks()[1].data, "version 282");

    LoadedBlock block;
    manager->setOffline();
    ASSERT_TRUE(manager->checkLoad(pixelOf(1, 2), 1, 4, block, MapsLoaderManager::CACHE_ONLY));
    EXPECT_EQ(block.data, "version 282");
    EXPECT_FALSE(manager->checkLoad(pixelOf(3, 3), 1, 4, block, MapsLoaderManager::CACHE_ONLY));
}

// The versions are found by the loader's thread, for the map type that is shown when it
// gets to it: a type that was replaced before that is never asked for.
TEST_F(MapsLoaderManagerTest, AMapTypeChangeEmptiesTheQueueAndFindsTheNewTypesVersion) {
    server.serve("/maps",
                 resource(200, "text/html",
                          "http://mt0.localhost:" + std::to_string(server.port()) +
                              "/mt?n\\x3d404\\x26v\\x3droad7\\x26 http://khm0.localhost:" +
                              std::to_string(server.port()) + "/kh?n\\x3d404\\x26v\\x3dsat9\\x26"));
    server.serve("/kh", resource(200, "image/jpeg", "satellite probe tile"));
    ASSERT_TRUE(manager->selectLoader(0));
    manager->setOnline();
    int side = 0;
    manager->setViewParams(1, &observer, side, 5, WorldCoords(), true);
    EXPECT_TRUE(manager->loadMapBlock(pixelOf(1, 1), 1, 5));
    EXPECT_TRUE(manager->loadMapBlock(pixelOf(2, 1), 1, 5));
    manager->setViewParams(0, &observer, side, 5, WorldCoords(), true);
    EXPECT_EQ(manager->size(), 0u);
    EXPECT_TRUE(server.requests().empty()) << "nothing is fetched on the caller's thread";
    manager->start();
    IMapsLoader* google = MapsLoaderManager::getCurrentLoader();
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return google->getCurrentVersion() == L"sat9"; }, GUARD_MS));
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return manager->getInternetState() == MapsLoaderManager::INTERNET; }, GUARD_MS));
    // The same type again keeps its version; back to road finds road's.
    manager->setViewParams(0, &observer, side, 6, WorldCoords(), true);
    manager->setViewParams(1, &observer, side, 6, WorldCoords(), true);
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return google->getCurrentVersion() == L"road7"; }, GUARD_MS));
    EXPECT_EQ(server.count("GET", "/maps"), 2u);
}

// The view calls setViewParams on the GUI thread: it must never wait for a version page,
// neither for one it asks for nor for one the loader's internet check is fetching.
TEST_F(MapsLoaderManagerTest, TheViewNeverWaitsForTheVersionPage) {
    HttpServer::Resource silent;
    silent.neverAnswer = true;
    server.serve("/maps", silent);
    ASSERT_TRUE(manager->selectLoader(0));
    manager->setOnline();
    manager->start();
    // The internet check fetches the version page, which never comes.
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return server.count("GET", "/maps") == 1; }, GUARD_MS));
    int side = 0;
    manager->setViewParams(1, &observer, side, 5, WorldCoords(), true);
    manager->setViewParams(0, &observer, side, 7, WorldCoords(), true);
    EXPECT_TRUE(manager->loadMapBlock(pixelOf(1, 1), 0, 7));
    EXPECT_EQ(manager->getInternetState(), MapsLoaderManager::CHECKING)
        << "setViewParams returned only after the loader's fetch had ended";
    EXPECT_EQ(server.count("GET", "/maps"), 1u) << "a version page was fetched by the caller";
    manager->stop();  // aborts the fetch
    EXPECT_FALSE(manager->isRunning());
    EXPECT_NE(manager->getInternetState(), MapsLoaderManager::CHECKING);
}

TEST_F(MapsLoaderManagerTest, StoppingDuringADownloadEndsAtOnceAndDeliversNothing) {
    HttpServer::Resource silent;
    silent.neverAnswer = true;
    server.serve("/4/1/1.png", silent);
    startWith(2, 1);
    ASSERT_TRUE(manager->loadMapBlock(pixelOf(1, 1), 1, 5));
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return server.count("GET", "/4/1/1.png") == 1; }, GUARD_MS));
    manager->stop();
    EXPECT_FALSE(manager->isRunning());
    EXPECT_TRUE(observer.blocks().empty());
    EXPECT_EQ(observer.count("networkStart"), observer.count("networkStop"));
    // And it runs again.
    server.serve("/4/1/1.png", resource(200, "image/png", "late"));
    manager->start();
    ASSERT_TRUE(manager->loadMapBlock(pixelOf(1, 1), 1, 5));
    ASSERT_TRUE(waitBlocks(1));
    EXPECT_EQ(observer.blocks()[0].data, "late");
}

TEST_F(MapsLoaderManagerTest, TheInternetCheckFollowsTheTileServer) {
    startWith(2, 1);
    EXPECT_EQ(observer.count("internet"), 1u);
    EXPECT_TRUE(manager->isInternet());

    // Without the tile server: the next check (only once the state is not 1) says so.
    Observer quiet;
    auto second = std::make_unique<MapsLoaderManager>(clock);
    second->setListener(&quiet);
    server.serve("/0/0/0.png", resource(404, "text/html", "gone"));
    ASSERT_TRUE(second->selectLoader(2));
    second->setOnline();
    second->start();
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return second->getInternetState() == MapsLoaderManager::NO_INTERNET; }, GUARD_MS));
    EXPECT_EQ(quiet.count("noInternet"), 1u);
    server.serve("/0/0/0.png", resource(200, "image/png", "back"));
    clock.advance(11);
    ASSERT_TRUE(testsupport::waitUntil([&] { return second->isInternet(); }, GUARD_MS));
    EXPECT_EQ(quiet.count("internet"), 1u);
    second->stop();
}

// The tile server goes away and comes back on the same address. Without it the older
// stored copy is served and the listener hears of it; once it is back (and the next
// check has seen it), the current version is downloaded again. A failed probe of the
// service's web root by someone else is noticed too, without any block being asked for.
TEST_F(MapsLoaderManagerTest, ALostNetworkIsNoticedTheCacheServesAndTheReturnIsNoticed) {
    const int port = server.port();
    auto serveTiles = [](HttpServer& to) {
        to.serve("/", resource(200, "text/html", "no version here"));  // version "282"
        to.serve("//tiles//r0?g=282", resource(200, "image/png", "probe tile"));
        to.serve("//tiles//r021?g=282", resource(200, "image/png", "version 282"));
    };
    serveTiles(server);
    CacheManager::saveCacheItem(L"microsoft", cachetest::block(L"r021"), L"100", L"png",
                                "version 100");
    startWith(1, 1);
    server.stop();
    ASSERT_TRUE(manager->loadMapBlock(pixelOf(1, 2), 1, 4));
    ASSERT_TRUE(waitBlocks(1));
    EXPECT_EQ(observer.blocks()[0].data, "version 100");
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return manager->getInternetState() == MapsLoaderManager::NO_INTERNET; }, GUARD_MS));
    EXPECT_EQ(observer.count("noInternet"), 1u);

    HttpServer back(port);
    serveTiles(back);
    clock.advance(11);
    ASSERT_TRUE(testsupport::waitUntil([&] { return manager->isInternet(); }, GUARD_MS));
    EXPECT_EQ(observer.count("internet"), 2u);
    ASSERT_TRUE(manager->loadMapBlock(pixelOf(1, 2), 1, 4));
    ASSERT_TRUE(waitBlocks(2));
    EXPECT_EQ(observer.blocks()[1].data, "version 282");

    back.stop();
    EXPECT_FALSE(ConnectionManager::isConnected());  // as the HTTP loader's probe finds
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return manager->getInternetState() == MapsLoaderManager::NO_INTERNET; }, GUARD_MS));
    EXPECT_EQ(observer.count("noInternet"), 2u);
}

TEST_F(MapsLoaderManagerTest, WithoutAnAnswerFromTheServiceTheTileServersAreLeftAlone) {
    std::string closed;
    {
        HttpServer gone;
        closed = gone.url("/");
    }
    ConnectionManager::initialise(kestra::utf8ToWide(closed));
    CacheManager::saveCacheItem(L"openStreet", cachetest::block(L"4/2/2"), L"", L"png", "kept");
    ASSERT_TRUE(manager->selectLoader(2));
    int side = 0;
    manager->setOnline();
    manager->setViewParams(1, &observer, side, 5, WorldCoords(), false);
    manager->start();
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return manager->getInternetState() == MapsLoaderManager::NO_INTERNET; }, GUARD_MS));
    ASSERT_TRUE(manager->loadMapBlock(pixelOf(2, 2), 1, 5));
    ASSERT_TRUE(waitBlocks(1));
    EXPECT_EQ(observer.blocks()[0].data, "kept");
    EXPECT_EQ(observer.count("noInternet"), 1u);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(MapsLoaderManagerTest, DeferredViewRequestsRunOnTheLoaderThread) {
    startWith(2, 1);
    manager->requestZoom(MapsLoaderManager::ZOOM_IN);
    ASSERT_TRUE(testsupport::waitUntil([&] { return observer.count("zoom 1") == 1; }, GUARD_MS));
    manager->requestRefresh();
    ASSERT_TRUE(testsupport::waitUntil([&] { return observer.count("refresh") == 1; }, GUARD_MS));
    manager->requestLoaderChange(1, 2);
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return observer.count("change 1 2 2") == 1; }, GUARD_MS));
    // Setting the calendar clock back an hour stops no interval: the ticks go on.
    clock.setCalendarBack(3600);
    clock.advance(2);
    ASSERT_TRUE(testsupport::waitUntil([&] { return observer.count("tick") >= 1; }, GUARD_MS));
    clock.advance(2);
    ASSERT_TRUE(testsupport::waitUntil([&] { return observer.count("tick") >= 2; }, GUARD_MS));
}

TEST_F(MapsLoaderManagerTest, CheckLoadFindsOutOrFetchesOnTheCallersThread) {
    server.serve("/4/9/9.png", resource(200, "image/png", "nine"));
    startWith(2, 1);  // the thread works on its queue, which stays empty here
    LoadedBlock block;
    EXPECT_FALSE(manager->checkLoad(pixelOf(9, 9), 1, 5, block, MapsLoaderManager::CACHE_ONLY));
    EXPECT_TRUE(manager->checkLoad(pixelOf(9, 9), 1, 5, block, MapsLoaderManager::CHECK_AVAILABLE));
    EXPECT_TRUE(block.data.empty());  // mode 0 only finds out
    EXPECT_EQ(cached(L"openStreet", L"4/9/9"), "nine");
    EXPECT_TRUE(manager->checkLoad(pixelOf(9, 9), 1, 5, block, MapsLoaderManager::CACHE_ONLY));
    EXPECT_EQ(block.data, "nine");
    EXPECT_EQ(block.imageType, L"png");
    EXPECT_EQ(server.count("GET", "/4/9/9.png"), 1u);
}

}  // namespace
