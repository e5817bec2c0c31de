// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tuner/dialog_controls.h"

namespace tarvento::testing {

// A window without a toolkit: controls by id, trackbars that clamp like real ones, and a
// log of everything the window was told to do, in order. Message boxes answer from a
// script (OK once it runs out).
class FakeDialogControls : public DialogControls {
public:
    struct Event {
        enum Kind { Text, Check, Enable, Range, Pos, Message, EndDialog, Notice } kind;
        int id = 0;          // control id; 0 for Message, EndDialog and Notice
        std::string text;    // Text, Message, Notice
        int value = 0;       // Check, Enable (0/1), Pos (as asked), EndDialog code,
                             // Message (the buttons, 0 Ok / 1 OkCancel), Range minimum
        int value2 = 0;      // Range maximum
        friend bool operator==(const Event&, const Event&) = default;
    };

    struct Trackbar {
        int minimum = 0;
        int maximum = 0;
        int position = 0;
    };

    std::deque<MessageAnswer> answers;
    // Runs while the notice window would be open, to look at the machine at that moment.
    std::function<void(const std::string& chipName)> onNotice;

    // What a user's drag does: the thumb moves (clamped), no handler is called.
    void UserMovesTrackbar(int id, int position);
    // What a user's click on the check box does before its handler runs.
    void UserTogglesCheck(int id);

    const std::vector<Event>& Log() const { return log_; }
    void ClearLog() { log_.clear(); }
    std::vector<Event> EventsOf(Event::Kind kind) const;
    std::vector<std::string> Messages() const;
    std::vector<int> EndDialogCodes() const;
    std::vector<std::string> NoticeRuns() const;

    std::string Text(int id) const;      // what the control shows now ("" if never set)
    int Check(int id) const;             // 0 if never set
    bool Enabled(int id) const;          // controls start enabled
    Trackbar TrackbarState(int id) const;

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
    // Logged as a Message; the informative text is kept beside the log, in order.
    MessageAnswer InformativeMessageBox(const std::string& text, MessageButtons buttons,
                                        const std::string& informativeText) override;
    std::vector<std::string> informativeTexts;

private:
    static int Clamp(const Trackbar& t, int position);

    std::map<int, std::string> texts_;
    std::map<int, int> checks_;
    std::map<int, bool> enabled_;
    std::map<int, Trackbar> trackbars_;
    std::vector<Event> log_;
};

}  // namespace tarvento::testing
