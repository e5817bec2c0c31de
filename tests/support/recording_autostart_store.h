// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "keeping/autostart_store.h"

namespace tarvento::testing {

// An autostart store in memory that logs every call, in order, as "<Call>" (StoreEntry
// with its text after a space), and fails the calls a test asks it to fail.
class RecordingAutostartStore : public AutostartStore {
public:
    bool failOpen = false;
    bool failQuery = false;
    bool failCreate = false;
    bool failSet = false;
    bool failDelete = false;

    // Stores `text` as the entry, as if written earlier.
    void Put(const std::string& text) { entry_ = text; }
    // The program's entry, if any.
    std::optional<std::string> StoredEntry() const { return entry_; }

    const std::vector<std::string>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    // The calls that change what is stored: OpenToWrite, StoreEntry, RemoveEntry.
    std::vector<std::string> Changes() const;

    bool OpenToRead() override;
    bool ReadEntry(std::string& text, std::size_t capacity) override;
    bool OpenToWrite() override;
    bool StoreEntry(const std::string& text) override;
    bool RemoveEntry() override;
    void Close() override;

private:
    std::optional<std::string> entry_;
    bool open_ = false;  // from an open until Close
    std::vector<std::string> calls_;
};

}  // namespace tarvento::testing
