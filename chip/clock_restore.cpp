// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/clock_restore.h"

#include <algorithm>
#include <string>

#include "chip/chip_table.h"
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

namespace {

// True when every PLL of `selectBits` answers with a word of its own: then an all-ones
// select word is that register's fault, not a card that stopped answering.
bool PllsAnswer(HardwareAccess& hw, uint32_t registerBase, uint32_t selectBits) {
    for (const uint32_t offset : {kMemPllOffset, kCorePllOffset})
        if ((PllSelectBit(offset) & selectBits) != 0 && !ReadAnsweredRegister(hw, registerBase, offset))
            return false;
    return true;
}

}  // namespace

std::optional<AccessFailure> PllSelectRefusal(HardwareAccess& hw, uint32_t registerBase,
                                              uint32_t neededBits, ChipArchitecture architecture) {
    bool noAnswer = false;
    const auto select = ReadAnsweredRegister(hw, registerBase, kPllSelectOffset, &noAnswer);
    if (!select) {
        if (noAnswer && PllsAnswer(hw, registerBase, neededBits))
            return AccessFailure::Of(AccessFailure::Kind::PllSelectNoAnswer, kNoAnswerWord);
        return RegisterFailureReason(hw, noAnswer);
    }
    const uint32_t missing = PllSelectMissing(*select, neededBits);
    if (missing == 0) return std::nullopt;
    AccessFailure refusal = AccessFailure::Of(AccessFailure::Kind::PllNotProgrammed, *select);
    refusal.bits = missing;
    refusal.architecture = architecture;
    return refusal;
}

std::optional<StartCoefficients> ReadStartCoefficients(HardwareAccess& hw, uint32_t registerBase,
                                                       const ChipProfile& chip) {
    StartCoefficients start;
    for (const ChipClock* clock : {chip.memoryClock, chip.chipClock}) {
        if (clock == nullptr) continue;  // one clock drives both: only its PLL is written
        const auto word = ReadAnsweredRegister(hw, registerBase, clock->pllOffset);
        if (!word) return std::nullopt;
        start.plls[start.count++] = {clock->pllOffset, *word & clock->changes, clock->changes};
    }
    return start;
}

ApplyOutcome RestoreStartCoefficients(HardwareAccess& hw, uint32_t registerBase,
                                      const StartCoefficients& start, ChipArchitecture architecture) {
    const int count = std::min(start.count, static_cast<int>(start.plls.size()));
    uint32_t needed = 0;
    for (int i = 0; i < count; ++i) needed |= PllSelectBit(start.plls[i].offset);
    if (const auto refusal = PllSelectRefusal(hw, registerBase, needed, architecture))
        return {ApplyOutcome::Result::AccessFailed, *refusal};

    ApplyOutcome outcome{ApplyOutcome::Result::Applied, {}};
    auto failed = [&](bool noAnswer) {
        if (outcome.Applied())
            outcome = {ApplyOutcome::Result::AccessFailed, RegisterFailureReason(hw, noAnswer)};
    };
    for (int i = 0; i < count; ++i) {
        const StartCoefficients::Pll& pll = start.plls[i];
        bool noAnswer = false;
        const auto current = ReadAnsweredRegister(hw, registerBase, pll.offset, &noAnswer);
        if (!current) {
            failed(noAnswer);
            continue;
        }
        const auto address = RegisterAddress(registerBase, pll.offset);
        if (!hw.WriteRegister(*address, (*current & ~pll.mask) | (pll.fields & pll.mask)))
            failed(false);
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

std::optional<ClockPair> ClocksOfPllWords(HardwareAccess& hw, uint32_t registerBase,
                                          const ChipProfile& chip, const PllWords& words) {
    const auto strap = ReadAnsweredRegister(hw, registerBase, kStrapOffset);
    if (!strap) return std::nullopt;
    auto clockOf = [&](const ChipClock* clock) -> std::optional<int32_t> {
        for (int i = 0; i < words.count && i < static_cast<int>(words.plls.size()); ++i)
            if (words.plls[i].offset == clock->pllOffset) return clock->clockOf(words.plls[i].word, *strap);
        return std::nullopt;
    };
    const std::optional<int32_t> memory = clockOf(chip.memoryClock);
    const std::optional<int32_t> core = chip.chipClock != nullptr ? clockOf(chip.chipClock) : memory;
    if (!memory || !core) return std::nullopt;
    return ClockPair{*memory, *core};
}

bool PlausiblePllWord(uint32_t word) {
    constexpr uint32_t kFields = kPllMMask | kPllNMask | kPllPMask;
    return word != kNoAnswerWord && PllM(word) != 0 && (word & ~kFields) == 0;
}

ApplyOutcome WritePllWords(HardwareAccess& hw, uint32_t registerBase, const PllWords& words,
                           ChipArchitecture architecture, int* written) {
    ApplyOutcome outcome{ApplyOutcome::Result::Applied, {}};
    auto failed = [&](bool noAnswer) {
        if (outcome.Applied())
            outcome = {ApplyOutcome::Result::AccessFailed, RegisterFailureReason(hw, noAnswer)};
    };
    if (written != nullptr) *written = 0;
    // Which registers need their word: all are read before any is written, so that the
    // select word is asked about exactly those.
    const int count = std::min(words.count, static_cast<int>(words.plls.size()));
    std::array<bool, 2> write{};
    uint32_t needed = 0;
    for (int i = 0; i < count; ++i) {
        const PllWords::Pll& pll = words.plls[i];
        bool noAnswer = false;
        const auto current = ReadAnsweredRegister(hw, registerBase, pll.offset, &noAnswer);
        // A register that cannot be read, or a card that answers all ones, is not written.
        if (!current) {
            failed(noAnswer);
            continue;
        }
        write[i] = *current != pll.word;
        if (write[i]) needed |= PllSelectBit(pll.offset);
    }
    if (needed == 0) return outcome;
    if (const auto refusal = PllSelectRefusal(hw, registerBase, needed, architecture))
        return {ApplyOutcome::Result::AccessFailed, *refusal};
    for (int i = 0; i < count; ++i) {
        if (!write[i]) continue;
        if (!hw.WriteRegister(*RegisterAddress(registerBase, words.plls[i].offset), words.plls[i].word)) {
            failed(false);
            continue;
        }
        if (written != nullptr) ++*written;
    }
    return outcome;
}

}  // namespace tarvento
