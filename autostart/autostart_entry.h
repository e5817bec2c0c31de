#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "autostart/autostart_window.h"
#include "autostart/run_value_store.h"
#include "chip/chip_profiles.h"

namespace tarvento {

// Bound of an entry's text: a Linux path and the three fields after it. Longer entries
// are refused; longer stored values are read only up to this bound.
std::size_t AutostartEntryCapacity();

// "<program path> <chip name> <memory MHz> <chip MHz>", or nothing when the entry
// would not fit its bound or has no chip name.
std::optional<std::string> BuildAutostartEntry(const std::string& programPath,
                                               const char* chipName, int32_t memClock,
                                               int32_t chipClock);

// Absolute path of the running executable (/proc/self/exe).
std::string ProgramPath();

// Reads the stored entry and sets the window's check box, m_autostartOn and the two
// autostart display fields. `currentDirectory` is the folder the entry's path must
// start with for the entry to count as this program's.
void LoadAutostartState(AutostartWindow& window, RunValueStore& store,
                        const std::string& currentDirectory);

// The check box was clicked: repeats discovery, builds the entry from the window's
// current clocks, refreshes the display fields, and writes or removes the entry.
void UpdateAutostartEntry(AutostartWindow& window, RunValueStore& store, ChipState& chip,
                          const std::string& programPath);

// Writes `text` as the value; when `enabled` is false deletes it again. Returns false,
// after showing "Registry Access failed !", when the key could not be created, the
// value could not be set, or it could not be deleted.
bool WriteRunValue(MessageBoxOwner& owner, RunValueStore& store, bool enabled,
                   const std::string& keyPath, const std::string& valueName,
                   const std::string& text);

}  // namespace tarvento
