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
        if (!step.clock->wordFor(step.mhz, *pll, *strap)) refused = true;
    }
    if (refused) return {ApplyOutcome::Result::Refused, {}};
    return {ApplyOutcome::Result::Applied, {}};
}

ApplyOutcome ApplyClocks(ChipState& state, ClockPair clocks,
                         const std::function<void()>& beforeFirstWrite) {
    std::array<ApplyStep, 2> storage{};
    const std::span<const ApplyStep> steps = ApplySteps(state, clocks, storage);
    if (steps.empty()) return {};
    HardwareAccess& hw = state.hardware;
    const uint32_t base = state.recognizedAdapter->registerBase;
    const int count = static_cast<int>(steps.size());

    uint32_t needed = 0;
    for (const ApplyStep& step : steps) needed |= PllSelectBit(step.clock->pllOffset);
    const ChipArchitecture architecture = FindChipProfileByName(state.currentChipName)->architecture;
    if (const auto refusal = PllSelectRefusal(hw, base, needed, architecture))
        return {ApplyOutcome::Result::AccessFailed, *refusal};
    if (beforeFirstWrite) beforeFirstWrite();

    // Every set routine runs even after another refused its value; a card that answered
    // all ones is not written to at all.
    bool accessFailed = false;
    bool noAnswer = false;
    bool refused = false;
    AccessFailure reason;
    for (int i = 0; i < count && !noAnswer; ++i) {
        switch (SetChipClock(hw, base, *steps[i].clock, steps[i].mhz)) {
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
