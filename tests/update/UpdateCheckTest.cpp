#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <optional>
#include <random>

#include "FakeGui.h"
#include "LumoraService.h"
#include "ReadOnlyFolder.h"
#include "TestSupport.h"
#include "client/app/ApplicationManager.h"
#include "client/app/InstallPlace.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

namespace fs = std::filesystem;
using kestra::Settings;
using testsupport::readFile;
using testsupport::waitUntil;

namespace {

constexpr int WAIT_MS = 30000;

std::string randomBytes(std::size_t size) {
    std::mt19937 generator(42);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(generator());
    }
    return bytes;
}

// Sleeps for real and counts the sleeps.
class CountingRealClock : public kestra::SystemClock {
public:
    void sleepMs(unsigned int milliseconds) override {
        ++sleeps;
        kestra::SystemClock::sleepMs(milliseconds);
    }
    std::atomic<int> sleeps{0};
};

// The real controller with its real HTTP loader against the service fixture on loopback.
// Messages to the user are logged until the map view exists, so the log shows them.
class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(appFolder());
        kestra::Log::open((appFolder() / "lumora.log").wstring(), kestra::LOG_INFO, 10000000);
        Settings::startup(settingsFile().wstring());
        Settings::setStringValue(L"lumoraServer.webRoot", kestra::utf8ToWide(service.root()));
        service.setPackage(package);
    }
    void TearDown() override {
        stop();
        Settings::shutdown();
        kestra::Log::close();
    }

    void start(kestra::IClock& clock) {
        gui = std::make_unique<FakeGuiThread>();
        factory = std::make_unique<FakeGuiFactory>(*gui);
        manager = std::make_unique<ApplicationManager>(*gui, *factory, clock);
        manager->setApplicationFolder(appFolder().wstring());
        if (place) {
            manager->setInstallPlace(*place);
        }
        result = std::async(std::launch::async, [this] { return manager->runApplication(); });
    }
    // Quits the controller (which saves and shuts the settings down) and starts the
    // settings again from the file, as the next program start would.
    void stop() {
        if (!manager) {
            return;
        }
        manager->quit();
        EXPECT_EQ(result.wait_for(std::chrono::seconds(60)), std::future_status::ready);
        manager.reset();
        factory.reset();
        gui.reset();
        if (!Settings::isReady()) {
            Settings::startup(settingsFile().wstring());
        }
    }
    void announce(const std::string& version) {
        fixture::LumoraService::VersionInfo info;
        info.version = version;
        info.download = "http://lumora.example/download/";
        service.setVersionInfo(info);
    }
    bool waitForVersionInfo() {
        return waitUntil([&] { return manager->isVersionInfoReceived(); }, WAIT_MS);
    }
    bool waitForPendingUpdate() {
        return waitUntil([] { return Settings::getIntValue(L"general.isUpdate", 0) == 1; },
                         WAIT_MS);
    }
    std::size_t logCount(const std::string& text) const {
        const std::string log = readFile(appFolder() / "lumora.log");
        std::size_t count = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
            ++count;
        }
        return count;
    }
    std::size_t messages(const std::string& text) const {
        return logCount("[INFO] ApplicationManager::showMessage: " + text + "\n");
    }
    std::vector<std::string> packageRanges() const {
        std::vector<std::string> ranges;
        for (const auto& request : service.requests()) {
            if (request.method == "GET" && request.path == fixture::LumoraService::PACKAGE_PATH) {
                ranges.push_back(request.range);
            }
        }
        return ranges;
    }

    fs::path appFolder() const { return dir.path() / "Lumora"; }
    fs::path settingsFile() const { return appFolder() / "settings.cfg"; }
    fs::path packageFile() const { return appFolder() / "update/update.zip"; }

    testsupport::TempDir dir;
    fixture::LumoraService service;
    const std::string package = randomBytes(300000);
    FastClock fastClock;
    std::unique_ptr<FakeGuiThread> gui;
    std::unique_ptr<FakeGuiFactory> factory;
    std::unique_ptr<ApplicationManager> manager;
    std::future<int> result;
    std::optional<InstallPlace> place;
};

TEST_F(UpdateCheckTest, NewerVersionInModeOneIsDownloadedAndMarkedForInstallation) {
    announce("2.0.0");
    // A package of an earlier, installed version lies in the update folder.
    Settings::setStringValue(L"splitter.startLoadUpdate", L"1.9.5");
    Settings::setStringValue(L"splitter.succeeesLoadUpdate", L"1.9.5");
    fs::create_directories(packageFile().parent_path());
    testsupport::writeFile(packageFile(), "old package of 1.9.5");
    std::atomic<bool> startSavedFirst{false};
    service.setPackageRequestHook([&](const fixture::LumoraService::Request&) {
        const std::wstring onDisk = kestra::utf16leToWide(readFile(settingsFile()));
        startSavedFirst =
            onDisk.find(L"name=\"startLoadUpdate\" value=\"2.0.0\"") != std::wstring::npos;
    });

    start(fastClock);
    ASSERT_TRUE(waitForPendingUpdate()) << readFile(appFolder() / "lumora.log");
    EXPECT_TRUE(startSavedFirst) << "the started version is on disk before the download";
    EXPECT_EQ(readFile(packageFile()), package);
    EXPECT_EQ(packageRanges(), std::vector<std::string>{""}) << "the old file was not resumed";
    EXPECT_EQ(Settings::getStringValue(L"splitter.succeeesLoadUpdate"), L"2.0.0");
    EXPECT_EQ(messages("Update download is started."), 1U);
    EXPECT_EQ(messages("Lumora will be updated after restart!"), 1U);
    EXPECT_EQ(manager->getDownloadAddress(), L"http://lumora.example/download/");
    // The finished state is on disk at once, not only at the end of the run.
    EXPECT_NE(kestra::utf16leToWide(readFile(settingsFile())).find(L"isUpdate\" value=\"1\""),
              std::wstring::npos);

    // The next start finds this version downloaded already and fetches nothing.
    stop();
    Settings::setIntValue(L"general.isUpdate", 0);
    start(fastClock);
    ASSERT_TRUE(waitForVersionInfo());
    EXPECT_EQ(packageRanges().size(), 1U);
    EXPECT_EQ(messages("Update download is started."), 1U);
}

// An installation that cannot replace its own files (a program folder this user cannot
// write to; one that the system's package manager installed, even for root) downloads
// nothing in any update mode, and still tells the user that a newer version exists.
TEST_F(UpdateCheckTest, AnInstallationThatCannotReplaceItsFilesOnlyAnnouncesUpdates) {
    announce("2.0.0");
    const fs::path programs = dir.path() / "programs";
    fs::create_directories(programs);
    testsupport::writeFile(programs / "Lumora", "the client");
    const fs::path packageList = dir.path() / "lumora.list";
    testsupport::writeFile(packageList, "/.\n/usr\n" + (programs / "Lumora").string() + "\n");
    struct Case {
        const char* name;
        std::wstring list;
        bool readOnly;
        const char* why;
    };
    const Case cases[] = {
        {"read-only program folder", L"", true, " is not writable; "},
        {"folder of the system's package", packageList.wstring(), false,
         " belongs to the system's package; "},
    };
    std::size_t announced = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<testsupport::ReadOnlyFolder> readOnly;
        if (c.readOnly) {
            readOnly.emplace(programs);
            ASSERT_TRUE(readOnly->ok());
        }
        place.emplace(programs.wstring(), c.list);
        EXPECT_FALSE(place->canInstallUpdates());
        for (const int mode : {1, 0}) {
            Settings::setIntValue(L"general.updateMode", mode);
            start(fastClock);
            ASSERT_TRUE(waitForVersionInfo());
            EXPECT_EQ(messages("Lumora update is available."), ++announced);
            EXPECT_FALSE(manager->canInstallUpdates());
            EXPECT_NE(manager->updateNote().find(L"package manager"), std::wstring::npos);
            EXPECT_EQ(manager->getDownloadAddress(), L"http://lumora.example/download/");
            stop();
        }
        EXPECT_EQ(logCount("[INFO] UpdateChecker: the program folder " + programs.string() + c.why),
                  2U);
    }
    EXPECT_EQ(messages("Update download is started."), 0U);
    EXPECT_TRUE(packageRanges().empty());
    EXPECT_FALSE(fs::exists(packageFile()));
    EXPECT_EQ(Settings::getStringValue(L"splitter.startLoadUpdate"), L"");
    EXPECT_EQ(Settings::getIntValue(L"general.isUpdate", 0), 0);

    // The same folder, writable and not the package's: the update is downloaded as usual.
    place.emplace(programs.wstring(), L"");
    Settings::setIntValue(L"general.updateMode", 1);
    start(fastClock);
    ASSERT_TRUE(waitForPendingUpdate());
    EXPECT_TRUE(manager->canInstallUpdates());
    EXPECT_EQ(manager->updateNote(), L"");
    EXPECT_EQ(readFile(packageFile()), package);
}

TEST_F(UpdateCheckTest, DownloadStoppedByTheProgramsEndResumesAtTheNextStart) {
    announce("2.0.0");
    service.breakDownloads(100000, 1);
    // A clock that really sleeps: the ten-second pause after the broken download is still
    // running when the program ends, and must give way to the end (in 100 ms steps).
    CountingRealClock realClock;
    start(realClock);
    ASSERT_TRUE(waitUntil([&] { return messages("Error at loading update") == 1; }, WAIT_MS));
    const int sleepsBefore = realClock.sleeps.load();
    stop();
    EXPECT_LT(realClock.sleeps.load() - sleepsBefore, 100) << "the pause was cut short";
    EXPECT_EQ(packageRanges().size(), 1U) << "no retry after the end";
    EXPECT_EQ(fs::file_size(packageFile()), 100000U);
    EXPECT_EQ(Settings::getStringValue(L"splitter.startLoadUpdate"), L"2.0.0");
    EXPECT_EQ(Settings::getIntValue(L"general.isUpdate", 0), 0);

    start(fastClock);
    ASSERT_TRUE(waitForPendingUpdate());
    EXPECT_EQ(readFile(packageFile()), package);
    EXPECT_EQ(packageRanges(), (std::vector<std::string>{"", "bytes=100000-"}));
}

TEST_F(UpdateCheckTest, BrokenDownloadIsRetriedAndResumedWithinARun) {
    announce("2.0.0");
    service.breakDownloads(70000, 2);
    start(fastClock);
    ASSERT_TRUE(waitForPendingUpdate());
    EXPECT_EQ(readFile(packageFile()), package);
    EXPECT_EQ(packageRanges(), (std::vector<std::string>{"", "bytes=70000-", "bytes=140000-"}));
    EXPECT_EQ(messages("Error at loading update"), 2U);
    EXPECT_GE(fastClock.sleeps.load(), 200) << "ten seconds of pause before each retry";
}

TEST_F(UpdateCheckTest, AServerThatPromisesMoreThanItSendsNeverCompletesTheDownload) {
    announce("2.0.0");
    service.declarePackageSize(static_cast<long long>(package.size()) + 1000);
    start(fastClock);
    ASSERT_TRUE(waitUntil([&] { return messages("Error at loading update") >= 2; }, WAIT_MS));
    EXPECT_EQ(Settings::getIntValue(L"general.isUpdate", 0), 0);
    EXPECT_NE(Settings::getStringValue(L"splitter.succeeesLoadUpdate"), L"2.0.0");
}

TEST_F(UpdateCheckTest, InModeZeroTheUpdateIsOnlyAnnounced) {
    announce("2.0.0");
    Settings::setIntValue(L"general.updateMode", 0);
    start(fastClock);
    ASSERT_TRUE(waitForVersionInfo());
    EXPECT_EQ(messages("Lumora update is available."), 1U);
    EXPECT_EQ(messages("Update download is started."), 0U);
    EXPECT_TRUE(packageRanges().empty());
    EXPECT_FALSE(fs::exists(packageFile()));
    EXPECT_EQ(Settings::getStringValue(L"splitter.startLoadUpdate"), L"");
}

TEST_F(UpdateCheckTest, TheSameVersionChangesNothing) {
    announce("1.9.0");
    start(fastClock);
    ASSERT_TRUE(waitForVersionInfo());
    EXPECT_EQ(logCount("showMessage"), 0U);
    EXPECT_TRUE(packageRanges().empty());
    EXPECT_EQ(manager->getDownloadAddress(), L"");
}

TEST_F(UpdateCheckTest, MalformedRepliesGiveOneErrorLineAndNoRetry) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<html><body>Not found</body></html>",
         "[ERROR] ApplicationManager ::-1 == xmlWContent.find(information).\n"},
        {"<information><version>2.0.0</version>",
         "[ERROR] ApplicationManager ::(S_OK != res) || (VARIANT_TRUE != succeeded).\n"},
        {"<!-- information, but no element -->",
         "[ERROR] ApplicationManager ::(S_OK != res) || (VARIANT_TRUE != succeeded).\n"},
    };
    for (const auto& [body, line] : cases) {
        service.setClientInfoReply(200, "text/html", body);
        const std::size_t before = service.count("GET", "/clientinfo/");
        const std::size_t linesBefore = logCount(line);
        start(fastClock);
        ASSERT_TRUE(waitForVersionInfo());
        EXPECT_EQ(logCount(line), linesBefore + 1) << body;
        stop();
        EXPECT_EQ(service.count("GET", "/clientinfo/"), before + 1) << "no retry: " << body;
    }
    EXPECT_EQ(logCount("showMessage"), 0U);
}

TEST_F(UpdateCheckTest, NoAnswerIsAskedForAgainEveryTenSeconds) {
    announce("1.9.0");
    service.failClientInfo(2);
    start(fastClock);
    ASSERT_TRUE(waitForVersionInfo());
    EXPECT_EQ(service.count("GET", "/clientinfo/"), 3U);
    EXPECT_GE(fastClock.sleeps.load(), 200);
}

TEST_F(UpdateCheckTest, RegistrationReplyIsHandedToTheController) {
    announce("1.9.0");
    service.setNextGid(4711);
    start(fastClock);
    ASSERT_TRUE(waitForVersionInfo());
    manager->requestRegistration();
    ASSERT_TRUE(waitUntil(
        [&] { return logCount("[INFO] ApplicationManager: registered as 4711@") == 1; }, WAIT_MS));
    EXPECT_EQ(service.count("GET", "/getid/"), 1U);
}

}  // namespace
