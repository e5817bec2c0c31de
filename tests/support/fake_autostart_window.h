// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "keeping/autostart_window.h"

namespace tarvento::testing {

// The main window's six bound controls, its fields, and one log of everything the
// window saw in order: each data exchange with what the controls then held, and each
// message box.
class FakeAutostartWindow : public AutostartWindow {
public:
    struct Controls {
        int check = 0;            // 1015
        std::string chipset;      // 1016
        std::string chipClock;    // 1010
        std::string memClock;     // 1011
        std::string autoChip;     // 1028
        std::string autoMem;      // 1027
    };

    TunerFields fields;
    Controls controls;
    std::vector<std::string> events;

    TunerFields& Fields() override { return fields; }

    void UpdateData(bool saveAndValidate) override {
        if (saveAndValidate) {
            fields.autostartCheck = controls.check;
            fields.chipsetText = controls.chipset;
            fields.chipClockText = controls.chipClock;
            fields.memClockText = controls.memClock;
            fields.autoChipText = controls.autoChip;
            fields.autoMemText = controls.autoMem;
            events.push_back("read");
        } else {
            controls.check = fields.autostartCheck;
            controls.chipset = fields.chipsetText;
            controls.chipClock = fields.chipClockText;
            controls.memClock = fields.memClockText;
            controls.autoChip = fields.autoChipText;
            controls.autoMem = fields.autoMemText;
            events.push_back("write check=" + std::to_string(controls.check) + " mem=" +
                             controls.autoMem + " chip=" + controls.autoChip);
        }
    }

    MessageAnswer MessageBox(const std::string& text, MessageButtons) override {
        events.push_back("message " + text);
        return MessageAnswer::Ok;
    }
    MessageAnswer InformativeMessageBox(const std::string& text, MessageButtons buttons,
                                        const std::string& informativeText) override {
        reasons.push_back(informativeText);
        return MessageBox(text, buttons);
    }
    // The informative text of every box that had one, in order.
    std::vector<std::string> reasons;
};

}  // namespace tarvento::testing
