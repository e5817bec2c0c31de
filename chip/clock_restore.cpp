// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/clock_restore.h"

#include <string>

#include "chip/chip_table.h"
#include "chip/clock_formulas.h"
#include "chip/registers.h"

namespace tarvento {

std::optional<uint32_t> ReadAnsweredRegister(HardwareAccess& hw, uint32_t registerBase,
                                             uint32_t offset, bool* noAnswer) {
    const auto address = RegisterAddress(registerBase, offset);
    if (!address) return std::nullopt;
    const auto word = hw.ReadRegister(*address);
    if (word && *word == kNoAnswerWord && noAnswer != nullptr) *noAnswer = true;
    if (!word || *word == kNoAnswerWord) return std::nullopt;
    return word;
}

AccessFailure RegisterFailureReason(const HardwareAccess& hw, bool noAnswer) {
    if (noAnswer) return AccessFailure::Of(AccessFailure::Kind::NoAnswer);
    const AccessFailure reason = hw.FailureReason();
    return reason.Known() ? reason : AccessFailure::Of(AccessFailure::Kind::RegistersUnreached);
}

std::optional<StartCoefficients> ReadStartCoefficients(HardwareAccess& hw, uint32_t registerBase,
                                                       const ChipProfile& chip) {
    StartCoefficients start;
    // A chip with one clock has only its memory PLL written by ApplyClocks.
    const uint32_t offsets[] = {chip.memoryClock->pllOffset,
                                chip.chipClock != nullptr ? chip.chipClock->pllOffset : 0};
    const int count = chip.chipClock != nullptr ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        const auto word = ReadAnsweredRegister(hw, registerBase, offsets[i]);
        if (!word) return std::nullopt;
        start.plls[start.count++] = {offsets[i], PllN(*word)};
    }
    return start;
}

ApplyOutcome RestoreStartCoefficients(HardwareAccess& hw, uint32_t registerBase,
                                      const StartCoefficients& start) {
    ApplyOutcome outcome{ApplyOutcome::Result::Applied, {}};
    auto failed = [&](bool noAnswer) {
        if (outcome.Applied())
            outcome = {ApplyOutcome::Result::AccessFailed, RegisterFailureReason(hw, noAnswer)};
    };
    for (int i = 0; i < start.count && i < static_cast<int>(start.plls.size()); ++i) {
        const StartCoefficients::Pll& pll = start.plls[i];
        bool noAnswer = false;
        const auto current = ReadAnsweredRegister(hw, registerBase, pll.offset, &noAnswer);
        if (!current) {
            failed(noAnswer);
            continue;
        }
        const auto address = RegisterAddress(registerBase, pll.offset);
        if (!hw.WriteRegister(*address, PllWithN(*current, pll.n))) failed(false);
    }
    return outcome;
}

std::optional<PllWords> ReadPllWords(HardwareAccess& hw, uint32_t registerBase,
                                     const ChipProfile& chip) {
    PllWords words;
    for (const ChipClock* clock : {chip.memoryClock, chip.chipClock}) {
        if (clock == nullptr) continue;  // one clock drives both
        const auto word = ReadAnsweredRegister(hw, registerBase, clock->pllOffset);
        if (!word) return std::nullopt;
        words.plls[words.count++] = {clock->pllOffset, *word};
    }
    return words;
}

bool PlausiblePllWord(uint32_t word) {
    constexpr uint32_t kFields = kPllMMask | kPllNMask | kPllPMask;
    return word != kNoAnswerWord && PllM(word) != 0 && (word & ~kFields) == 0;
}

ApplyOutcome WritePllWords(HardwareAccess& hw, uint32_t registerBase, const PllWords& words,
                           int* written) {
    ApplyOutcome outcome{ApplyOutcome::Result::Applied, {}};
    if (written != nullptr) *written = 0;
    for (int i = 0; i < words.count && i < static_cast<int>(words.plls.size()); ++i) {
        const PllWords::Pll& pll = words.plls[i];
        bool noAnswer = false;
        const auto current = ReadAnsweredRegister(hw, registerBase, pll.offset, &noAnswer);
        if (current && *current == pll.word) continue;
        const auto address = RegisterAddress(registerBase, pll.offset);
        // A register that cannot be read, or a card that answers all ones, is not written.
        if (!current || !hw.WriteRegister(*address, pll.word)) {
            if (outcome.Applied())
                outcome = {ApplyOutcome::Result::AccessFailed, RegisterFailureReason(hw, noAnswer)};
            continue;
        }
        if (written != nullptr) ++*written;
    }
    return outcome;
}

}  // namespace tarvento
