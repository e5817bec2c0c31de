// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "chip/adapter_discovery.h"
#include "chip/chip_state.h"
#include "chip/clock_restore.h"
#include "chip/version.h"
#include "keeping/apply_guard.h"
#include "keeping/autostart_store.h"
#include "keeping/autostart_window.h"
#include "tuner/dialog_controls.h"

namespace tarvento {

inline constexpr const char* kWindowCaption = "Tarvento V" TARVENTO_VERSION_MAJOR_MINOR " by Quenor";

// Everything the program's main window does, free of any window toolkit: the start
// sequence, the sliders, Set Clock now, Panic ! and the autostart check box. A toolkit
// window owns one, hands it its controls, and forwards the user's actions to it.
class TunerDialog : public AutostartWindow {
public:
    struct Environment {
        ChipState& chip;
        AutostartStore& store;
        std::string startArguments;    // the command-line tail
        // The running program's real path: the first field of a new autostart entry, and
        // what a stored one must name to count as this program's.
        std::string programPath;
        // Asked before an unattended start writes anything; none: nothing is guarded.
        ApplyGuard* guard = nullptr;
    };

    TunerDialog(DialogControls& controls, Environment env);

    // The start sequence. Returns 1 (focus on the first tab stop).
    int OnInitDialog();
    // A user's move of a trackbar (every notification, while dragging too).
    void OnHScroll(int controlId);
    void SetClockNow();      // 1022
    void RestoreClocks();    // 1018, "Panic !"
    void OnAutostartClicked();  // 1015

    // True when the start was unattended and its clocks were all written.
    bool UnattendedStartSucceeded() const { return unattended_ && unattendedOk_; }
    // True when the start was unattended and the kernel command line asked for no applies
    // at this boot: nothing was written, and that is the owner's choice, not a failure.
    bool UnattendedStartWithheld() const { return unattended_ && unattendedWithheld_; }
    bool UnattendedStart() const { return unattended_; }
    bool ChipRecognized() const { return env_.chip.currentChipName != nullptr; }

    // AutostartWindow
    TunerFields& Fields() override { return fields_; }
    void UpdateData(bool saveAndValidate) override;
    MessageAnswer MessageBox(const std::string& text, MessageButtons buttons) override;
    MessageAnswer InformativeMessageBox(const std::string& text, MessageButtons buttons,
                                        const std::string& informativeText) override;

private:
    // The steps of OnInitDialog, in its order.
    // Discovery; a failure is said in a box. Nothing when no adapter was found.
    std::optional<DisplayAdapter> FindAdapter();
    // Recognises the adapter's chip and takes its limits, clocks and start coefficients
    // into the fields; every one of them is 0 (none) without a recognised chip.
    void ReadChip(const std::optional<DisplayAdapter>& adapter);
    // The chip's name, limits and clocks into the controls; without a chip, the controls
    // that act on one are switched off.
    void ShowChip();
    // Applies the start arguments' clocks, shows the autostart notice and ends the window,
    // unless the guard refuses the apply.
    void StartUnattended();
    // The warning, then what the start arguments (`count` values scanned) got wrong.
    void WarnAndCheckStartArguments(int count);

    DialogControls& controls_;
    Environment env_;
    TunerFields fields_;
    bool unattended_ = false;
    bool unattendedOk_ = false;
    bool unattendedWithheld_ = false;
    int messagesShown_ = 0;  // every box this window showed, for the unattended result
    // The adapter the start's discovery took, recognised or not; nothing when none.
    std::optional<DisplayAdapter> foundAdapter_;
    // The PLL coefficients read at start from the recognised adapter, which Panic !
    // writes back to that adapter alone; nothing when they could not be read.
    std::optional<StartCoefficients> startCoefficients_;
};

}  // namespace tarvento
