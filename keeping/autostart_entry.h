// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "chip/chip_state.h"
#include "keeping/autostart_store.h"
#include "keeping/autostart_window.h"

namespace tarvento {

// Bound of an entry's text: a Linux path and the three fields after it. Longer entries
// are refused; longer stored values are read only up to this bound.
std::size_t AutostartEntryCapacity();

// "<program path> <chip name> <memory MHz> <chip MHz>", or nothing when the entry
// would not fit its bound or has no chip name.
std::optional<std::string> BuildAutostartEntry(const std::string& programPath,
                                               const char* chipName, int32_t memClock,
                                               int32_t chipClock);

// True when the stored entry starts `programPath`: its first field, the path up to the
// space before the chip name, is that program. An empty program path names nothing.
bool EntryNamesProgram(const std::string& entry, const std::string& programPath);

// Why the entry just read from `store` does not start `programPath` at this login, as
// one plain phrase ("not shown in this desktop"); empty when it does. A store that can
// tell how the desktop starts its entry decides (see AutostartStore::LastEntryLaunch);
// otherwise the entry's leading path must be the program's.
std::string WhyEntryDoesNotStart(const AutostartStore& store, const std::string& entry,
                                 const std::string& programPath);

// What the store holds, as the window shows it: whether the entry is this program's, and
// its two clocks (0 when the entry does not carry both).
struct StoredAutostart {
    bool on = false;
    int32_t memClock = 0;
    int32_t chipClock = 0;
};
// Nothing when the store cannot be read.
std::optional<StoredAutostart> ReadStoredAutostart(AutostartStore& store,
                                                   const std::string& programPath);

// Reads the stored entry and sets the window's check box, autostartOn and the two
// autostart display fields. An entry counts as on only when the desktop would start
// `programPath` with it.
void LoadAutostartState(AutostartWindow& window, AutostartStore& store,
                        const std::string& programPath);

// The check box was clicked: repeats discovery, then writes the entry from the window's
// current clocks (on) or takes it away (off), and shows the result. Turning on needs a
// recognised chip; turning off does not. Off fails only when an entry of this program's
// would still start; after any failure the window shows what is stored.
void UpdateAutostartEntry(AutostartWindow& window, AutostartStore& store, ChipState& chip,
                          const std::string& programPath);

// Stores `text` as the entry, or, when `enabled` is false, removes the entry (the text
// is then not written). Returns false, after showing "Registry Access failed !", when the
// location could not be opened for writing or the entry could not be stored or removed.
bool WriteAutostartEntry(MessageBoxOwner& owner, AutostartStore& store, bool enabled,
                         const std::string& text);

}  // namespace tarvento
