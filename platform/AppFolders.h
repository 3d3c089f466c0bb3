#pragma once

#include <string>

namespace platform {

// The per-user data folder ($XDG_DATA_HOME, else ~/.local/share), created when missing.
// Returns false when there is no such folder and it cannot be made.
bool applicationDataFolder(std::wstring& folder);

// Creates a folder, and any of its parents that are missing, each with mode 0700 from its
// creation. An existing folder of the user's own that others may enter is closed to them
// (0700); parents that existed already are left as they are. True when it exists after.
bool createPrivateFolder(const std::wstring& folder);

// Closes every folder of the user's own in the tree (the folder itself included) to
// others (mode 0700), without following links. False when one of them could not be changed.
bool makeFolderTreePrivate(const std::wstring& folder);

// The full path of the running program and the folder that holds it.
std::wstring programPath();
std::wstring programFolder();

// Whether this process can make new files in the folder: a file is created there and
// removed again, so permissions, read-only mounts and immutable folders all count.
bool canCreateFilesIn(const std::wstring& folder);

// A per-user folder for sockets and lock files: $XDG_RUNTIME_DIR, else "lumora-<uid>" in
// the temporary folder. When that name is taken by another user or open to others, a
// private folder in the user's cache folder is used instead and problem (when given) says
// so. Empty when no folder can be used safely.
std::wstring runtimeFolder(std::string* problem = nullptr);

// The user's home folder ($HOME, else the password database); empty when unknown.
std::wstring homeFolder();

// The per-user configuration folder ($XDG_CONFIG_HOME, else ~/.config), not created.
// Empty when neither is known.
std::wstring configFolder();

}  // namespace platform
