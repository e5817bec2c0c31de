// SPDX-License-Identifier: GPL-3.0-or-later
#include "tuner/apply_outcome_box.h"

#include "texts/user_texts.h"

namespace tarvento {

void ShowApplyOutcome(MessageBoxOwner& owner, const ApplyOutcome& outcome) {
    switch (outcome.result) {
    case ApplyOutcome::Result::AccessFailed:
        owner.InformativeMessageBox(kMsgPciAccessFailed, MessageButtons::Ok, ReasonText(outcome.reason));
        break;
    case ApplyOutcome::Result::Refused:
        owner.MessageBox(kMsgFrequencyOutOfRange, MessageButtons::Ok);
        break;
    case ApplyOutcome::Result::Applied:
    case ApplyOutcome::Result::NoChip:
        break;
    }
}

void ShowRestoreOutcome(MessageBoxOwner& owner, const ApplyOutcome& outcome) {
    if (!outcome.Applied())
        owner.InformativeMessageBox(kMsgPciAccessFailed, MessageButtons::Ok, ReasonText(outcome.reason));
}

}  // namespace tarvento
