#include "autostart/autostart_entry.h"

#include <climits>
#include <cstdlib>

#include "autostart/start_arguments.h"
#include "chip/adapter_discovery.h"

namespace tarvento {

namespace {

// "-2147483648": the longest text std::to_string gives for an int32_t.
constexpr std::size_t kMaxNumberLength = 11;

// The check box goes back to what was last read or written: the click changed nothing.
void RevertCheckBox(AutostartWindow& window) {
    TunerFields& f = window.Fields();
    window.UpdateData(true);
    f.m_autostartCheck = f.m_autostartOn;
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

std::optional<StoredAutostart> ReadStoredAutostart(RunValueStore& store,
                                                   const std::string& programPath) {
    if (!store.OpenKey(kRunKeyPath)) return std::nullopt;
    std::string value;
    store.QueryValue(kRunValueName, value, AutostartEntryCapacity());  // missing: empty
    store.CloseKey();

    StoredAutostart stored;
    stored.on = EntryNamesProgram(value, programPath);
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
    f.m_autostartCheck = stored.on ? 1 : 0;
    f.m_autostartOn = stored.on ? 1 : 0;
    if (stored.on && stored.memClock != 0 && stored.chipClock != 0) {
        f.m_autoMemText = std::to_string(stored.memClock);
        f.m_autoChipText = std::to_string(stored.chipClock);
    } else {
        f.m_autoMemText = kNoValueText;
        f.m_autoChipText = kNoValueText;
    }
    window.UpdateData(false);
}

// After a failed change: the window shows what the store now holds. When even that
// cannot be read, the check box goes back to what was last known.
void ShowWhatIsStored(AutostartWindow& window, RunValueStore& store,
                      const std::string& programPath) {
    if (const std::optional<StoredAutostart> stored = ReadStoredAutostart(store, programPath)) {
        ShowStored(window, *stored);
    } else {
        RevertCheckBox(window);
    }
}

// Deletes the value without a word: whether that failed matters only by what it left.
bool DeleteRunValue(RunValueStore& store) {
    if (!store.CreateKey(kRunKeyPath)) return false;
    const bool ok = store.DeleteValue(kRunValueName);
    store.CloseKey();
    return ok;
}

}  // namespace

void LoadAutostartState(AutostartWindow& window, RunValueStore& store,
                        const std::string& programPath) {
    const std::optional<StoredAutostart> stored = ReadStoredAutostart(store, programPath);
    if (!stored) {
        window.MessageBox(kMsgRegistryAccessFailed, MessageButtons::Ok);
        return;
    }
    ShowStored(window, *stored);
}

void UpdateAutostartEntry(AutostartWindow& window, RunValueStore& store, ChipState& chip,
                          const std::string& programPath) {
    // Without a recognised chip there is no card whose registers a discovery could
    // record again, and its failure was already said at start.
    DisplayAdapter adapter;
    if (chip.CurrentChipName != nullptr &&
        !FindDisplayAdapter(chip.hardware, chip.discovery, adapter)) {
        window.MessageBox(kMsgPciAccessFailed, MessageButtons::Ok);
    }

    TunerFields& f = window.Fields();
    window.UpdateData(true);
    if (f.m_autostartCheck == 0) {
        // Taking the entry away needs no chip name. Whatever a failure left behind, off
        // is what the user asked for, and it holds when nothing of ours starts any more.
        if (DeleteRunValue(store)) {
            ShowStored(window, StoredAutostart{});
            return;
        }
        const std::optional<StoredAutostart> stored = ReadStoredAutostart(store, programPath);
        if (stored && !stored->on) {
            ShowStored(window, *stored);
            return;
        }
        window.MessageBox(kMsgRegistryAccessFailed, MessageButtons::Ok);
        if (stored) {
            ShowStored(window, *stored);
        } else {
            RevertCheckBox(window);
        }
        return;
    }

    // Without a recognised chip there is nothing the entry could start.
    if (chip.CurrentChipName == nullptr) {
        RevertCheckBox(window);
        return;
    }
    const std::optional<std::string> entry =
        BuildAutostartEntry(programPath, chip.CurrentChipName, f.m_memClock, f.m_chipClock);
    if (!entry) {
        window.MessageBox(kMsgRegistryAccessFailed, MessageButtons::Ok);
        RevertCheckBox(window);
        return;
    }
    if (!WriteRunValue(window, store, true, kRunKeyPath, kRunValueName, *entry)) {
        ShowWhatIsStored(window, store, programPath);
        return;
    }
    f.m_autostartCheck = 1;
    f.m_autostartOn = 1;
    f.m_autoMemText = std::to_string(f.m_memClock);
    f.m_autoChipText = std::to_string(f.m_chipClock);
    window.UpdateData(false);
}

bool WriteRunValue(MessageBoxOwner& owner, RunValueStore& store, bool enabled,
                   const std::string& keyPath, const std::string& valueName,
                   const std::string& text) {
    if (!store.CreateKey(keyPath)) {
        owner.MessageBox(kMsgRegistryAccessFailed, MessageButtons::Ok);
        return false;
    }
    // Turning autostart off does not write the fresh entry first: a delete that then
    // failed would leave an entry nobody asked for.
    const bool ok = enabled ? store.SetValue(valueName, text) : store.DeleteValue(valueName);
    if (!ok) owner.MessageBox(kMsgRegistryAccessFailed, MessageButtons::Ok);
    store.CloseKey();
    return ok;
}

}  // namespace tarvento
