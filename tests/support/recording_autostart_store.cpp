// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/recording_autostart_store.h"

namespace tarvento::testing {

std::vector<std::string> RecordingAutostartStore::Changes() const {
    std::vector<std::string> out;
    for (const std::string& c : calls_) {
        if (c.starts_with("OpenToWrite") || c.starts_with("StoreEntry") ||
            c.starts_with("RemoveEntry"))
            out.push_back(c);
    }
    return out;
}

bool RecordingAutostartStore::OpenToRead() {
    calls_.push_back("OpenToRead");
    if (failOpen) return false;
    open_ = true;
    return true;
}

bool RecordingAutostartStore::ReadEntry(std::string& text, std::size_t capacity) {
    calls_.push_back("ReadEntry");
    if (failQuery || !open_ || !entry_) return false;
    text = entry_->substr(0, capacity);
    return true;
}

bool RecordingAutostartStore::OpenToWrite() {
    calls_.push_back("OpenToWrite");
    if (failCreate) return false;
    open_ = true;
    return true;
}

bool RecordingAutostartStore::StoreEntry(const std::string& text) {
    calls_.push_back("StoreEntry " + text);
    if (failSet || !open_) return false;
    entry_ = text;
    return true;
}

bool RecordingAutostartStore::RemoveEntry() {
    calls_.push_back("RemoveEntry");
    if (failDelete || !open_) return false;
    entry_.reset();
    return true;
}

void RecordingAutostartStore::Close() {
    calls_.push_back("Close");
    open_ = false;
}

}  // namespace tarvento::testing
