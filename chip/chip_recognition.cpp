// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/chip_recognition.h"

#include <optional>

#include "chip/chip_table.h"
#include "chip/clock_restore.h"

namespace tarvento {

Recognition RecognizeChip(ChipState& state, uint16_t vendorId, uint16_t deviceId,
                          RecognizedChip& out) {
    out = RecognizedChip{};
    const ChipProfile* profile = FindChipProfile(vendorId, deviceId);
    if (profile == nullptr) return Recognition::Unsupported;

    // The registers are reached at a 32-bit physical address. An I/O BAR0 names no memory,
    // and a 64-bit BAR0 above 4 GiB cut to its low half would name another device's memory:
    // nothing is touched, as for a register that cannot be read.
    const std::optional<uint64_t> bar0 = Bar0MemoryAddress(state.discovery.pciConfigHeader);
    if (!bar0) {
        out.failureReason = AccessFailure::Of(AccessFailure::Kind::Bar0IsIo);
        return Recognition::RegisterReadFailed;
    }
    if (*bar0 > UINT32_MAX) {
        out.failureReason = AccessFailure::Of(AccessFailure::Kind::Bar0Above4GiB, *bar0);
        return Recognition::RegisterReadFailed;
    }

    HardwareAccess& hw = state.hardware;
    DisplayAdapter adapter = state.discovery.adapter;
    adapter.registerBase = state.discovery.registerBase;
    hw.BindRegisters(adapter.bus, adapter.device, adapter.function);
    const uint32_t base = adapter.registerBase;
    bool noAnswer = false;
    auto failed = [&] {
        using Kind = AccessFailure::Kind;
        out.failureReason = noAnswer ? AccessFailure::Of(Kind::NoAnswer) : hw.FailureReason();
        if (!out.failureReason.Known()) out.failureReason = AccessFailure::Of(Kind::RegistersUnread);
        return Recognition::RegisterReadFailed;
    };
    const auto memory = ReadChipClock(hw, base, *profile->memoryClock, &noAnswer);
    if (!memory) return failed();
    // A chip without a clock of its own runs memory and core from the one clock.
    std::optional<int32_t> chip = memory;
    if (profile->chipClock != nullptr) {
        chip = ReadChipClock(hw, base, *profile->chipClock, &noAnswer);
        if (!chip) return failed();
    }
    const ClockPair clocks{*memory, *chip};
    state.currentChipName = profile->name;
    state.recognizedAdapter = adapter;
    out.profile = profile;
    out.clocks = clocks;
    return Recognition::Recognized;
}

}  // namespace tarvento
