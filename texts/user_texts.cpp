// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/user_texts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "chip/chip_clock.h"
#include "chip/chip_table.h"
#include "chip/pll_physics.h"
#include "chip/hex_text.h"
#include "chip/registers.h"
#include "chip/sysfs_hardware.h"

namespace tarvento {

namespace {

std::string Address(uint64_t value) { return HexNumber(value, 8); }

// "the memory PLL", "the memory PLL and the core PLL"; with "bit 8" or "bits 8 and 10".
// Empty, and no bit numbers, when `bits` names none.
std::string PllsOfSelectBits(uint32_t bits, std::string& bitNumbers) {
    std::string plls;
    int count = 0;
    for (int bit = 0; bit < 32; ++bit) {
        const uint32_t mask = uint32_t{1} << bit;
        if ((bits & mask) == 0) continue;
        const std::string name = mask == kPllSelectMemBit    ? "the memory PLL"
                                 : mask == kPllSelectCoreBit ? "the core PLL"
                                                             : "the PLL of select bit " + std::to_string(bit);
        const std::string joint = count == 0 ? "" : " and ";
        plls += joint + name;
        bitNumbers += joint + std::to_string(bit);
        ++count;
    }
    if (count > 0) bitNumbers = (count > 1 ? "bits " : "bit ") + bitNumbers;
    return plls;
}

// Who sets the select bits: the drivers that set display modes on the chip. nouveau
// begins with the RIVA TNT; the nv X driver and rivafb know the RIVA 128 too.
std::string SelectBitSetters(std::optional<ChipArchitecture> architecture) {
    if (!architecture) return "a graphics driver";
    return *architecture == ChipArchitecture::Nv3 ? "the nv X driver and rivafb"
                                                  : "nouveau, the nv X driver and rivafb";
}

std::string PllNotProgrammedText(uint32_t select, uint32_t bits, std::optional<ChipArchitecture> architecture) {
    std::string bitNumbers;
    std::string plls = PllsOfSelectBits(bits, bitNumbers);
    // Without a bit to name, the sentence speaks of the program's PLLs as a whole.
    const bool one = !plls.empty() && (bits & (bits - 1)) == 0;
    if (plls.empty()) plls = "the PLLs the program sets";
    const std::string setters = SelectBitSetters(architecture);
    const bool oneSetter = !architecture;
    return plls + (one ? " runs" : " run") + " from the chip's built-in clock, not from " +
           (one ? "its programmed word" : "their programmed words") + " (the PLL select word at offset " +
           HexNumber(kPllSelectOffset, 8) + " reads " + HexNumber(select, 8) +
           (bitNumbers.empty() ? "" : ", " + bitNumbers + " clear") + "), so " +
           (one ? "a new word would not change its clock" : "new words would not change their clocks") +
           " and nothing was written; " + setters + (oneSetter ? " switches " : " switch ") +
           (one ? "it to its programmed word" : "them to their programmed words") + " when " +
           (oneSetter ? "it sets" : "they set") +
           " a display mode: let a driver set a display mode, for example start X or switch to a "
           "text console and back, then try again";
}

}  // namespace

const char* const kWarningText =
    "Warning !!!\nImproper use may cause demage\nto your Computer and or Videocard.\n"
    "You alone are responible for any\ndemage caused by this Programm !\n\n"
    "Only continue if you absolutely\nknow what you do.";
const char* const kMsgFrequencyOutOfRange = "Frequency out of range !";
const char* const kMsgAutostartAccessFailed = "Registry Access failed !";
const char* const kMsgPciAccessFailed = "PCI/AGP access failed !";
const char* const kMsgWrongChipset = "wrong Chipset in ComandLine !";
const char* const kMsgDontPanic = "Don\u00b4t Panic !";
const char* const kMsgRestored = "Successfully restored\nformer Clocksettings !";
const char* const kMsgCommandLineError = "Error in ComandLine !";
const char* const kChipsetUnknown = "Unknown";

const char* const kMsgClocksNotApplied = "The clocks were not applied.";

std::string NoApplyWordText(const std::string& word) {
    return "The kernel command line says " + word + ": no clocks are applied without you at this boot.";
}

std::string DidNotSurviveText(bool login, const std::string& clocks, const std::string& when) {
    std::string text = std::string("The last time ") + (login ? "the login entry" : "the boot service") +
                       " applied clocks (" + clocks + ", at " + when +
                       "), the machine did not keep running: they may have hung it. ";
    if (login) {
        text += "Clocks are not applied at login until you choose them again: untick and tick "
                "\"Autostart Tarvento\" in the window.";
    } else {
        text += "Boot clocks are not applied until you set them again (sudo tarvento "
                "--boot-clocks CHIP MEMCLOCK CHIPCLOCK) or turn them off (sudo tarvento "
                "--boot-clocks off).";
    }
    return text;
}

const char* const kNoStateFolder = "no folder to keep it in (XDG_STATE_HOME and HOME are not set)";

std::string FileErrorText(FileStep step, const std::string& path) {
    switch (step) {
    case FileStep::CreateBeside: return "cannot create a file beside " + path;
    case FileStep::Write: return "cannot write " + path;
    case FileStep::Replace: return "cannot replace " + path;
    case FileStep::SyncFolder: return "cannot sync the folder of " + path;
    case FileStep::Remove: return "cannot remove " + path;
    }
    return path;
}

std::string FileErrorText(FileStep step, const std::string& path, int error) {
    return FileErrorText(step, path) + ": " + std::strerror(error);
}

std::string SmallFileFailureText(const std::string& path, const SmallFileFailure& failure) {
    using Kind = SmallFileFailure::Kind;
    switch (failure.kind) {
    case Kind::Missing: return path + " does not exist";
    case Kind::Link: return path + " is a symbolic link, which is not followed";
    case Kind::NotRegularFile: return path + " is not a regular file";
    case Kind::TooLarge: return path + " is too large to be what it should hold";
    case Kind::Unreadable: return path + " cannot be read: " + std::strerror(failure.error);
    }
    return path;
}

std::string FolderFailureText(const FolderFailure& failure) {
    switch (failure.step) {
    case FolderFailure::Step::NotAbsolute: return "not an absolute path: " + failure.path;
    case FolderFailure::Step::Make:
        return "cannot make the folder " + failure.path + ": " + std::strerror(failure.error);
    case FolderFailure::Step::NotAFolder: return "not a folder: " + failure.path;
    }
    return failure.path;
}

std::string RegisterAccessReason(const RegisterAccessFacts& f) {
    const std::string group = kRegisterGroup;
    const bool map = f.step == RegisterAccessFacts::Step::Map;
    if (!map && f.error == ENOENT) {
        return "the card's register file " + f.path + " does not exist";
    }
    if (!map && f.error == ELOOP) {
        return f.path + " is a symbolic link; the program does not follow links to a card's registers";
    }
    if (map && f.error == EPERM && !f.lockdown.empty()) {
        return "the kernel is locked down (" + f.lockdown +
               "), which forbids mapping the card's registers; this usually comes with Secure Boot";
    }
    if (map && (f.error == EINVAL || f.error == EBUSY)) {
        return "a driver holds the card's registers (the kernel has CONFIG_IO_STRICT_DEVMEM); "
               "unbind the driver from the card or boot with iomem=relaxed";
    }
    if (f.error == EACCES || f.error == EPERM) {
        if (!f.groupExists) {
            return "the group " + group + " does not exist: the program's udev rule is not installed";
        }
        if (!f.fileInGroup) {
            return f.path + " does not belong to the group " + group +
                   ": the udev rule did not run for this card";
        }
        if (f.processInGroup) {
            return f.path + " belongs to the group " + group +
                   ", but its mode does not let the group read and write it";
        }
        if (f.userInGroup) {
            return "you are in the group " + group +
                   ", but this login is not yet: log out of every session (a running user "
                   "manager keeps the old groups) and log in again";
        }
        return "you are not in the group " + group + ", which may reach the card's registers: "
               "sudo usermod -aG " + group + " $USER, then log in again";
    }
    return std::string(map ? "cannot map " : "cannot open ") + f.path + ": " + std::strerror(f.error);
}

std::string ReasonText(const AccessFailure& f) {
    using Kind = AccessFailure::Kind;
    const std::string config = "cannot read the PCI configuration space of " + f.slot;
    switch (f.kind) {
    case Kind::None: return {};
    case Kind::PciFolderTooLong: return "the PCI folder name is too long: " + f.path.substr(0, 64) + "...";
    case Kind::PciFolderUnlisted: return "cannot list " + f.path + ": " + std::strerror(f.error);
    case Kind::ConfigIsLink: return config + ": its config is a symbolic link, which is not followed";
    case Kind::ConfigNotRegular: return config + ": its config is not a regular file";
    case Kind::ConfigUnreadable: return config + ": " + std::strerror(f.error);
    case Kind::ConfigEndsEarly: return config + ": its config file ends at byte " + std::to_string(f.value);
    case Kind::ConfigReadFailed: return config + " at byte " + HexNumber(f.value, 2);
    case Kind::NoDisplayAdapter:
        return "no VGA-compatible display adapter with a register base was found on the PCI bus";
    case Kind::Unaligned: return "register address " + Address(f.value) + " is not 32-bit aligned";
    case Kind::OutsideBar0:
        return "address " + Address(f.value) + " lies outside BAR0 of the adapter " + f.slot +
               "; it was not touched";
    case Kind::NoBar: return "no BAR holds address " + Address(f.value);
    case Kind::BarNotPageAligned:
        return "the BAR holding " + Address(f.value) + " does not start on a page and cannot be mapped";
    case Kind::FileEndsBefore:
        return f.path + " ends before address " + Address(f.value) + "; it was not mapped";
    case Kind::NotRegularFile: return f.path + " is not a regular file; it was not mapped";
    case Kind::RegisterFile: return RegisterAccessReason(f.access);
    case Kind::NoAnswer:
        return "the card answers FFFFFFFFh from its clock registers: it is not initialised, or its "
               "memory decoding is off, and its registers cannot be reached";
    case Kind::Bar0IsIo: return "BAR0 of the display adapter is an I/O BAR; its registers were not touched";
    case Kind::Bar0Above4GiB:
        return "BAR0 of the display adapter lies above 4 GiB (" + HexNumber(f.value, 16) +
               "), out of reach of a 32-bit register base; its registers were not touched";
    case Kind::RegistersUnread: return "the chip's clock registers could not be read";
    case Kind::RegistersUnreached: return "the chip's clock registers could not be reached";
    case Kind::PllNotProgrammed:
        return PllNotProgrammedText(static_cast<uint32_t>(f.value), f.bits, f.architecture);
    case Kind::PllSelectNoAnswer:
        return "the PLL select word at offset " + HexNumber(kPllSelectOffset, 8) + " reads " +
               HexNumber(kNoAnswerWord, 8) +
               " although the PLL words answer: no driver leaves that word, so it does not tell which "
               "clock each PLL runs from, and nothing was written";
    }
    return {};
}

std::string UnsupportedAdapterText(uint16_t vendorId, uint16_t deviceId) {
    char text[96];
    std::snprintf(text, sizeof text, "the display adapter %04X:%04X is not a supported chip", vendorId,
                  deviceId);
    const auto why = WhyNotTaken(vendorId, deviceId);
    return why ? text + (": " + NotTakenText(*why)) : text;
}

std::string NotTakenText(NotTakenReason reason) {
    switch (reason) {
    case NotTakenReason::IntegratedWithoutMemoryPll:
        return "it is the Aladdin TNT2, built into a chipset and sharing the system's memory, "
               "whose memory PLL is not present";
    case NotTakenReason::IdNoDriverLists:
        return "no driver lists this id, so nothing tells how its PLLs are set";
    case NotTakenReason::Tnt2IdUnderSgsVendor:
        return "the TNT2 family is known under vendor 10DEh only, and no driver matches its ids under 12D2h";
    }
    return {};
}

std::string FoundCardText(const std::optional<DisplayAdapter>& adapter, const char* chipName) {
    if (!adapter) return "no display adapter was found";
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04X:%04X", adapter->vendorId, adapter->deviceId);
    const std::string slot = SysfsSlotName({0, adapter->bus, adapter->device, adapter->function});
    if (chipName != nullptr) return std::string("the card found is a ") + chipName + " (" + ids + ") at " + slot;
    // A supported chip whose clocks could not be read is no recognised chip, but it is the card.
    if (const ChipProfile* profile = FindChipProfile(adapter->vendorId, adapter->deviceId))
        return std::string("the card found is a ") + profile->name + " (" + ids + ") at " + slot +
               ", whose clocks could not be read";
    return std::string("the card found is ") + ids + " at " + slot + ", not a supported chip";
}

std::string UnknownOptionText(const std::string& option) {
    return "unknown option '" + option + "'; see tarvento --help";
}

const char* const kNeedsGraphicalSession =
    "the tuner window needs a graphical session (no DISPLAY, WAYLAND_DISPLAY or "
    "QT_QPA_PLATFORM is set). Use --info for a report of the card, or start with a "
    "chip name and two clocks to apply them without a window.";

std::string NoWindowReasonText(const std::string& whyNot) { return "no window can be shown: " + whyNot; }

std::string NoWindowText(const std::string& whyNot) {
    return NoWindowReasonText(whyNot) +
           ". Use --info for a report of the card, or start with a chip name and two "
           "clocks to apply them without a window.";
}

std::string NoWindowAppliedWithoutText(const std::string& whyNot) {
    return "no window was shown: " + whyNot + "; the clocks are applied without one";
}

std::string StartArgumentsTooLongText(std::size_t limit) {
    return "the start-up arguments are longer than " + std::to_string(limit) +
           " characters and were ignored";
}

std::string ApplyNotRecordedText(const std::string& error) { return "the apply was not recorded: " + error; }

const char* const kCannotWatchSurvival = "cannot watch whether the machine survives the clocks";

const char* const kSecureExecutionRefusal =
    "refusing to run setuid, setgid or with file capabilities; "
    "to reach the card, join the group tarvento instead (sudo usermod -aG tarvento "
    "$USER, then log in again)";

std::string CannotLoadWindowLibraryText(const std::string& path, const char* why) {
    return "cannot load the window library " + path + ": " + (why ? why : "unknown error");
}

std::string NoEntryPointText(const std::string& path, const char* symbol) {
    return "the window library " + path + " has no entry point " + symbol;
}

std::string WaylandWithoutRuntimeDirText(const std::string& display) {
    return "the Wayland display " + display + " cannot be reached (XDG_RUNTIME_DIR is not set)";
}

std::string WaylandPathTooLongText(const std::string& path) {
    return "the Wayland socket path " + path + " is too long";
}

std::string NoWaylandSocketText(int error) {
    return std::string("no socket for Wayland: ") + std::strerror(error);
}

std::string NoWaylandCompositorText(const std::string& path, int error) {
    return "no Wayland compositor answers at " + path + " (" + std::strerror(error) + ")";
}

const char* const kNoXServerNamed = "no X server is named (DISPLAY is not set)";

std::string XServerUnreachableText(const std::string& display) {
    return "cannot open the display " + display + ": no X server answers there, or this user may not use it";
}

std::string WaylandPluginMissingText(const std::string& package) {
    return "Qt's Wayland platform plugin is not installed (install the package " + package + ")";
}

std::string PlatformPluginMissingText(const std::string& name) {
    return "no Qt platform plugin \"" + name + "\" is installed";
}

std::string PlatformPluginUnloadableText(const std::string& name, const std::string& error) {
    return "the Qt platform plugin \"" + name + "\" cannot be loaded: " + error;
}

std::string EmptyPlatformListText(const std::string& list) {
    return "the platform list \"" + list + "\" names no platform";
}

const char* const kBootClocksOff = "Boot clocks: off";

std::string BootClocksSetText(const std::string& inWords) { return "Boot clocks: " + inWords; }

std::string BootClocksNotStoredText(const std::string& error) {
    return "the boot clocks were not stored: " + error;
}

std::string BootClocksUnreadableText(const std::string& path) {
    return path + " holds no chip name and two clocks; nothing was applied";
}

std::string BootClocksNotReadText(const std::string& why) { return why + "; nothing was applied"; }

std::string ApplyRecordNotReadText(const std::string& why) {
    return "the record of the last apply was not read (" + why + "): it counts as none";
}

std::string FileNotReadText(const std::string& why) { return why + "; nothing was written"; }

std::optional<OutcomeWords> ApplyOutcomeWords(const ApplyOutcome& outcome) {
    switch (outcome.result) {
    case ApplyOutcome::Result::AccessFailed: return OutcomeWords{kMsgPciAccessFailed, ReasonText(outcome.reason)};
    case ApplyOutcome::Result::Refused: return OutcomeWords{kMsgFrequencyOutOfRange, {}};
    case ApplyOutcome::Result::OutsideLimits:
        return OutcomeWords{kMsgFrequencyOutOfRange, OutsideLimitsText(outcome.chip, outcome.breaches)};
    case ApplyOutcome::Result::Applied:
    case ApplyOutcome::Result::NoChip: break;
    }
    return std::nullopt;
}

std::string OutsideLimitsText(const char* chip, const std::vector<LimitBreach>& breaches) {
    const std::string name = chip != nullptr ? chip : "the chip";
    std::string text;
    for (const LimitBreach& b : breaches) {
        if (!text.empty()) text += " and ";
        text += std::string(b.clock == LimitBreach::Clock::Memory ? "Mem Clock " : "Chip Clock ") +
                std::to_string(b.mhz) + " MHz is outside " + name + "'s " + std::to_string(b.min) + ".." +
                std::to_string(b.max) + " MHz";
    }
    return text + "; nothing was written";
}

std::string ClockPairText(ClockPair clocks) {
    return "Mem Clock " + std::to_string(clocks.memory) + " MHz, Chip Clock " + std::to_string(clocks.chip) +
           " MHz";
}

std::string PllOutputText(uint32_t word, uint32_t strap, uint32_t pMask) {
    char crystal[16];
    std::snprintf(crystal, sizeof crystal, "%.8g", CrystalMHz(strap));
    const std::optional<double> mhz = PllOutputMHz(word, strap, pMask);
    if (!mhz) return std::string("no clock: M is 0 (crystal ") + crystal + " MHz)";
    char clock[32];
    // To the kHz: the crystal is known to five places, and 110.025 is not 110.03.
    std::snprintf(clock, sizeof clock, "%.3f", *mhz);
    return std::string("makes ") + clock + " MHz (crystal " + crystal + " MHz)";
}

std::string FirmwareNotRecordedText(const std::string& error) {
    return "the card's firmware clocks were not recorded: " + error;
}

const char* const kFirmwareWordsUnread =
    "the card's firmware clocks were not recorded: its PLL words could not be read";

std::string NoFirmwareRecordText(const std::string& path) {
    return "there is no record of the card's firmware clocks from this boot (" + path +
           "): the boot service (tarvento-boot-clocks.service) records one when the card "
           "appears at boot; nothing was written";
}

std::string NotAFirmwareRecordText(const std::string& path) {
    return path + " is not a record of the card's firmware clocks; nothing was written";
}

std::string FirmwareRecordOfAnotherCardText(const std::string& recorded, const std::string& found) {
    return "the firmware clocks recorded at this boot are another card's (" + recorded + "), not those of " +
           found + "; nothing was written";
}

const char* const kFirmwareRecordOfEarlierBoot =
    "the firmware clocks on record are from an earlier boot, and the firmware sets the card "
    "anew at every boot; nothing was written";

std::string ImplausibleRecordedWordText(const std::string& word, const std::string& offset) {
    return "the record holds " + word + " for the PLL at offset " + offset +
           ", a word no clock setting makes; nothing was written";
}

const char* const kFirmwareClocksAlreadyThere = "The card has its firmware clocks; nothing was written";

std::string TrialQuestionText(int seconds, const std::string& savedInWords) {
    return "Keep these clocks? Press Enter within " + std::to_string(seconds) +
           " s; otherwise the card goes back to " + savedInWords + ".";
}

std::string TrialWentBackText(const std::string& why, const std::string& savedInWords) {
    return why + ": the card is back at " + savedInWords + ", word for word";
}

std::string NoTrialAnswerText(int seconds) { return "No answer within " + std::to_string(seconds) + " s"; }

const char* const kTrialNotKept = "Not kept";

std::string TrialStoppedBySignalText(const char* signalName) {
    return std::string("Stopped by ") + signalName;
}

const char* const kTrialWentBackAtOnce = "the card went back to its saved words at once";

const char* const kTrialNotRestored =
    "the saved words could not all be written back: the card may still run the trial's clocks";

std::string TrialTimeUsageText(int min, int max) {
    return "--try takes a time of " + std::to_string(min) + " to " + std::to_string(max) +
           " seconds after the clocks";
}

const char* const kTrialSignalsUnwatched =
    "cannot watch for the signals that end a trial; nothing was written";

const char* const kDryRunWroteNothing = "Nothing was written (a dry run).";

std::string NoClocksSavedText(const std::string& reason) { return "No clocks saved before sleep: " + reason; }

const char* const kNoClocksSavedUnread = "No clocks saved before sleep: the PLL words could not be read";

std::string ClocksNotSavedText(const std::string& error) {
    return "the clocks were not saved before sleep: " + error;
}

const char* const kNothingSavedToRestore = "No clocks to restore after resume: none were saved before sleep";

std::string NotASavedCardText(const std::string& path) {
    return path + " is not a saved card; nothing was written";
}

std::string NotASupportedChipAfterResumeText(const std::string& reason) {
    return "the card does not answer as a supported chip after resume (" + reason +
           "); nothing was written";
}

std::string NotTheSavedCardText(const std::string& slot, const std::string& savedSlot) {
    return "the card at " + slot + " is not the one whose clocks were saved (" + savedSlot +
           "); nothing was written";
}

const char* const kPllWordsUnreadAfterResume =
    "the card's PLL words cannot be read after resume; nothing was written";

std::string ImplausiblePllWordText(const std::string& word, const std::string& offset) {
    return "the card answers " + word + " from its PLL at offset " + offset +
           " after resume, a word no clock setting makes; nothing was written";
}

const char* const kClocksUnchangedAcrossSleep = "Clocks unchanged across sleep; nothing was written";

std::string NotRestoredText(const std::string& reason) {
    return "the clocks were not restored after resume: " + reason;
}

std::string NotAllRestoredText(const std::string& reason) {
    return "the clocks were not all restored after resume: " + reason;
}

}  // namespace tarvento
