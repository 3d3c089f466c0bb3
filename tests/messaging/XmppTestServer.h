#pragma once

#include <memory>
#include <string>

#include "TestSupport.h"

// The ejabberd of the integration tests. Under CTest one server started by the fixture
// test serves every test process (in the build folder's testing/xmpp-server); a test
// program started by hand without it starts a private server and stops it at its end.
class XmppTestServer {
public:
    static XmppTestServer& instance();

    int port() const { return port_; }
    std::string domain() const { return "localhost"; }
    // The CA that signed the server's certificate.
    std::string caFile() const { return runDir_ + "/etc/ca.crt"; }
    // A fresh numeric user name, unique across test processes.
    static std::string newUserName();
    static std::string newBotName();

    void stopOwnServer();

private:
    XmppTestServer();
    bool useRunning(const std::string& runDir);

    std::string runDir_;
    int port_ = 0;
    std::unique_ptr<testsupport::TempDir> ownDir_;
};

// Starts the settings store in a temporary folder with the CA file of the test server.
class TestSettings {
public:
    TestSettings();
    ~TestSettings();
    void trustTestCa(bool trusted);

private:
    testsupport::TempDir dir_;
};
