// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

namespace tarvento::ui {

// The two dialog templates as data: what the window shows, where, and in which order.
// Positions are in dialog units (see template_builder.h); the control order is the tab
// order and the order in which the controls are created.

enum class ControlKind {
    PushButton,
    DefaultPushButton,
    StaticText,          // left-aligned
    CentredStaticText,
    GroupBox,
    CheckBox,            // automatic: a click toggles it before anyone hears of it
    Trackbar,            // horizontal, no tick marks
    Picture              // an image shown at its own size from the control's position
};

inline constexpr int kNoControlId = -1;  // static texts and pictures nobody addresses

struct ControlTemplate {
    int id;  // kNoControlId when none
    ControlKind kind;
    const char* text;  // "" when none
    bool tabStop;
    int x, y, width, height;  // dialog units; width and height unused for pictures
    int image;                // image resource of a picture (128, 137, 140), else 0
};

struct DialogTemplate {
    int id;
    const char* caption;  // nullptr: the window has no caption bar
    bool minimizeBox;
    int width, height;    // client area, dialog units
    const char* fontFace;
    int fontPointSize;
    std::span<const ControlTemplate> controls;
};

// The main window (102) and the autostart notice window (135).
const DialogTemplate& MainWindowTemplate();
const DialogTemplate& AutostartNoticeTemplate();

// The Qt resource path of an image resource ("" when there is none).
const char* ImageResourcePath(int image);

}  // namespace tarvento::ui
