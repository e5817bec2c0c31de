// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "chip/access_failure.h"
#include "chip/chip_state.h"
#include "chip/clock_pair.h"

namespace tarvento {

struct ChipProfile;

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

}  // namespace tarvento
