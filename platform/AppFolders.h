#pragma once

#include <string>

namespace platform {

// The per-user data folder ($XDG_DATA_HOME, else ~/.local/share), created when missing.
// Returns false when there is no such folder and it cannot be made.
bool applicationDataFolder(std::wstring& folder);

// Creates a folder (and its parents) readable by the user only. True when it exists after.
bool createPrivateFolder(const std::wstring& folder);

// The full path of the running program and the folder that holds it.
std::wstring programPath();
std::wstring programFolder();

// A per-user folder for sockets and lock files: $XDG_RUNTIME_DIR, else a private folder in
// the temporary folder. Empty when neither can be used safely.
std::wstring runtimeFolder();

// The user's home folder ($HOME, else the password database); empty when unknown.
std::wstring homeFolder();

// The per-user configuration folder ($XDG_CONFIG_HOME, else ~/.config), not created.
// Empty when neither is known.
std::wstring configFolder();

}  // namespace platform
