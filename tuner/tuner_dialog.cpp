// SPDX-License-Identifier: GPL-3.0-or-later
#include "tuner/tuner_dialog.h"

#include <utility>

#include "chip/adapter_discovery.h"
#include "chip/chip_recognition.h"
#include "chip/chip_table.h"
#include "keeping/autostart_entry.h"
#include "keeping/start_arguments.h"
#include "texts/user_texts.h"
#include "tuner/apply_outcome_box.h"

namespace tarvento {

namespace {

// The controls that act on the chip or need its name: with no recognised chip they are
// switched off rather than left to do something meaningless.
constexpr int kChipControls[] = {kIdMemTrackbar, kIdChipTrackbar, kIdSetClockNow, kIdPanic,
                                 kIdAutostartCheck};

}  // namespace

TunerDialog::TunerDialog(DialogControls& controls, Environment env)
    : controls_(controls), env_(std::move(env)) {}

void TunerDialog::UpdateData(bool saveAndValidate) {
    // Exactly the six bound fields, in their declaration order.
    if (saveAndValidate) {
        fields_.autostartCheck = controls_.GetCheck(kIdAutostartCheck);
        fields_.chipsetText = controls_.GetControlText(kIdChipsetText);
        fields_.chipClockText = controls_.GetControlText(kIdChipClockText);
        fields_.memClockText = controls_.GetControlText(kIdMemClockText);
        fields_.autoChipText = controls_.GetControlText(kIdAutoChipText);
        fields_.autoMemText = controls_.GetControlText(kIdAutoMemText);
    } else {
        controls_.SetCheck(kIdAutostartCheck, fields_.autostartCheck);
        controls_.SetControlText(kIdChipsetText, fields_.chipsetText);
        controls_.SetControlText(kIdChipClockText, fields_.chipClockText);
        controls_.SetControlText(kIdMemClockText, fields_.memClockText);
        controls_.SetControlText(kIdAutoChipText, fields_.autoChipText);
        controls_.SetControlText(kIdAutoMemText, fields_.autoMemText);
    }
}

MessageAnswer TunerDialog::MessageBox(const std::string& text, MessageButtons buttons) {
    ++messagesShown_;
    return controls_.MessageBox(text, buttons);
}

MessageAnswer TunerDialog::InformativeMessageBox(const std::string& text, MessageButtons buttons,
                                                 const std::string& informativeText) {
    ++messagesShown_;
    return controls_.InformativeMessageBox(text, buttons, informativeText);
}

int TunerDialog::OnInitDialog() {
    messagesShown_ = 0;

    // What the toolkit does on creating the window: the empty fields reach the controls.
    UpdateData(false);

    LoadAutostartState(*this, env_.store, env_.programPath);
    foundAdapter_ = FindAdapter();
    UpdateData(true);
    ReadChip(foundAdapter_);
    ShowChip();

    // Meant: the scan writes straight into the clocks Set Clock now applies, while the
    // sliders and texts keep showing the card's own clocks read above.
    TunerFields& f = fields_;
    const int count = ScanStartArguments(env_.startArguments.c_str(), ChipNameScratch,
                                         f.memClock, f.chipClock);
    if (count == 3 && ChipNameEquals(env_.chip.currentChipName, ChipNameScratch)) {
        // Started with this chip's clocks: apply them and leave without asking anything.
        StartUnattended();
        return 1;
    }
    WarnAndCheckStartArguments(count);
    return 1;
}

std::optional<DisplayAdapter> TunerDialog::FindAdapter() {
    DisplayAdapter adapter;
    if (FindDisplayAdapter(env_.chip.hardware, env_.chip.discovery, adapter)) return adapter;
    InformativeMessageBox(kMsgPciAccessFailed, MessageButtons::Ok,
                          ReasonText(DiscoveryFailureReason(env_.chip.hardware)));
    return std::nullopt;
}

void TunerDialog::ReadChip(const std::optional<DisplayAdapter>& adapter) {
    TunerFields& f = fields_;
    f.chipsetText = kChipsetUnknown;

    // Without a recognised chip every clock and limit is 0, so nothing below can carry a
    // value that never came from a chip.
    f.memMin = f.memMax = f.chipMin = f.chipMax = 0;
    f.memClock = f.chipClock = 0;
    f.linkMode = 0;
    startCoefficients_.reset();
    if (!adapter) return;
    RecognizedChip recognized;
    switch (RecognizeChip(env_.chip, adapter->vendorId, adapter->deviceId, recognized)) {
    case Recognition::Recognized: {
        const ChipProfile& profile = *recognized.profile;
        f.memMin = profile.memMin;
        f.memMax = profile.memMax;
        f.chipMin = profile.chipMin;
        f.chipMax = profile.chipMax;
        f.linkMode = static_cast<int>(profile.linkMode);
        f.memClock = recognized.clocks.memory;
        f.chipClock = recognized.clocks.chip;
        startCoefficients_ = ReadStartCoefficients(
            env_.chip.hardware, env_.chip.recognizedAdapter->registerBase, profile);
        break;
    }
    case Recognition::RegisterReadFailed:
        InformativeMessageBox(kMsgPciAccessFailed, MessageButtons::Ok, ReasonText(recognized.failureReason));
        break;
    case Recognition::Unsupported:
        break;
    }
}

void TunerDialog::ShowChip() {
    TunerFields& f = fields_;
    const bool recognized = ChipRecognized();

    f.savedMemClock = f.memClock;
    f.savedChipClock = f.chipClock;

    controls_.SetTrackbarRange(kIdMemTrackbar, f.memMin, f.memMax);
    controls_.SetTrackbarRange(kIdChipTrackbar, f.chipMin, f.chipMax);

    // A clock read outside the limits shows its own value; only the thumb stops at the limit.
    controls_.SetTrackbarPos(kIdMemTrackbar, f.memClock);
    f.memClockText = recognized ? std::to_string(f.memClock) : kNoValueText;
    controls_.SetTrackbarPos(kIdChipTrackbar, f.chipClock);
    f.chipClockText = recognized ? std::to_string(f.chipClock) : kNoValueText;

    if (recognized) f.chipsetText = env_.chip.currentChipName;
    UpdateData(false);

    if (!recognized) {
        for (int id : kChipControls) controls_.EnableControl(id, false);
        // An entry of this program's can still be taken away: it would otherwise warn
        // about a missing chip at every login with no way out in the window.
        if (f.autostartOn != 0) controls_.EnableControl(kIdAutostartCheck, true);
    }
}

void TunerDialog::StartUnattended() {
    const TunerFields& f = fields_;
    const ClockPair clocks{f.memClock, f.chipClock};
    unattended_ = true;
    // A start that may have hung the machine last time, or a boot that asks for no
    // applies, writes nothing and says why; the notice does not follow. The owner's own
    // word on the kernel command line is no failure.
    if (env_.guard != nullptr) {
        const ApplyGuard::Verdict verdict = env_.guard->Check();
        if (verdict != ApplyGuard::Verdict::Apply) {
            InformativeMessageBox(ApplyGuard::RefusalHeadline(), MessageButtons::Ok,
                                  env_.guard->RefusalText());
            unattendedWithheld_ = verdict == ApplyGuard::Verdict::NoApplyWord;
            controls_.EndDialog(kIdCancel);
            return;
        }
    }
    // The apply is recorded as pending only once it is sure to write: one that the chip
    // refuses before any write leaves no record behind.
    const ApplyOutcome applied = ApplyClocks(env_.chip, clocks, [&] {
        if (env_.guard != nullptr) env_.guard->RecordPending(env_.chip.currentChipName, clocks);
    });
    ShowApplyOutcome(*this, applied);
    unattendedOk_ = applied.Applied() && messagesShown_ == 0;
    controls_.RunAutostartNotice(env_.chip.currentChipName);
    controls_.EndDialog(kIdCancel);
}

void TunerDialog::WarnAndCheckStartArguments(int count) {
    if (MessageBox(kWarningText, MessageButtons::OkCancel) == MessageAnswer::Cancel) {
        // The window closes once this returns; the argument checks below still speak.
        controls_.EndDialog(kIdCancel);
    }
    // Below the message, which card there is: the name given may be a slip for it.
    if (count >= 1 && !ChipNameEquals(env_.chip.currentChipName, ChipNameScratch)) {
        InformativeMessageBox(kMsgWrongChipset, MessageButtons::Ok,
                              FoundCardText(foundAdapter_, env_.chip.currentChipName));
    }
    // Arguments were given, but there is no chip to apply them to.
    if (count >= 1 && !ChipRecognized()) MessageBox(kMsgCommandLineError, MessageButtons::Ok);
}

void TunerDialog::OnHScroll(int controlId) {
    if (!ChipRecognized()) return;  // the sliders are disabled and show no clock
    TunerFields& f = fields_;
    const bool linked = f.linkMode == static_cast<int>(LinkMode::Linked);
    // The moved trackbar's position becomes its clock; on a linked chip the other
    // trackbar, its display and its clock follow.
    auto follow = [&](int moved, int movedText, int32_t& clock, int other, int otherText,
                      int32_t& otherClock) {
        clock = controls_.GetTrackbarPos(moved);
        controls_.SetControlText(movedText, std::to_string(clock));
        if (linked) {
            controls_.SetTrackbarPos(other, clock);
            controls_.SetControlText(otherText, std::to_string(clock));
            otherClock = clock;
        }
    };
    if (controlId == kIdMemTrackbar) {
        follow(kIdMemTrackbar, kIdMemClockText, f.memClock, kIdChipTrackbar, kIdChipClockText,
               f.chipClock);
    } else if (controlId == kIdChipTrackbar) {
        follow(kIdChipTrackbar, kIdChipClockText, f.chipClock, kIdMemTrackbar, kIdMemClockText,
               f.memClock);
    }
}

void TunerDialog::SetClockNow() {
    if (!ChipRecognized()) return;
    if (MessageBox(kWarningText, MessageButtons::OkCancel) == MessageAnswer::Cancel) return;
    ShowApplyOutcome(*this, ApplyClocks(env_.chip, {fields_.memClock, fields_.chipClock}));
}

void TunerDialog::RestoreClocks() {
    if (!ChipRecognized()) return;
    TunerFields& f = fields_;
    // Meant: the pair compared is the clocks Set Clock now would apply (slider moves and
    // start arguments), not what the card holds now, so a scanned argument counts as a change.
    if (f.memClock == f.savedMemClock && f.chipClock == f.savedChipClock) {
        MessageBox(kMsgDontPanic, MessageButtons::Ok);
        return;
    }
    f.memClock = f.savedMemClock;
    f.chipClock = f.savedChipClock;
    // The card gets back the very coefficients it had, not the saved MHz set again:
    // those need not give the same words. They came from the card, so nothing is out
    // of range; only an unreachable register can fail. They go back to the card they
    // were read from and Set Clock now wrote to, wherever a later discovery (the
    // autostart check box repeats one) has found another adapter since.
    const ApplyOutcome restored =
        startCoefficients_ && env_.chip.recognizedAdapter
            ? RestoreStartCoefficients(env_.chip.hardware,
                                       env_.chip.recognizedAdapter->registerBase,
                                       *startCoefficients_,
                                       FindChipProfileByName(env_.chip.currentChipName)->architecture)
            : ApplyOutcome{};
    ShowRestoreOutcome(*this, restored);

    UpdateData(true);
    controls_.SetTrackbarPos(kIdMemTrackbar, f.memClock);
    f.memClockText = std::to_string(f.memClock);
    controls_.SetTrackbarPos(kIdChipTrackbar, f.chipClock);
    f.chipClockText = std::to_string(f.chipClock);
    UpdateData(false);

    if (restored.Applied()) MessageBox(kMsgRestored, MessageButtons::Ok);
}

void TunerDialog::OnAutostartClicked() {
    UpdateAutostartEntry(*this, env_.store, env_.chip, env_.programPath);
    // An entry written anew is the owner choosing again: the login entry applies again,
    // even after an apply that did not survive.
    std::string error;
    if (env_.guard != nullptr && fields_.autostartCheck != 0 && fields_.autostartOn != 0)
        env_.guard->Clear(error);
    // Without a chip the check box only serves to turn an entry off; once it is off
    // there is nothing left for it to do.
    if (!ChipRecognized()) controls_.EnableControl(kIdAutostartCheck, fields_.autostartOn != 0);
}

}  // namespace tarvento
