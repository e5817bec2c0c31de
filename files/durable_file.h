// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <string>

namespace tarvento {

// Files that must never be found torn, whatever moment the power goes: the new contents go
// to a temporary file in the same folder, which is synced, renamed over the old name, and
// the folder synced, so a reader sees the old file or the new one, never a part.
// `error` says why when it fails; the old file is then untouched.
bool WriteFileDurably(const std::string& path, const std::string& contents, mode_t mode,
                      std::string& error);
// The same, after making each missing folder of the file's folder with `folderMode`.
bool WriteFileDurably(const std::string& path, const std::string& contents, mode_t mode,
                      std::string& error, mode_t folderMode);

// Removes the file and syncs its folder. True when it is gone (or never was).
bool RemoveFileDurably(const std::string& path, std::string& error);

}  // namespace tarvento
