#include "XmppTestServer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "kestra/Settings.h"
#include "kestra/TextCodec.h"

namespace {

std::string runScript(const std::string& script, const std::string& runDir) {
    const std::string command = "bash '" +
                                (testsupport::sourceDir() / "testing/ejabberd" / script).string() +
                                "' '" + runDir + "' >'" + runDir + "/" + script + ".out' 2>&1";
    return std::system(command.c_str()) == 0
               ? std::string()
               : testsupport::readFile(runDir + "/" + script + ".out");
}

// Stops a server that this program started, also when tests failed.
class OwnServerEnvironment : public ::testing::Environment {
public:
    void TearDown() override { XmppTestServer::instance().stopOwnServer(); }
};

::testing::Environment* const ownServerEnvironment =
    ::testing::AddGlobalTestEnvironment(new OwnServerEnvironment);

}  // namespace

XmppTestServer& XmppTestServer::instance() {
    static XmppTestServer server;
    return server;
}

XmppTestServer::XmppTestServer() {
    // The server that the test fixture started, when it runs.
    if (useRunning(LUMORA_XMPP_RUN_DIR))
        return;
    ownDir_ = std::make_unique<testsupport::TempDir>();
    const std::string failure = runScript("start.sh", ownDir_->str());
    if (!failure.empty() || !useRunning(ownDir_->str())) {
        throw std::runtime_error("the test XMPP server did not start: " + failure);
    }
}

bool XmppTestServer::useRunning(const std::string& runDir) {
    std::ifstream portFile(runDir + "/port");
    int port = 0;
    std::ifstream pidFile(runDir + "/ejabberd.pid");
    int pid = 0;
    if (!(portFile >> port) || !(pidFile >> pid) || ::kill(pid, 0) != 0)
        return false;
    runDir_ = runDir;
    port_ = port;
    return true;
}

void XmppTestServer::stopOwnServer() {
    if (!ownDir_)
        return;
    runScript("stop.sh", ownDir_->str());
    ownDir_.reset();
}

std::string XmppTestServer::newUserName() {
    static std::atomic<int> counter{0};
    return std::to_string(::getpid()) + "0" + std::to_string(100 + counter++);
}

std::string XmppTestServer::newBotName() {
    return "sys" + newUserName();
}

TestSettings::TestSettings() {
    kestra::Settings::startup((dir_.path() / "settings.cfg").wstring());
    trustTestCa(true);
}

TestSettings::~TestSettings() {
    kestra::Settings::shutdown();
}

void TestSettings::trustTestCa(bool trusted) {
    kestra::Settings::setStringValue(
        L"lumoraServer.cafile",
        trusted ? kestra::utf8ToWide(XmppTestServer::instance().caFile()) : std::wstring());
}
