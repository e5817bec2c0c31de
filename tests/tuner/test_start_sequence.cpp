// SPDX-License-Identifier: GPL-3.0-or-later
// The interactive start on each supported chip: what the window shows, what it keeps,
// and that starting never writes to the chip.
#include "tests/tuner/tuner_rig.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

using StartSequence = TunerRig;

TEST_F(StartSequence, TntGetsIndependentSlidersWithItsOwnLimitsAndClocks) {
    InsertTnt(kWordN150, kWordN150);  // 89 MHz memory, 90 MHz core

    EXPECT_EQ(Start(), 1);

    EXPECT_EQ(controls.Text(kIdChipsetText), "RIVA_TNT");
    EXPECT_EQ(Fields().linkMode, 2);
    const auto mem = controls.TrackbarState(kIdMemTrackbar);
    const auto core = controls.TrackbarState(kIdChipTrackbar);
    EXPECT_EQ(mem.minimum, 80);
    EXPECT_EQ(mem.maximum, 145);
    EXPECT_EQ(mem.position, 89);
    EXPECT_EQ(core.minimum, 80);
    EXPECT_EQ(core.maximum, 130);
    EXPECT_EQ(core.position, 90);
    EXPECT_EQ(controls.Text(kIdMemClockText), "89");
    EXPECT_EQ(controls.Text(kIdChipClockText), "90");
    EXPECT_EQ(Current(), (ClockPair{89, 90}));
    EXPECT_EQ(Saved(), (ClockPair{89, 90}));

    // Only the warning, with Cancel as an answer; the window stays open.
    const auto messages = controls.EventsOf(Event::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kWarningText);
    EXPECT_EQ(messages[0].value, 1) << "the warning offers OK and Cancel";
    EXPECT_TRUE(controls.EndDialogCodes().empty());
    EXPECT_TRUE(controls.EventsOf(Event::Enable).empty()) << "every control stays usable";
    EXPECT_TRUE(hw.Writes().empty());
    EXPECT_FALSE(dialog->UnattendedStart());
}

TEST_F(StartSequence, Riva128FamilyGetsLinkedSlidersOverOneClock) {
    struct Case {
        uint16_t vendor, device;
        const char* name;
    };
    for (const Case c : {Case{0x10DE, 0x0018, "RIVA_128"}, Case{0x12D2, 0x0018, "RIVA_128"},
                         Case{0x12D2, 0x0019, "RIVA_128ZX"}}) {
        SCOPED_TRACE(c.name);
        FakeHardware machine;
        ChipState state{machine};
        FakeDialogControls window;
        machine.lastBus = 0;
        machine.AddFunction(0, 3, 0, c.vendor, c.device, kClassVgaCompatible, kBase | 0x8);
        machine.SetRegister(kStrap, kStrapSet);
        machine.SetRegister(kMemPll, WordReading(Riva128ClockFromPll, 112));
        TunerDialog d(window, {state, store, "", kProgramPath});

        d.OnInitDialog();

        EXPECT_EQ(window.Text(kIdChipsetText), c.name);
        EXPECT_EQ(d.Fields().linkMode, 1);
        for (int id : {kIdMemTrackbar, kIdChipTrackbar}) {
            EXPECT_EQ(window.TrackbarState(id).minimum, 90);
            EXPECT_EQ(window.TrackbarState(id).maximum, 130);
            EXPECT_EQ(window.TrackbarState(id).position, 112);
        }
        EXPECT_EQ(window.Text(kIdMemClockText), "112");
        EXPECT_EQ(window.Text(kIdChipClockText), "112");
        EXPECT_EQ(d.Fields().savedMemClock, 112);
        EXPECT_EQ(d.Fields().savedChipClock, 112);
        EXPECT_TRUE(machine.Writes().empty());
    }
}

TEST_F(StartSequence, ClockReadOutsideTheLimitsIsShownAndKeptWhileTheThumbStopsAtTheLimit) {
    InsertRiva128(kWordN150);  // reads 89 MHz; the sliders start at 90

    Start();

    EXPECT_EQ(controls.TrackbarState(kIdMemTrackbar).position, 90);
    EXPECT_EQ(controls.TrackbarState(kIdChipTrackbar).position, 90);
    EXPECT_EQ(controls.Text(kIdMemClockText), "89");
    EXPECT_EQ(controls.Text(kIdChipClockText), "89");
    EXPECT_EQ(Current(), (ClockPair{89, 89}));
    EXPECT_EQ(Saved(), (ClockPair{89, 89}));
}

TEST_F(StartSequence, StartsFromEmptyControlsThenShowsTheStoredAutostartEntry) {
    InsertTnt();
    store.Put(std::string(kProgramPath) + " RIVA_TNT 110 100");

    Start();

    // The toolkit's first exchange clears every bound control before anything is read.
    const std::vector<Event> first(controls.Log().begin(), controls.Log().begin() + 6);
    EXPECT_EQ(first, (std::vector<Event>{{Event::Check, kIdAutostartCheck, "", 0, 0},
                                         {Event::Text, kIdChipsetText, "", 0, 0},
                                         {Event::Text, kIdChipClockText, "", 0, 0},
                                         {Event::Text, kIdMemClockText, "", 0, 0},
                                         {Event::Text, kIdAutoChipText, "", 0, 0},
                                         {Event::Text, kIdAutoMemText, "", 0, 0}}));
    ASSERT_FALSE(store.Calls().empty());
    EXPECT_EQ(store.Calls().front(), "OpenToRead");

    // The autostart settings survive the rest of the start sequence's exchanges.
    EXPECT_EQ(controls.Check(kIdAutostartCheck), 1);
    EXPECT_EQ(Fields().autostartOn, 1);
    EXPECT_EQ(controls.Text(kIdAutoMemText), "110");
    EXPECT_EQ(controls.Text(kIdAutoChipText), "100");
    EXPECT_EQ(controls.Text(kIdChipsetText), "RIVA_TNT");
    EXPECT_TRUE(store.Changes().empty()) << "starting never writes the entry";
}

TEST_F(StartSequence, DataExchangeMovesExactlyTheSixBoundFields) {
    InsertTnt();
    StartAndAccept();

    TunerFields& f = Fields();
    f.autostartCheck = 1;
    f.chipsetText = "chip";
    f.chipClockText = "1";
    f.memClockText = "2";
    f.autoChipText = "3";
    f.autoMemText = "4";
    dialog->UpdateData(false);
    EXPECT_EQ(controls.Log(), (std::vector<Event>{{Event::Check, kIdAutostartCheck, "", 1, 0},
                                                  {Event::Text, kIdChipsetText, "chip", 0, 0},
                                                  {Event::Text, kIdChipClockText, "1", 0, 0},
                                                  {Event::Text, kIdMemClockText, "2", 0, 0},
                                                  {Event::Text, kIdAutoChipText, "3", 0, 0},
                                                  {Event::Text, kIdAutoMemText, "4", 0, 0}}));

    controls.SetCheck(kIdAutostartCheck, 0);
    controls.SetControlText(kIdChipsetText, "a");
    controls.SetControlText(kIdChipClockText, "b");
    controls.SetControlText(kIdMemClockText, "c");
    controls.SetControlText(kIdAutoChipText, "d");
    controls.SetControlText(kIdAutoMemText, "e");
    dialog->UpdateData(true);
    EXPECT_EQ(f.autostartCheck, 0);
    EXPECT_EQ(f.chipsetText, "a");
    EXPECT_EQ(f.chipClockText, "b");
    EXPECT_EQ(f.memClockText, "c");
    EXPECT_EQ(f.autoChipText, "d");
    EXPECT_EQ(f.autoMemText, "e");
    // The clocks are the window's own and never come from the texts.
    EXPECT_EQ(Current(), (ClockPair{89, 90}));
}

}  // namespace
}  // namespace tarvento::testing
