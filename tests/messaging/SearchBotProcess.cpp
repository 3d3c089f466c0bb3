#include "SearchBotProcess.h"

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "XmppTestServer.h"

SearchBotProcess::SearchBotProcess(const std::string& name, bool peer) : name_(name) {
    XmppTestServer& server = XmppTestServer::instance();
    setMode("normal");
    setUsers({});
    std::vector<std::string> args{"--port",     std::to_string(server.port()),
                                  "--user",     name_,
                                  "--password", "bot-secret",
                                  "--state",    state_.str(),
                                  "--cafile",   server.caFile()};
    if (peer)
        args.push_back("--peer");
    const bool started =
        process_.start((testsupport::binaryDir() / "lumora_searchbot").string(), args);
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

void SearchBotProcess::sendRaw(const std::string& stanzas) {
    // Written aside and renamed, so the program never reads half a batch.
    testsupport::writeFile(state_.path() / "outbox.tmp", stanzas);
    std::filesystem::rename(state_.path() / "outbox.tmp", state_.path() / "outbox");
    if (!waitForRecord("sent batch " + std::to_string(++batches_))) {
        std::string seen;
        for (const std::string& line : record())
            seen += line + "; ";
        throw std::runtime_error("the peer " + name_ +
                                 " did not send its stanzas (it recorded: " + seen + ")");
    }
}
