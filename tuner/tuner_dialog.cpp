#include "tuner/tuner_dialog.h"

#include <utility>

#include "autostart/autostart_entry.h"
#include "autostart/start_arguments.h"
#include "chip/adapter_discovery.h"

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
        fields_.m_autostartCheck = controls_.GetCheck(kIdAutostartCheck);
        fields_.m_chipsetText = controls_.GetControlText(kIdChipsetText);
        fields_.m_chipClockText = controls_.GetControlText(kIdChipClockText);
        fields_.m_memClockText = controls_.GetControlText(kIdMemClockText);
        fields_.m_autoChipText = controls_.GetControlText(kIdAutoChipText);
        fields_.m_autoMemText = controls_.GetControlText(kIdAutoMemText);
    } else {
        controls_.SetCheck(kIdAutostartCheck, fields_.m_autostartCheck);
        controls_.SetControlText(kIdChipsetText, fields_.m_chipsetText);
        controls_.SetControlText(kIdChipClockText, fields_.m_chipClockText);
        controls_.SetControlText(kIdMemClockText, fields_.m_memClockText);
        controls_.SetControlText(kIdAutoChipText, fields_.m_autoChipText);
        controls_.SetControlText(kIdAutoMemText, fields_.m_autoMemText);
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
    TunerFields& f = fields_;
    messagesShown_ = 0;

    // What the toolkit does on creating the window: the empty fields reach the controls.
    UpdateData(false);

    LoadAutostartState(*this, env_.store, env_.programPath);

    DisplayAdapter adapter;
    const bool found = FindDisplayAdapter(env_.chip.hardware, env_.chip.discovery, adapter);
    if (!found) {
        InformativeMessageBox(kMsgPciAccessFailed, MessageButtons::Ok,
                              DiscoveryFailureReason(env_.chip.hardware));
    }

    UpdateData(true);
    f.m_chipsetText = kChipsetUnknown;

    // Without a recognised chip every clock and limit is 0, so nothing below can carry a
    // value that never came from a chip.
    f.m_memMin = f.m_memMax = f.m_chipMin = f.m_chipMax = 0;
    f.m_memClock = f.m_chipClock = 0;
    f.m_linkMode = 0;
    startCoefficients_.reset();
    if (found) {
        RecognizedChip recognized;
        switch (RecognizeChip(env_.chip, adapter.vendorId, adapter.deviceId, recognized)) {
        case Recognition::Recognized: {
            const ChipProfile& profile = *recognized.profile;
            f.m_memMin = profile.memMin;
            f.m_memMax = profile.memMax;
            f.m_chipMin = profile.chipMin;
            f.m_chipMax = profile.chipMax;
            f.m_linkMode = static_cast<int>(profile.linkMode);
            f.m_memClock = recognized.clocks.memory;
            f.m_chipClock = recognized.clocks.chip;
            startCoefficients_ = ReadStartCoefficients(
                env_.chip.hardware, env_.chip.discovery.RegisterBase, profile.family);
            break;
        }
        case Recognition::RegisterReadFailed:
            InformativeMessageBox(kMsgPciAccessFailed, MessageButtons::Ok, recognized.failureReason);
            break;
        case Recognition::Unsupported:
            break;
        }
    }
    const bool recognized = ChipRecognized();

    f.m_savedMemClock = f.m_memClock;
    f.m_savedChipClock = f.m_chipClock;

    controls_.SetTrackbarRange(kIdMemTrackbar, f.m_memMin, f.m_memMax, false);
    controls_.SetTrackbarRange(kIdChipTrackbar, f.m_chipMin, f.m_chipMax, false);

    // A clock read outside the limits shows its own value; only the thumb stops at the limit.
    controls_.SetTrackbarPos(kIdMemTrackbar, f.m_memClock);
    f.m_memClockText = recognized ? std::to_string(f.m_memClock) : kNoValueText;
    controls_.SetTrackbarPos(kIdChipTrackbar, f.m_chipClock);
    f.m_chipClockText = recognized ? std::to_string(f.m_chipClock) : kNoValueText;

    if (recognized) f.m_chipsetText = env_.chip.CurrentChipName;
    UpdateData(false);

    if (!recognized) {
        for (int id : kChipControls) controls_.EnableControl(id, false);
        // An entry of this program's can still be taken away: it would otherwise warn
        // about a missing chip at every login with no way out in the window.
        if (f.m_autostartOn != 0) controls_.EnableControl(kIdAutostartCheck, true);
    }

    const int count = ScanStartArguments(env_.startArguments.c_str(), ChipNameScratch,
                                         f.m_memClock, f.m_chipClock);

    if (count == 3 && ChipNameEquals(env_.chip.CurrentChipName, ChipNameScratch)) {
        // Started with this chip's clocks: apply them and leave without asking anything.
        unattended_ = true;
        const bool applied = ApplyClocks(env_.chip, *this, {f.m_memClock, f.m_chipClock});
        unattendedOk_ = applied && messagesShown_ == 0;
        controls_.RunAutostartNotice(env_.chip.CurrentChipName);
        controls_.EndDialog(kDialogCancel);
        return 1;
    }

    if (MessageBox(kWarningText, MessageButtons::OkCancel) == MessageAnswer::Cancel) {
        // The window closes once this returns; the argument checks below still speak.
        controls_.EndDialog(kDialogCancel);
    }
    if (count >= 1 && !ChipNameEquals(env_.chip.CurrentChipName, ChipNameScratch)) {
        MessageBox(kMsgWrongChipset, MessageButtons::Ok);
    }
    // Arguments were given, but there is no chip to apply them to.
    if (count >= 1 && !recognized) MessageBox(kMsgCommandLineError, MessageButtons::Ok);
    return 1;
}

void TunerDialog::OnHScroll(int controlId) {
    if (!ChipRecognized()) return;  // the sliders are disabled and show no clock
    TunerFields& f = fields_;
    const bool linked = f.m_linkMode == static_cast<int>(LinkMode::Linked);
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
        follow(kIdMemTrackbar, kIdMemClockText, f.m_memClock, kIdChipTrackbar, kIdChipClockText,
               f.m_chipClock);
    } else if (controlId == kIdChipTrackbar) {
        follow(kIdChipTrackbar, kIdChipClockText, f.m_chipClock, kIdMemTrackbar, kIdMemClockText,
               f.m_memClock);
    }
}

void TunerDialog::SetClockNow() {
    if (!ChipRecognized()) return;
    if (MessageBox(kWarningText, MessageButtons::OkCancel) == MessageAnswer::Cancel) return;
    ApplyClocks(env_.chip, *this, {fields_.m_memClock, fields_.m_chipClock});
}

void TunerDialog::RestoreClocks() {
    if (!ChipRecognized()) return;
    TunerFields& f = fields_;
    if (f.m_memClock == f.m_savedMemClock && f.m_chipClock == f.m_savedChipClock) {
        MessageBox(kMsgDontPanic, MessageButtons::Ok);
        return;
    }
    f.m_memClock = f.m_savedMemClock;
    f.m_chipClock = f.m_savedChipClock;
    // The card gets back the very coefficients it had, not the saved MHz set again:
    // those need not give the same words. They came from the card, so nothing is out
    // of range; only an unreachable register can fail.
    const bool restored =
        startCoefficients_ &&
        RestoreStartCoefficients(env_.chip.hardware, env_.chip.discovery.RegisterBase,
                                 *startCoefficients_);
    if (!restored) MessageBox(kMsgPciAccessFailed, MessageButtons::Ok);

    UpdateData(true);
    controls_.SetTrackbarPos(kIdMemTrackbar, f.m_memClock);
    f.m_memClockText = std::to_string(f.m_memClock);
    controls_.SetTrackbarPos(kIdChipTrackbar, f.m_chipClock);
    f.m_chipClockText = std::to_string(f.m_chipClock);
    UpdateData(false);

    if (restored) MessageBox(kMsgRestored, MessageButtons::Ok);
}

void TunerDialog::OnAutostartClicked() {
    UpdateAutostartEntry(*this, env_.store, env_.chip, env_.programPath);
    // Without a chip the check box only serves to turn an entry off; once it is off
    // there is nothing left for it to do.
    if (!ChipRecognized()) controls_.EnableControl(kIdAutostartCheck, fields_.m_autostartOn != 0);
}

}  // namespace tarvento
