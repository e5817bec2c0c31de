#include "chip/clock_restore.h"

#include "chip/registers.h"

namespace tarvento {

namespace {

// What a read of a card that has gone from the bus returns; no PLL word is all ones.
constexpr uint32_t kNoAnswer = 0xFFFFFFFF;

// A register's physical address; nothing when it would wrap past 4 GiB.
std::optional<uint32_t> RegisterAddress(uint32_t base, uint32_t offset) {
    const uint64_t address = uint64_t{base} + offset;
    if (address > 0xFFFFFFFCull) return std::nullopt;
    return static_cast<uint32_t>(address);
}

std::optional<uint32_t> ReadPll(HardwareAccess& hw, uint32_t base, uint32_t offset) {
    const auto address = RegisterAddress(base, offset);
    if (!address) return std::nullopt;
    const auto word = hw.ReadRegister(*address);
    if (!word || *word == kNoAnswer) return std::nullopt;
    return word;
}

}  // namespace

std::optional<StartCoefficients> ReadStartCoefficients(HardwareAccess& hw, uint32_t registerBase,
                                                       ChipFamily family) {
    StartCoefficients start;
    // The RIVA 128 family has one clock and ApplyClocks writes only its memory PLL.
    const uint32_t offsets[] = {kMemPllOffset, kCorePllOffset};
    const int count = family == ChipFamily::Tnt ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        const auto word = ReadPll(hw, registerBase, offsets[i]);
        if (!word) return std::nullopt;
        start.plls[start.count++] = {offsets[i], PllN(*word)};
    }
    return start;
}

bool RestoreStartCoefficients(HardwareAccess& hw, uint32_t registerBase,
                              const StartCoefficients& start) {
    bool ok = true;
    for (int i = 0; i < start.count && i < static_cast<int>(start.plls.size()); ++i) {
        const StartCoefficients::Pll& pll = start.plls[i];
        const auto current = ReadPll(hw, registerBase, pll.offset);
        if (!current) {
            ok = false;
            continue;
        }
        const auto address = RegisterAddress(registerBase, pll.offset);
        ok = hw.WriteRegister(*address, PllWithN(*current, pll.n)) && ok;
    }
    return ok;
}

}  // namespace tarvento
