// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chip/adapter_discovery.h"
#include "chip/clock_formulas.h"
#include "chip/hardware_access.h"

namespace tarvento {

// Memory clock first, always. Signed MHz.
struct ClockPair {
    int32_t memory = 0;
    int32_t chip = 0;
    friend bool operator==(const ClockPair&, const ClockPair&) = default;
};

enum class LinkMode : int {
    Linked = 1,      // one clock: moving either slider moves both
    Independent = 2
};

// One clock of a chip: the PLL register it lives in and the routines that read and set it.
struct ChipClock {
    uint32_t pllOffset;  // from the register base
    std::optional<int32_t> (*read)(HardwareAccess& hw, uint32_t registerBase, bool* noAnswer);
    SetResult (*set)(HardwareAccess& hw, uint32_t registerBase, int32_t mhz);
    // The N that `set` would write for `mhz` into this PLL word; nothing when it refuses.
    std::optional<uint32_t> (*nFor)(int32_t mhz, uint32_t pll, uint32_t strap);
    // What `read` gives, as a function of the PLL and strap words alone (for reports).
    int32_t (*fromPll)(uint32_t pll, uint32_t strap);
    uint32_t stockPll;  // a word the PLL holds on a stock card; virtual cards start from it
};

// The clocks the supported chips have, each with its own fitted formulas.
extern const ChipClock kTntMemClock;
extern const ChipClock kTntChipClock;
extern const ChipClock kRiva128Clock;  // on the memory PLL; drives memory and core alike

// Everything the program knows about one chip. Adding a chip is one row in the table
// (chip_profiles.cpp) and, when its PLLs follow formulas of their own, a ChipClock.
struct ChipProfile {
    const char* name;  // as the window shows it and the start arguments name it
    // The vendor ids the chip answers with (0: none), the one it is best known by first.
    std::array<uint16_t, 2> vendorIds;
    uint16_t deviceId;
    int32_t memMin, memMax;    // inclusive slider limits, MHz
    int32_t chipMin, chipMax;
    LinkMode linkMode;
    // Read at recognition and set by ApplyClocks in this order: memory, then chip.
    const ChipClock* memoryClock;
    const ChipClock* chipClock;  // nullptr: the memory clock drives the chip too
};

inline constexpr const char* kRiva128Name = "RIVA_128";
inline constexpr const char* kRiva128ZxName = "RIVA_128ZX";
inline constexpr const char* kRivaTntName = "RIVA_TNT";

// The process-wide state of the chip layer: the machine, what discovery found, and
// which chip was recognised. Created once at start-up and handed to everything above.
struct ChipState {
    explicit ChipState(HardwareAccess& hw) : hardware(hw) {}
    HardwareAccess& hardware;
    DiscoveryState discovery;  // pciConfigHeader, registerBase
    // Unset (nullptr) until a chip is recognised; then the name of its table row,
    // never cleared. An unset name equals no name and no token.
    const char* currentChipName = nullptr;
    // The adapter whose chip was recognised, with its register base. Every clock is
    // read from and written to it alone: a later discovery (the autostart check box
    // repeats one) that finds another adapter moves nothing.
    std::optional<DisplayAdapter> recognizedAdapter;
};

// True when `name` is set and equals `token` exactly (case-sensitive).
bool ChipNameEquals(const char* name, const char* token);

// Every supported chip, in table order.
std::span<const ChipProfile> ChipProfiles();

// Each chip once, in table order: the first row of every name. Whatever names the chips
// to people (the help, the manual pages, the reports) lists these, so that a row which
// lets another card stand in for a chip names no chip twice.
std::vector<const ChipProfile*> DistinctChips();

// The profile for a vendor/device pair, tested in table order; nullptr when unsupported.
const ChipProfile* FindChipProfile(uint16_t vendorId, uint16_t deviceId);

// The profile whose name equals `name` exactly (see ChipNameEquals); nullptr when none.
const ChipProfile* FindChipProfileByName(const char* name);

struct PciId {
    uint16_t vendorId;
    uint16_t deviceId;
    friend auto operator<=>(const PciId&, const PciId&) = default;
};

// Every vendor/device pair FindChipProfile recognises, in table order: what the udev rule
// that opens a card's registers to the group must list, no more and no less.
std::vector<PciId> SupportedPciIds();

enum class Recognition { Recognized, Unsupported, RegisterReadFailed };

struct RecognizedChip {
    const ChipProfile* profile = nullptr;
    ClockPair clocks;  // as read from the chip
    AccessFailure failureReason;  // for RegisterReadFailed: why
};

// Selects the profile, ties the registers to the adapter discovery found last
// (state.discovery.adapter), reads the chip's clocks and, only when they could be read,
// sets state.currentChipName and state.recognizedAdapter. A failed register read, or a
// card that answers all ones, means no chip is recognised, and so does a BAR0 in
// state.discovery.pciConfigHeader (the adapter's, read last) that no 32-bit register base
// can reach: then no register is touched.
Recognition RecognizeChip(ChipState& state, uint16_t vendorId, uint16_t deviceId,
                          RecognizedChip& out);

// What became of a pair handed to ApplyClocks, or of a Panic restore. The layer that owns
// a window decides what the user reads about it.
struct ApplyOutcome {
    enum class Result {
        Applied,       // every value the chip takes was written
        Refused,       // a value was out of the PLL's reach; the others were still written
        AccessFailed,  // a register could not be reached, or the card answered all ones
        NoChip         // no chip is recognised: nothing was tried
    };
    Result result = Result::NoChip;
    AccessFailure reason;  // for AccessFailed: why

    bool Applied() const { return result == Result::Applied; }
};

// Writes the pair to the recognised chip (the registers of state.recognizedAdapter)
// through its set routines, in profile order. Every set routine runs even after another
// refused its value; after a card answered all ones no further routine runs. An access
// failure outweighs a refused value: one outcome per call. With no recognised chip
// nothing is written and the outcome is NoChip.
ApplyOutcome ApplyClocks(ChipState& state, ClockPair clocks);

// What ApplyClocks would make of the pair on the recognised chip as it is now, without
// writing anything: Applied when every set routine would take its value, Refused when one
// would refuse it, AccessFailed when a register cannot be read, NoChip without a chip.
// Boot clocks are checked so before they are stored.
ApplyOutcome CheckClocks(ChipState& state, ClockPair clocks);

}  // namespace tarvento
