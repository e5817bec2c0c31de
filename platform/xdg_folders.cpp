// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/xdg_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/split_list.h"

namespace tarvento {

namespace {

std::optional<std::string> AbsoluteFromEnvironment(const char* name) {
    const char* value = ::secure_getenv(name);
    if (value == nullptr || value[0] != '/') return std::nullopt;
    return std::string(value);
}

// "/" itself becomes empty: a base folder is joined with "/name".
std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.ends_with('/')) path.pop_back();
    if (path == "/") path.clear();
    return path;
}

}  // namespace

std::string HomeFolder() {
    if (std::optional<std::string> home = AbsoluteFromEnvironment("HOME")) return *home;
    // No usable $HOME: the account's own home folder.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return {};
}

std::optional<std::string> XdgHomeFolder(XdgBase base) {
    const char* variable = base == XdgBase::Config ? "XDG_CONFIG_HOME" : "XDG_STATE_HOME";
    if (std::optional<std::string> folder = AbsoluteFromEnvironment(variable))
        return WithoutTrailingSlashes(*folder);
    const std::string home = HomeFolder();
    if (home.empty()) return std::nullopt;
    return WithoutTrailingSlashes(home) + (base == XdgBase::Config ? "/.config" : "/.local/state");
}

std::vector<std::string> XdgConfigFolders() {
    std::vector<std::string> folders;
    if (const char* dirs = ::secure_getenv("XDG_CONFIG_DIRS")) {
        for (const std::string& entry : SplitList(dirs, ':'))
            if (entry.starts_with('/')) folders.push_back(WithoutTrailingSlashes(entry));
    }
    if (folders.empty()) folders.push_back("/etc/xdg");
    return folders;
}

}  // namespace tarvento
