#pragma once

#include <cstdint>
#include <string>

#include "chip/message_box.h"

namespace tarvento {

// What a clock field shows when it has no value: no recognised chip, or no autostart entry.
inline constexpr const char* kNoValueText = "---";

// The main window's fields, in declaration order. The first six are bound to controls
// and move with UpdateData; the rest belong to the window alone.
struct TunerFields {
    int m_autostartCheck = 0;     // check box 1015
    std::string m_chipsetText;    // 1016
    std::string m_chipClockText;  // 1010
    std::string m_memClockText;   // 1011
    std::string m_autoChipText;   // 1028
    std::string m_autoMemText;    // 1027
    int32_t m_savedChipClock = 0;
    int32_t m_savedMemClock = 0;
    int m_autostartOn = 0;
    int32_t m_chipClock = 0;
    int32_t m_memClock = 0;
    int32_t m_chipMax = 0;
    int32_t m_chipMin = 0;
    int32_t m_memMin = 0;
    int32_t m_memMax = 0;
    int m_linkMode = 0;
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
