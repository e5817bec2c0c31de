// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/autostart_entry.h"

#include <climits>
#include <cstdlib>

#include "chip/adapter_discovery.h"
#include "keeping/start_arguments.h"
#include "texts/user_texts.h"

namespace tarvento {

namespace {

// "-2147483648": the longest text std::to_string gives for an int32_t.
constexpr std::size_t kMaxNumberLength = 11;

// The check box goes back to what was last read or written: the click changed nothing.
void RevertCheckBox(AutostartWindow& window) {
    TunerFields& f = window.Fields();
    window.UpdateData(true);
    f.autostartCheck = f.autostartOn;
    window.UpdateData(false);
}

}  // namespace

std::size_t AutostartEntryCapacity() {
    return PATH_MAX + 1 + (kChipNameScratchSize - 1) + 1 + kMaxNumberLength + 1 +
           kMaxNumberLength;
}

std::optional<std::string> BuildAutostartEntry(const std::string& programPath,
                                               const char* chipName, int32_t memClock,
                                               int32_t chipClock) {
    if (chipName == nullptr || *chipName == '\0') return std::nullopt;
    std::string entry = programPath + ' ' + chipName + ' ' + std::to_string(memClock) + ' ' +
                        std::to_string(chipClock);
    if (entry.size() > AutostartEntryCapacity()) return std::nullopt;
    return entry;
}

bool EntryNamesProgram(const std::string& entry, const std::string& programPath) {
    if (programPath.empty() || !entry.starts_with(programPath)) return false;
    return entry.size() == programPath.size() || entry[programPath.size()] == ' ';
}

std::string WhyEntryDoesNotStart(const AutostartStore& store, const std::string& entry,
                                 const std::string& programPath) {
    if (programPath.empty()) return "this program's own path cannot be learnt";
    const std::optional<EntryLaunch> launch = store.LastEntryLaunch();
    if (!launch) return EntryNamesProgram(entry, programPath) ? "" : "it starts another program";
    if (!launch->inactiveReason.empty()) return launch->inactiveReason;
    if (launch->program.empty()) return "its program " + launch->word + " cannot be found";
    if (launch->program != programPath) return "it starts another program, " + launch->program;
    return {};
}

std::optional<StoredAutostart> ReadStoredAutostart(AutostartStore& store,
                                                   const std::string& programPath) {
    if (!store.OpenToRead()) return std::nullopt;
    std::string value;
    // Missing: empty, and an empty entry starts nothing.
    const bool read = store.ReadEntry(value, AutostartEntryCapacity());
    store.Close();

    StoredAutostart stored;
    stored.on = read && !value.empty() && WhyEntryDoesNotStart(store, value, programPath).empty();
    if (stored.on && ScanStartArguments(FindNthWordFromEnd(3, value.c_str()), ChipNameScratch,
                                        stored.memClock, stored.chipClock) != 3) {
        stored.memClock = 0;
        stored.chipClock = 0;
    }
    return stored;
}

namespace {

void ShowStored(AutostartWindow& window, const StoredAutostart& stored) {
    TunerFields& f = window.Fields();
    window.UpdateData(true);
    f.autostartCheck = stored.on ? 1 : 0;
    f.autostartOn = stored.on ? 1 : 0;
    if (stored.on && stored.memClock != 0 && stored.chipClock != 0) {
        f.autoMemText = std::to_string(stored.memClock);
        f.autoChipText = std::to_string(stored.chipClock);
    } else {
        f.autoMemText = kNoValueText;
        f.autoChipText = kNoValueText;
    }
    window.UpdateData(false);
}

// After a failed change: the window shows what the store now holds. When even that
// cannot be read, the check box goes back to what was last known.
void ShowWhatIsStored(AutostartWindow& window, AutostartStore& store,
                      const std::string& programPath) {
    if (const std::optional<StoredAutostart> stored = ReadStoredAutostart(store, programPath)) {
        ShowStored(window, *stored);
    } else {
        RevertCheckBox(window);
    }
}

// Removes the entry without a word: whether that failed matters only by what it left.
bool RemoveAutostartEntry(AutostartStore& store) {
    if (!store.OpenToWrite()) return false;
    const bool ok = store.RemoveEntry();
    store.Close();
    return ok;
}

}  // namespace

void LoadAutostartState(AutostartWindow& window, AutostartStore& store,
                        const std::string& programPath) {
    const std::optional<StoredAutostart> stored = ReadStoredAutostart(store, programPath);
    if (!stored) {
        window.MessageBox(kMsgAutostartAccessFailed, MessageButtons::Ok);
        return;
    }
    ShowStored(window, *stored);
}

void UpdateAutostartEntry(AutostartWindow& window, AutostartStore& store, ChipState& chip,
                          const std::string& programPath) {
    // Without a recognised chip there is no card whose registers a discovery could
    // record again, and its failure was already said at start.
    DisplayAdapter adapter;
    if (chip.currentChipName != nullptr &&
        !FindDisplayAdapter(chip.hardware, chip.discovery, adapter)) {
        window.InformativeMessageBox(kMsgPciAccessFailed, MessageButtons::Ok,
                                     ReasonText(DiscoveryFailureReason(chip.hardware)));
    }

    TunerFields& f = window.Fields();
    window.UpdateData(true);
    if (f.autostartCheck == 0) {
        // Taking the entry away needs no chip name. Whatever a failure left behind, off
        // is what the user asked for, and it holds when nothing of ours starts any more.
        if (RemoveAutostartEntry(store)) {
            ShowStored(window, StoredAutostart{});
            return;
        }
        const std::optional<StoredAutostart> stored = ReadStoredAutostart(store, programPath);
        if (stored && !stored->on) {
            ShowStored(window, *stored);
            return;
        }
        window.MessageBox(kMsgAutostartAccessFailed, MessageButtons::Ok);
        if (stored) {
            ShowStored(window, *stored);
        } else {
            RevertCheckBox(window);
        }
        return;
    }

    // Without a recognised chip there is nothing the entry could start.
    if (chip.currentChipName == nullptr) {
        RevertCheckBox(window);
        return;
    }
    const std::optional<std::string> entry =
        BuildAutostartEntry(programPath, chip.currentChipName, f.memClock, f.chipClock);
    if (!entry) {
        window.MessageBox(kMsgAutostartAccessFailed, MessageButtons::Ok);
        RevertCheckBox(window);
        return;
    }
    if (!WriteAutostartEntry(window, store, true,
                             *entry)) {
        ShowWhatIsStored(window, store, programPath);
        return;
    }
    f.autostartCheck = 1;
    f.autostartOn = 1;
    f.autoMemText = std::to_string(f.memClock);
    f.autoChipText = std::to_string(f.chipClock);
    window.UpdateData(false);
}

bool WriteAutostartEntry(MessageBoxOwner& owner, AutostartStore& store, bool enabled,
                         const std::string& text) {
    if (!store.OpenToWrite()) {
        owner.MessageBox(kMsgAutostartAccessFailed, MessageButtons::Ok);
        return false;
    }
    // Turning autostart off does not write the fresh entry first: a delete that then
    // failed would leave an entry nobody asked for.
    const bool ok = enabled ? store.StoreEntry(text) : store.RemoveEntry();
    if (!ok) owner.MessageBox(kMsgAutostartAccessFailed, MessageButtons::Ok);
    store.Close();
    return ok;
}

}  // namespace tarvento
