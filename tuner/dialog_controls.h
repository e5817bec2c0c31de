// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "texts/message_box.h"

namespace tarvento {

// Control ids of the main window (template 102) and the notice window (template 135).
inline constexpr int kIdCancel = 2;              // "Exit"
inline constexpr int kIdMemTrackbar = 1007;
inline constexpr int kIdChipTrackbar = 1008;
inline constexpr int kIdChipClockText = 1010;
inline constexpr int kIdMemClockText = 1011;
inline constexpr int kIdMemClockGroup = 1014;
inline constexpr int kIdAutostartCheck = 1015;
inline constexpr int kIdChipsetText = 1016;
inline constexpr int kIdChipClockGroup = 1017;
inline constexpr int kIdPanic = 1018;
inline constexpr int kIdChipsetGroup = 1019;
inline constexpr int kIdSetClockNow = 1022;
inline constexpr int kIdAutoMemText = 1027;
inline constexpr int kIdAutoChipText = 1028;

// A window ends with the id of the button that ended it: kIdOk, or kIdCancel (Escape and
// the close box count as Cancel).
inline constexpr int kIdOk = 1;

// What the main window's behaviour needs of a window toolkit: controls by id, trackbars
// whose programmatic moves send no notification, message boxes owned by the window,
// ending the modal run, and the notice window. The Qt window implements it for real;
// the headless start and the tests implement it without a display.
class DialogControls : public MessageBoxOwner {
public:
    virtual std::string GetControlText(int id) = 0;
    virtual void SetControlText(int id, const std::string& text) = 0;
    virtual int GetCheck(int id) = 0;  // 0 or 1
    virtual void SetCheck(int id, int checked) = 0;
    virtual void EnableControl(int id, bool enabled) = 0;

    // A position outside the range is shown at the nearest limit, and GetTrackbarPos
    // returns what is shown. Neither call notifies the window.
    virtual void SetTrackbarRange(int id, int minimum, int maximum) = 0;
    virtual void SetTrackbarPos(int id, int position) = 0;
    virtual int GetTrackbarPos(int id) = 0;

    // Ends the modal run with `code` once the current handler returns.
    virtual void EndDialog(int code) = 0;

    // Runs the autostart notice window modally, naming `chipName`; returns when it closes.
    virtual void RunAutostartNotice(const std::string& chipName) = 0;
};

}  // namespace tarvento
