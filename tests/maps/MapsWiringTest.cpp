#include <gtest/gtest.h>

#include <future>

#include "FakeGui.h"
#include "TestSupport.h"
#include "client/app/ApplicationManager.h"
#include "client/maps/CacheManager.h"
#include "client/maps/HTTPLoader.h"
#include "client/maps/MapsLoaderManager.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "testing/http/HttpServer.h"

using kestra::Settings;

namespace {

// The controller creates, selects and starts the maps loader and the HTTP loader at
// start-up and stops them, with the tile cache, when it ends.
class MapsWiringTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings::startup(dir.wstr() + L"/settings.cfg");
        // Everything the loaders might reach lies on this machine.
        Settings::setStringValue(L"lumoraServer.webRoot", kestra::utf8ToWide(service.url("/")));
        Settings::setStringValue(L"maps.openStreet.tileHost", kestra::utf8ToWide(service.url("")));
        Settings::setStringValue(L"maps.google.pageHost",
                                 kestra::utf8ToWide(service.hostAndPort()));
        Settings::setStringValue(L"maps.google.domain", L".localhost:1");
        CacheManager::setCachePlace(dir.wstr(), dir.wstr());
    }
    void TearDown() override {
        if (Settings::isReady()) {
            Settings::shutdown();
        }
        CacheManager::shutdown();
    }
    // Runs the controller until its windows exist, checks, then quits it.
    template <class Check>
    void runAndQuit(Check check) {
        ApplicationManager manager(gui, factory, clock);
        auto result = std::async(std::launch::async, [&] { return manager.runApplication(); });
        ASSERT_TRUE(
            testsupport::waitUntil([&] { return factory.mainFrame.load() != nullptr; }, 20000));
        check(manager);
        manager.quit();
        ASSERT_EQ(result.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        EXPECT_EQ(result.get(), 0);
        EXPECT_FALSE(CacheManager::isReady()) << "serialize shut the tile cache down";
    }

    testsupport::TempDir dir;
    fixture::HttpServer service;
    FakeGuiThread gui;
    FakeGuiFactory factory{gui};
    FastClock clock;
};

TEST_F(MapsWiringTest, TheStoredSourceRunsInCachedOnlyModeWhenAsked) {
    Settings::setIntValue(L"maps.loaderName", 2);
    Settings::setIntValue(L"maps.inetMode", 2);
    runAndQuit([](ApplicationManager& manager) {
        ASSERT_NE(manager.getHTTPLoader(), nullptr);
        EXPECT_TRUE(manager.getHTTPLoader()->isStarted());
        MapsLoaderManager* loader = manager.getMapLoader();
        ASSERT_NE(loader, nullptr);
        EXPECT_TRUE(testsupport::waitUntil([&] { return loader->isRunning(); }, 20000));
        EXPECT_FALSE(loader->isOnlineAllowed());
        EXPECT_EQ(MapsLoaderManager::getCurrentLoader()->getLoaderId(), 2);
    });
}

TEST_F(MapsWiringTest, AnUnknownSourceFallsBackToTheFirstOneAndOnlineIsTheDefault) {
    Settings::setIntValue(L"maps.loaderName", 7);
    runAndQuit([](ApplicationManager& manager) {
        EXPECT_TRUE(manager.getMapLoader()->isOnlineAllowed());
        EXPECT_EQ(MapsLoaderManager::getCurrentLoader()->getLoaderId(), 0);
        EXPECT_EQ(Settings::getIntValue(L"maps.loaderName", -1), 0);
    });
}

}  // namespace
