// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace tarvento {

// What the desktop would make of a stored entry at this user's login.
struct EntryLaunch {
    std::string word;     // the first word of its command, as the entry gives it
    // The real path of the program that word starts (a bare name found through PATH,
    // every link resolved); empty when no program can be found there.
    std::string program;
    // Why the desktop would not start the entry in this session at all; empty when it
    // would.
    std::string inactiveReason;
};

// Where the program's one autostart entry lives. The entry is read and written through
// these calls in a fixed order (open, read or store or remove, close), which stays visible
// here so that a recording fake can stand in and tests can check it.
class AutostartStore {
public:
    virtual ~AutostartStore() = default;

    // Opens the location for reading. A location that does not exist yet opens as an
    // empty one.
    virtual bool OpenToRead() = 0;
    // Reads the entry's text, at most `capacity` bytes of it. False (and `text`
    // untouched) when there is no such entry or it cannot be read.
    virtual bool ReadEntry(std::string& text, std::size_t capacity) = 0;
    // Creates the location when missing and opens it for writing.
    virtual bool OpenToWrite() = 0;
    // Replaces the entry whole: afterwards it holds the old text or the new, never part.
    virtual bool StoreEntry(const std::string& text) = 0;
    // Afterwards the entry is gone; true also when there was none.
    virtual bool RemoveEntry() = 0;
    virtual void Close() = 0;
    // Where the entry read last lives, for reports; empty when none was found.
    virtual std::string EntryLocation() const { return {}; }
    // How the desktop would start the entry read last. Nothing from a store that keeps
    // the entry's text alone, with no desktop behind it to ask: the text's leading path
    // then names the program.
    virtual std::optional<EntryLaunch> LastEntryLaunch() const { return std::nullopt; }
};

}  // namespace tarvento
