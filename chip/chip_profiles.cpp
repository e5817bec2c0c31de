#include "chip/chip_profiles.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "chip/clock_formulas.h"

namespace tarvento {

namespace {

constexpr uint16_t kVendorNvidia = 0x10DE;
constexpr uint16_t kVendorNvidiaSgs = 0x12D2;  // the RIVA 128 was also sold under this id

struct ProfileEntry {
    bool sgsVendorToo;  // whether 12D2h names this chip as well as 10DEh
    uint16_t deviceId;
    ChipProfile profile;
};

// Tested in this order; the first match wins.
constexpr ProfileEntry kProfiles[] = {
    {true, 0x0018, {kRiva128Name, ChipFamily::Riva128, 90, 130, 90, 130, LinkMode::Linked}},
    {true, 0x0019, {kRiva128ZxName, ChipFamily::Riva128, 90, 130, 90, 130, LinkMode::Linked}},
    {false, 0x0020, {kRivaTntName, ChipFamily::Tnt, 80, 145, 80, 130, LinkMode::Independent}},
};

}  // namespace

bool ChipNameEquals(const char* name, const char* token) {
    return name != nullptr && token != nullptr && std::strcmp(name, token) == 0;
}

const ChipProfile* FindChipProfile(uint16_t vendorId, uint16_t deviceId) {
    for (const ProfileEntry& e : kProfiles) {
        const bool vendorMatches =
            vendorId == kVendorNvidia || (e.sgsVendorToo && vendorId == kVendorNvidiaSgs);
        if (vendorMatches && deviceId == e.deviceId) return &e.profile;
    }
    return nullptr;
}

std::vector<PciId> SupportedPciIds() {
    std::vector<PciId> ids;
    for (const ProfileEntry& e : kProfiles) {
        ids.push_back({kVendorNvidia, e.deviceId});
        if (e.sgsVendorToo) ids.push_back({kVendorNvidiaSgs, e.deviceId});
    }
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
        out.failureReason = "BAR0 of the display adapter is an I/O BAR; its registers were not touched";
        return Recognition::RegisterReadFailed;
    }
    if (*bar0 > UINT32_MAX) {
        char text[24];
        std::snprintf(text, sizeof text, "0x%016" PRIX64, *bar0);
        out.failureReason = std::string("BAR0 of the display adapter lies above 4 GiB (") + text +
                            "), out of reach of a 32-bit register base; its registers were not touched";
        return Recognition::RegisterReadFailed;
    }

    HardwareAccess& hw = state.hardware;
    DisplayAdapter adapter = state.discovery.adapter;
    adapter.registerBase = state.discovery.registerBase;
    hw.BindRegisters(adapter.bus, adapter.device, adapter.function);
    const uint32_t base = adapter.registerBase;
    bool noAnswer = false;
    auto failed = [&] {
        out.failureReason = noAnswer ? std::string(kNoAnswerReason) : hw.FailureReason();
        if (out.failureReason.empty()) out.failureReason = "the chip's clock registers could not be read";
        return Recognition::RegisterReadFailed;
    };
    ClockPair clocks;
    if (profile->family == ChipFamily::Riva128) {
        // One clock drives both memory and core on these chips.
        const auto clock = ReadRiva128Clock(hw, base, &noAnswer);
        if (!clock) return failed();
        clocks = {*clock, *clock};
    } else {
        const auto memory = ReadTntMemClock(hw, base, &noAnswer);
        if (!memory) return failed();
        const auto chip = ReadTntChipClock(hw, base, &noAnswer);
        if (!chip) return failed();
        clocks = {*memory, *chip};
    }
    state.currentChipName = profile->name;
    state.recognizedAdapter = adapter;
    out.profile = profile;
    out.clocks = clocks;
    return Recognition::Recognized;
}

ApplyOutcome ApplyClocks(ChipState& state, ClockPair clocks) {
    const char* name = state.currentChipName;
    if (name == nullptr || !state.recognizedAdapter) return {};
    HardwareAccess& hw = state.hardware;
    const uint32_t base = state.recognizedAdapter->registerBase;

    using Set = SetResult (*)(HardwareAccess&, uint32_t, int32_t);
    struct Step {
        Set set;
        int32_t mhz;
    };
    Step steps[2];
    int count = 0;
    if (ChipNameEquals(name, kRiva128Name)) steps[count++] = {SetRiva128Clock, clocks.memory};
    if (ChipNameEquals(name, kRiva128ZxName)) steps[count++] = {SetRiva128Clock, clocks.memory};
    if (ChipNameEquals(name, kRivaTntName)) {
        steps[count++] = {SetTntMemClock, clocks.memory};
        steps[count++] = {SetTntChipClock, clocks.chip};
    }
    if (count == 0) return {};

    // Every set routine runs even after another refused its value; a card that answered
    // all ones is not written to at all.
    bool accessFailed = false;
    bool noAnswer = false;
    bool refused = false;
    std::string reason;
    for (int i = 0; i < count && !noAnswer; ++i) {
        switch (steps[i].set(hw, base, steps[i].mhz)) {
        case SetResult::Written: break;
        case SetResult::OutOfRange: refused = true; break;
        case SetResult::NoAnswer:
            noAnswer = true;
            reason = kNoAnswerReason;
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
