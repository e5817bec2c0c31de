// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chip/chip_architecture.h"

namespace tarvento {

// The group a udev rule gives the resource0 of a supported card (mode 0660): membership
// is the way to the registers for a user who is not root.
inline constexpr const char* kRegisterGroup = "tarvento";

// What the machine says about a resourceN file that could not be opened or mapped.
struct RegisterAccessFacts {
    enum class Step { Open, Map };
    std::string path;             // the resourceN file
    Step step = Step::Open;
    int error = 0;                // errno of the failed open or mmap
    std::string lockdown;         // "integrity" or "confidentiality"; empty when not locked down
    bool groupExists = false;     // the group tarvento is known to the system
    bool fileInGroup = false;     // the file's group is tarvento
    bool processInGroup = false;  // this process holds the group now
    bool userInGroup = false;     // the group database lists the user as a member
};

// Why the machine could not be read or a card's registers reached, as facts. The chip
// layer says what happened; the layers that speak to the user choose the words.
struct AccessFailure {
    enum class Kind {
        None,                  // nothing failed, or the machine cannot say why
        // Listing and reading configuration space.
        PciFolderTooLong,      // path: the PCI folder as given
        PciFolderUnlisted,     // path: its devices/ folder; error
        ConfigIsLink,          // slot
        ConfigNotRegular,      // slot
        ConfigUnreadable,      // slot; error
        ConfigEndsEarly,       // slot; value: the byte where it ends
        ConfigReadFailed,      // slot; value: the offset read
        NoDisplayAdapter,      // a discovery found no VGA-compatible function with a BAR0
        // Reaching a register.
        Unaligned,             // value: the address
        OutsideBar0,           // value: the address; slot: the adapter registers are tied to
        NoBar,                 // value: the address
        BarNotPageAligned,     // value: the address
        FileEndsBefore,        // path: the resourceN file; value: the address
        NotRegularFile,        // path: the resourceN file
        RegisterFile,          // access: the open or mmap of the resourceN file was refused
        // The chip itself.
        NoAnswer,              // the card answers FFFFFFFFh from its clock registers
        Bar0IsIo,              // BAR0 names ports, not memory
        Bar0Above4GiB,         // value: BAR0's address
        RegistersUnread,       // a clock read failed and the machine said nothing more
        RegistersUnreached,    // a clock register failed and the machine said nothing more
        PllNotProgrammed,      // value: the PLL select word; bits: the select bits it leaves
                               // clear of the PLLs an apply would write; architecture
        PllSelectNoAnswer,     // the PLL select word alone reads FFFFFFFFh: the PLLs answer
    };
    Kind kind = Kind::None;
    std::string path;
    std::string slot;    // "0000:01:00.0"
    int error = 0;       // errno
    uint64_t value = 0;  // an address, an offset, a byte count or a word, as the kind says
    uint32_t bits = 0;   // register bits, as the kind says
    std::optional<ChipArchitecture> architecture;  // the chip's, as the kind says
    RegisterAccessFacts access;

    static AccessFailure Of(Kind kind, uint64_t value = 0) {
        AccessFailure failure;
        failure.kind = kind;
        failure.value = value;
        return failure;
    }
    bool Known() const { return kind != Kind::None; }
};

}  // namespace tarvento
