// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tarvento {

// Memory clock first, always. Signed MHz.
struct ClockPair {
    int32_t memory = 0;
    int32_t chip = 0;
    friend bool operator==(const ClockPair&, const ClockPair&) = default;
};

}  // namespace tarvento
