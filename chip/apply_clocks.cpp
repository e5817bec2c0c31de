// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/apply_clocks.h"

#include <array>
#include <span>

#include "chip/chip_table.h"
#include "chip/clock_restore.h"
#include "chip/registers.h"

namespace tarvento {

namespace {

struct ApplyStep {
    const ChipClock* clock;
    int32_t mhz;
    LimitBreach::Clock which;
    int32_t min, max;
};

// The clocks ApplyClocks sets for a pair, in its order, with the limits each value must
// keep; a chip whose one clock drives both takes the memory value alone. Empty without a
// recognised chip.
std::span<const ApplyStep> ApplySteps(const ChipState& state, ClockPair clocks,
                                      std::array<ApplyStep, 2>& steps) {
    const ChipProfile* profile = FindChipProfileByName(state.currentChipName);
    if (profile == nullptr || !state.recognizedAdapter) return {};
    steps = {ApplyStep{profile->memoryClock, clocks.memory, LimitBreach::Clock::Memory, profile->memMin,
                       profile->memMax},
             ApplyStep{profile->chipClock, clocks.chip, LimitBreach::Clock::Chip, profile->chipMin,
                       profile->chipMax}};
    return std::span<const ApplyStep>(steps.data(), profile->chipClock != nullptr ? 2 : 1);
}

// OutsideLimits with every value that lies outside its limits; nothing when all lie within.
std::optional<ApplyOutcome> LimitRefusal(const ChipState& state, std::span<const ApplyStep> steps) {
    ApplyOutcome outcome{ApplyOutcome::Result::OutsideLimits, {}, state.currentChipName};
    for (const ApplyStep& step : steps)
        if (step.mhz < step.min || step.mhz > step.max)
            outcome.breaches.push_back({step.which, step.mhz, step.min, step.max});
    if (outcome.breaches.empty()) return std::nullopt;
    return outcome;
}

std::optional<ApplyOutcome> SelectRefusal(ChipState& state, std::span<const ApplyStep> steps) {
    uint32_t needed = 0;
    for (const ApplyStep& step : steps) needed |= PllSelectBit(step.clock->pllOffset);
    const ChipArchitecture architecture = FindChipProfileByName(state.currentChipName)->architecture;
    if (const auto refusal = PllSelectRefusal(state.hardware, state.recognizedAdapter->registerBase,
                                              needed, architecture))
        return ApplyOutcome{ApplyOutcome::Result::AccessFailed, *refusal};
    return std::nullopt;
}

ApplyOutcome CheckSteps(ChipState& state, std::span<const ApplyStep> steps, PllWords* wouldWrite) {
    HardwareAccess& hw = state.hardware;
    const uint32_t base = state.recognizedAdapter->registerBase;
    if (wouldWrite != nullptr) *wouldWrite = PllWords{};
    bool refused = false;
    for (const ApplyStep& step : steps) {
        bool noAnswer = false;
        const auto pll = ReadAnsweredRegister(hw, base, step.clock->pllOffset, &noAnswer);
        const auto strap = pll ? ReadAnsweredRegister(hw, base, kStrapOffset, &noAnswer) : std::nullopt;
        if (!pll || !strap) return {ApplyOutcome::Result::AccessFailed, RegisterFailureReason(hw, noAnswer)};
        const auto target = step.clock->wordFor(step.mhz, *pll, *strap);
        if (!target) {
            refused = true;
            continue;
        }
        const uint32_t changes = step.clock->changes;
        if (wouldWrite != nullptr)
            wouldWrite->plls[wouldWrite->count++] = {step.clock->pllOffset,
                                                     (*pll & ~changes) | (*target & changes)};
    }
    if (refused) return {ApplyOutcome::Result::Refused, {}};
    return {ApplyOutcome::Result::Applied, {}};
}

}  // namespace

ApplyOutcome CheckClocks(ChipState& state, ClockPair clocks, PllWords* wouldWrite) {
    std::array<ApplyStep, 2> storage{};
    const std::span<const ApplyStep> steps = ApplySteps(state, clocks, storage);
    if (steps.empty()) return {};
    if (auto refusal = LimitRefusal(state, steps)) return *refusal;
    return CheckSteps(state, steps, wouldWrite);
}

ApplyOutcome DryRunClocks(ChipState& state, ClockPair clocks, PllWords& wouldWrite) {
    wouldWrite = PllWords{};
    std::array<ApplyStep, 2> storage{};
    const std::span<const ApplyStep> steps = ApplySteps(state, clocks, storage);
    if (steps.empty()) return {};
    if (auto refusal = LimitRefusal(state, steps)) return *refusal;
    if (auto refusal = SelectRefusal(state, steps)) return *refusal;
    return CheckSteps(state, steps, &wouldWrite);
}

ApplyOutcome ApplyClocks(ChipState& state, ClockPair clocks,
                         const std::function<void()>& beforeFirstWrite) {
    std::array<ApplyStep, 2> storage{};
    const std::span<const ApplyStep> steps = ApplySteps(state, clocks, storage);
    if (steps.empty()) return {};
    // A value the chip's limits exclude is refused before any register is touched.
    if (auto refusal = LimitRefusal(state, steps)) return *refusal;
    HardwareAccess& hw = state.hardware;
    const uint32_t base = state.recognizedAdapter->registerBase;
    if (auto refusal = SelectRefusal(state, steps)) return *refusal;

    // The first write is announced once, right before it happens.
    bool announced = false;
    const std::function<void()> beforeWrite = [&] {
        if (!announced && beforeFirstWrite) beforeFirstWrite();
        announced = true;
    };
    // Every set routine runs even after another refused its value; a card that answered
    // all ones is not written to at all.
    bool accessFailed = false;
    bool noAnswer = false;
    bool refused = false;
    AccessFailure reason;
    for (std::size_t i = 0; i < steps.size() && !noAnswer; ++i) {
        switch (SetChipClock(hw, base, *steps[i].clock, steps[i].mhz, beforeWrite)) {
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
