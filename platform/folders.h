// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace tarvento {

// The folder part of a path ("/a/b" for "/a/b/c"; "/" for "/c"; "." without a slash).
std::string FolderOf(const std::string& path);

// Why a folder could not be made, as facts; the layers that speak to the user word it.
struct FolderFailure {
    enum class Step {
        NotAbsolute,  // path: the path as given
        Make,         // path: the level that could not be made; error: errno
        NotAFolder    // path: the path as given, which is something else
    };
    Step step = Step::Make;
    std::string path;
    int error = 0;
};

// Makes each missing folder of an absolute path, each with exactly `mode` whatever the
// umask; folders that exist keep theirs. Nothing when the path is a folder at the end.
std::optional<FolderFailure> MakeFolders(const std::string& path, mode_t mode);

}  // namespace tarvento
