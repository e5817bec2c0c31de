// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/hex_text.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <system_error>

namespace tarvento {

std::optional<uint64_t> ParseHexDigits(std::string_view text, size_t minDigits, size_t maxDigits) {
    maxDigits = std::min<size_t>(maxDigits, 16);
    if (text.size() < std::max<size_t>(minDigits, 1) || text.size() > maxDigits) return std::nullopt;
    // from_chars into an unsigned type takes neither sign nor prefix: the digits alone.
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<uint64_t> ParseHexNumber(std::string_view text, size_t maxDigits) {
    if (text.size() < 2 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
    return ParseHexDigits(text.substr(2), 1, maxDigits);
}

std::string HexDigits(uint64_t value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*" PRIX64, std::clamp(digits, 1, 16), value);
    return text;
}

std::string HexNumber(uint64_t value, int digits) { return "0x" + HexDigits(value, digits); }

}  // namespace tarvento
