// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/recognized_card.h"

#include "chip/adapter_discovery.h"
#include "texts/user_texts.h"

namespace tarvento {

bool RecognizeCard(ChipState& chip, RecognizedChip& recognized, std::string& reason) {
    DisplayAdapter adapter;
    if (!FindDisplayAdapter(chip.hardware, chip.discovery, adapter)) {
        reason = ReasonText(DiscoveryFailureReason(chip.hardware));
        return false;
    }
    switch (RecognizeChip(chip, adapter.vendorId, adapter.deviceId, recognized)) {
    case Recognition::Recognized: return true;
    case Recognition::Unsupported:
        reason = UnsupportedAdapterText(adapter.vendorId, adapter.deviceId);
        return false;
    case Recognition::RegisterReadFailed: reason = ReasonText(recognized.failureReason); return false;
    }
    return false;
}

}  // namespace tarvento
