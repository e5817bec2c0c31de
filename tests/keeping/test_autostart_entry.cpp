// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/autostart_entry.h"

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chip/chip_table.h"
#include "chip/running_program.h"
#include "keeping/desktop_entry.h"
#include "keeping/xdg_autostart_store.h"
#include "tests/support/fake_autostart_window.h"
#include "tests/support/fake_hardware.h"
#include "tests/support/message_recorder.h"
#include "tests/support/recording_autostart_store.h"
#include "tests/support/temp_folder.h"
#include "texts/user_texts.h"

namespace tarvento {
namespace {

using testing::FakeAutostartWindow;
using testing::FakeHardware;
using testing::MessageRecorder;
using testing::RecordingAutostartStore;
using testing::ScopedEnv;
using testing::TempFolder;

using Strings = std::vector<std::string>;

const std::string kProgram = "/opt/tarvento/tarvento";
const std::string kOpen = "OpenToRead";
const std::string kCreate = "OpenToWrite";
const std::string kQuery = "ReadEntry";
const std::string kDelete = "RemoveEntry";
const std::string kClose = "Close";
const std::string kAutostartFailed = std::string("message ") + kMsgAutostartAccessFailed;
const std::string kPciFailed = std::string("message ") + kMsgPciAccessFailed;

std::string Set(const std::string& entry) { return "StoreEntry " + entry; }

// ---- LoadAutostartState ------------------------------------------------------------

class LoadAutostartStateTest : public ::testing::Test {
protected:
    void Load(const std::string& programPath = kProgram) {
        LoadAutostartState(window, store, programPath);
    }
    void Stored(const std::string& entry) { store.Put(entry); }

    FakeAutostartWindow window;
    RecordingAutostartStore store;
};

TEST_F(LoadAutostartStateTest, EntryNamingThisProgramShowsItsClocks) {
    Stored(kProgram + " RIVA_TNT 110 100");
    Load();
    EXPECT_EQ(store.Calls(), (Strings{kOpen, kQuery, kClose}));
    EXPECT_EQ(window.events, (Strings{"read", "write check=1 mem=110 chip=100"}));
    EXPECT_EQ(window.fields.autostartOn, 1);
}

TEST(LoadAutostartState, WhatStoredEntriesShow) {
    struct Case {
        std::string stored;
        std::string programPath;
        const char* shown;
    };
    const Case cases[] = {
        // A zero clock shows the placeholders, but autostart stays on.
        {kProgram + " RIVA_TNT 0 120", kProgram, "write check=1 mem=--- chip=---"},
        {"/usr/local/bin/tarvento RIVA_TNT 110 100", kProgram, "write check=0 mem=--- chip=---"},
        // The path has no spaces, so the third word from the end does not exist.
        {kProgram + " RIVA_TNT 110", kProgram, "write check=1 mem=--- chip=---"},
        {kProgram, kProgram, "write check=1 mem=--- chip=---"},
        {kProgram + "  RIVA_TNT 110 100", kProgram, "write check=1 mem=110 chip=100"},
        {"/opt/my tools/tarvento RIVA_128 95 95", "/opt/my tools/tarvento",
         "write check=1 mem=95 chip=95"},
        {kProgram + " RIVA_TNT 110 4294967396", kProgram, "write check=1 mem=--- chip=---"},
        // Another program of the same folder, or one whose name merely begins the same.
        {"/opt/tarvento/other RIVA_TNT 110 100", kProgram, "write check=0 mem=--- chip=---"},
        {kProgram + "-1.3 RIVA_TNT 110 100", kProgram, "write check=0 mem=--- chip=---"},
        {"/opt/my RIVA_128 95 95", "/opt/my tools/tarvento", "write check=0 mem=--- chip=---"},
        // A program whose path could not be learnt is named by nothing.
        {kProgram + " RIVA_TNT 110 100", "", "write check=0 mem=--- chip=---"},
        {" RIVA_TNT 110 100", "", "write check=0 mem=--- chip=---"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored + " for " + c.programPath);
        FakeAutostartWindow window;
        RecordingAutostartStore store;
        store.Put(c.stored);
        LoadAutostartState(window, store, c.programPath);
        EXPECT_EQ(window.events, (Strings{"read", c.shown}));
    }
}

// The working folder plays no part: started from a home folder, from / or from its own
// folder, the program sees its own entry as on and another program's as off.
TEST(LoadAutostartState, SameAnswerFromEveryWorkingFolder) {
    TempFolder home;
    const std::string program = ProgramPath();
    ASSERT_FALSE(program.empty());
    const std::filesystem::path before = std::filesystem::current_path();
    for (const std::string& folder :
         {home.Path().string(), std::string("/"),
          std::filesystem::path(program).parent_path().string()}) {
        SCOPED_TRACE(folder);
        std::filesystem::current_path(folder);
        for (const auto& [stored, shown] :
             {std::pair<std::string, const char*>{program + " RIVA_TNT 110 100",
                                                  "write check=1 mem=110 chip=100"},
              {"/usr/bin/tarvento RIVA_TNT 110 100", "write check=0 mem=--- chip=---"},
              {folder + "/tarvento RIVA_TNT 110 100", "write check=0 mem=--- chip=---"}}) {
            FakeAutostartWindow window;
            RecordingAutostartStore store;
            store.Put(stored);
            LoadAutostartState(window, store, ProgramPath());
            EXPECT_EQ(window.events, (Strings{"read", shown})) << stored;
        }
    }
    std::filesystem::current_path(before);
}

TEST_F(LoadAutostartStateTest, NoStoredValueIsOff) {
    Load();
    EXPECT_EQ(store.Calls(), (Strings{kOpen, kQuery, kClose}));
    EXPECT_EQ(window.events, (Strings{"read", "write check=0 mem=--- chip=---"}));
}

TEST_F(LoadAutostartStateTest, OpenFailureShowsTheMessageAndChangesNothing) {
    store.failOpen = true;
    Load();
    EXPECT_EQ(store.Calls(), Strings{kOpen});
    EXPECT_EQ(window.events, Strings{kAutostartFailed});
    EXPECT_EQ(window.controls.autoMem, "");
    EXPECT_EQ(window.controls.autoChip, "");
    EXPECT_EQ(window.fields.autostartOn, 0);
}

// ---- UpdateAutostartEntry ----------------------------------------------------------

class UpdateAutostartEntryTest : public ::testing::Test {
protected:
    UpdateAutostartEntryTest() : chip(hardware) {
        hardware.AddFunction(0, 3, 0, 0x10DE, 0x0020, 0x0300, 0xE0000008);
        chip.currentChipName = kRivaTntName;
        window.fields.memClock = 110;
        window.fields.chipClock = 100;
    }
    void Click(int check, const std::string& programPath = kProgram) {
        window.controls.check = check;
        UpdateAutostartEntry(window, store, chip, programPath);
    }

    FakeHardware hardware;
    ChipState chip;
    FakeAutostartWindow window;
    RecordingAutostartStore store;
};

TEST_F(UpdateAutostartEntryTest, TurningOnWritesTheEntry) {
    Click(1);
    const std::string entry = kProgram + " RIVA_TNT 110 100";
    EXPECT_EQ(store.Calls(), (Strings{kCreate, Set(entry), kClose}));
    EXPECT_EQ(store.StoredEntry(), entry);
    EXPECT_EQ(window.events, (Strings{"read", "write check=1 mem=110 chip=100"}));
    EXPECT_EQ(window.fields.autostartOn, 1);
    EXPECT_EQ(chip.discovery.registerBase, 0xE0000000u);  // discovery ran again
}

TEST_F(UpdateAutostartEntryTest, TurningOffDeletesWithoutWritingFirst) {
    store.Put(kProgram + " RIVA_TNT 90 90");
    window.fields.autostartOn = 1;
    Click(0);
    EXPECT_EQ(store.Calls(), (Strings{kCreate, kDelete, kClose}));
    EXPECT_EQ(store.StoredEntry(), std::nullopt);
    EXPECT_EQ(window.events, (Strings{"read", "read", "write check=0 mem=--- chip=---"}));
    EXPECT_EQ(window.fields.autostartOn, 0);
}

TEST_F(UpdateAutostartEntryTest, RecordsTheWindowClocksAsTheyStand) {
    window.fields.memClock = 0;
    window.fields.chipClock = -5;
    Click(1);
    EXPECT_EQ(store.StoredEntry(), kProgram + " RIVA_TNT 0 -5");
    EXPECT_EQ(window.events.back(), "write check=1 mem=0 chip=-5");  // 0, not "---"
}

TEST_F(UpdateAutostartEntryTest, FailedDiscoveryIsReportedAndTheEntryStillWritten) {
    FakeHardware empty;
    ChipState bare(empty);
    bare.currentChipName = kRivaTntName;
    window.controls.check = 1;
    UpdateAutostartEntry(window, store, bare, kProgram);
    EXPECT_EQ(window.events,
              (Strings{kPciFailed, "read", "write check=1 mem=110 chip=100"}));
    EXPECT_EQ(store.StoredEntry(), kProgram + " RIVA_TNT 110 100");
    // The box says why, as the one at start does.
    ASSERT_EQ(window.reasons.size(), 1u);
    EXPECT_EQ(window.reasons[0], ReasonText(DiscoveryFailureReason(empty)));
    EXPECT_FALSE(window.reasons[0].empty());
}

// A failed write leaves the window showing what is stored, not what was asked for.
TEST_F(UpdateAutostartEntryTest, FailedTurningOnShowsWhatIsStored) {
    struct Case {
        const char* fault;
        std::optional<std::string> stored;
        const char* shown;
    };
    const Case cases[] = {
        {"create", std::nullopt, "write check=0 mem=--- chip=---"},
        {"set", std::nullopt, "write check=0 mem=--- chip=---"},
        {"set", kProgram + " RIVA_TNT 95 85", "write check=1 mem=95 chip=85"},
        {"set", "/usr/bin/other RIVA_TNT 95 85", "write check=0 mem=--- chip=---"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fault) + " " + c.stored.value_or("(none)"));
        FakeAutostartWindow window;
        window.fields.memClock = 110;
        window.fields.chipClock = 100;
        window.controls.check = 1;
        RecordingAutostartStore store;
        if (c.stored) store.Put(*c.stored);
        store.failCreate = std::string(c.fault) == "create";
        store.failSet = std::string(c.fault) == "set";
        UpdateAutostartEntry(window, store, chip, kProgram);
        EXPECT_EQ(window.events, (Strings{"read", kAutostartFailed, "read", c.shown}));
        EXPECT_EQ(window.fields.autostartOn, window.controls.check);
        EXPECT_EQ(store.StoredEntry(), c.stored);
    }
}

TEST_F(UpdateAutostartEntryTest, StoreUnreadableAfterAFailedWriteLeavesTheCheckBoxAsItWas) {
    store.failSet = true;
    store.failOpen = true;
    window.controls.autoMem = "---";
    window.controls.autoChip = "---";
    Click(1);
    EXPECT_EQ(window.events, (Strings{"read", kAutostartFailed, "read", "write check=0 mem=--- chip=---"}));
    EXPECT_EQ(window.fields.autostartOn, 0);
}

// Turning off fails only when an entry of this program's is still there afterwards.
TEST_F(UpdateAutostartEntryTest, TurningOffFailsOnlyWhenOurEntryStays) {
    struct Case {
        const char* fault;
        std::optional<std::string> stored;
        Strings events;
    };
    const Case cases[] = {
        // Nothing to take away: the folder that cannot be made holds nothing either.
        {"create", std::nullopt, {"read", "read", "write check=0 mem=--- chip=---"}},
        {"delete", "/usr/bin/other RIVA_TNT 95 85",
         {"read", "read", "write check=0 mem=--- chip=---"}},
        {"delete", kProgram + " RIVA_TNT 95 85",
         {"read", kAutostartFailed, "read", "write check=1 mem=95 chip=85"}},
        {"create", kProgram + " RIVA_TNT 95 85",
         {"read", kAutostartFailed, "read", "write check=1 mem=95 chip=85"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fault) + " " + c.stored.value_or("(none)"));
        FakeAutostartWindow window;
        window.fields.autostartOn = 1;
        window.controls.check = 0;
        RecordingAutostartStore store;
        if (c.stored) store.Put(*c.stored);
        store.failCreate = std::string(c.fault) == "create";
        store.failDelete = std::string(c.fault) == "delete";
        UpdateAutostartEntry(window, store, chip, kProgram);
        EXPECT_EQ(window.events, c.events);
        EXPECT_EQ(window.fields.autostartOn, window.controls.check);
        EXPECT_EQ(store.Changes().size(), store.failCreate ? 1u : 2u) << "nothing is written";
    }
}

TEST_F(UpdateAutostartEntryTest, WithoutAChipTurningOnIsRefusedAndOffStillRemoves) {
    chip.currentChipName = nullptr;
    window.controls.check = 1;
    UpdateAutostartEntry(window, store, chip, kProgram);
    EXPECT_EQ(store.Calls(), Strings{});
    EXPECT_EQ(window.events, (Strings{"read", "read", "write check=0 mem= chip="}));

    store.Put(kProgram + " RIVA_TNT 110 100");
    window.events.clear();
    window.fields.autostartOn = 1;
    window.controls.check = 0;
    UpdateAutostartEntry(window, store, chip, kProgram);
    EXPECT_EQ(store.Changes(), (Strings{kCreate, kDelete}));
    EXPECT_EQ(store.StoredEntry(), std::nullopt);
    EXPECT_EQ(window.events, (Strings{"read", "read", "write check=0 mem=--- chip=---"}));
    EXPECT_TRUE(hardware.Log().empty()) << "no discovery without a chip";
}

TEST_F(UpdateAutostartEntryTest, EntryTooLongIsRefusedAndNothingWritten) {
    const std::string longPath = "/" + std::string(AutostartEntryCapacity(), 'p');
    Click(1, longPath);
    EXPECT_EQ(store.Calls(), Strings{});
    EXPECT_EQ(window.events,
              (Strings{"read", kAutostartFailed, "read", "write check=0 mem= chip="}));
    EXPECT_EQ(window.fields.autostartOn, 0);
}

// ---- WriteAutostartEntry and the entry's text --------------------------------------------

TEST(WriteAutostartEntry, ReportsWhatHappened) {
    MessageRecorder owner;
    RecordingAutostartStore store;
    EXPECT_TRUE(WriteAutostartEntry(owner, store, true, "text"));
    EXPECT_TRUE(WriteAutostartEntry(owner, store, false, "text"));
    EXPECT_TRUE(owner.shown.empty());

    store.failCreate = true;
    EXPECT_FALSE(WriteAutostartEntry(owner, store, true, "text"));
    store.failCreate = false;
    store.failSet = true;
    EXPECT_FALSE(WriteAutostartEntry(owner, store, true, "text"));
    EXPECT_TRUE(WriteAutostartEntry(owner, store, false, "text"))
        << "turning off does not write";
    store.failSet = false;
    store.failDelete = true;
    EXPECT_FALSE(WriteAutostartEntry(owner, store, false, "text"));
    EXPECT_EQ(owner.Texts(), Strings(3, kMsgAutostartAccessFailed));
    for (const auto& shown : owner.shown) EXPECT_EQ(shown.buttons, MessageButtons::Ok);
}

TEST(BuildAutostartEntry, FieldsAndBounds) {
    EXPECT_EQ(BuildAutostartEntry("/usr/bin/tarvento", kRiva128ZxName, INT32_MIN, 7),
              "/usr/bin/tarvento RIVA_128ZX -2147483648 7");
    EXPECT_EQ(BuildAutostartEntry("/usr/bin/tarvento", nullptr, 110, 100), std::nullopt);
    EXPECT_EQ(BuildAutostartEntry("/usr/bin/tarvento", "", 110, 100), std::nullopt);

    // The longest path Linux has, with the widest fields, fits; one byte more does not.
    const std::string longest(PATH_MAX - 1, 'p');
    const std::optional<std::string> widest =
        BuildAutostartEntry(longest, "RIVA_128ZX_", INT32_MIN, INT32_MIN);
    ASSERT_TRUE(widest);
    EXPECT_LE(widest->size(), AutostartEntryCapacity());
    const std::string filler(AutostartEntryCapacity() - widest->size() + 1, 'q');
    EXPECT_EQ(BuildAutostartEntry(longest + filler, "RIVA_128ZX_", INT32_MIN, INT32_MIN),
              std::nullopt);
    EXPECT_TRUE(BuildAutostartEntry(longest + filler.substr(1), "RIVA_128ZX_", INT32_MIN,
                                    INT32_MIN));
}

// ---- Through real files ------------------------------------------------------------

// A program file at `path`: the desktop starts only a program that is there.
void MakeProgram(const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    testing::WriteFile(path, "#!/bin/sh\n");
    ::chmod(path.c_str(), 0755);
}

// A click writes Tarvo.desktop into the user's folder $XDG_CONFIG_HOME names, and the
// next start reads it back as on, with its clocks; a click off removes it.
TEST(AutostartThroughXdgFolder, ClickThenLoadThenClickOff) {
    TempFolder tmp;
    ScopedEnv home("XDG_CONFIG_HOME", (tmp / "config").c_str());
    ScopedEnv dirs("XDG_CONFIG_DIRS", (tmp / "xdg").c_str());
    XdgAutostartStore store(XdgAutostartStore::UserFolderFromEnvironment(),
                            XdgAutostartStore::MachineFoldersFromEnvironment());
    FakeHardware hardware;
    hardware.AddFunction(0, 5, 0, 0x10DE, 0x0020, 0x0300, 0xE0000000);
    ChipState chip(hardware);
    chip.currentChipName = kRivaTntName;
    const std::string program = tmp / "bin dir/tarvento";
    MakeProgram(program);

    FakeAutostartWindow clicked;
    clicked.fields.memClock = 125;
    clicked.fields.chipClock = 105;
    clicked.controls.check = 1;
    UpdateAutostartEntry(clicked, store, chip, program);
    EXPECT_TRUE(std::filesystem::exists(tmp / "config/autostart/Tarvo.desktop"));
    EXPECT_FALSE(std::filesystem::exists(tmp / "xdg"));

    FakeAutostartWindow next;
    LoadAutostartState(next, store, program);
    EXPECT_EQ(next.events, (Strings{"read", "write check=1 mem=125 chip=105"}));

    next.controls.check = 0;
    UpdateAutostartEntry(next, store, chip, program);
    EXPECT_FALSE(std::filesystem::exists(tmp / "config/autostart/Tarvo.desktop"));
    EXPECT_EQ(next.events.back(), "write check=0 mem=--- chip=---");
}

// Turning off while the machine's folder holds an entry of this program's: the user's
// file hides it, and the window, the next start and the store agree it is off.
TEST(AutostartThroughXdgFolder, OffHidesTheMachineEntryAndOnOverridesIt) {
    TempFolder tmp;
    const std::string program = tmp / "bin/tarvento";
    MakeProgram(program);
    const std::string user = tmp / "config/autostart";
    const std::string machine = tmp / "xdg/autostart";
    std::filesystem::create_directories(machine);
    testing::WriteFile(machine + "/Tarvo.desktop",
                       *FormatDesktopEntry(program + " RIVA_TNT 110 100"));
    XdgAutostartStore store(user, {machine});
    FakeHardware hardware;
    hardware.AddFunction(0, 5, 0, 0x10DE, 0x0020, 0x0300, 0xE0000000);
    ChipState chip(hardware);
    chip.currentChipName = kRivaTntName;

    FakeAutostartWindow window;
    LoadAutostartState(window, store, program);
    EXPECT_EQ(window.events.back(), "write check=1 mem=110 chip=100");

    window.controls.check = 0;
    UpdateAutostartEntry(window, store, chip, program);
    EXPECT_EQ(window.events.back(), "write check=0 mem=--- chip=---");
    EXPECT_EQ(testing::ReadFile(user + "/Tarvo.desktop"), FormatHiddenDesktopEntry());
    FakeAutostartWindow next;
    LoadAutostartState(next, store, program);
    EXPECT_EQ(next.events.back(), "write check=0 mem=--- chip=---");

    next.fields.memClock = 120;
    next.fields.chipClock = 95;
    next.controls.check = 1;
    UpdateAutostartEntry(next, store, chip, program);
    FakeAutostartWindow third;
    LoadAutostartState(third, store, program);
    EXPECT_EQ(third.events.back(), "write check=1 mem=120 chip=95");
    EXPECT_EQ(testing::ReadFile(machine + "/Tarvo.desktop"),
              FormatDesktopEntry(program + " RIVA_TNT 110 100"))
        << "the machine's file is never written";
}

TEST(AutostartThroughXdgFolder, PathTheFormatCannotCarryIsRefused) {
    TempFolder tmp;
    XdgAutostartStore store(tmp / "autostart");
    FakeHardware hardware;
    hardware.AddFunction(0, 5, 0, 0x10DE, 0x0020, 0x0300, 0xE0000000);
    ChipState chip(hardware);
    chip.currentChipName = kRivaTntName;
    FakeAutostartWindow window;
    window.controls.check = 1;
    UpdateAutostartEntry(window, store, chip, "/opt/new\nline/tarvento");
    EXPECT_EQ(window.events,
              (Strings{"read", kAutostartFailed, "read", "write check=0 mem=--- chip=---"}));
    EXPECT_EQ(testing::FileNames(tmp / "autostart"), std::set<std::string>{});
}

}  // namespace
}  // namespace tarvento
