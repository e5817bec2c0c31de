// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialog_template.h"

#include "tuner/dialog_controls.h"
#include "tuner/tuner_dialog.h"

namespace tarvento::ui {

namespace {

using K = ControlKind;
constexpr int kNone = kNoControlId;

// Template 102, the main window, in template order.
constexpr ControlTemplate kMainControls[] = {
    {kIdSetClockNow, K::DefaultPushButton, "Set Clock now", true, 5, 215, 55, 14, 0},
    {kIdCancel, K::PushButton, "Exit", true, 130, 215, 50, 14, 0},
    {kIdChipsetText, K::CentredStaticText, "Chipset", false, 105, 55, 40, 8, 0},
    {kIdMemTrackbar, K::Trackbar, "", true, 55, 90, 120, 21, 0},
    {kIdChipTrackbar, K::Trackbar, "", true, 55, 135, 120, 21, 0},
    {kIdMemClockText, K::CentredStaticText, "000", false, 15, 94, 15, 10, 0},
    {kIdMemClockGroup, K::GroupBox, "Mem Clock", false, 5, 75, 175, 40, 0},
    {kIdAutostartCheck, K::CheckBox, "&Autostart Tarvento", true, 10, 180, 77, 10, 0},
    {kIdChipClockText, K::CentredStaticText, "000", false, 15, 139, 16, 10, 0},
    {kNone, K::StaticText, "Mhz", false, 31, 94, 14, 8, 0},
    {kNone, K::StaticText, "Mhz", false, 33, 139, 14, 8, 0},
    {kIdChipClockGroup, K::GroupBox, "Chip Clock", false, 5, 120, 175, 40, 0},
    {kIdChipsetGroup, K::GroupBox, "Chipset", false, 70, 45, 110, 25, 0},
    {kIdAutoMemText, K::CentredStaticText, "000", false, 140, 190, 13, 8, 0},
    {kNone, K::StaticText, "Chip Clock", false, 100, 180, 35, 8, 0},
    {kNone, K::StaticText, "Mhz", false, 160, 180, 15, 8, 0},
    {kIdAutoChipText, K::CentredStaticText, "000", false, 140, 180, 13, 8, 0},
    {kNone, K::GroupBox, "Autostart Parameters", false, 5, 165, 175, 40, 0},
    {kNone, K::StaticText, "Mem Clock", false, 100, 190, 36, 8, 0},
    {kNone, K::StaticText, "Mhz", false, 160, 190, 15, 8, 0},
    {kIdPanic, K::PushButton, "Panic !", true, 70, 215, 50, 15, 0},
    {kNone, K::Picture, "", false, 70, 10, 21, 20, 137},
    {kNone, K::Picture, "", false, 5, 5, 21, 20, 140},
};

// Template 135, the autostart notice window.
constexpr ControlTemplate kNoticeControls[] = {
    {kIdChipsetText, K::CentredStaticText, "Chipset", false, 90, 50, 40, 8, 0},
    {kIdChipsetGroup, K::GroupBox, "Chipset", false, 65, 40, 90, 25, 0},
    {kNone, K::Picture, "", false, 0, 5, 21, 20, 140},
    {kNone, K::Picture, "", false, 55, 5, 21, 20, 137},
};

constexpr DialogTemplate kMainWindow{102, kWindowCaption, true, 187, 237, "MS Sans Serif", 8,
                                     kMainControls};
constexpr DialogTemplate kNotice{135, nullptr, false, 162, 67, "MS Sans Serif", 8, kNoticeControls};

}  // namespace

const DialogTemplate& MainWindowTemplate() { return kMainWindow; }
const DialogTemplate& AutostartNoticeTemplate() { return kNotice; }

const char* ImageResourcePath(int image) {
    switch (image) {
    case 128: return ":/tarvento/icon128-32.png";
    case 137: return ":/tarvento/picture137.png";
    case 140: return ":/tarvento/picture140.png";
    default: return "";
    }
}

}  // namespace tarvento::ui
