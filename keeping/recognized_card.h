// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "chip/chip_recognition.h"
#include "chip/chip_state.h"

namespace tarvento {

// Finds the first display adapter and recognises its chip, as the window's start does.
// False with the reason when no supported chip could be read.
bool RecognizeCard(ChipState& chip, RecognizedChip& recognized, std::string& reason);

}  // namespace tarvento
