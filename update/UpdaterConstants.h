#pragma once

// Names the updater shares with the client. The client keeps its own copies; both must
// name the same lock, folders and programs (docs/update.md lists them).
namespace updater {

// The product name: the client's program file and the value of "%AppName%".
constexpr const wchar_t* PRODUCT_NAME = L"Lumora";
// The single-instance lock that the client holds while it runs.
constexpr const char* MUTEX_NAME = "KESTRA_LUMORA_APPLICATION_MUTEX";

constexpr const wchar_t* UPDATE_FOLDER_NAME = L"update";
constexpr const wchar_t* TEMP_FOLDER_NAME = L"tmpFiles";
constexpr const wchar_t* PACKAGE_NAME = L"update.zip";
constexpr const wchar_t* LOG_NAME = L"lumoraUpdate.log";
constexpr const wchar_t* CONFIG_NAME = L"updateConfig.xml";
constexpr const wchar_t* BACKUP_SUFFIX = L"_tmp";
// The updater's own program file (a package may replace it too).
constexpr const wchar_t* UPDATER_NAME = L"LumoraUpdate";
// Written by the client when it hands over: an installation waits to be done or finished
// (its text counts the hand-offs so far). The updater removes it when a run has ended.
constexpr const wchar_t* PENDING_NAME = L"install.pending";
// The updater's record of an installation in progress (InstallJournal).
constexpr const wchar_t* JOURNAL_NAME = L"install.journal";

constexpr unsigned long LOG_SIZE_LIMIT = 250000;

}  // namespace updater
