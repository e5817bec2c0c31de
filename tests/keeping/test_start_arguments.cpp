// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/start_arguments.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace tarvento {
namespace {

struct Scan {
    int count;
    std::string token;
    int32_t mem;
    int32_t chip;
};

constexpr int32_t kUntouched = -777;

Scan Ours(const char* text) {
    ChipNameBuffer name;
    std::memset(name, '#', sizeof name);
    name[kChipNameScratchSize - 1] = '\0';
    Scan s{0, {}, kUntouched, kUntouched};
    s.count = ScanStartArguments(text, name, s.mem, s.chip);
    s.token = name;
    return s;
}

Scan Runtime(const char* text) {
    char name[256];
    std::memset(name, '#', sizeof name);
    name[kChipNameScratchSize - 1] = '\0';
    int mem = kUntouched;
    int chip = kUntouched;
    const int count = std::sscanf(text, "%255s %d %d", name, &mem, &chip);
    return {count, name, mem, chip};
}

// Ordinary inputs (tokens of 11 characters or fewer, numbers in range): the scan must
// give what the runtime's own "%s %d %d" gives, field for field.
TEST(ScanStartArguments, MatchesTheRuntimeScanOnOrdinaryInput) {
    const char* inputs[] = {
        "",
        " ",
        " \t\n\v\f\r ",
        "RIVA_TNT",
        "  RIVA_TNT  ",
        "RIVA_TNT 110",
        "RIVA_TNT 110 100",
        "RIVA_TNT 110 100 95",
        "\tRIVA_128\n90\v\f95\r",
        "RIVA_TNT +110 -100",
        "RIVA_TNT -0 +0",
        "RIVA_TNT 0110 007",
        "RIVA_TNT 110x 100",
        "RIVA_TNT 110 100x",
        "RIVA_TNT x 100",
        "RIVA_TNT 110 x",
        "RIVA_TNT - 5",
        "RIVA_TNT +-5",
        "RIVA_TNT 5 +",
        "RIVA_TNT 1-2",
        "RIVA_TNT 2147483647 -2147483648",
        "110 100",
        "a",
        "RIVA_128ZX\t120\t120",
    };
    for (const char* text : inputs) {
        const Scan ours = Ours(text);
        const Scan runtime = Runtime(text);
        SCOPED_TRACE(std::string("input \"") + text + "\"");
        EXPECT_EQ(ours.count, runtime.count);
        EXPECT_EQ(ours.token, runtime.token);
        EXPECT_EQ(ours.mem, runtime.mem);
        EXPECT_EQ(ours.chip, runtime.chip);
    }
}

TEST(ScanStartArguments, LongTokenIsCutToElevenCharactersAndTheScanGoesOn) {
    Scan s = Ours("RIVA_TNT_RIVA_TNT_RIVA_TNT 110 100");
    EXPECT_EQ(s.count, 3);
    EXPECT_EQ(s.token, "RIVA_TNT_RI");
    EXPECT_EQ(s.mem, 110);
    EXPECT_EQ(s.chip, 100);

    s = Ours("ABCDEFGHIJK 1 2");  // exactly eleven: kept whole
    EXPECT_EQ(s.token, "ABCDEFGHIJK");
    s = Ours("ABCDEFGHIJKL");     // twelve: the last one is dropped
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.token, "ABCDEFGHIJK");
}

TEST(ScanStartArguments, NumberBeyondInt32EndsTheScanAtThatField) {
    Scan s = Ours("RIVA_TNT 2147483648 100");
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.mem, kUntouched);
    EXPECT_EQ(s.chip, kUntouched);

    s = Ours("RIVA_TNT 110 -2147483649");
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(s.mem, 110);
    EXPECT_EQ(s.chip, kUntouched);

    s = Ours("RIVA_TNT 99999999999999999999999999 1");
    EXPECT_EQ(s.count, 1);

    EXPECT_EQ(Ours(nullptr).count, -1);

    s = Ours("RIVA_TNT -2147483648 2147483647");
    EXPECT_EQ(s.count, 3);
    EXPECT_EQ(s.mem, INT32_MIN);
    EXPECT_EQ(s.chip, INT32_MAX);
}

// Returns the offset of the answer in `text`, so a pointer outside the text shows.
std::ptrdiff_t Nth(int n, const char* text) { return FindNthWordFromEnd(n, text) - text; }

TEST(FindNthWordFromEnd, TwoOneLetterWords) {
    EXPECT_STREQ(FindNthWordFromEnd(1, "a b"), "b");
    EXPECT_STREQ(FindNthWordFromEnd(2, "a b"), "");  // a first-character word never counts
    EXPECT_STREQ(FindNthWordFromEnd(3, "a b"), "");
    EXPECT_EQ(Nth(3, "a b"), 3);  // the terminating zero of the text itself
}

TEST(FindNthWordFromEnd, FindsTheChipNameOfAnEntry) {
    EXPECT_STREQ(FindNthWordFromEnd(3, "/usr/bin/tarvento RIVA_TNT 110 100"),
                 "RIVA_TNT 110 100");
    EXPECT_STREQ(FindNthWordFromEnd(3, "/opt/my tools/tarvento RIVA_TNT 110 100"),
                 "RIVA_TNT 110 100");
    // Two spaces in a row are one separator.
    EXPECT_STREQ(FindNthWordFromEnd(3, "/usr/bin/tarvento  RIVA_TNT 110 100"),
                 "RIVA_TNT 110 100");
    // Only two words after a path without spaces: there is no third word.
    EXPECT_STREQ(FindNthWordFromEnd(3, "/usr/bin/tarvento RIVA_TNT 110"), "");
}

TEST(FindNthWordFromEnd, ShortTextsAndOddCounts) {
    EXPECT_EQ(Nth(1, ""), 0);
    EXPECT_EQ(Nth(1, "x"), 0);  // fewer than two characters: the text itself
    EXPECT_EQ(Nth(0, "a b c"), 5);
    EXPECT_EQ(Nth(-1, "a b c"), 5);
    EXPECT_EQ(Nth(INT32_MIN, "a b c"), 5);
    EXPECT_STREQ(FindNthWordFromEnd(1, " lead"), "lead");
    EXPECT_STREQ(FindNthWordFromEnd(1, "a b "), "b ");
    // Only the space separates: a tab is part of a word.
    EXPECT_STREQ(FindNthWordFromEnd(1, "a\tb c"), "c");
    EXPECT_STREQ(FindNthWordFromEnd(2, "a\tb c"), "");
}

}  // namespace
}  // namespace tarvento
