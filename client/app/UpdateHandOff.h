#pragma once

#include <string>

// The client's side of handing over to the updater. An update waits when its download
// marked it (general.isUpdate = 1) or when an earlier installation has not ended (the
// updater's marker or journal is still in the update folder). Before the updater starts,
// the waiting update moves from the settings into the update folder: the marker is written
// (it counts the hand-offs), then general.isUpdate = 0 is saved; the updater deletes the
// marker when its run has ended. Only when both are on the disk may the updater start, so
// client and updater cannot restart each other without end: when either cannot be saved
// (a full disk, a read-only folder) the client starts normally, and so it does after
// HAND_OFF_LIMIT hand-offs that did not end the update.
//
// States: nothing waits -> waiting (flag or marker) -> prepared (marker written, flag
// cleared and saved) -> handed over, or back to waiting (cancel).
class UpdateHandOff {
public:
    static constexpr int HAND_OFF_LIMIT = 3;
    // The updater's files in the update folder (its own copies of the names are in
    // update/UpdaterConstants.h).
    static constexpr const wchar_t* PENDING_FILE = L"install.pending";
    static constexpr const wchar_t* JOURNAL_FILE = L"install.journal";

    explicit UpdateHandOff(const std::wstring& applicationFolder);

    bool isPending() const;
    // Writes the marker and saves general.isUpdate = 0. False, after an ERROR line and
    // with everything as it was, when the update must not be handed over now.
    bool prepare();
    // The updater could not be started after prepare: the update waits as before.
    void cancel();

private:
    // The hand-offs counted in the marker (0 without one).
    int handOffs() const;
    void restoreMarker() const;

    std::string updateFolder_;
    std::string marker_;
    std::string journal_;
    bool flagged_ = false;
    bool hadMarker_ = false;
    int previousHandOffs_ = 0;
};
