// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <string>

#include "tuner/dialog_controls.h"
#include "tuner/tuner_dialog.h"

namespace tarvento::ui {

class QtMessageBox;

// The main window: template 102 built into Qt widgets, the controls handed to a
// TunerDialog, and the user's clicks, keys and slider moves forwarded to it.
class TunerDialogWindow : public QDialog, public DialogControls {
    Q_OBJECT

public:
    // `messages` takes the message boxes instead of real ones (tests answer from a
    // script); nullptr shows real boxes owned by this window.
    explicit TunerDialogWindow(TunerDialog::Environment environment,
                               MessageBoxOwner* messages = nullptr);
    ~TunerDialogWindow() override;

    // Runs the start sequence before the window is first shown, then the modal run.
    // When the start sequence ended the dialog, it returns at once without showing it.
    int exec() override;
    void accept() override;
    void reject() override;

    TunerDialog& Tuner() { return tuner_; }
    QWidget* Control(int id) const;

    // DialogControls
    std::string GetControlText(int id) override;
    void SetControlText(int id, const std::string& text) override;
    int GetCheck(int id) override;
    void SetCheck(int id, int checked) override;
    void EnableControl(int id, bool enabled) override;
    void SetTrackbarRange(int id, int minimum, int maximum) override;
    void SetTrackbarPos(int id, int position) override;
    int GetTrackbarPos(int id) override;
    void EndDialog(int code) override;
    void RunAutostartNotice(const std::string& chipName) override;
    MessageAnswer MessageBox(const std::string& text, MessageButtons buttons) override;
    MessageAnswer InformativeMessageBox(const std::string& text, MessageButtons buttons,
                                        const std::string& informativeText) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ConnectControls();

    std::unique_ptr<QtMessageBox> ownMessages_;
    MessageBoxOwner* messages_;
    TunerDialog tuner_;
    bool initializing_ = false;
    std::optional<int> endedDuringInit_;
};

}  // namespace tarvento::ui
