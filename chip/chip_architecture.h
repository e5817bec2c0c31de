// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tarvento {

// The generation of a chip's registers. Which drivers know a chip, and so what sets its
// PLL select word when a display mode is set, follows from it: nouveau starts with NV4.
enum class ChipArchitecture {
    Nv3,  // RIVA 128 and 128ZX: the memory PLL clocks memory and engine alike
    Nv4   // RIVA TNT and its successors: a memory PLL and a core PLL
};

}  // namespace tarvento
