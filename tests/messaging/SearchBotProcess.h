#pragma once

#include <string>
#include <vector>

#include "TestSupport.h"

// The search bot (service/searchbot) as a child process with its own account and
// state folder. As a peer it plays an ordinary contact whose stanzas a test writes.
class SearchBotProcess {
public:
    explicit SearchBotProcess(const std::string& name, bool peer = false);
    ~SearchBotProcess();

    std::string jid() const { return name_ + "@localhost"; }
    // One user per line: jid|first|last|nick|email|gender|status|latitude|longitude
    void setUsers(const std::vector<std::string>& lines);
    // "normal", "error", "malformed", "noresult" or "other".
    void setMode(const std::string& mode);
    // The lines the bot recorded so far.
    std::vector<std::string> record() const;
    bool waitForRecord(const std::string& line, int timeoutMs = 15000) const;
    // Sends the stanzas as they are and waits until they went out.
    void sendRaw(const std::string& stanzas);

private:
    std::string name_;
    testsupport::TempDir state_;
    testsupport::ChildProcess process_;
    int batches_ = 0;
};
