// SPDX-License-Identifier: GPL-3.0-or-later
// Hexadecimal text as sysfs and the tools' options give it, and the ways a lying file or a
// mistyped option may bend it.
#include <gtest/gtest.h>

#include <string>

#include "chip/hex_text.h"
#include "chip/sysfs_hardware.h"

namespace tarvento::testing {
namespace {

TEST(HexText, DigitsAloneInEitherCaseAndWithinTheirCount) {
    EXPECT_EQ(ParseHexDigits("10de"), 0x10DEu);
    EXPECT_EQ(ParseHexDigits("10DE", 4, 4), 0x10DEu);
    EXPECT_EQ(ParseHexDigits("ffffffffffffffff"), UINT64_MAX);
    EXPECT_FALSE(ParseHexDigits("10de", 2, 2)) << "too many";
    EXPECT_FALSE(ParseHexDigits("1", 2, 2)) << "too few";
    EXPECT_FALSE(ParseHexDigits("")) << "none at all";
    EXPECT_FALSE(ParseHexDigits("", 0)) << "none at all, even when no minimum is asked";
    EXPECT_FALSE(ParseHexDigits("10000000000000000", 1, 20)) << "more than 64 bits";
}

TEST(HexText, SignsPrefixesAndSpacesAreRefused) {
    // A sign would wrap round to a huge value where a C library parser takes it.
    for (const char* text : {"-1", "+1", "0x1", " 1", "1 ", "1g", "1\n", "1-"}) {
        EXPECT_FALSE(ParseHexDigits(text)) << '"' << text << '"';
    }
    for (const char* text : {"0x-1", "0x+1", "0x0x1", "0x", "x1", "1", "0x 1", "-0x1", "0x12345678123456789"}) {
        EXPECT_FALSE(ParseHexNumber(text)) << '"' << text << '"';
    }
    EXPECT_EQ(ParseHexNumber("0x00000000e0000000"), 0xE0000000u);
    EXPECT_EQ(ParseHexNumber("0XE0"), 0xE0u);
    EXPECT_FALSE(ParseHexNumber("0x123", 2));
}

TEST(HexText, WrittenUpperCaseAtLeastAsWideAsAskedAndReadBackWhole) {
    struct Case {
        uint64_t value;
        int digits;
        const char* number;
    };
    for (const Case c : {Case{0x10DE, 4, "0x10DE"}, Case{0x1B80C, 8, "0x0001B80C"},
                         Case{0xFFFFFFFF, 8, "0xFFFFFFFF"}, Case{0x1FF, 2, "0x1FF"},
                         Case{0x100000000ull, 8, "0x100000000"},
                         Case{UINT64_MAX, 16, "0xFFFFFFFFFFFFFFFF"}, Case{0, 2, "0x00"}}) {
        EXPECT_EQ(HexNumber(c.value, c.digits), c.number);
        EXPECT_EQ(HexDigits(c.value, c.digits), c.number + 2);
        EXPECT_EQ(ParseHexNumber(HexNumber(c.value, c.digits)), c.value) << c.number;
    }
}

TEST(SysfsText, ResourceLineTakesThreeNumbersWithTheirPrefix) {
    uint64_t start = 1, end = 2, flags = 3;
    ASSERT_TRUE(ParseSysfsResourceLine("0x00000000e0000000 0x00000000e0ffffff 0x0000000000040200",
                                       start, end, flags));
    EXPECT_EQ(start, 0xE0000000u);
    EXPECT_EQ(end, 0xE0FFFFFFu);
    EXPECT_EQ(flags, 0x40200u);
    // A signed end once read as 0xFFFFFFFFFFFFFFFF: a window over the whole address space.
    EXPECT_FALSE(ParseSysfsResourceLine("0x00000000e0000000 0x-1 0x200", start, end, flags));
    EXPECT_FALSE(ParseSysfsResourceLine("0xe0000000 0x+e0ffffff 0x200", start, end, flags));
    EXPECT_FALSE(ParseSysfsResourceLine("0xe0000000 0x0xe0ffffff 0x200", start, end, flags));
    EXPECT_FALSE(ParseSysfsResourceLine("e0000000 e0ffffff 200", start, end, flags));
    EXPECT_FALSE(ParseSysfsResourceLine("0xe0000000 0xe0ffffff", start, end, flags));
}

TEST(SysfsText, SlotNamesReadAndWrittenAlike) {
    SysfsSlot slot;
    ASSERT_TRUE(ParseSysfsSlotName("0000:2a:1f.7", slot));
    EXPECT_EQ(SysfsSlotName(slot), "0000:2a:1f.7");
    ASSERT_TRUE(ParseSysfsSlotName("10000:01:00.0", slot)) << "a domain of five digits";
    EXPECT_EQ(slot.domain, 0x10000u);
    EXPECT_EQ(SysfsSlotName(slot), "10000:01:00.0");
    ASSERT_TRUE(ParseSysfsSlotName("0000:0A:0B.1", slot)) << "upper case";
    EXPECT_EQ(SysfsSlotName(slot), "0000:0a:0b.1");
    for (const char* name : {"000:01:00.0", "000000000:01:00.0", "0000:-1:00.0", "0000:+1:00.0",
                             "0000:01:+1.0", "0000:01:00.-", "0000:01:00.0x", "0000:01.00.0",
                             "-000:01:00.0", "0000:01:20.0", "0000:01:00.8", ".", ".."}) {
        EXPECT_FALSE(ParseSysfsSlotName(name, slot)) << name;
    }
}

}  // namespace
}  // namespace tarvento::testing
