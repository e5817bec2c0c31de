// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvento {

// The folders of the XDG base directories, resolved as the desktop resolves them, from the
// environment as secure_getenv gives it. A value that is not absolute is not a valid base
// folder and counts as unset.

// $HOME when it is absolute, else the account's own home folder; empty when neither.
std::string HomeFolder();

enum class XdgBase {
    Config,  // $XDG_CONFIG_HOME, default ~/.config
    State    // $XDG_STATE_HOME, default ~/.local/state
};
// The folders below are given without their trailing slashes, to be joined with "/name":
// the root folder itself is the empty string.

// The user's base folder; nothing when no absolute folder is known.
std::optional<std::string> XdgHomeFolder(XdgBase base);

// The absolute entries of $XDG_CONFIG_DIRS, in order; /etc/xdg when it names none.
std::vector<std::string> XdgConfigFolders();

}  // namespace tarvento
