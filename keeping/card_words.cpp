// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/card_words.h"

#include <cstdio>
#include <sstream>

#include "chip/hex_text.h"
#include "chip/sysfs_hardware.h"

namespace tarvento {

std::string SlotOf(const DisplayAdapter& a) { return SysfsSlotName({0, a.bus, a.device, a.function}); }

CardWords WordsOfCard(const DisplayAdapter& adapter, const PllWords& words, std::string bootId) {
    return {SlotOf(adapter), adapter.vendorId, adapter.deviceId, words, std::move(bootId)};
}

bool SameCard(const CardWords& a, const CardWords& b) {
    return a.slot == b.slot && a.vendorId == b.vendorId && a.deviceId == b.deviceId;
}

std::string CardInWords(const CardWords& card) {
    return card.slot + ", " + HexDigits(card.vendorId, 4) + ":" + HexDigits(card.deviceId, 4);
}

std::string FormatCardWords(const std::string& header, const CardWords& card) {
    std::string text = "# " + header + "\nslot " + card.slot + "\nids " + HexDigits(card.vendorId, 4) +
                       ":" + HexDigits(card.deviceId, 4) + "\n";
    if (!card.bootId.empty()) text += "boot " + card.bootId + "\n";
    for (int i = 0; i < card.words.count; ++i)
        text += "pll " + HexNumber(card.words.plls[i].offset, 8) + " " +
                HexNumber(card.words.plls[i].word, 8) + "\n";
    return text;
}

std::optional<CardWords> ParseCardWords(const std::string& text) {
    CardWords card;
    std::istringstream in(text);
    std::string line;
    bool ids = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string key, a, b;
        fields >> key >> a >> b;
        unsigned vendor = 0, device = 0, offset = 0, word = 0;
        if (key == "slot") {
            card.slot = a;
        } else if (key == "boot" && !a.empty()) {
            card.bootId = a;
        } else if (key == "ids" && std::sscanf(a.c_str(), "%4x:%4x", &vendor, &device) == 2) {
            card.vendorId = static_cast<uint16_t>(vendor);
            card.deviceId = static_cast<uint16_t>(device);
            ids = true;
        } else if (key == "pll" && card.words.count < 2 &&
                   std::sscanf(a.c_str(), "0x%x", &offset) == 1 &&
                   std::sscanf(b.c_str(), "0x%x", &word) == 1) {
            card.words.plls[card.words.count++] = {offset, word};
        } else {
            return std::nullopt;
        }
    }
    if (card.slot.empty() || !ids || card.words.count == 0) return std::nullopt;
    return card;
}

}  // namespace tarvento
