// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chip/adapter_discovery.h"
#include "chip/clock_restore.h"

namespace tarvento {

// A card and the PLL words it held, as the records kept of them say it: the words before a
// sleep, the words the firmware left at a boot. Words go back only to the same card.
struct CardWords {
    std::string slot;  // "0000:01:00.0"
    uint16_t vendorId = 0;
    uint16_t deviceId = 0;
    PllWords words;
    std::string bootId;  // the boot they were read at; empty where a record does not say
};

// The slot of an adapter as the kernel names it, "0000:01:00.0".
std::string SlotOf(const DisplayAdapter& adapter);
CardWords WordsOfCard(const DisplayAdapter& adapter, const PllWords& words, std::string bootId = {});

// True when both name the same card: the same slot and the same ids.
bool SameCard(const CardWords& a, const CardWords& b);
// "0000:01:00.0, 10DE:0020".
std::string CardInWords(const CardWords& card);

// The record's text, a comment line `header` first: "slot 0000:01:00.0", "ids 10DE:0020",
// "boot ID" when it has one, then "pll <offset> <word>" per PLL, all hex. And back; nothing
// for a text that is not a whole record.
std::string FormatCardWords(const std::string& header, const CardWords& card);
std::optional<CardWords> ParseCardWords(const std::string& text);

}  // namespace tarvento
