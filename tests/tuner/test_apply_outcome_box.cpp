// SPDX-License-Identifier: GPL-3.0-or-later
// What the user reads about an applied pair or a Panic restore: the words and the boxes
// belong to the window's side, the chip only says what happened.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "chip/clock_restore.h"
#include "tuner/apply_outcome_box.h"
#include "tests/support/message_recorder.h"

namespace tarvento {
namespace {

using testing::MessageRecorder;
using Result = ApplyOutcome::Result;

TEST(ApplyOutcomeBox, ARefusedValueIsOnePlainOutOfRangeBox) {
    MessageRecorder messages;
    ShowApplyOutcome(messages, {Result::Refused, {}});
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Frequency out of range !");
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(messages.shown[0].informativeText, "");
}

TEST(ApplyOutcomeBox, AnAccessFailureIsOneBoxThatSaysWhy) {
    MessageRecorder messages;
    ShowApplyOutcome(messages, {Result::AccessFailed, AccessFailure::Of(AccessFailure::Kind::NoAnswer)});
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "PCI/AGP access failed !");
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(messages.shown[0].informativeText,
              "the card answers FFFFFFFFh from its clock registers: it is not initialised, or its "
              "memory decoding is off, and its registers cannot be reached");
}

TEST(ApplyOutcomeBox, AnAppliedPairOrNoChipShowsNothing) {
    MessageRecorder messages;
    ShowApplyOutcome(messages, {Result::Applied, {}});
    ShowApplyOutcome(messages, {Result::NoChip, {}});
    EXPECT_TRUE(messages.shown.empty());
}

TEST(ApplyOutcomeBox, AFailedRestoreIsOneAccessBoxThatSaysWhyWhenItCan) {
    // Nothing read at start to put back (NoChip) fails the same way as a register that
    // cannot be reached now; only the latter has a reason to give.
    const std::pair<ApplyOutcome, std::string> cases[] = {
        {ApplyOutcome{Result::AccessFailed, AccessFailure::Of(AccessFailure::Kind::RegistersUnreached)},
         "the chip's clock registers could not be reached"},
        {ApplyOutcome{}, ""}};
    for (const auto& [outcome, why] : cases) {
        MessageRecorder messages;
        ShowRestoreOutcome(messages, outcome);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, "PCI/AGP access failed !");
        EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
        EXPECT_EQ(messages.shown[0].informativeText, why);
    }
    MessageRecorder restored;
    ShowRestoreOutcome(restored, {Result::Applied, {}});
    EXPECT_TRUE(restored.shown.empty());
}

}  // namespace
}  // namespace tarvento
