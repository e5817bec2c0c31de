// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/info_report.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <tuple>

#include "chip/adapter_discovery.h"
#include "chip/chip_table.h"
#include "chip/chip_recognition.h"
#include "chip/chips_not_taken.h"
#include "chip/config_read_cache.h"
#include "chip/hex_text.h"
#include "chip/pll_physics.h"
#include "chip/registers.h"
#include "chip/running_program.h"
#include "chip/sysfs_hardware.h"
#include "keeping/apply_guard.h"
#include "keeping/autostart_entry.h"
#include "keeping/boot_clocks.h"
#include "keeping/card_words.h"
#include "keeping/firmware_clocks.h"
#include "keeping/start_arguments.h"
#include "texts/chip_list_text.h"
#include "texts/user_texts.h"

namespace tarvento {

namespace {

// The stored entry as the desktop would start it: on with its two clocks when it starts
// this program, as the window's check box says, otherwise off and why; then the file that
// holds it.
void ReportAutostart(AutostartStore& store, std::ostream& out, std::ostream& err) {
    if (!store.OpenToRead()) {
        out << "Autostart: unknown\n";
        err << DiagnosticPrefix() << kMsgAutostartAccessFailed
            << " (the autostart folder cannot be read)\n";
        return;
    }
    std::string entry;
    const bool stored = store.ReadEntry(entry, AutostartEntryCapacity());
    store.Close();
    const std::string file = stored ? store.EntryLocation() : std::string();
    if (!stored || entry.empty()) {
        out << "Autostart: off\n";
        out << "Autostart file: none\n";
        return;
    }
    ChipNameBuffer name{};
    int32_t mem = 0;
    int32_t chip = 0;
    const std::string offBecause = WhyEntryDoesNotStart(store, entry, ProgramPath());
    if (!offBecause.empty()) {
        out << "Autostart: off (" << offBecause << ")\n";
    } else if (ScanStartArguments(FindNthWordFromEnd(3, entry.c_str()), name, mem, chip) != 3) {
        out << "Autostart: on, but its entry carries no chip name and two clocks\n";
    } else {
        out << "Autostart: on, Mem Clock " << mem << " MHz, Chip Clock " << chip << " MHz\n";
    }
    out << "Autostart file: " << (file.empty() ? "none" : file) << "\n";
    out << "Autostart entry: " << entry << "\n";
}

// The word, its fields (P as the chip decodes it, `pMask`) and the clock it really makes
// from the crystal the strap selects (unknown when the strap could not be read).
void ReportPll(HardwareAccess& hw, const char* label, uint32_t address, uint32_t pMask,
               std::optional<uint32_t> strap, std::ostream& out) {
    const std::optional<uint32_t> v = hw.ReadRegister(address);
    out << label << " (0x" << HexDigits(address, 8) << "): ";
    if (!v) {
        out << "unreadable\n";
        return;
    }
    out << "0x" << HexDigits(*v, 8) << "  M " << PllM(*v) << ", N " << PllN(*v) << ", P "
        << PllP(*v, pMask);
    if (!strap) {
        out << ", crystal unknown (strap unreadable)\n";
        return;
    }
    out << ", " << PllOutputText(*v, *strap, pMask) << "\n";
}

// The select word, and for each PLL the chip's clocks come from whether it runs from its
// programmed word (which is what the program writes) or from the chip's built-in clock.
void ReportPllSelect(HardwareAccess& hw, uint32_t address, const ChipProfile& chip, std::ostream& out) {
    const std::optional<uint32_t> v = hw.ReadRegister(address);
    out << "PLL select (0x" << HexDigits(address, 8) << "): ";
    if (!v) {
        out << "unreadable\n";
        return;
    }
    out << "0x" << HexDigits(*v, 8);
    bool refused = false;
    const char* separator = "  ";
    for (const ChipClock* clock : {chip.memoryClock, chip.chipClock}) {
        if (clock == nullptr) continue;
        const uint32_t bit = PllSelectBit(clock->pllOffset);
        const int number = std::countr_zero(bit);
        const bool programmed = PllSelectMissing(*v, bit) == 0;
        refused = refused || !programmed;
        out << separator << (clock->pllOffset == kCorePllOffset ? "core PLL" : "memory PLL")
            << (programmed ? " from its word (bit " : " from the chip's built-in clock (bit ") << number
            << (programmed ? ")" : " clear)");
        separator = ", ";
    }
    out << (refused ? "; no clocks are written until a driver sets a display mode" : "") << "\n";
}

// Why discovery takes one adapter, and every other display function with why not, so
// that a user with two cards sees which one the program works on.
void ReportOtherAdapters(HardwareAccess& hw, const DisplayAdapter* taken, std::ostream& out) {
    if (taken != nullptr) {
        out << "Taken because: it is the first VGA-compatible function (class 0300h) with a "
               "BAR0, in bus/device/function order\n";
    }
    bool any = false;
    for (const DisplayFunction& f : ListDisplayFunctions(hw)) {
        if (taken != nullptr && f.bus == taken->bus && f.device == taken->device &&
            f.function == taken->function) {
            continue;
        }
        const bool vga = (f.classCode >> 8) == kClassVgaCompatible;
        const bool later = taken != nullptr &&
                           std::tie(f.bus, f.device, f.function) >
                               std::tie(taken->bus, taken->device, taken->function);
        const char* why = !vga        ? "not VGA-compatible"
                          : f.bar0 == 0 ? "no BAR0"
                          : later     ? "later on the bus"
                                      : "its configuration space could not be read";
        char text[160];
        std::snprintf(text, sizeof text, "%04X:%04X, class %06X (%s)\n", f.vendorId, f.deviceId,
                      f.classCode, why);
        out << "Other display adapter: " << SysfsSlotName({0, f.bus, f.device, f.function}) << ", "
            << text;
        any = true;
    }
    if (!any) out << "Other display adapters: none\n";
}

// What keeps clocks beyond the window: the login entry's last apply, the boot clocks, and a
// kernel command line that stops every unattended apply.
void ReportKeeping(ChipState& chip, const MachinePaths& machine, std::ostream& out) {
    const GuardMachine guard{machine.procRoot};
    const std::string bootId = guard.BootId();
    const std::string loginRecord = LoginRecordPath();
    std::string unread;
    const std::optional<ApplyRecord> login =
        loginRecord.empty() ? std::nullopt : ReadApplyRecord(loginRecord, &unread);
    out << "Last apply at login: "
        << (login ? DescribeApplyRecord(*login, bootId) : !unread.empty() ? "unreadable (" + unread + ")" : "none")
        << "\n";
    ReportBootClocks(machine, out);
    ReportFirmwareClocks(chip, machine, out);
    if (guard.NoApplyWord()) {
        out << "Kernel command line: " << kNoApplyWord
            << " (no clocks are applied without you at this boot)\n";
    }
}

}  // namespace

int RunInfoReport(ChipState& chip, AutostartStore& store, const MachinePaths& machine,
                  std::ostream& out, std::ostream& err) {
    // Discovery and the list of display functions walk the same bus: the list reads the
    // words discovery has just read from the machine once more from this report's cache.
    ConfigReadCache bus(chip.hardware);
    DisplayAdapter adapter;
    const bool found = FindDisplayAdapter(bus, chip.discovery, adapter);
    std::string reason;
    RecognizedChip recognized;
    if (!found) {
        reason = ReasonText(DiscoveryFailureReason(bus));
    } else {
        switch (RecognizeChip(chip, adapter.vendorId, adapter.deviceId, recognized)) {
        case Recognition::Recognized: break;
        case Recognition::Unsupported:
            reason = "the display adapter " + HexDigits(adapter.vendorId, 4) + ":" +
                     HexDigits(adapter.deviceId, 4) + " is not a " + ChipsInWords(" or ");
            if (const auto why = WhyNotTaken(adapter.vendorId, adapter.deviceId))
                reason += ": " + NotTakenText(*why);
            break;
        case Recognition::RegisterReadFailed: reason = ReasonText(recognized.failureReason); break;
        }
    }

    const bool ok = chip.currentChipName != nullptr;
    out << "Chipset: " << (ok ? chip.currentChipName : kChipsetUnknown) << "\n";
    if (ok) {
        out << "Mem Clock: " << recognized.clocks.memory << " MHz\n";
        out << "Chip Clock: " << recognized.clocks.chip << " MHz\n";
    }
    ReportAutostart(store, out, err);
    ReportKeeping(chip, machine, out);

    if (found) {
        out << "Adapter: " << SlotOf(adapter) << ", vendor " << HexDigits(adapter.vendorId, 4)
            << ", device " << HexDigits(adapter.deviceId, 4) << ", register base 0x"
            << HexDigits(adapter.registerBase, 8) << "\n";
    }
    ReportOtherAdapters(bus, found ? &adapter : nullptr, out);
    if (ok) {
        const uint32_t base = chip.recognizedAdapter->registerBase;
        HardwareAccess& hw = chip.hardware;
        const std::optional<uint32_t> strap = hw.ReadRegister(base + kStrapOffset);
        const ChipProfile& p = *recognized.profile;
        // A PLL the chip sets no clock on (a RIVA 128's core PLL) is decoded as its clock's.
        const ChipClock* core = ClockAt(p, kCorePllOffset);
        const uint32_t coreP = (core != nullptr ? core : p.memoryClock)->pMask;
        ReportPll(hw, "Core PLL", base + kCorePllOffset, coreP, strap, out);
        ReportPll(hw, "Memory PLL", base + kMemPllOffset, p.memoryClock->pMask, strap, out);
        out << "Strap (0x" << HexDigits(base + kStrapOffset, 8) << "): ";
        if (strap) {
            out << "0x" << HexDigits(*strap, 8) << "  bit 6 " << (StrapCrystalBitSet(*strap) ? 1 : 0)
                << "\n";
        } else {
            out << "unreadable\n";
        }
        ReportPllSelect(hw, base + kPllSelectOffset, p, out);
        out << "Slider limits: Mem Clock " << p.memMin << ".." << p.memMax << " MHz, Chip Clock "
            << p.chipMin << ".." << p.chipMax << " MHz"
            << (p.linkMode == LinkMode::Linked ? " (linked)" : "") << "\n";
        return 0;
    }
    err << DiagnosticPrefix() << reason << "\n";
    return 1;
}

}  // namespace tarvento
