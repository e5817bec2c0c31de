// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "texts/message_box.h"

namespace tarvento {

// What a clock field shows when it has no value: no recognised chip, or no autostart entry.
inline constexpr const char* kNoValueText = "---";

// The main window's fields, in declaration order. The first six are bound to controls
// and move with UpdateData; the rest belong to the window alone.
struct TunerFields {
    int autostartCheck = 0;     // check box 1015
    std::string chipsetText;    // 1016
    std::string chipClockText;  // 1010
    std::string memClockText;   // 1011
    std::string autoChipText;   // 1028
    std::string autoMemText;    // 1027
    int32_t savedChipClock = 0;
    int32_t savedMemClock = 0;
    int autostartOn = 0;
    int32_t chipClock = 0;
    int32_t memClock = 0;
    int32_t chipMax = 0;
    int32_t chipMin = 0;
    int32_t memMin = 0;
    int32_t memMax = 0;
    int linkMode = 0;
};

// What the autostart operations need of the main window: its fields, its data
// exchange, and message boxes owned by it.
class AutostartWindow : public MessageBoxOwner {
public:
    virtual TunerFields& Fields() = 0;
    // true: read the controls into the bound fields; false: write the fields to them.
    virtual void UpdateData(bool saveAndValidate) = 0;
};

}  // namespace tarvento
