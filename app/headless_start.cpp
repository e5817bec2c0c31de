// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/headless_start.h"

#include <algorithm>
#include <map>
#include <utility>

#include "chip/running_program.h"
#include "keeping/start_arguments.h"
#include "texts/user_texts.h"

namespace tarvento {

namespace {

// The main window's controls with no window: values are kept as a window would keep
// them, messages are printed, and the start warning is never agreed to, so a start that
// turns out to be interactive writes nothing.
class ConsoleControls : public DialogControls {
public:
    ConsoleControls(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    bool warned = false;  // the start went the interactive way

    MessageAnswer MessageBox(const std::string& text, MessageButtons buttons) override {
        if (text == kWarningText) {
            warned = true;
            return MessageAnswer::Cancel;
        }
        std::string line = text;
        std::replace(line.begin(), line.end(), '\n', ' ');
        err_ << DiagnosticPrefix() << line << "\n";
        return buttons == MessageButtons::OkCancel ? MessageAnswer::Cancel : MessageAnswer::Ok;
    }
    // The reason goes on a line of its own, below the message, as the window shows it.
    MessageAnswer InformativeMessageBox(const std::string& text, MessageButtons buttons,
                                        const std::string& informativeText) override {
        const MessageAnswer answer = MessageBox(text, buttons);
        if (!informativeText.empty()) err_ << DiagnosticPrefix() << informativeText << "\n";
        return answer;
    }
    std::string GetControlText(int id) override { return texts_[id]; }
    void SetControlText(int id, const std::string& text) override { texts_[id] = text; }
    int GetCheck(int id) override { return checks_[id]; }
    void SetCheck(int id, int checked) override { checks_[id] = checked; }
    void EnableControl(int, bool) override {}
    void SetTrackbarRange(int id, int minimum, int maximum) override {
        ranges_[id] = {minimum, maximum};
        SetTrackbarPos(id, positions_[id]);
    }
    void SetTrackbarPos(int id, int position) override {
        const auto [lo, hi] = ranges_[id];
        positions_[id] = std::clamp(position, lo, std::max(lo, hi));
    }
    int GetTrackbarPos(int id) override { return positions_[id]; }
    void EndDialog(int) override {}
    void RunAutostartNotice(const std::string& chipName) override {
        out_ << "Chipset: " << chipName << "\n";
    }

private:
    std::ostream& out_;
    std::ostream& err_;
    std::map<int, std::string> texts_;
    std::map<int, int> checks_;
    std::map<int, std::pair<int, int>> ranges_;
    std::map<int, int> positions_;
};

void NeedsGraphicalSession(std::ostream& err) {
    err << DiagnosticPrefix()
        << kNeedsGraphicalSession << "\n";
}

bool IsUnattended(const std::string& startArguments) {
    ChipNameBuffer name{};
    int32_t mem = 0;
    int32_t chip = 0;
    return ScanStartArguments(startArguments.c_str(), name, mem, chip) == 3;
}

}  // namespace

int RunWithoutWindow(TunerDialog::Environment env, const std::string& whyNot, std::ostream& out,
                     std::ostream& err) {
    if (!IsUnattended(env.startArguments)) {
        err << DiagnosticPrefix() << NoWindowText(whyNot) << "\n";
        return 1;
    }
    // The clocks chosen for this machine matter more than the window that reports them.
    err << DiagnosticPrefix() << NoWindowAppliedWithoutText(whyNot) << "\n";
    return RunHeadless(std::move(env), out, err);
}

int RunHeadless(TunerDialog::Environment env, std::ostream& out, std::ostream& err) {
    // Only a tail with a chip name and two clocks can be an unattended start; anything
    // else is not even looked at.
    if (!IsUnattended(env.startArguments)) {
        NeedsGraphicalSession(err);
        return 2;
    }
    ConsoleControls controls(out, err);
    TunerDialog dialog(controls, std::move(env));
    dialog.OnInitDialog();
    // Clocks were given but the card cannot take them: the messages above said why (no
    // card, no access, another chip than the one named, and which card there is). A window
    // would not apply them either, so this is a failure, not a start that wants a window.
    if (!dialog.UnattendedStart()) return 1;
    return dialog.UnattendedStartSucceeded() || dialog.UnattendedStartWithheld() ? 0 : 1;
}

}  // namespace tarvento
