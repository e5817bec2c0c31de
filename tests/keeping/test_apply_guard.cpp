// SPDX-License-Identifier: GPL-3.0-or-later
// The guard of unattended applies: what it lets through, what it records first, and the
// record that a power cut or a hand edit may leave.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "keeping/apply_guard.h"
#include "tests/support/temp_folder.h"

namespace tarvento {
namespace {

namespace fs = std::filesystem;

// What an unattended apply does with its guard: the verdict, then, when it may apply and
// is about to write, the pending record.
ApplyGuard::Verdict CheckAndRecord(ApplyGuard& guard) {
    const ApplyGuard::Verdict verdict = guard.Check();
    if (verdict == ApplyGuard::Verdict::Apply) guard.RecordPending("RIVA_TNT", {110, 90});
    return verdict;
}

class ApplyGuardTest : public ::testing::Test {
protected:
    testing::TempFolder folder;
    fs::path root = folder.Path();
    fs::path record = root / "state/tarvento/last-apply";
    void SetUp() override { fs::create_directories(root / "proc/sys/kernel/random"); }
    void Write(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    GuardMachine Machine(const std::string& bootId, const std::string& cmdline) {
        Write(root / "proc/sys/kernel/random/boot_id", bootId + "\n");
        Write(root / "proc/cmdline", cmdline + "\n");
        return GuardMachine{(root / "proc").string()};
    }
};

ApplyRecord Record(ApplyRecord::State state, const std::string& boot) {
    return {state, boot, 1796700000, "RIVA_TNT", {120, 100}};
}

TEST_F(ApplyGuardTest, LetsThroughOnlyWhatDidNotHangTheMachineAndRecordsItFirst) {
    using S = ApplyRecord::State;
    using V = ApplyGuard::Verdict;
    struct Case {
        const char* name;
        std::optional<ApplyRecord> previous;
        const char* cmdline;
        V verdict;
    };
    const Case cases[] = {
        {"first apply ever", std::nullopt, "quiet", V::Apply},
        {"last one survived", Record(S::Survived, "boot-1"), "quiet", V::Apply},
        {"pending from this boot (a second start)", Record(S::Pending, "boot-2"), "quiet", V::Apply},
        {"pending from an earlier boot", Record(S::Pending, "boot-1"), "quiet", V::DidNotSurvive},
        {"the way out", std::nullopt, "root=/dev/sda1 tarvento.noapply quiet", V::NoApplyWord},
        {"the way out wins", Record(S::Pending, "boot-1"), "tarvento.noapply", V::NoApplyWord},
        {"a longer word is not it", std::nullopt, "tarvento.noapplyx xtarvento.noapply", V::Apply},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root / "state");
        if (c.previous) Write(record, FormatApplyRecord(*c.previous));
        ApplyGuard guard(record.string(), ApplySource::Login, Machine("boot-2", c.cmdline));
        EXPECT_EQ(CheckAndRecord(guard), c.verdict);
        const std::optional<ApplyRecord> now = ReadApplyRecord(record.string());
        if (c.verdict == V::Apply) {
            // Pending, of this boot, with the clocks about to be written.
            ASSERT_TRUE(now.has_value());
            EXPECT_EQ(now->state, S::Pending);
            EXPECT_EQ(now->bootId, "boot-2");
            EXPECT_EQ(now->clocks, (ClockPair{110, 90}));
            EXPECT_TRUE(guard.Written().has_value());
            EXPECT_TRUE(guard.RefusalText().empty());
            // The watch marks exactly this record survived, and no other.
            EXPECT_FALSE(MarkApplySurvived(record.string(), "boot-2", now->time,
                                           Machine("boot-3", c.cmdline)))
                << "a watch left over from another boot";
            const GuardMachine machine = Machine("boot-2", c.cmdline);
            EXPECT_FALSE(MarkApplySurvived(record.string(), "boot-1", now->time, machine));
            EXPECT_FALSE(MarkApplySurvived(record.string(), "boot-2", now->time + 1, machine));
            EXPECT_TRUE(MarkApplySurvived(record.string(), "boot-2", now->time, machine));
            EXPECT_EQ(ReadApplyRecord(record.string())->state, S::Survived);
        } else {
            // Refused: the record stays as it was, and the reason says how to go on.
            EXPECT_FALSE(guard.Written().has_value());
            EXPECT_EQ(now.has_value(), c.previous.has_value());
            EXPECT_FALSE(guard.RefusalText().empty());
            if (c.verdict == V::DidNotSurvive) {
                EXPECT_NE(guard.RefusalText().find("Mem Clock 120 MHz"), std::string::npos);
                EXPECT_NE(guard.RefusalText().find("untick and tick"), std::string::npos);
            }
        }
    }
}

TEST_F(ApplyGuardTest, ARecordThatIsNotWholeRefusesNothingAndIsReplaced) {
    const std::string whole = FormatApplyRecord(Record(ApplyRecord::State::Pending, "boot-1"));
    ASSERT_TRUE(ParseApplyRecord(whole).has_value());
    for (const std::string& text :
         {std::string(), whole.substr(0, whole.size() / 2), std::string("state=gone\n") + whole,
          whole + "memory=12x\n", std::string("\x01\x02garbage")}) {
        EXPECT_FALSE(ParseApplyRecord(text).has_value()) << text;
        Write(record, text);
        ApplyGuard guard(record.string(), ApplySource::Boot, Machine("boot-2", ""));
        EXPECT_EQ(CheckAndRecord(guard), ApplyGuard::Verdict::Apply);
        EXPECT_TRUE(ReadApplyRecord(record.string()).has_value());
    }
}

TEST_F(ApplyGuardTest, NoFolderForTheRecordStillApplies) {
    ApplyGuard guard("", ApplySource::Login, Machine("boot-2", ""));
    EXPECT_EQ(CheckAndRecord(guard), ApplyGuard::Verdict::Apply);
    EXPECT_FALSE(guard.RecordError().empty());
    // A file where the folder should be: the apply goes on and says why it was not recorded.
    Write(root / "state", "not a folder");
    ApplyGuard blocked(record.string(), ApplySource::Login, Machine("boot-2", ""));
    EXPECT_EQ(CheckAndRecord(blocked), ApplyGuard::Verdict::Apply);
    EXPECT_FALSE(blocked.RecordError().empty());
    EXPECT_FALSE(blocked.Written().has_value());
}

}  // namespace
}  // namespace tarvento
