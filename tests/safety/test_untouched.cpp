// SPDX-License-Identifier: GPL-3.0-or-later
// Starts that must leave every card as it was, to the byte: --info, an interactive start
// left by Exit, a cancelled warning, and any start on a chip the program does not know,
// even when the command line asks for clocks and every handler is reached.
#include <QTest>
#include <cstdio>

#include "tests/safety/safety_rig.h"
#include "tests/support/program_runner.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

using Texts = std::vector<std::string>;

// A card the program must not recognise, with register files that would show a write.
virtualcard::VirtualCard Unknown(uint16_t vendorId, uint16_t deviceId) {
    virtualcard::VirtualCard card = *virtualcard::StockCard("RIVA_TNT");
    card.vendorId = vendorId;
    card.deviceId = deviceId;
    return card;
}

class Untouched : public SafetyRig {
protected:
    void ExpectNothingChanged(const std::string& what) {
        const auto wrong = ForbiddenChanges(first, TakeSnapshot(tree.Root()));
        for (const std::string& w : wrong) ADD_FAILURE() << what << ": " << w;
        EXPECT_FALSE(EntryExists()) << what << " wrote an autostart entry";
    }
};

class UntouchedByAStart : public Untouched, public ::testing::WithParamInterface<const char*> {};

TEST_P(UntouchedByAStart, InteractiveAndLeftByExit) {
    AddCards(*virtualcard::StockCard(GetParam()), true);
    MakeWindow("", false);
    const int code = Run([&](ui::TunerDialogWindow& w) {
        EXPECT_EQ(Step("the start", false, [] {}), Texts{kWarningText});
        Step("Exit", false, [&] { QTest::mouseClick(w.Control(kIdCancel), Qt::LeftButton); });
    });
    EXPECT_EQ(code, kIdCancel);
    EXPECT_EQ(chip->currentChipName, std::string(GetParam()));
    ExpectNothingChanged(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Chips, UntouchedByAStart, ::testing::Values("RIVA_TNT", "RIVA_128ZX"),
                         [](const auto& info) { return std::string(info.param); });

TEST_F(Untouched, ACancelledWarningClosesTheWindowWithoutAWrite) {
    AddCards(*virtualcard::StockCard("RIVA_TNT"), true);
    // With and without clocks on the command line that name another chip.
    for (const char* arguments : {"", "RIVA_128 120 100"}) {
        SCOPED_TRACE(arguments);
        MakeWindow(arguments, true);
        boxes->Give(MessageAnswer::Cancel);
        if (*arguments != '\0') boxes->Give(MessageAnswer::Ok);  // "wrong Chipset in ComandLine !"
        EXPECT_EQ(window->exec(), kIdCancel);
        EXPECT_FALSE(window->isVisible());
        const Texts seen = boxes->Take();
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.front(), kWarningText);
        ExpectNothingChanged(arguments);
        window.reset();
    }
}

// Neither is recognised: the TNT's device id under the vendor id that names only the
// RIVA 128 family, and a later NVIDIA chip.
class UnknownChip : public Untouched, public ::testing::WithParamInterface<PciId> {
protected:
    void SetUp() override {
        Untouched::SetUp();
        AddCards(Unknown(GetParam().vendorId, GetParam().deviceId), false);
        first = TakeSnapshot(tree.Root());
    }
};

// The controls are disabled without a chip; the handlers behind them are called as well,
// so a window that enabled them by mistake would still write nothing.
TEST_P(UnknownChip, IsNeverWrittenWhateverTheUserDoes) {
    MakeWindow("RIVA_TNT 120 100", false);  // would be an unattended start on a TNT
    Run([&](ui::TunerDialogWindow& w) {
        EXPECT_EQ(w.GetControlText(kIdChipsetText), kChipsetUnknown);
        Step("the start", false, [] {});
        Step("every control", false, [&] {
            for (int id : {kIdMemTrackbar, kIdChipTrackbar}) {
                w.Control(id)->setFocus();
                QTest::keyClick(w.Control(id), Qt::Key_End);
                w.Tuner().OnHScroll(id);
            }
            for (int id : {kIdSetClockNow, kIdPanic, kIdAutostartCheck})
                QTest::mouseClick(w.Control(id), Qt::LeftButton);
        });
        Step("the handlers themselves", false, [&] {
            w.Tuner().SetClockNow();
            w.Tuner().RestoreClocks();
            w.Tuner().OnAutostartClicked();
        });
        Step("Exit", false, [&] { w.reject(); });
    });
    EXPECT_EQ(chip->currentChipName, nullptr);
    ExpectNothingChanged("the window");
}

// The built program without a display, as a login session or a user's shell starts it.
class UntouchedProgram : public Untouched {
protected:
    ProgramResult Start(const std::vector<std::string>& args) {
        return RunProgram(TARVENTO_PROGRAM, args,
                          {{"TARVENTO_SYSFS_ROOT", tree.RootString()},
                           {"XDG_CONFIG_DIRS", (tree.Root() / "xdg").string()},
                           {"XDG_CONFIG_HOME", (tree.Root() / "config").string()}},
                          {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
    }
};

TEST_F(UntouchedProgram, InfoReadsEveryChipAndWritesNothing) {
    AddCards(*virtualcard::StockCard("RIVA_TNT"), true);
    virtualcard::VirtualCard riva = *virtualcard::StockCard("RIVA_128");
    riva.slot = SysfsSlot{0, 3, 0, 0};
    riva.bar0 = 0xE2000000;
    tree.Add(riva);
    first = TakeSnapshot(tree.Root());
    for (int run = 0; run < 2; ++run) {  // a second run reads what the first left
        const ProgramResult r = Start({"--info"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("Chipset: RIVA_TNT"), std::string::npos) << r.out;
    }
    ExpectNothingChanged("--info");
}

TEST_P(UnknownChip, RefusesEveryStartOfTheProgram) {
    const std::map<std::string, std::string> environment = {
        {"TARVENTO_SYSFS_ROOT", tree.RootString()}, {"XDG_CONFIG_DIRS", (tree.Root() / "xdg").string()},
        {"XDG_CONFIG_HOME", (tree.Root() / "config").string()}};
    const std::vector<std::string> noDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    const ProgramResult info = RunProgram(TARVENTO_PROGRAM, {"--info"}, environment, noDisplay);
    EXPECT_EQ(info.status, 1);
    EXPECT_NE(info.out.find("Chipset: Unknown"), std::string::npos) << info.out;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"RIVA_TNT", "120", "100"}, {"RIVA_128", "100", "100"}, {}}) {
        const ProgramResult r = RunProgram(TARVENTO_PROGRAM, args, environment, noDisplay);
        EXPECT_NE(r.status, 0) << "a start that wrote nothing must not report success";
        EXPECT_FALSE(r.timedOut);
    }
    ExpectNothingChanged("the program");
}

INSTANTIATE_TEST_SUITE_P(Ids, UnknownChip,
                         // and a TNT's device id under the vendor id it does not answer with
                         ::testing::Values(kUnsupportedCard, PciId{0x12D2, 0x0020}),
                         [](const auto& info) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Id%04X_%04X", info.param.vendorId, info.param.deviceId);
                             return std::string(name);
                         });

}  // namespace
}  // namespace tarvento::testing
