// The block matrix with the real maps loader, the real cache and the tile server: the order
// of its first requests, blocks that have no place, and undecodable blocks online and
// offline.
#include "client/maps/MapsManager.h"

#include <gtest/gtest.h>

#include <atomic>

#include "LogCapture.h"
#include "TestSupport.h"
#include "client/maps/CacheManager.h"
#include "client/maps/ConnectionManager.h"
#include "client/maps/MapsLoaderManager.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "testing/view/DecodeRecordingFactory.h"
#include "testing/view/RenderRig.h"
#include "testing/view/TileServer.h"

using fixture::TileServer;

namespace {

constexpr int GUARD_MS = 20000;  // only keeps a broken test from hanging
constexpr int LEVEL = 10;

class RecordingViewListener : public IViewListener {
public:
    void setBlockSide(int side) override { blockSide = side; }
    void onBlockDrawn(const Rect&) override { ++drawn; }
    bool isViewCreated() override { return created; }
    std::atomic<int> blockSide{0};
    std::atomic<int> drawn{0};
    std::atomic<bool> created{true};
};

class MapsManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        kestra::Settings::startup(dir.wstr() + L"/settings.cfg");
        tiles.configureSettings();
        CacheManager::setCachePlace(dir.wstr(), dir.wstr());
        centre = fixture::degrees(52.52, 13.40);
        CoordinateUtils::worldToMercatorProjectionCoords(LEVEL, centre, point, 256);
        // The centre in the middle of its block, so that the rings are symmetric.
        point.x = (point.x / 256) * 256 + 128;
        point.y = (point.y / 256) * 256 + 128;
        CoordinateUtils::mercatorProjectionToWorldCoords(point, LEVEL, 256, centre);
        CoordinateUtils::worldToMercatorProjectionCoords(LEVEL, centre, point, 256);
        buffer = factory.createEmptyImage(800, 480, 0);
    }
    void TearDown() override {
        if (loader) {
            loader->stop();
        }
        maps.reset();
        loader.reset();
        CacheManager::shutdown();
        kestra::Settings::shutdown();
    }
    // The loader with its thread, online or with a network it cannot reach.
    void startLoader(bool reachable) {
        ConnectionManager::initialise(reachable ? kestra::utf8ToWide(tiles.http().url("/"))
                                                : L"http://127.0.0.1:9/");
        loader = std::make_unique<MapsLoaderManager>();
        loader->selectLoader(2);
        loader->setOnline();
        loader->start();
        const int wanted = reachable ? MapsLoaderManager::INTERNET : MapsLoaderManager::NO_INTERNET;
        ASSERT_TRUE(
            testsupport::waitUntil([&] { return loader->getInternetState() == wanted; }, GUARD_MS));
        maps = std::make_unique<MapsManager>(*loader, factory);
        maps->setViewListener(&view);
        maps->setViewSize(800, 480);
        maps->setDrawingBuffer(buffer.get(), 0);
    }
    // The block numbers of the tile requests the server saw, in order.
    std::vector<std::pair<int, int>> requested() {
        std::vector<std::pair<int, int>> blocks;
        const std::string prefix = "/" + std::to_string(LEVEL - 1) + "/";
        for (const auto& r : tiles.http().requests()) {
            if (r.path.rfind(prefix, 0) == 0) {
                int x = 0;
                int y = 0;
                std::sscanf(r.path.c_str() + prefix.size(), "%d/%d", &x, &y);
                blocks.emplace_back(x - point.x / 256, y - point.y / 256);
            }
        }
        return blocks;
    }
    LoadedBlock blockAt(int level, int x, int y) {
        LoadedBlock block;
        block.status = LoadedBlock::IMAGE_PRESENT;
        block.data = TileServer::png(TileServer::colourOf(level, x, y));
        block.size = static_cast<std::uint32_t>(block.data.size());
        block.x = x;
        block.y = y;
        block.level = level;
        block.blockSide = 256;
        return block;
    }

    testsupport::TempDir dir;
    TileServer tiles;
    fixture::DecodeRecordingFactory factory;
    RecordingViewListener view;
    std::unique_ptr<ILumoraImage> buffer;
    std::unique_ptr<MapsLoaderManager> loader;
    std::unique_ptr<MapsManager> maps;
    WorldCoords centre;
    MercatorCoords point;
};

TEST_F(MapsManagerTest, TheCentreComesFirstThenTheRingsAsFarAsTheLoadersQueueTakes) {
    tiles.serveAround(LEVEL, point, 800, 480);
    startLoader(true);
    loader->stop();  // so that the queue holds what the first pass gives it
    tiles.http().clearRequests();
    int level = LEVEL;
    maps->loadFirstBlocks(centre, level, 1);
    EXPECT_EQ(view.blockSide, 256);
    ASSERT_TRUE(testsupport::waitUntil([&] { return requested().size() >= 12; }, GUARD_MS));
    const auto seen = requested();
    const std::vector<std::pair<int, int>> first(seen.begin(), seen.begin() + 12);
    const std::vector<std::pair<int, int>> expected = {
        {0, 0},                                                                // the centre
        {-1, -1}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0},  // ring 1
        {2, -1},  {2, 0},  {2, 1},  // ring 2, right side; its top and bottom rows are not seen
    };
    EXPECT_EQ(first, expected);
    // The left side of ring 2 follows as soon as the queue has room.
    ASSERT_TRUE(testsupport::waitUntil([&] { return requested().size() >= 15; }, GUARD_MS));
    const auto all = requested();
    for (const std::pair<int, int>& left : {std::make_pair(-2, -1), {-2, 0}, {-2, 1}}) {
        EXPECT_NE(std::find(all.begin() + 12, all.end(), left), all.end());
    }
    ASSERT_TRUE(testsupport::waitUntil([&] { return maps->getCellState(1, 2) == 2; }, GUARD_MS));
    EXPECT_EQ(buffer->getContext().getPixel(400, 240),
              TileServer::colourOf(LEVEL, point.x / 256, point.y / 256));
}

TEST_F(MapsManagerTest, BlocksWithoutAPlaceAreDroppedWithTheirReason) {
    startLoader(true);
    int level = LEVEL;
    maps->loadFirstBlocks(centre, level, 1);  // nothing served: every request comes back empty
    LogCapture log;
    const int cx = point.x / 256;
    const int cy = point.y / 256;
    int column = -1;
    int row = -1;
    LoadedBlock other = blockAt(LEVEL + 1, 2 * cx, 2 * cy);
    EXPECT_FALSE(maps->cacheMapBlock(other, column, row));
    EXPECT_TRUE(log.contains(
        "[ERROR] >>>>MapsManager::cacheMapBlock bad index. Can not add Image to the matrix. Bad "
        "zoom."));
    LoadedBlock outside = blockAt(LEVEL, cx + 3, cy);
    maps->onBlockLoaded(outside);
    EXPECT_TRUE(outside.data.empty()) << "the bytes are freed in every case";
    EXPECT_TRUE(log.contains(
        "[ERROR] >>>>MapsManager::cacheMapBlock bad index. Can not add Image to the matrix."));
    LoadedBlock empty;
    empty.level = LEVEL;
    maps->onBlockLoaded(empty);
    EXPECT_TRUE(log.contains("[DEBUG]  MapsManager::addMap: No picture with this zoom."));

    LoadedBlock good = blockAt(LEVEL, cx, cy);
    ASSERT_TRUE(maps->cacheMapBlock(good, column, row));
    EXPECT_EQ(column, 3);
    EXPECT_EQ(row, 3);
    LoadedBlock again = blockAt(LEVEL, cx, cy);
    EXPECT_FALSE(maps->cacheMapBlock(again, column, row));
    EXPECT_TRUE(log.contains("[ERROR] >>>>>MapsManager::cacheMapBlock bad index.pImg! = NULL"));

    // While the map window does not exist a block is not decoded and its cell stays empty.
    view.created = false;
    const long decodes = factory.decodes();
    LoadedBlock unseen = blockAt(LEVEL, cx + 1, cy);
    maps->onBlockLoaded(unseen);
    EXPECT_EQ(factory.decodes(), decodes);
    EXPECT_NE(maps->getCellState(4, 3), BlockMatrix::PRESENT);
}

TEST_F(MapsManagerTest, AnUndecodableBlockOnlineIsOnlyLogged) {
    const int cx = point.x / 256;
    const int cy = point.y / 256;
    tiles.serveAround(LEVEL, point, 800, 480);
    tiles.serveBytes(LEVEL, cx, cy, "<html>login</html>");  // passes as image/png
    LogCapture log;
    startLoader(true);
    int level = LEVEL;
    maps->loadFirstBlocks(centre, level, 1);
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return log.contains("MapsManager::cacheMapBlock block was loaded from internet."); },
        GUARD_MS));
    EXPECT_TRUE(
        log.contains("[ERROR] >>>>MapsManager::cacheMapBlock error while block creation 1."));
    EXPECT_FALSE(log.contains("MapsManager::cacheMapBlock clear cache."));
    ASSERT_TRUE(testsupport::waitUntil([&] { return maps->getCellState(4, 3) == 2; }, GUARD_MS));
    std::wstring type;
    std::string data;
    MapsDataTypes::ImageBlockProp block;
    block.name =
        std::to_wstring(LEVEL - 1) + L"/" + std::to_wstring(cx + 1) + L"/" + std::to_wstring(cy);
    EXPECT_TRUE(CacheManager::findMaxVersionCacheItem(L"openStreet", block, type, data))
        << "the cache keeps its blocks";
}

TEST_F(MapsManagerTest, AnUndecodableCachedBlockWithoutInternetEmptiesTheCache) {
    const int cx = point.x / 256;
    const int cy = point.y / 256;
    auto store = [&](int x, int y, const std::string& bytes) {
        MapsDataTypes::ImageBlockProp block;
        block.name =
            std::to_wstring(LEVEL - 1) + L"/" + std::to_wstring(x) + L"/" + std::to_wstring(y);
        block.level = LEVEL;
        CacheManager::saveCacheItem(L"openStreet", block, L"", L"png", bytes);
        return block;
    };
    const MapsDataTypes::ImageBlockProp good =
        store(cx + 1, cy, TileServer::png(TileServer::colourOf(LEVEL, cx + 1, cy)));
    store(cx, cy, "not a tile");
    LogCapture log;
    startLoader(false);
    int level = LEVEL;
    maps->loadFirstBlocks(centre, level, 1);
    EXPECT_TRUE(
        log.contains("[ERROR]  MapsManager::fillMatrixFromCache getImageFromBuffer == NULL"));
    EXPECT_EQ(maps->getCellState(4, 3), BlockMatrix::PRESENT) << "read from the cache at once";
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return log.contains("[DEBUG] MapsManager::cacheMapBlock clear cache."); }, GUARD_MS));
    std::wstring type;
    std::string data;
    EXPECT_FALSE(CacheManager::findMaxVersionCacheItem(L"openStreet", good, type, data));
}

}  // namespace
