#include "client/app/UpdateHandOff.h"

#include <filesystem>
#include <fstream>

#include "kestra/Exceptions.h"
#include "kestra/Log.h"
#include "kestra/Settings.h"
#include "kestra/TextCodec.h"
#include "platform/AppFolders.h"
#include "platform/DurableFile.h"

namespace fs = std::filesystem;
using kestra::Log;
using kestra::Settings;

namespace {

const wchar_t* const FLAG_KEY = L"general.isUpdate";

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

}  // namespace

UpdateHandOff::UpdateHandOff(const std::wstring& applicationFolder)
    : updateFolder_(kestra::wideToUtf8(applicationFolder + L"/update")),
      marker_(updateFolder_ + "/" + kestra::wideToUtf8(PENDING_FILE)),
      journal_(updateFolder_ + "/" + kestra::wideToUtf8(JOURNAL_FILE)) {
    int isUpdate = 0;
    flagged_ = Settings::getIntValue(FLAG_KEY, &isUpdate) && isUpdate == 1;
}

bool UpdateHandOff::isPending() const {
    return flagged_ || exists(marker_) || exists(journal_);
}

int UpdateHandOff::handOffs() const {
    std::ifstream in(marker_);
    int count = 0;
    return in >> count && count > 0 ? count : 0;
}

bool UpdateHandOff::prepare() {
    hadMarker_ = exists(marker_);
    previousHandOffs_ = handOffs();
    if (previousHandOffs_ >= HAND_OFF_LIMIT) {
        Log::error("_tWinMain: the update was handed over " + std::to_string(previousHandOffs_) +
                   " times without being finished; it is left for now.");
        return false;
    }
    platform::createPrivateFolder(kestra::utf8ToWide(updateFolder_));
    if (!platform::writeFileDurably(marker_, std::to_string(previousHandOffs_ + 1) + "\n", 0600)) {
        Log::error("_tWinMain: the update cannot be handed over: " + marker_ +
                   " cannot be written.");
        return false;
    }
    if (!flagged_) {
        return true;
    }
    Settings::setIntValue(FLAG_KEY, 0);
    try {
        Settings::flush();
    } catch (const kestra::BasicException&) {
        Log::error(
            "_tWinMain: the update cannot be handed over: general.isUpdate = 0 cannot be "
            "saved.");
        cancel();
        return false;
    }
    return true;
}

void UpdateHandOff::cancel() {
    if (flagged_) {
        Settings::setIntValue(FLAG_KEY, 1);  // saved with the settings at the end
    }
    restoreMarker();
}

void UpdateHandOff::restoreMarker() const {
    if (hadMarker_) {
        platform::writeFileDurably(marker_, std::to_string(previousHandOffs_) + "\n", 0600);
    } else {
        std::error_code ec;
        fs::remove(marker_, ec);
    }
}
