// SPDX-License-Identifier: GPL-3.0-or-later
// A FIFO (or a folder) where the program keeps a record: every start and service that
// reads it finishes at once, as it would without the record, and says why it did not read
// it. A FIFO opened for reading waits for a writer: read naively it hangs the login, the
// boot or the resume for ever.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/robust/robust_support.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

struct Record {
    const char* name;
    const char* path;  // under the test's folder: machine/ stands for /, state/ for XDG_STATE_HOME
    std::vector<std::string> args;
    int status;        // the exit status without the record
    const char* says;  // what the output says of it, after its path
};

const Record kRecords[] = {
    {"LoginApply", "state/tarvento/last-apply", {"RIVA_TNT", "120", "100"}, 0,
     " is not a regular file): it counts as none"},
    {"LoginApplyInfo", "state/tarvento/last-apply", {"--info"}, 0, " is not a regular file)"},
    {"BootApply", "machine/var/lib/tarvento/last-apply", {"--apply-boot-clocks"}, 0,
     " is not a regular file): it counts as none"},
    {"BootClocks", "machine/etc/tarvento/boot-clocks", {"--apply-boot-clocks"}, 1,
     " is not a regular file; nothing was applied"},
    {"BootClocksInfo", "machine/etc/tarvento/boot-clocks", {"--info"}, 0, " is not a regular file)"},
    {"FirmwareReset", "machine/var/lib/tarvento/firmware-clocks", {"--reset"}, 1,
     " is not a regular file; nothing was written"},
    {"FirmwareInfo", "machine/var/lib/tarvento/firmware-clocks", {"--info"}, 0, " is not a regular file)"},
    {"SleepWords", "machine/run/tarvento-sleep/pll-words", {"--after-resume"}, 1,
     " is not a regular file; nothing was written"},
};

void PrintTo(const Record& r, std::ostream* os) { *os << r.name; }

enum class Odd { Fifo, Folder };

class RecordNotAFile : public TreeTest, public ::testing::WithParamInterface<std::tuple<Record, Odd>> {};

TEST_P(RecordNotAFile, EveryReaderFinishesAndSaysWhy) {
    const auto& [record, odd] = GetParam();
    tree.AddTnt(1, 0, 0, 0xE0000000);
    const fs::path machine = tree.Root() / "machine";
    fs::create_directories(machine / "proc/sys/kernel/random");
    std::ofstream(machine / "proc/sys/kernel/random/boot_id") << "b1\n";
    std::ofstream(machine / "proc/cmdline") << "quiet\n";
    fs::create_directories(machine / "etc/tarvento");
    if (std::string(record.path) != "machine/etc/tarvento/boot-clocks")
        std::ofstream(machine / "etc/tarvento/boot-clocks") << "RIVA_TNT 115 95\n";
    const fs::path odd_ = tree.Root() / record.path;
    fs::create_directories(odd_.parent_path());
    if (odd == Odd::Fifo) {
        ASSERT_EQ(::mkfifo(odd_.c_str(), 0644), 0);
    } else {
        fs::create_directory(odd_);
    }

    std::map<std::string, std::string> set = Environment();
    set["TARVENTO_MACHINE_ROOT"] = machine.string();
    set["XDG_STATE_HOME"] = (tree.Root() / "state").string();
    set["TARVENTO_SURVIVAL_SECONDS"] = "0";  // the boot service watches its apply that long
    const ProgramResult r = RunProgram(TARVENTO_PROGRAM, record.args, set, kDisplayVariables, 15);

    ASSERT_FALSE(r.timedOut) << "waited on the " << (odd == Odd::Fifo ? "FIFO" : "folder");
    // A folder cannot be replaced by a record: an apply that must write one says so too.
    const bool replaces = record.status == 0 && record.args[0] != "--info";
    if (odd == Odd::Fifo || !replaces) {
        EXPECT_EQ(r.status, record.status) << r.out << r.err;
    }
    EXPECT_NE((r.out + r.err).find(odd_.string() + record.says), std::string::npos) << r.out << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    EveryRecord, RecordNotAFile,
    ::testing::Combine(::testing::ValuesIn(kRecords), ::testing::Values(Odd::Fifo, Odd::Folder)),
    [](const ::testing::TestParamInfo<std::tuple<Record, Odd>>& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) == Odd::Fifo ? "_Fifo" : "_Folder");
    });

}  // namespace
}  // namespace tarvento::testing
