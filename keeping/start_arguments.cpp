// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/start_arguments.h"

#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>

namespace tarvento {

ChipNameBuffer ChipNameScratch{};

namespace {

bool IsWhite(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

const char* SkipWhite(const char* p) {
    while (*p != '\0' && IsWhite(*p)) ++p;
    return p;
}

// One "%d" field: optional sign, then decimal digits. Advances `p` past what it read.
// Fails on a missing digit and on a value beyond int32_t, where the runtime's own
// scan would have undefined behaviour; the caller then ends the scan at this field.
bool ScanInt32(const char*& p, int32_t& value) {
    const char* q = SkipWhite(p);
    bool negative = false;
    if (*q == '+' || *q == '-') {
        negative = *q == '-';
        ++q;
    }
    if (!std::isdigit(static_cast<unsigned char>(*q))) return false;
    // Accumulate as a negative number so that INT32_MIN fits.
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    int64_t n = 0;
    for (; std::isdigit(static_cast<unsigned char>(*q)); ++q) {
        n = n * 10 - (*q - '0');
        if (n < kMin) return false;
    }
    if (!negative) {
        n = -n;
        if (n > std::numeric_limits<int32_t>::max()) return false;
    }
    value = static_cast<int32_t>(n);
    p = q;
    return true;
}

}  // namespace

int ScanStartArguments(const char* text, ChipNameBuffer& chipName, int32_t& memClock,
                       int32_t& chipClock) {
    if (text == nullptr) return -1;
    const char* p = SkipWhite(text);
    if (*p == '\0') return -1;

    // The token is read whole; only its first 11 characters are kept.
    std::size_t stored = 0;
    for (; *p != '\0' && !IsWhite(*p); ++p) {
        if (stored < kChipNameScratchSize - 1) chipName[stored++] = *p;
    }
    chipName[stored] = '\0';

    int32_t value = 0;
    if (!ScanInt32(p, value)) return 1;
    memClock = value;
    if (!ScanInt32(p, value)) return 2;
    chipClock = value;
    return 3;
}

const char* FindNthWordFromEnd(int n, const char* text) {
    const std::size_t length = std::strlen(text);
    if (length < 2) return text;
    // Counting down from zero or below never reaches zero: no word is found.
    if (n <= 0) return text + length;
    // A word beginning at text[0] has no space before it and is never counted.
    for (std::size_t i = length - 1; i > 0; --i) {
        if (text[i] != ' ' && text[i - 1] == ' ') {
            --n;
            if (n == 0) return text + i;
        }
    }
    return text + length;
}

std::optional<NamedClocks> ParseNamedClocks(const std::string& chip, const std::string& memory,
                                            const std::string& chipClock) {
    const std::string tail = chip + " " + memory + " " + chipClock;
    auto whole = [](const std::string& text) {
        int32_t value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        return ec == std::errc() && end == text.data() + text.size();
    };
    ChipNameBuffer name{};
    NamedClocks named;
    if (ScanStartArguments(tail.c_str(), name, named.clocks.memory, named.clocks.chip) != 3 ||
        std::string(name) != chip || !whole(memory) || !whole(chipClock)) {
        return std::nullopt;
    }
    named.chip = name;
    return named;
}

}  // namespace tarvento
