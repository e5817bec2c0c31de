// SPDX-License-Identifier: GPL-3.0-or-later
#include "tuner/apply_outcome_box.h"

#include "texts/user_texts.h"

namespace tarvento {

void ShowApplyOutcome(MessageBoxOwner& owner, const ApplyOutcome& outcome) {
    const std::optional<OutcomeWords> words = ApplyOutcomeWords(outcome);
    if (!words) return;
    if (words->reason.empty()) {
        owner.MessageBox(words->message, MessageButtons::Ok);
    } else {
        owner.InformativeMessageBox(words->message, MessageButtons::Ok, words->reason);
    }
}

void ShowRestoreOutcome(MessageBoxOwner& owner, const ApplyOutcome& outcome) {
    if (!outcome.Applied())
        owner.InformativeMessageBox(kMsgPciAccessFailed, MessageButtons::Ok, ReasonText(outcome.reason));
}

}  // namespace tarvento
