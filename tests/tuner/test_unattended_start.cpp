// SPDX-License-Identifier: GPL-3.0-or-later
// The start with this chip's name and two clocks: apply, show the notice, end; no warning.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/tuner/tuner_rig.h"
#include "texts/user_texts.h"
#include "tests/support/temp_folder.h"

namespace tarvento::testing {
namespace {

using UnattendedStart = TunerRig;

TEST_F(UnattendedStart, AppliesTheClocksShowsTheNoticeAndEnds) {
    InsertTnt();
    std::vector<Access> writesWhenNoticeShown;
    controls.onNotice = [&](const std::string&) { writesWhenNoticeShown = hw.Writes(); };

    EXPECT_EQ(Start("RIVA_TNT 100 100"), 1);

    const std::vector<Access> expected{Write(kMemPll, kTntMemAt100),
                                       Write(kCorePll, kTntCoreAt100)};
    EXPECT_EQ(hw.Writes(), expected);
    EXPECT_EQ(writesWhenNoticeShown, expected) << "the clocks are written before the notice";
    EXPECT_TRUE(controls.Messages().empty()) << "no warning";
    EXPECT_EQ(controls.NoticeRuns(), std::vector<std::string>{"RIVA_TNT"});
    EXPECT_EQ(controls.EndDialogCodes(), std::vector<int>{kIdCancel});
    EXPECT_EQ(controls.Log().back().kind, Event::EndDialog);
    EXPECT_TRUE(dialog->UnattendedStart());
    EXPECT_TRUE(dialog->UnattendedStartSucceeded());
    // The window was still set up from the chip, as the sequence reads it before the scan.
    EXPECT_EQ(Saved(), (ClockPair{89, 90}));
    EXPECT_EQ(Current(), (ClockPair{100, 100}));
}

TEST_F(UnattendedStart, Riva128AppliesTheMemoryValueOnly) {
    InsertRiva128(kWordN150, 0x0019);

    Start("RIVA_128ZX 100 120");

    EXPECT_EQ(hw.Writes(), (std::vector<Access>{Write(kMemPll, kRiva128At100)}));
    EXPECT_EQ(controls.NoticeRuns(), std::vector<std::string>{"RIVA_128ZX"});
    EXPECT_TRUE(dialog->UnattendedStartSucceeded());
}

// A core PLL with M = 48, P = 0: no N reaches a chip clock within the limits, while the
// memory clock is taken; the outcome is said once, the notice follows, the start ends. A
// value outside the limits is refused the same way, with the limits below the message,
// and nothing at all is written.
struct RefusedStart {
    uint32_t coreWord;
    const char* arguments;
    std::vector<Access> writes;
    const char* why;  // the box's informative text, or none
};

class UnattendedStartRefused : public TunerRig, public ::testing::WithParamInterface<RefusedStart> {};

TEST_P(UnattendedStartRefused, IsReportedThenTheNoticeThenTheEnd) {
    const RefusedStart& c = GetParam();
    InsertTnt(kWordN150, c.coreWord);
    Start(c.arguments);

    std::vector<Event::Kind> tail;
    for (const Event& e : controls.Log())
        if (e.kind == Event::Message || e.kind == Event::Notice || e.kind == Event::EndDialog)
            tail.push_back(e.kind);
    EXPECT_EQ(tail, (std::vector<Event::Kind>{Event::Message, Event::Notice, Event::EndDialog}));
    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgFrequencyOutOfRange});
    EXPECT_EQ(controls.informativeTexts,
              c.why != nullptr ? std::vector<std::string>{c.why} : std::vector<std::string>{});
    EXPECT_EQ(hw.Writes(), c.writes);
    EXPECT_TRUE(dialog->UnattendedStart());
    EXPECT_FALSE(dialog->UnattendedStartSucceeded());
}

INSTANTIATE_TEST_SUITE_P(
    RefusedClocks, UnattendedStartRefused,
    ::testing::Values(RefusedStart{0x00009630, "RIVA_TNT 100 100", {{Access::Write, kMemPll, kTntMemAt100}}, nullptr},
                      RefusedStart{kWordN150, "RIVA_TNT 300 100", {},
                                   "Mem Clock 300 MHz is outside RIVA_TNT's 80..145 MHz; nothing was written"}));

TEST_F(UnattendedStart, AnyMessageDuringTheStartMeansItDidNotSucceed) {
    InsertTnt();
    store.failOpen = true;  // "Registry Access failed !" while loading the autostart state

    Start("RIVA_TNT 100 100");

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgAutostartAccessFailed});
    EXPECT_EQ(hw.Writes().size(), 2u) << "the clocks are applied all the same";
    EXPECT_EQ(controls.EndDialogCodes(), std::vector<int>{kIdCancel});
    EXPECT_TRUE(dialog->UnattendedStart());
    EXPECT_FALSE(dialog->UnattendedStartSucceeded());
}

TEST_F(UnattendedStart, OnlyTheExactNameWithBothClocksStartsUnattended) {
    for (const char* arguments :
         {"riva_tnt 100 100", "RIVA_TNT 100", "RIVA_TNT 100 x", "RIVA_TNTX 100 100",
          "RIVA_TNT_AND_MORE 100 100", "RIVA_128 100 100", "RIVA_TNT 100 99999999999"}) {
        SCOPED_TRACE(arguments);
        FakeHardware machine;
        ChipState state{machine};
        FakeDialogControls window;
        machine.AddFunction(0, 1, 0, 0x10DE, 0x0020, kClassVgaCompatible, kBase);
        machine.SetRegister(kStrap, kStrapSet);
        machine.SetRegister(kMemPll, kWordN150);
        machine.SetRegister(kCorePll, kWordN150);
        TunerDialog d(window, {state, store, arguments, kProgramPath});

        d.OnInitDialog();

        EXPECT_FALSE(d.UnattendedStart());
        EXPECT_TRUE(machine.Writes().empty());
        EXPECT_TRUE(window.NoticeRuns().empty());
        ASSERT_FALSE(window.Messages().empty());
        EXPECT_EQ(window.Messages().front(), kWarningText);
    }
}

// A start whose last apply did not survive: nothing is written, the window says why and
// how to go on, no notice follows, and ticking the box again clears the way.
TEST_F(UnattendedStart, AGuardThatRefusesWritesNothingAndTheBoxClearsIt) {
    namespace fs = std::filesystem;
    const TempFolder folder;
    const fs::path& root = folder.Path();
    fs::create_directories(root / "proc/sys/kernel/random");
    std::ofstream(root / "proc/sys/kernel/random/boot_id") << "boot-2\n";
    std::ofstream(root / "proc/cmdline") << "quiet\n";
    const fs::path record = root / "last-apply";
    std::ofstream(record) << FormatApplyRecord({ApplyRecord::State::Pending, "boot-1", 1796700000,
                                                "RIVA_TNT", {120, 100}});
    ApplyGuard refusing(record.string(), ApplySource::Login, GuardMachine{(root / "proc").string()});
    guard = &refusing;
    InsertTnt();

    Start("RIVA_TNT 100 100");
    EXPECT_TRUE(hw.Writes().empty());
    EXPECT_EQ(controls.Messages(), std::vector<std::string>{ApplyGuard::RefusalHeadline()});
    ASSERT_EQ(controls.informativeTexts.size(), 1u);
    EXPECT_NE(controls.informativeTexts[0].find("untick and tick"), std::string::npos);
    EXPECT_TRUE(controls.NoticeRuns().empty());
    EXPECT_EQ(controls.EndDialogCodes(), std::vector<int>{kIdCancel});
    EXPECT_FALSE(dialog->UnattendedStartSucceeded());
    EXPECT_TRUE(fs::exists(record)) << "the record stays until the owner chooses again";

    controls.ClearLog();
    StartAndAccept();
    controls.UserTogglesCheck(kIdAutostartCheck);
    dialog->OnAutostartClicked();
    EXPECT_EQ(Fields().autostartOn, 1);
    EXPECT_FALSE(fs::exists(record));
}

}  // namespace
}  // namespace tarvento::testing
