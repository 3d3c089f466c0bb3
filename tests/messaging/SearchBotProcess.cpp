#include "SearchBotProcess.h"

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "XmppTestServer.h"

SearchBotProcess::SearchBotProcess(const std::string& name) : name_(name) {
    XmppTestServer& server = XmppTestServer::instance();
    setMode("normal");
    setUsers({});
    const bool started =
        process_.start((testsupport::binaryDir() / "lumora_searchbot").string(),
                       {"--port", std::to_string(server.port()), "--user", name_, "--password",
                        "bot-secret", "--state", state_.str(), "--cafile", server.caFile()});
    if (!started || !testsupport::waitUntil(
                        [&] { return std::filesystem::exists(state_.path() / "ready"); }, 30000)) {
        throw std::runtime_error("the search bot " + name_ + " did not sign in");
    }
}

SearchBotProcess::~SearchBotProcess() {
    process_.sendSignal(SIGTERM);
    int code = 0;
    process_.waitExit(10000, code);
}

void SearchBotProcess::setUsers(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    testsupport::writeFile(state_.path() / "users", text);
}

void SearchBotProcess::setMode(const std::string& mode) {
    testsupport::writeFile(state_.path() / "mode", mode + "\n");
}

std::vector<std::string> SearchBotProcess::record() const {
    std::vector<std::string> lines;
    if (!std::filesystem::exists(state_.path() / "record"))
        return lines;
    std::istringstream in(testsupport::readFile(state_.path() / "record"));
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

bool SearchBotProcess::waitForRecord(const std::string& line, int timeoutMs) const {
    return testsupport::waitUntil(
        [&] {
            const auto lines = record();
            return std::find(lines.begin(), lines.end(), line) != lines.end();
        },
        timeoutMs);
}
