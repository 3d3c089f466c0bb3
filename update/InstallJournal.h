#pragma once

#include <string>
#include <vector>

namespace updater {

// The record of an installation in progress, kept in the update folder so that a run cut
// short (a crash, a power cut, a kill) is finished or undone by the next one. It is
// written before the first file is touched and rewritten when the installation is
// committed, each time durably (a crash leaves the old record or the new one).
//
// UTF-8 text, one item per line:
//   lumora-install-journal 1
//   state moving | committed
//   file 1 <destination>   (an old file was there: its backup is destination + "_tmp")
//   file 0 <destination>   (no file was there)
class InstallJournal {
public:
    enum class State { Moving, Committed };
    struct Entry {
        std::string destination;
        bool hadOld = false;
    };

    explicit InstallJournal(std::string path) : path_(std::move(path)) {}

    bool exists() const;
    // False when it could not be written (the old record, if any, stays).
    bool write(State state, const std::vector<Entry>& entries) const;
    // False when missing, unreadable or not a journal of this kind.
    bool read(State& state, std::vector<Entry>& entries) const;
    bool remove() const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace updater
