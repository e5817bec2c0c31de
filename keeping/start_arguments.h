// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "chip/clock_pair.h"

namespace tarvento {

// A chip-name token: 11 characters and the terminator. A longer token is cut to 11
// characters, which can equal no chip name.
inline constexpr std::size_t kChipNameScratchSize = 12;
using ChipNameBuffer = char[kChipNameScratchSize];

// Process-wide destination of the chip-name field of every "%s %d %d" scan.
extern ChipNameBuffer ChipNameScratch;

// Scans `text` as "%s %d %d": a token up to white space, then two decimal integers.
// Returns the number of fields read, or -1 when the text is empty or blank. The
// integers are stored only as far as they were read. A number beyond the 32-bit range
// ends the scan at that field (it is not stored and not counted).
int ScanStartArguments(const char* text, ChipNameBuffer& chipName, int32_t& memClock,
                       int32_t& chipClock);

// Where the n-th space-separated word, counted from the end, begins; a pointer into
// `text`, or to its terminating zero when there is no such word. Only the space
// separates, and a word at the very first character is never counted.
const char* FindNthWordFromEnd(int n, const char* text);

// A chip name and two clocks, as an option takes them (--boot-clocks, --try, --dry-run).
struct NamedClocks {
    std::string chip;
    ClockPair clocks;
};

// The three arguments read as a start reads its tail, taken only when they read back as
// exactly what was given (a whole name, whole numbers): what is stored or applied is what
// was typed. Nothing otherwise.
std::optional<NamedClocks> ParseNamedClocks(const std::string& chip, const std::string& memory,
                                            const std::string& chipClock);

}  // namespace tarvento
