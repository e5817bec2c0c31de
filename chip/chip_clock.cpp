// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/chip_clock.h"

#include "chip/registers.h"

namespace tarvento {

namespace {

struct Registers {
    uint32_t pll;
    uint32_t strap;
};

std::optional<Registers> Addresses(uint32_t base, uint32_t pllOffset) {
    const auto pll = RegisterAddress(base, pllOffset);
    const auto strap = RegisterAddress(base, kStrapOffset);
    if (!pll || !strap) return std::nullopt;
    return Registers{*pll, *strap};
}

// A read that failed, or one that answered all ones, ends the routine; `noAnswer` tells
// which.
std::optional<uint32_t> Answered(std::optional<uint32_t> word, bool& noAnswer) {
    if (word && *word == kNoAnswerWord) {
        noAnswer = true;
        return std::nullopt;
    }
    return word;
}

// What a routine works from before its third read, in the order the chip is asked: M from
// a first read of the PLL register, P from a second, then the strap word. `fields` holds
// M and P in their places, N clear.
struct StepInputs {
    uint32_t fields;
    uint32_t strap;
};

std::optional<StepInputs> ReadStepInputs(HardwareAccess& hw, const Registers& r, bool& noAnswer) {
    const auto first = Answered(hw.ReadRegister(r.pll), noAnswer);
    if (!first) return std::nullopt;
    const auto second = Answered(hw.ReadRegister(r.pll), noAnswer);
    if (!second) return std::nullopt;
    const auto strap = Answered(hw.ReadRegister(r.strap), noAnswer);
    if (!strap) return std::nullopt;
    return StepInputs{(*first & kPllMMask) | (*second & kPllPMask), *strap};
}

}  // namespace

std::optional<uint32_t> RegisterAddress(uint32_t base, uint32_t offset) {
    const uint64_t address = uint64_t{base} + offset;
    if (address > 0xFFFFFFFCull) return std::nullopt;
    return static_cast<uint32_t>(address);
}

std::optional<int32_t> ReadChipClock(HardwareAccess& hw, uint32_t registerBase,
                                     const ChipClock& clock, bool* noAnswerOut) {
    bool noAnswer = false;
    if (noAnswerOut != nullptr) *noAnswerOut = false;
    const auto regs = Addresses(registerBase, clock.pllOffset);
    if (!regs) return std::nullopt;
    const auto in = ReadStepInputs(hw, *regs, noAnswer);
    const auto third = in ? Answered(hw.ReadRegister(regs->pll), noAnswer) : std::nullopt;
    if (noAnswerOut != nullptr) *noAnswerOut = noAnswer;
    if (!in || !third) return std::nullopt;
    return clock.clockOf(in->fields | (*third & kPllNMask), in->strap);
}

SetResult SetChipClock(HardwareAccess& hw, uint32_t registerBase, const ChipClock& clock,
                       int32_t mhz, const std::function<void()>& beforeWrite) {
    const auto regs = Addresses(registerBase, clock.pllOffset);
    if (!regs) return SetResult::AccessFailed;
    bool noAnswer = false;
    const auto in = ReadStepInputs(hw, *regs, noAnswer);
    if (!in) return noAnswer ? SetResult::NoAnswer : SetResult::AccessFailed;
    const auto target = clock.wordFor(mhz, in->fields, in->strap);
    if (!target) return SetResult::OutOfRange;
    const auto current = Answered(hw.ReadRegister(regs->pll), noAnswer);
    if (!current) return noAnswer ? SetResult::NoAnswer : SetResult::AccessFailed;
    const uint32_t word = (*current & ~clock.changes) | (*target & clock.changes);
    if (beforeWrite) beforeWrite();
    if (!hw.WriteRegister(regs->pll, word)) return SetResult::AccessFailed;
    return SetResult::Written;
}

}  // namespace tarvento
