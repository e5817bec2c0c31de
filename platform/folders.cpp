// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/folders.h"

#include <sys/stat.h>

#include <cerrno>

namespace tarvento {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<FolderFailure> MakeFolders(const std::string& path, mode_t mode) {
    using Step = FolderFailure::Step;
    if (path.empty() || path[0] != '/') return FolderFailure{Step::NotAbsolute, path, 0};
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        const std::string level = path.substr(0, at);
        if (::mkdir(level.c_str(), mode) == 0) {
            // The umask may have taken bits away; a folder made here has the mode asked for.
            if (::chmod(level.c_str(), mode) != 0) return FolderFailure{Step::Make, level, errno};
        } else if (errno != EEXIST) {
            return FolderFailure{Step::Make, level, errno};
        }
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return FolderFailure{Step::NotAFolder, path, 0};
    return std::nullopt;
}

}  // namespace tarvento
