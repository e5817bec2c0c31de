// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "autostart/autostart_store.h"

namespace tarvento::testing {

// An autostart store in memory that logs every call, in order, as "<Call> <argument>",
// and fails the calls a test asks it to fail.
class RecordingAutostartStore : public AutostartStore {
public:
    bool failOpen = false;
    bool failQuery = false;
    bool failCreate = false;
    bool failSet = false;
    bool failDelete = false;

    // Stores `text` as the entry `entryName` in `location`, as if written earlier.
    void Put(const std::string& location, const std::string& entryName, const std::string& text) {
        locations_[location][entryName] = text;
    }
    std::optional<std::string> Entry(const std::string& location,
                                     const std::string& entryName) const;
    // The program's entry in the autostart location, if any.
    std::optional<std::string> StoredEntry() const { return Entry(kAutostartLocation, kAutostartEntryName); }

    const std::vector<std::string>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    // The calls that change what is stored: OpenToWrite, StoreEntry, RemoveEntry.
    std::vector<std::string> Changes() const;

    bool OpenToRead(const std::string& location) override;
    bool ReadEntry(const std::string& entryName, std::string& text,
                    std::size_t capacity) override;
    bool OpenToWrite(const std::string& location) override;
    bool StoreEntry(const std::string& entryName, const std::string& text) override;
    bool RemoveEntry(const std::string& entryName) override;
    void Close() override;

private:
    std::map<std::string, std::map<std::string, std::string>> locations_;
    std::optional<std::string> open_;  // the location opened last, until closed
    std::vector<std::string> calls_;
};

}  // namespace tarvento::testing
