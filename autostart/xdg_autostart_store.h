#pragma once

#include <string>

#include "autostart/run_value_store.h"

namespace tarvento {

// The Run key as an XDG autostart folder: the value "Tarvo" is the desktop entry
// Tarvo.desktop in it. Only kRunKeyPath and kRunValueName are known; any other key or
// value is refused.
class XdgAutostartStore : public RunValueStore {
public:
    explicit XdgAutostartStore(std::string folder);
    ~XdgAutostartStore() override;
    XdgAutostartStore(const XdgAutostartStore&) = delete;
    XdgAutostartStore& operator=(const XdgAutostartStore&) = delete;

    // The system-wide autostart folder: the first absolute entry of $XDG_CONFIG_DIRS
    // (default /etc/xdg) plus "/autostart".
    static std::string AutostartFolderFromEnvironment();

    const std::string& Folder() const { return folder_; }

    // Fails only when the folder exists but cannot be read: a missing folder is an
    // empty key, as on a machine without a desktop.
    bool OpenKey(const std::string& keyPath) override;
    // Reads the entry text kept in Tarvo.desktop, cut to `capacity` bytes.
    bool QueryValue(const std::string& valueName, std::string& text,
                    std::size_t capacity) override;
    // Makes the folder (0755, parents too) when it is missing.
    bool CreateKey(const std::string& keyPath) override;
    // Writes a temporary file beside Tarvo.desktop, syncs it and renames it over the
    // old one; on any failure the temporary file is removed and nothing changes.
    bool SetValue(const std::string& valueName, const std::string& text) override;
    // Removes Tarvo.desktop; a missing file is a failure, as a missing value is.
    bool DeleteValue(const std::string& valueName) override;
    void CloseKey() override;

private:
    bool KeyIsOpen() const { return open_; }
    bool MakeFolder();

    std::string folder_;
    int folderFd_ = -1;  // -1 also while an open key's folder does not exist
    bool open_ = false;
    bool writable_ = false;
};

}  // namespace tarvento
