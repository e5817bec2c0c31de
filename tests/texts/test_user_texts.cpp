// SPDX-License-Identifier: GPL-3.0-or-later
// The words the user reads for what went wrong. The expected texts are written out here on
// purpose: this is the independent check of their wording, for the sentences that no test
// of a whole start, boot or sleep meets.
#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>

#include "chip/registers.h"
#include "texts/user_texts.h"

namespace tarvento {
namespace {

using Kind = AccessFailure::Kind;

AccessFailure Failure(Kind kind, std::string path, std::string slot, uint64_t value, int error = 0) {
    AccessFailure f = AccessFailure::Of(kind, value);
    f.path = std::move(path);
    f.slot = std::move(slot);
    f.error = error;
    f.access.path = f.path;
    f.access.error = error;
    return f;
}

AccessFailure NotProgrammed(uint32_t select, uint32_t bits, std::optional<ChipArchitecture> architecture) {
    AccessFailure f = AccessFailure::Of(Kind::PllNotProgrammed, select);
    f.bits = bits;
    f.architecture = architecture;
    return f;
}

// What a sentence built from parts shows when a part came out empty: "bit  clear",
// " runs from", "()".
std::string FlawOf(const std::string& text) {
    if (text.empty()) return "empty";
    if (text.find('\n') != std::string::npos) return "more than one line";
    if (text.front() == ' ' || text.back() == ' ') return "a space at an end";
    for (const char* flaw : {"  ", " ,", " ;", " :", " )", "( ", "()", ",,", ", ,"})
        if (text.find(flaw) != std::string::npos) return std::string("\"") + flaw + "\"";
    return {};
}

TEST(UserTexts, EveryFailureTheMachineReportsIsOnePlainSentence) {
    // Each kind gets words of its own: a kind left without them would show an empty box,
    // and headless a reason is one line below its message. The facts are the fewest a
    // kind can come with (no select bits, no architecture): the words must still hold.
    const int first = static_cast<int>(Kind::PciFolderTooLong);
    const int last = static_cast<int>(Kind::PllSelectNoAnswer);
    for (int k = first; k <= last; ++k) {
        const std::string text = ReasonText(Failure(static_cast<Kind>(k), "/p", "0000:01:00.0", 0x10, EIO));
        EXPECT_EQ(FlawOf(text), "") << "kind " << k << ": " << text;
    }
    EXPECT_EQ(ReasonText(AccessFailure{}), "");
    // Each select bit alone and together, on either chip.
    for (const uint32_t bits : {kPllSelectMemBit, kPllSelectCoreBit, kPllSelectMemBit | kPllSelectCoreBit, 0x1u})
        for (const auto architecture : {ChipArchitecture::Nv3, ChipArchitecture::Nv4}) {
            const std::string text = ReasonText(NotProgrammed(0, bits, architecture));
            EXPECT_EQ(FlawOf(text), "") << text;
        }
}

TEST(UserTexts, TheWordsOfFailuresAndOfTheUnattendedPaths) {
    const std::string slot = "0000:01:00.0";
    const std::string resource = "/sys/bus/pci/devices/0000:01:00.0/resource0";
    const std::pair<std::string, std::string> cases[] = {
        {ReasonText(Failure(Kind::PciFolderTooLong, std::string(70, 'x'), {}, 0)),
         "the PCI folder name is too long: " + std::string(64, 'x') + "..."},
        {ReasonText(Failure(Kind::ConfigReadFailed, {}, slot, 0x3C)),
         "cannot read the PCI configuration space of 0000:01:00.0 at byte 0x3C"},
        {ReasonText(Failure(Kind::ConfigIsLink, {}, slot, 0)),
         "cannot read the PCI configuration space of 0000:01:00.0: its config is a symbolic link, "
         "which is not followed"},
        {ReasonText(Failure(Kind::OutsideBar0, {}, slot, 0xE1000100)),
         "address 0xE1000100 lies outside BAR0 of the adapter 0000:01:00.0; it was not touched"},
        {ReasonText(Failure(Kind::BarNotPageAligned, {}, {}, 0xE0000800)),
         "the BAR holding 0xE0000800 does not start on a page and cannot be mapped"},
        {ReasonText(Failure(Kind::NotRegularFile, resource, {}, 0)),
         resource + " is not a regular file; it was not mapped"},
        {ReasonText(Failure(Kind::Bar0Above4GiB, {}, {}, 0x1E0000000)),
         "BAR0 of the display adapter lies above 4 GiB (0x00000001E0000000), out of reach of a 32-bit "
         "register base; its registers were not touched"},
        {ReasonText(AccessFailure::Of(Kind::RegistersUnreached)),
         "the chip's clock registers could not be reached"},
        // What sets the bits, by chip, and what to do about it.
        {ReasonText(NotProgrammed(0x10000600, kPllSelectMemBit, ChipArchitecture::Nv4)),
         "the memory PLL runs from the chip's built-in clock, not from its programmed word (the PLL "
         "select word at offset 0x0068050C reads 0x10000600, bit 8 clear), so a new word would not "
         "change its clock and nothing was written; nouveau, the nv X driver and rivafb switch it to "
         "its programmed word when they set a display mode: let a driver set a display mode, for "
         "example start X or switch to a text console and back, then try again"},
        {ReasonText(NotProgrammed(0x00000000, kPllSelectMemBit | kPllSelectCoreBit, ChipArchitecture::Nv4)),
         "the memory PLL and the core PLL run from the chip's built-in clock, not from their "
         "programmed words (the PLL select word at offset 0x0068050C reads 0x00000000, bits 8 and 10 "
         "clear), so new words would not change their clocks and nothing was written; nouveau, the nv "
         "X driver and rivafb switch them to their programmed words when they set a display mode: let "
         "a driver set a display mode, for example start X or switch to a text console and back, then "
         "try again"},
        {ReasonText(NotProgrammed(0x10010000, kPllSelectMemBit, ChipArchitecture::Nv3)),
         "the memory PLL runs from the chip's built-in clock, not from its programmed word (the PLL "
         "select word at offset 0x0068050C reads 0x10010000, bit 8 clear), so a new word would not "
         "change its clock and nothing was written; the nv X driver and rivafb switch it to its "
         "programmed word when they set a display mode: let a driver set a display mode, for example "
         "start X or switch to a text console and back, then try again"},
        // Facts that name no PLL and no chip still make a sentence.
        {ReasonText(NotProgrammed(0x00000010, 0, std::nullopt)),
         "the PLLs the program sets run from the chip's built-in clock, not from their programmed "
         "words (the PLL select word at offset 0x0068050C reads 0x00000010), so new words would not "
         "change their clocks and nothing was written; a graphics driver switches them to their "
         "programmed words when it sets a display mode: let a driver set a display mode, for example "
         "start X or switch to a text console and back, then try again"},
        {ReasonText(AccessFailure::Of(Kind::PllSelectNoAnswer, 0xFFFFFFFF)),
         "the PLL select word at offset 0x0068050C reads 0xFFFFFFFF although the PLL words answer: no "
         "driver leaves that word, so it does not tell which clock each PLL runs from, and nothing was "
         "written"},
        {UnsupportedAdapterText(0x5333, 0x8A22), "the display adapter 5333:8A22 is not a supported chip"},
        {StartArgumentsTooLongText(259),
         "the start-up arguments are longer than 259 characters and were ignored"},
        {ApplyNotRecordedText("disk full"), "the apply was not recorded: disk full"},
        {kNoStateFolder, "no folder to keep it in (XDG_STATE_HOME and HOME are not set)"},
        {std::string(kMsgClocksNotApplied) + " " + NoApplyWordText("tarvento.noapply"),
         "The clocks were not applied. The kernel command line says tarvento.noapply: no clocks are "
         "applied without you at this boot."},
        {kSecureExecutionRefusal,
         "refusing to run setuid, setgid or with file capabilities; to reach the card, join the group "
         "tarvento instead (sudo usermod -aG tarvento $USER, then log in again)"},
        {NoEntryPointText("/lib/x.so", "run"), "the window library /lib/x.so has no entry point run"},
        {BootClocksNotStoredText("cannot write /etc/x"),
         "the boot clocks were not stored: cannot write /etc/x"},
        {BootClocksUnreadableText("/etc/b"), "/etc/b holds no chip name and two clocks; nothing was applied"},
        {ClocksNotSavedText("cannot write /run/x"),
         "the clocks were not saved before sleep: cannot write /run/x"},
        {kNothingSavedToRestore, "No clocks to restore after resume: none were saved before sleep"},
        {NotASavedCardText("/run/w"), "/run/w is not a saved card; nothing was written"},
        {NotASupportedChipAfterResumeText("why"),
         "the card does not answer as a supported chip after resume (why); nothing was written"},
        {NotTheSavedCardText(slot, "0000:02:00.0"),
         "the card at 0000:01:00.0 is not the one whose clocks were saved (0000:02:00.0); nothing was "
         "written"},
        {kPllWordsUnreadAfterResume, "the card's PLL words cannot be read after resume; nothing was written"},
        {NotRestoredText("why"), "the clocks were not restored after resume: why"},
        {NotAllRestoredText("why"), "the clocks were not all restored after resume: why"},
        {kCannotWatchSurvival, "cannot watch whether the machine survives the clocks"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace tarvento
