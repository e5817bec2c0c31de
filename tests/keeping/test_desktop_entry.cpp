// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/desktop_entry.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace tarvento {
namespace {

using testing::ReadFile;

struct Reference {
    const char* file;
    const char* entry;
};

const Reference kReferences[] = {
    {"plain.desktop", "/usr/bin/tarvento RIVA_TNT 110 100"},
    {"spaces.desktop", "/opt/Tarvento Tools/bin/tarvento RIVA_128 100 100"},
    {"special.desktop",
     "/opt/clocks 50%/\"fast\" $HOME `x` back\\slash/tarvento RIVA_128ZX 120 120"},
    {"percent.desktop", "/opt/100%/tarvento RIVA_TNT -5 2147483647"},
};

std::string ReferenceText(const char* name) {
    const std::optional<std::string> text =
        ReadFile(std::string(TARVENTO_TEST_DATA_DIR) + "/autostart/" + name);
    EXPECT_TRUE(text) << name;
    return text.value_or("");
}

TEST(DesktopEntry, WritesTheReferenceFiles) {
    for (const Reference& r : kReferences) {
        SCOPED_TRACE(r.file);
        const std::optional<std::string> file = FormatDesktopEntry(r.entry);
        ASSERT_TRUE(file);
        EXPECT_EQ(*file, ReferenceText(r.file));
    }
}

TEST(DesktopEntry, ReadsTheEntryBackFromTheReferenceFiles) {
    for (const Reference& r : kReferences) {
        SCOPED_TRACE(r.file);
        EXPECT_EQ(ParseDesktopEntry(ReferenceText(r.file)), std::optional<std::string>(r.entry));
    }
}

TEST(DesktopEntry, ReadingBackGivesExactlyTheTextWritten) {
    const char* entries[] = {
        " /lead/space RIVA_TNT 1 2",
        "/trailing/space  RIVA_TNT 1 2",
        "/literal\\s/and\\n/escapes RIVA_TNT 1 2",
        "/opt/Täkt/ünïcode/tarvento RIVA_TNT 110 100",
        "/a;b=c[d]#e/tarvento RIVA_TNT 110 100",
        "/x RIVA%u 50% %%",
        "/ / / /",
    };
    for (const char* entry : entries) {
        SCOPED_TRACE(entry);
        const std::optional<std::string> file = FormatDesktopEntry(entry);
        ASSERT_TRUE(file);
        EXPECT_EQ(ParseDesktopEntry(*file), std::optional<std::string>(entry));
    }
}

TEST(DesktopEntry, RefusesTextTheFormatCannotCarry) {
    const std::string refused[] = {
        "/opt/new\nline/tarvento RIVA_TNT 110 100",
        "/opt/tab\there/tarvento RIVA_TNT 110 100",
        "/opt/cr\r/tarvento RIVA_TNT 110 100",
        std::string("/opt/nul\0/tarvento RIVA_TNT 110 100", 35),
        "/opt/del\x7f/tarvento RIVA_TNT 110 100",
        "/opt/c1\xc2\x85/tarvento RIVA_TNT 110 100",      // U+0085, a line break to some
        "/opt/latin1\xe9/tarvento RIVA_TNT 110 100",      // not UTF-8
        "/opt/overlong\xc0\xaf/tarvento RIVA_TNT 110 100",
        "/opt/surrogate\xed\xa0\x80/tarvento RIVA_TNT 110 100",
        "/opt/beyond\xf4\x90\x80\x80/tarvento RIVA_TNT 110 100",
        "/opt/cut\xe2\x82",
    };
    for (const std::string& entry : refused) {
        SCOPED_TRACE(entry);
        EXPECT_FALSE(DesktopEntryCanCarry(entry));
        EXPECT_FALSE(FormatDesktopEntry(entry));
    }
    EXPECT_TRUE(DesktopEntryCanCarry("/opt/\xe2\x82\xac/\xf0\x9f\x98\x80 RIVA_TNT 1 2"));
}

TEST(DesktopEntry, NeedsFourFields) {
    EXPECT_FALSE(FormatDesktopEntry(""));
    EXPECT_FALSE(FormatDesktopEntry("/usr/bin/tarvento RIVA_TNT 110"));
    EXPECT_FALSE(FormatDesktopEntry("/usr/bin/tarvento RIVA_TNT  110"));  // an empty field
    EXPECT_FALSE(FormatDesktopEntry("/usr/bin/tarvento RIVA_TNT 110 100 "));
    EXPECT_FALSE(FormatDesktopEntry(" RIVA_TNT 110 100"));  // no path

    const std::optional<AutostartFields> f =
        SplitAutostartEntry("/opt/a b/tarvento RIVA_TNT 110 100");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->programPath, "/opt/a b/tarvento");
    EXPECT_EQ(f->chipName, "RIVA_TNT");
    EXPECT_EQ(f->memClock, "110");
    EXPECT_EQ(f->chipClock, "100");
}

// The reference files cover %, quotes, $, ` and \; these are the other cases.
TEST(DesktopEntry, ExecArguments) {
    EXPECT_EQ(ExecArgument(""), "\"\"");
    EXPECT_EQ(ExecArgument("a'b"), "\"a'b\"");
    EXPECT_EQ(ExecArgument("~user"), "\"~user\"");
}

TEST(DesktopEntry, ParsingFindsTheKeyOnlyInItsGroup) {
    EXPECT_EQ(ParseDesktopEntry("# written by hand\n"
                                "[Other]\n"
                                "X-Tarvento-Entry=wrong\n"
                                "[Desktop Entry]\n"
                                "# X-Tarvento-Entry=commented\n"
                                "Name=Tarvento\n"
                                "X-Tarvento-Entry  =  /a b c d\n"
                                "X-Tarvento-Entry=second\n"),
              std::optional<std::string>("/a b c d"));
    EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nName=Tarvento\n"));
    EXPECT_FALSE(ParseDesktopEntry("[Other]\nX-Tarvento-Entry=/a b c d\n"));
    EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nX-Tarvento-Entry=/a\\x b c d\n"));
    EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nX-Tarvento-Entry=/a b c d\\\n"));
    EXPECT_FALSE(ParseDesktopEntry(""));
    // A file cut short still gives its last line.
    EXPECT_EQ(ParseDesktopEntry("[Desktop Entry]\nX-Tarvento-Entry=/a b c d"),
              std::optional<std::string>("/a b c d"));
}

}  // namespace
}  // namespace tarvento
