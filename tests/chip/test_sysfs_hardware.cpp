// SPDX-License-Identifier: GPL-3.0-or-later
// The machine through sysfs, on virtual trees: the bus listing, configuration reads as
// two halves, and chip registers through mappings of resourceN that never answer from a copy.

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "chip/registers.h"
#include "chip/sysfs_hardware.h"
#include "tests/support/card_constants.h"
#include "tests/support/virtual_tree.h"

namespace tarvento {
namespace {

using namespace testing;

namespace fs = std::filesystem;
using testing::VirtualTree;
using Kind = AccessFailure::Kind;

// The failure the machine reports last, as facts: its kind and the fields the kind fills
// (the words are the texts' business).
void ExpectFailure(const HardwareAccess& hw, Kind kind, uint64_t value, const std::string& slot = {},
                   int error = 0, const std::string& path = {}) {
    const AccessFailure f = hw.FailureReason();
    EXPECT_EQ(f.kind, kind);
    EXPECT_EQ(f.value, value);
    EXPECT_EQ(f.slot, slot);
    EXPECT_EQ(f.error, error);
    EXPECT_EQ(f.path, path);
}


std::string CaptureStderrOf(const std::function<void()>& run) {
    ::testing::internal::CaptureStderr();
    run();
    return ::testing::internal::GetCapturedStderr();
}

// --- The listing ---

TEST(SysfsListing, LastBusIsTheHighestBusOfDomainZero) {
    VirtualTree tree;
    tree.AddFunction(0, 0, 0, 0x8086, 0x1237, 0x060000, 0);
    tree.AddFunction(3, 0, 0, 0x10DE, 0x0020, 0x030000, 0);
    virtualcard::VirtualCard other;
    other.slot = SysfsSlot{1, 9, 0, 0};  // another domain does not count
    other.vendorId = 0x8086;
    tree.Add(other);
    fs::create_directories(tree.Root() / "devices" / "not-a-slot");
    std::ofstream(tree.Root() / "devices" / "0000:0a:00.9");  // function 9 does not exist
    SysfsHardware hw(tree.RootString());
    EXPECT_EQ(hw.LastBusNumber(), 3);
}

TEST(SysfsListing, EmptyOrMissingDevicesFolder) {
    VirtualTree tree;
    SysfsHardware missing(tree.RootString());
    EXPECT_EQ(missing.LastBusNumber(), -1);
    fs::create_directories(tree.Root() / "devices");
    SysfsHardware empty(tree.RootString());
    EXPECT_EQ(empty.LastBusNumber(), 0);
}

TEST(SysfsListing, AnOverlongRootIsNoBusRatherThanALibpciAbort) {
    SysfsHardware hw("/" + std::string(2000, 'x'));
    uint16_t low = 0, high = 0;
    EXPECT_EQ(hw.LastBusNumber(), -1);
    EXPECT_TRUE(hw.ReadConfigDword(0, 0, 0, 0, low, high));
    EXPECT_EQ(low, 0xFFFF);
}

TEST(SysfsListing, RootFromTheEnvironment) {
    const char* saved = std::getenv("TARVENTO_SYSFS_ROOT");
    const std::string keep = saved != nullptr ? saved : "";
    setenv("TARVENTO_SYSFS_ROOT", "/tmp/some-card", 1);
    EXPECT_EQ(SysfsHardware::SysfsRootFromEnvironment(), "/tmp/some-card");
    setenv("TARVENTO_SYSFS_ROOT", "", 1);
    EXPECT_EQ(SysfsHardware::SysfsRootFromEnvironment(), "/sys/bus/pci");
    unsetenv("TARVENTO_SYSFS_ROOT");
    EXPECT_EQ(SysfsHardware::SysfsRootFromEnvironment(), "/sys/bus/pci");
    if (saved != nullptr) setenv("TARVENTO_SYSFS_ROOT", keep.c_str(), 1);
}

// --- Configuration reads ---

TEST(SysfsConfig, ReadsBothHalvesOfAPresentFunction) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, 0xE0000008);
    SysfsHardware hw(tree.RootString());
    ASSERT_EQ(hw.LastBusNumber(), 1);
    uint16_t low = 0, high = 0;
    ASSERT_TRUE(hw.ReadConfigDword(1, 0, 0, 0x00, low, high));
    EXPECT_EQ(low, 0x10DE);
    EXPECT_EQ(high, 0x0020);
    ASSERT_TRUE(hw.ReadConfigDword(1, 0, 0, 0x08, low, high));
    EXPECT_EQ(high, 0x0300);
    ASSERT_TRUE(hw.ReadConfigDword(1, 0, 0, 0x10, low, high));
    EXPECT_EQ(low, 0x0008);
    EXPECT_EQ(high, 0xE000);
}

TEST(SysfsConfig, AnAbsentFunctionAnswersAllOnesFromTheListing) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    SysfsHardware hw(tree.RootString());
    ASSERT_EQ(hw.LastBusNumber(), 1);
    uint16_t low = 0, high = 0;
    EXPECT_TRUE(hw.ReadConfigDword(1, 0, 1, 0, low, high));
    EXPECT_EQ(low, 0xFFFF);
    EXPECT_EQ(high, 0xFFFF);

    // A function that appears after the listing is not looked for on the disk until
    // the next listing: absent functions cost no system call.
    tree.AddFunction(1, 1, 0, 0x8086, 0x1237, 0x060000, 0);
    EXPECT_TRUE(hw.ReadConfigDword(1, 1, 0, 0, low, high));
    EXPECT_EQ(low, 0xFFFF);
    ASSERT_EQ(hw.LastBusNumber(), 1);
    EXPECT_TRUE(hw.ReadConfigDword(1, 1, 0, 0, low, high));
    EXPECT_EQ(low, 0x8086);
}

TEST(SysfsConfig, AShortReadOnTheSecondHalfFailsWithTheLowHalfStored) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, 0xE0000008);
    fs::resize_file(tree.SlotDir(1, 0, 0) / "config", 0x12);  // ends after BAR0's low half
    SysfsHardware hw(tree.RootString());
    ASSERT_EQ(hw.LastBusNumber(), 1);
    uint16_t low = 0x1111, high = 0x2222;
    const std::string err = CaptureStderrOf([&] { EXPECT_FALSE(hw.ReadConfigDword(1, 0, 0, 0x10, low, high)); });
    EXPECT_EQ(low, 0x0008);
    EXPECT_EQ(high, 0x2222);
    EXPECT_EQ(err, "") << "the reason is for the layer that tells the user";
    // The end is found by reading, inside the standard header: a failure with its place.
    ExpectFailure(hw, Kind::ConfigEndsEarly, 18, "0000:01:00.0");
    EXPECT_FALSE(hw.ReadConfigDword(1, 0, 0, 0x40, low, high));
}

TEST(SysfsConfig, AListedFunctionWithoutConfigFailsInOurWords) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    fs::remove(tree.SlotDir(1, 0, 0) / "config");
    SysfsHardware hw(tree.RootString());
    ASSERT_EQ(hw.LastBusNumber(), 1);
    uint16_t low = 0x1111, high = 0x2222;
    std::string err = CaptureStderrOf([&] { EXPECT_FALSE(hw.ReadConfigDword(1, 0, 0, 0, low, high)); });
    EXPECT_EQ(low, 0x1111);
    // libpci's own warning ("Cannot open ...") stays silent; the reason is ours.
    EXPECT_EQ(err, "");
    ExpectFailure(hw, Kind::ConfigUnreadable, 0, "0000:01:00.0", ENOENT);
}

// --- Registers ---

TEST(SysfsRegisters, ReadsTheWordsOfResource0) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    SysfsHardware hw(tree.RootString());
    EXPECT_EQ(hw.ReadRegister(kCorePll), 0x0001960Cu);
    EXPECT_EQ(hw.ReadRegister(kMemPll), 0x0001B80Cu);
    EXPECT_EQ(hw.ReadRegister(kBase + kStrapOffset), 0x00000040u);
    EXPECT_EQ(hw.ReadRegister(kBase), 0u) << "the first word of the BAR";
    EXPECT_EQ(hw.ReadRegister(kBase + 0x00FFFFFC), 0u) << "the last word of the BAR";
}

TEST(SysfsRegisters, AWritePersistsInResource0AndIsReadBack) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    const fs::path resource0 = tree.SlotDir(1, 0, 0) / "resource0";
    {
        SysfsHardware hw(tree.RootString());
        ASSERT_TRUE(hw.WriteRegister(kCorePll, 0x0001A70C));
        EXPECT_EQ(hw.ReadRegister(kCorePll), 0x0001A70Cu);
        EXPECT_EQ(tree.FileWord(resource0, kCorePllOffset), 0x0001A70Cu);
        EXPECT_EQ(hw.ReadRegister(kMemPll), 0x0001B80Cu) << "the neighbour is untouched";
    }
    SysfsHardware later(tree.RootString());
    EXPECT_EQ(later.ReadRegister(kCorePll), 0x0001A70Cu);
}

TEST(SysfsRegisters, AReadIsNeverAnsweredFromACopy) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    const fs::path resource0 = tree.SlotDir(1, 0, 0) / "resource0";
    SysfsHardware hw(tree.RootString());
    ASSERT_EQ(hw.ReadRegister(kMemPll), 0x0001B80Cu);
    tree.SetFileWord(resource0, kMemPllOffset, 0x0002C707);
    EXPECT_EQ(hw.ReadRegister(kMemPll), 0x0002C707u);
    volatile uint32_t* reg = hw.MapPhysical(kMemPll);
    ASSERT_NE(reg, nullptr);
    tree.SetFileWord(resource0, kMemPllOffset, 0x00012345);
    EXPECT_EQ(*reg, 0x00012345u);
}

TEST(SysfsRegisters, TheFirstMemoryBarThatHoldsTheAddressServesIt) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    tree.AddTnt(2, 0, 0, 0xE1000000);
    const fs::path second = tree.SlotDir(2, 0, 0) / "resource0";
    SysfsHardware hw(tree.RootString());
    ASSERT_TRUE(hw.WriteRegister(0xE1000000 + kCorePllOffset, 0x0001F20C));
    EXPECT_EQ(tree.FileWord(second, kCorePllOffset), 0x0001F20Cu);
    EXPECT_EQ(tree.FileWord(tree.SlotDir(1, 0, 0) / "resource0", kCorePllOffset), 0x0001960Cu);
}

TEST(SysfsRegisters, AnAddressInNoBarIsRefusedAndSaidOnce) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    const fs::path resource0 = tree.SlotDir(1, 0, 0) / "resource0";
    const auto before = tree.FileBytes(resource0);
    SysfsHardware hw(tree.RootString());
    EXPECT_EQ(hw.ReadRegister(0xD0000000), std::nullopt);
    ExpectFailure(hw, Kind::NoBar, 0xD0000000);
    EXPECT_FALSE(hw.WriteRegister(kBase + 0x01000000, 0x12345678)) << "one past the BAR";
    EXPECT_FALSE(hw.WriteRegister(kBase - 4, 0x12345678)) << "just below the BAR";
    EXPECT_EQ(hw.MapPhysical(0x10), nullptr);
    EXPECT_EQ(tree.FileBytes(resource0), before);
}

TEST(SysfsRegisters, ARegisterStraddlingTheEndOfABarIsRefused) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    const fs::path dir = tree.SlotDir(1, 0, 0);
    // A window ending two bytes into the memory PLL register.
    {
        std::ofstream resource(dir / "resource", std::ios::trunc);
        resource << "0x00000000e0000000 0x00000000e0680505 0x0000000000040200\n";
        for (int i = 0; i < 6; ++i) resource << "0x0000000000000000 0x0000000000000000 0x0000000000000000\n";
    }
    const auto before = tree.FileBytes(dir / "resource0");
    SysfsHardware hw(tree.RootString());
    EXPECT_EQ(hw.ReadRegister(kCorePll), 0x0001960Cu) << "wholly inside";
    EXPECT_EQ(hw.ReadRegister(kMemPll), std::nullopt);
    EXPECT_FALSE(hw.WriteRegister(kMemPll, 0xFFFFFFFF));
    ExpectFailure(hw, Kind::NoBar, kMemPll);
    EXPECT_EQ(tree.FileBytes(dir / "resource0"), before);
}

TEST(SysfsRegisters, IoAndUnusedWindowsServeNoRegister) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    const fs::path dir = tree.SlotDir(1, 0, 0);
    {
        std::ofstream resource(dir / "resource", std::ios::trunc);
        resource << "0x00000000e0000000 0x00000000e0ffffff 0x0000000000040101\n";  // I/O flags
        for (int i = 0; i < 6; ++i) resource << "0x0000000000000000 0x0000000000000000 0x0000000000000000\n";
    }
    SysfsHardware hw(tree.RootString());
    CaptureStderrOf([&] { EXPECT_EQ(hw.ReadRegister(kCorePll), std::nullopt); });
}

TEST(SysfsRegisters, AnUnalignedAddressIsRefused) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    const auto before = tree.FileBytes(tree.SlotDir(1, 0, 0) / "resource0");
    SysfsHardware hw(tree.RootString());
    EXPECT_FALSE(hw.WriteRegister(kCorePll + 2, 0xFFFFFFFF));
    ExpectFailure(hw, Kind::Unaligned, kCorePll + 2);
    EXPECT_EQ(tree.FileBytes(tree.SlotDir(1, 0, 0) / "resource0"), before);
}

TEST(SysfsRegisters, AResourceFileShorterThanTheRegisterIsNeverMapped) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    const fs::path resource0 = tree.SlotDir(1, 0, 0) / "resource0";
    fs::resize_file(resource0, kMemPllOffset + 2);  // the memory PLL would run past the end
    SysfsHardware hw(tree.RootString());
    EXPECT_EQ(hw.ReadRegister(kCorePll), 0x0001960Cu);
    EXPECT_EQ(hw.ReadRegister(kMemPll), std::nullopt);  // would be SIGBUS if touched
    ExpectFailure(hw, Kind::FileEndsBefore, kMemPll, {}, 0, resource0.string());
    EXPECT_EQ(hw.ReadRegister(kBase + kStrapOffset + 0x00800000), std::nullopt);
    EXPECT_EQ(fs::file_size(resource0), kMemPllOffset + 2u);
}

TEST(SysfsRegisters, AMissingResourceFileIsAFailureNotACrash) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    fs::remove(tree.SlotDir(1, 0, 0) / "resource0");
    SysfsHardware hw(tree.RootString());
    EXPECT_EQ(hw.ReadRegister(kCorePll), std::nullopt);
    const AccessFailure failure = hw.FailureReason();
    EXPECT_EQ(failure.kind, Kind::RegisterFile);
    EXPECT_EQ(failure.access.path, tree.RootString() + "/devices/0000:01:00.0/resource0");
    EXPECT_EQ(failure.access.step, RegisterAccessFacts::Step::Open);
    EXPECT_EQ(failure.access.error, ENOENT);
}

TEST(SysfsRegisters, ADeviceAddedLaterIsFound) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    SysfsHardware hw(tree.RootString());
    ASSERT_TRUE(hw.ReadRegister(kCorePll).has_value());
    tree.AddTnt(2, 0, 0, 0xE1000000);
    EXPECT_EQ(hw.ReadRegister(0xE1000000 + kCorePllOffset), 0x0001960Cu);
}

TEST(SysfsRegisters, WithoutWritePermissionTheMappingIsRefusedPlainly) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, kBase);
    const fs::path resource0 = tree.SlotDir(1, 0, 0) / "resource0";
    chmod(resource0.c_str(), 0400);
    // Root opens the file whatever its mode: from root the mapping is tried as nobody, in a
    // child, on a tree nobody may pass through.
    const bool asNobody = geteuid() == 0;
    if (asNobody) {
        chmod(tree.Root().c_str(), 0755);
        for (const auto& e : fs::recursive_directory_iterator(tree.Root()))
            if (e.is_directory()) chmod(e.path().c_str(), 0755);
    }
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipefd[0]);
        if (asNobody && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        SysfsHardware hw(tree.RootString());
        // What the machine said, as the facts the sentence is made from.
        const bool read = hw.ReadRegister(kCorePll).has_value();
        const AccessFailure f = hw.FailureReason();
        const std::string text = read ? "read"
                                 : f.kind != Kind::RegisterFile ? "kind " + std::to_string(static_cast<int>(f.kind))
                                 : std::to_string(f.access.error) + (f.access.groupExists ? " group" : "") +
                                       (f.access.fileInGroup ? " file-in-group" : "");
        _exit(write(pipefd[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    close(pipefd[1]);
    std::string reason;
    char buffer[1024];
    for (ssize_t n; (n = read(pipefd[0], buffer, sizeof buffer)) > 0;) reason.append(buffer, n);
    close(pipefd[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // Refused at the open, for want of the group's rights; the file is not the group's.
    EXPECT_EQ(reason, std::to_string(EACCES) + (getgrnam(kRegisterGroup) != nullptr ? " group" : ""))
        << reason;
}

}  // namespace
}  // namespace tarvento
