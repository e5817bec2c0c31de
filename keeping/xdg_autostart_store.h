// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "keeping/autostart_store.h"

namespace tarvento {

// The autostart store as the user's XDG autostart folder: the entry is the desktop entry
// Tarvo.desktop, read as the desktop reads it at login. The user's own file counts if
// there is one; otherwise the first one in the machine-wide autostart folders does. A
// file saying Hidden=true means no entry.
class XdgAutostartStore : public AutostartStore {
public:
    // The login session an entry is judged for.
    struct Session {
        std::vector<std::string> desktops;  // $XDG_CURRENT_DESKTOP, split at its colons
        std::string searchPath;             // $PATH, where bare program names are found
    };
    // The session this program runs in, from its environment.
    static Session SessionFromEnvironment();

    // `folder` is the user's autostart folder, where entries are written;
    // `machineFolders` are the machine-wide ones, first one first, only ever read;
    // `session` is the session entries are judged for (default: this program's own).
    explicit XdgAutostartStore(std::string folder, std::vector<std::string> machineFolders = {},
                               std::optional<Session> session = std::nullopt);
    ~XdgAutostartStore() override;
    XdgAutostartStore(const XdgAutostartStore&) = delete;
    XdgAutostartStore& operator=(const XdgAutostartStore&) = delete;

    // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when the variable is unset, empty
    // or relative. Empty when no home folder can be found.
    static std::string UserFolderFromEnvironment();
    // Each absolute folder of $XDG_CONFIG_DIRS (default /etc/xdg) plus "/autostart".
    static std::vector<std::string> MachineFoldersFromEnvironment();

    const std::string& Folder() const { return folder_; }
    const std::vector<std::string>& MachineFolders() const { return machineFolders_; }

    // Fails only when the user's folder exists but cannot be read: a missing folder is an
    // empty location, as on a machine without a desktop.
    bool OpenToRead() override;
    // The command the desktop would start, read from the Exec line of the file that
    // counts (program path and arguments joined by spaces), cut to `capacity` bytes.
    // False when that file is hidden, has no Exec line this program can read, or there
    // is none.
    bool ReadEntry(std::string& text, std::size_t capacity) override;
    // Makes the user's folder (0700, missing parents too) when it is missing.
    bool OpenToWrite() override;
    // Writes a temporary file beside Tarvo.desktop, syncs it and renames it over the
    // old one; on any failure the temporary file is removed and nothing changes.
    bool StoreEntry(const std::string& text) override;
    // Afterwards no Tarvo.desktop starts at this user's login: the user's file is removed,
    // or, when a machine-wide one would then start, replaced by one saying Hidden=true.
    // True when that holds, also when there was nothing to remove.
    bool RemoveEntry() override;
    void Close() override;
    std::string EntryLocation() const override { return entryFile_; }
    // Read as the desktop reads the file: the program is the first word of Exec; the
    // entry does not start when OnlyShowIn or NotShowIn leave out the session's desktop,
    // when X-GNOME-Autostart-enabled=false in a GNOME session, or when TryExec names no
    // installed program.
    std::optional<EntryLaunch> LastEntryLaunch() const override { return launch_; }

private:
    bool IsOpen() const { return open_; }
    bool ReplaceEntryFile(const std::string& contents);
    bool MachineEntryWouldStart() const;

    std::string folder_;
    std::vector<std::string> machineFolders_;
    Session session_;
    std::optional<EntryLaunch> launch_;
    int folderFd_ = -1;  // -1 also while an open location's folder does not exist
    bool open_ = false;
    bool writable_ = false;
    std::string entryFile_;
};

}  // namespace tarvento
