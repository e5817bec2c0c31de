// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/recording_autostart_store.h"

namespace tarvento::testing {

std::optional<std::string> RecordingAutostartStore::Entry(const std::string& location,
                                                         const std::string& entryName) const {
    auto folder = locations_.find(location);
    if (folder == locations_.end()) return std::nullopt;
    auto entry = folder->second.find(entryName);
    if (entry == folder->second.end()) return std::nullopt;
    return entry->second;
}

std::vector<std::string> RecordingAutostartStore::Changes() const {
    std::vector<std::string> out;
    for (const std::string& c : calls_) {
        if (c.starts_with("OpenToWrite") || c.starts_with("StoreEntry") ||
            c.starts_with("RemoveEntry"))
            out.push_back(c);
    }
    return out;
}

bool RecordingAutostartStore::OpenToRead(const std::string& location) {
    calls_.push_back("OpenToRead " + location);
    if (failOpen) return false;
    open_ = location;
    return true;
}

bool RecordingAutostartStore::ReadEntry(const std::string& entryName, std::string& text,
                                        std::size_t capacity) {
    calls_.push_back("ReadEntry " + entryName);
    if (failQuery || !open_) return false;
    const std::optional<std::string> v = Entry(*open_, entryName);
    if (!v) return false;
    text = v->substr(0, capacity);
    return true;
}

bool RecordingAutostartStore::OpenToWrite(const std::string& location) {
    calls_.push_back("OpenToWrite " + location);
    if (failCreate) return false;
    locations_[location];
    open_ = location;
    return true;
}

bool RecordingAutostartStore::StoreEntry(const std::string& entryName, const std::string& text) {
    calls_.push_back("StoreEntry " + entryName + " " + text);
    if (failSet || !open_) return false;
    locations_[*open_][entryName] = text;
    return true;
}

bool RecordingAutostartStore::RemoveEntry(const std::string& entryName) {
    calls_.push_back("RemoveEntry " + entryName);
    if (failDelete || !open_) return false;
    locations_[*open_].erase(entryName);
    return true;
}

void RecordingAutostartStore::Close() {
    calls_.push_back("Close");
    open_.reset();
}

}  // namespace tarvento::testing
