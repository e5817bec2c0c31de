// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/chip_profiles.h"

#include <cstdint>
#include <cstring>
#include <optional>

#include "chip/clock_restore.h"
#include "chip/registers.h"

namespace tarvento {

// Stock words, with strap bit 6 set (14.318 MHz crystal): TNT memory M 12 N 184 P 1 =
// 110 MHz, TNT core M 12 N 150 P 1 = 90 MHz, RIVA 128 memory M 12 N 168 P 1 = 100 MHz.
const ChipClock kTntMemClock{kMemPllOffset, ReadTntMemClock, SetTntMemClock, TntMemN,
                             TntMemClockFromPll, 0x0001B80C};
const ChipClock kTntChipClock{kCorePllOffset, ReadTntChipClock, SetTntChipClock, TntChipN,
                              TntChipClockFromPll, 0x0001960C};
const ChipClock kRiva128Clock{kMemPllOffset, ReadRiva128Clock, SetRiva128Clock, Riva128N,
                              Riva128ClockFromPll, 0x0001A80C};

namespace {

constexpr uint16_t kVendorNvidia = 0x10DE;
constexpr uint16_t kVendorNvidiaSgs = 0x12D2;  // the RIVA 128 was sold under this id first

// Tested in this order; the first match wins.
const ChipProfile kProfiles[] = {
    // name, vendor ids, device, memory and chip slider limits, link, memory and chip clocks
    {kRiva128Name, {kVendorNvidiaSgs, kVendorNvidia}, 0x0018, 90, 130, 90, 130,
     LinkMode::Linked, &kRiva128Clock, nullptr},
    {kRiva128ZxName, {kVendorNvidiaSgs, kVendorNvidia}, 0x0019, 90, 130, 90, 130,
     LinkMode::Linked, &kRiva128Clock, nullptr},
    {kRivaTntName, {kVendorNvidia, 0}, 0x0020, 80, 145, 80, 130,
     LinkMode::Independent, &kTntMemClock, &kTntChipClock},
#ifdef TARVENTO_TEST_CARD
    // QEMU's emulated VGA (BAR0 16 MiB, plain memory at the PLL and strap offsets), so that
    // a guest on a real kernel can stand in for a card. Never in a release build.
    {kRivaTntName, {0x1234, 0}, 0x1111, 80, 145, 80, 130,
     LinkMode::Independent, &kTntMemClock, &kTntChipClock},
#endif
};

}  // namespace

bool ChipNameEquals(const char* name, const char* token) {
    return name != nullptr && token != nullptr && std::strcmp(name, token) == 0;
}

std::span<const ChipProfile> ChipProfiles() { return kProfiles; }

std::vector<const ChipProfile*> DistinctChips() {
    std::vector<const ChipProfile*> chips;
    for (const ChipProfile& p : kProfiles)
        if (FindChipProfileByName(p.name) == &p) chips.push_back(&p);
    return chips;
}

const ChipProfile* FindChipProfile(uint16_t vendorId, uint16_t deviceId) {
    for (const ChipProfile& p : kProfiles) {
        if (deviceId != p.deviceId || vendorId == 0) continue;
        for (const uint16_t vendor : p.vendorIds)
            if (vendor == vendorId) return &p;
    }
    return nullptr;
}

const ChipProfile* FindChipProfileByName(const char* name) {
    for (const ChipProfile& p : kProfiles)
        if (ChipNameEquals(name, p.name)) return &p;
    return nullptr;
}

std::vector<PciId> SupportedPciIds() {
    std::vector<PciId> ids;
    for (const ChipProfile& p : kProfiles)
        for (const uint16_t vendor : p.vendorIds)
            if (vendor != 0) ids.push_back({vendor, p.deviceId});
    return ids;
}

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
    const auto memory = profile->memoryClock->read(hw, base, &noAnswer);
    if (!memory) return failed();
    // A chip without a clock of its own runs memory and core from the one clock.
    std::optional<int32_t> chip = memory;
    if (profile->chipClock != nullptr) {
        chip = profile->chipClock->read(hw, base, &noAnswer);
        if (!chip) return failed();
    }
    const ClockPair clocks{*memory, *chip};
    state.currentChipName = profile->name;
    state.recognizedAdapter = adapter;
    out.profile = profile;
    out.clocks = clocks;
    return Recognition::Recognized;
}

namespace {

struct ApplyStep {
    const ChipClock* clock;
    int32_t mhz;
};

// The clocks ApplyClocks sets for a pair, in its order; a chip whose one clock drives both
// takes the memory value alone. Empty without a recognised chip.
std::span<const ApplyStep> ApplySteps(const ChipState& state, ClockPair clocks,
                                      std::array<ApplyStep, 2>& steps) {
    const ChipProfile* profile = FindChipProfileByName(state.currentChipName);
    if (profile == nullptr || !state.recognizedAdapter) return {};
    steps = {ApplyStep{profile->memoryClock, clocks.memory}, ApplyStep{profile->chipClock, clocks.chip}};
    return std::span<const ApplyStep>(steps.data(), profile->chipClock != nullptr ? 2 : 1);
}

}  // namespace

ApplyOutcome CheckClocks(ChipState& state, ClockPair clocks) {
    std::array<ApplyStep, 2> storage{};
    const std::span<const ApplyStep> steps = ApplySteps(state, clocks, storage);
    if (steps.empty()) return {};
    HardwareAccess& hw = state.hardware;
    const uint32_t base = state.recognizedAdapter->registerBase;
    bool refused = false;
    for (const ApplyStep& step : steps) {
        bool noAnswer = false;
        const auto pll = ReadAnsweredRegister(hw, base, step.clock->pllOffset, &noAnswer);
        const auto strap = pll ? ReadAnsweredRegister(hw, base, kStrapOffset, &noAnswer) : std::nullopt;
        if (!pll || !strap) return {ApplyOutcome::Result::AccessFailed, RegisterFailureReason(hw, noAnswer)};
        if (!step.clock->nFor(step.mhz, *pll, *strap)) refused = true;
    }
    if (refused) return {ApplyOutcome::Result::Refused, {}};
    return {ApplyOutcome::Result::Applied, {}};
}

ApplyOutcome ApplyClocks(ChipState& state, ClockPair clocks) {
    std::array<ApplyStep, 2> storage{};
    const std::span<const ApplyStep> steps = ApplySteps(state, clocks, storage);
    if (steps.empty()) return {};
    HardwareAccess& hw = state.hardware;
    const uint32_t base = state.recognizedAdapter->registerBase;
    const int count = static_cast<int>(steps.size());

    // Every set routine runs even after another refused its value; a card that answered
    // all ones is not written to at all.
    bool accessFailed = false;
    bool noAnswer = false;
    bool refused = false;
    AccessFailure reason;
    for (int i = 0; i < count && !noAnswer; ++i) {
        switch (steps[i].clock->set(hw, base, steps[i].mhz)) {
        case SetResult::Written: break;
        case SetResult::OutOfRange: refused = true; break;
        case SetResult::NoAnswer:
            noAnswer = true;
            reason = AccessFailure::Of(AccessFailure::Kind::NoAnswer);
            break;
        case SetResult::AccessFailed:
            if (!accessFailed) reason = hw.FailureReason();
            accessFailed = true;
            break;
        }
    }
    // An unreachable chip says more than a refused value.
    if (accessFailed || noAnswer) return {ApplyOutcome::Result::AccessFailed, reason};
    if (refused) return {ApplyOutcome::Result::Refused, {}};
    return {ApplyOutcome::Result::Applied, {}};
}

}  // namespace tarvento
