#include "chip/chip_profiles.h"

#include <cstdint>
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
    const std::optional<uint64_t> bar0 = Bar0MemoryAddress(state.discovery.PciConfigHeader);
    if (!bar0 || *bar0 > UINT32_MAX) return Recognition::RegisterReadFailed;

    HardwareAccess& hw = state.hardware;
    const uint32_t base = state.discovery.RegisterBase;
    ClockPair clocks;
    if (profile->family == ChipFamily::Riva128) {
        // One clock drives both memory and core on these chips.
        const auto clock = ReadRiva128Clock(hw, base);
        if (!clock) return Recognition::RegisterReadFailed;
        clocks = {*clock, *clock};
    } else {
        const auto memory = ReadTntMemClock(hw, base);
        if (!memory) return Recognition::RegisterReadFailed;
        const auto chip = ReadTntChipClock(hw, base);
        if (!chip) return Recognition::RegisterReadFailed;
        clocks = {*memory, *chip};
    }
    state.CurrentChipName = profile->name;
    out = RecognizedChip{profile, clocks};
    return Recognition::Recognized;
}

bool ApplyClocks(ChipState& state, MessageBoxOwner& owner, ClockPair clocks) {
    HardwareAccess& hw = state.hardware;
    const uint32_t base = state.discovery.RegisterBase;
    const char* name = state.CurrentChipName;

    // At most two set routines run; every one runs even after another refused.
    SetResult results[2];
    int count = 0;
    if (ChipNameEquals(name, kRiva128Name)) results[count++] = SetRiva128Clock(hw, base, clocks.memory);
    if (ChipNameEquals(name, kRiva128ZxName)) results[count++] = SetRiva128Clock(hw, base, clocks.memory);
    if (ChipNameEquals(name, kRivaTntName)) {
        results[count++] = SetTntMemClock(hw, base, clocks.memory);
        results[count++] = SetTntChipClock(hw, base, clocks.chip);
    }
    if (count == 0) return false;

    bool accessFailed = false;
    bool refused = false;
    for (int i = 0; i < count; ++i) {
        accessFailed = accessFailed || results[i] == SetResult::AccessFailed;
        refused = refused || results[i] == SetResult::OutOfRange;
    }
    // One message per call: an unreachable chip says more than a refused value.
    if (accessFailed) {
        owner.MessageBox(kMsgPciAccessFailed, MessageButtons::Ok);
    } else if (refused) {
        owner.MessageBox(kMsgFrequencyOutOfRange, MessageButtons::Ok);
    }
    return !accessFailed && !refused;
}

}  // namespace tarvento
