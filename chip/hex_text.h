// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvento {

// Hexadecimal numbers in the text the program and its tools read: sysfs files and folder
// names, a tool's options. Strict, so that a lying file is refused rather than half read:
// every character must be a digit (either case), with no sign, no white space and no
// second "0x" inside; a sign in particular would wrap round to a huge value.

// `text` holds between minDigits and maxDigits (at most 16) digits and nothing else.
std::optional<uint64_t> ParseHexDigits(std::string_view text, size_t minDigits = 1,
                                       size_t maxDigits = 16);

// "0x" or "0X", then one to maxDigits (at most 16) digits as above: how sysfs writes them.
std::optional<uint64_t> ParseHexNumber(std::string_view text, size_t maxDigits = 16);

// And the way back, for the texts people read: upper-case digits, at least `digits` of
// them (more when the value needs them), without and with the "0x".
std::string HexDigits(uint64_t value, int digits);
std::string HexNumber(uint64_t value, int digits);

}  // namespace tarvento
