#include "autostart/autostart_entry.h"

#include <climits>
#include <unistd.h>

#include "autostart/start_arguments.h"
#include "chip/adapter_discovery.h"

namespace tarvento {

namespace {

constexpr const char* kOffText = "---";
// "-2147483648": the longest text std::to_string gives for an int32_t.
constexpr std::size_t kMaxNumberLength = 11;

// The check box goes back to what is stored: the click changed nothing.
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

std::string ProgramPath() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
    // A result that fills the buffer may have been cut.
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof path) return {};
    return std::string(path, static_cast<std::size_t>(n));
}

void LoadAutostartState(AutostartWindow& window, RunValueStore& store,
                        const std::string& currentDirectory) {
    if (!store.OpenKey(kRunKeyPath)) {
        window.MessageBox(kMsgRegistryAccessFailed, MessageButtons::Ok);
        return;
    }
    std::string value;
    store.QueryValue(kRunValueName, value, AutostartEntryCapacity());  // missing: empty
    store.CloseKey();

    // The entry counts as this program's only when its path lies under the current
    // folder. A folder that could not be learnt (empty) is the prefix of nothing.
    const bool on = !currentDirectory.empty() && value.starts_with(currentDirectory);
    int32_t memClock = 0;
    int32_t chipClock = 0;
    if (on && ScanStartArguments(FindNthWordFromEnd(3, value.c_str()), ChipNameScratch,
                                 memClock, chipClock) != 3) {
        memClock = 0;
        chipClock = 0;
    }

    TunerFields& f = window.Fields();
    window.UpdateData(true);
    f.m_autostartCheck = on ? 1 : 0;
    f.m_autostartOn = on ? 1 : 0;
    if (on && memClock != 0 && chipClock != 0) {
        f.m_autoMemText = std::to_string(memClock);
        f.m_autoChipText = std::to_string(chipClock);
    } else {
        f.m_autoMemText = kOffText;
        f.m_autoChipText = kOffText;
    }
    window.UpdateData(false);
}

void UpdateAutostartEntry(AutostartWindow& window, RunValueStore& store, ChipState& chip,
                          const std::string& programPath) {
    DisplayAdapter adapter;  // only RegisterBase, recorded again, matters here
    if (!FindDisplayAdapter(chip.hardware, chip.discovery, adapter)) {
        window.MessageBox(kMsgPciAccessFailed, MessageButtons::Ok);
    }

    TunerFields& f = window.Fields();
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

    window.UpdateData(true);
    f.m_autostartOn = f.m_autostartCheck;
    if (f.m_autostartOn != 0) {
        f.m_autoMemText = std::to_string(f.m_memClock);
        f.m_autoChipText = std::to_string(f.m_chipClock);
    } else {
        f.m_autoMemText = kOffText;
        f.m_autoChipText = kOffText;
    }
    window.UpdateData(false);

    WriteRunValue(window, store, f.m_autostartOn != 0, kRunKeyPath, kRunValueName, *entry);
}

bool WriteRunValue(MessageBoxOwner& owner, RunValueStore& store, bool enabled,
                   const std::string& keyPath, const std::string& valueName,
                   const std::string& text) {
    if (!store.CreateKey(keyPath)) {
        owner.MessageBox(kMsgRegistryAccessFailed, MessageButtons::Ok);
        return false;
    }
    // Turning autostart off still deletes after a failed write: what the user asked for
    // is no entry. Either failure is reported once.
    bool ok = store.SetValue(valueName, text);
    if (!enabled && !store.DeleteValue(valueName)) ok = false;
    if (!ok) owner.MessageBox(kMsgRegistryAccessFailed, MessageButtons::Ok);
    store.CloseKey();
    return ok;
}

}  // namespace tarvento
