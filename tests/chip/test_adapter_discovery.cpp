// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the adapter: the scan order, what ends a device early, what is passed over,
// on a scripted machine (exact access counts) and on virtual trees read through sysfs.

#include <dirent.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "chip/adapter_discovery.h"
#include "chip/sysfs_hardware.h"
#include "tests/support/fake_hardware.h"
#include "tests/support/virtual_tree.h"

namespace tarvento {
namespace {

using testing::FakeHardware;
using testing::VirtualTree;
using Access = FakeHardware::Access;

constexpr uint16_t kVga = 0x0300;
constexpr uint16_t kBridge = 0x0600;
constexpr uint32_t kPreviousBase = 0xD5000000;

uint32_t ConfigAddress(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
    return (uint32_t{bus} << 16) | (uint32_t{device} << 11) | (uint32_t{function} << 8) | offset;
}

int ConfigReadsOf(const FakeHardware& hw, uint8_t bus, uint8_t device, uint8_t function) {
    int n = 0;
    for (const Access& a : hw.Log()) {
        if (a.kind == Access::Config && (a.address & ~0xFFu) == ConfigAddress(bus, device, function, 0)) ++n;
    }
    return n;
}

struct Discovery {
    DiscoveryState state;
    DisplayAdapter adapter;
    bool found = false;
    explicit Discovery(HardwareAccess& hw) {
        state.registerBase = kPreviousBase;
        adapter.vendorId = 0x1111;
        found = FindDisplayAdapter(hw, state, adapter);
    }
};

// --- On a scripted machine ---

TEST(DiscoveryOnFake, NoBusGivesNothingAndReadsNoConfiguration) {
    FakeHardware hw;
    hw.lastBus = -1;
    hw.AddFunction(0, 0, 0, 0x10DE, 0x0020, kVga, 0xE0000000);
    Discovery d(hw);
    EXPECT_FALSE(d.found);
    EXPECT_EQ(d.state.registerBase, kPreviousBase);
    EXPECT_EQ(d.adapter.vendorId, 0x1111) << "outputs must stay untouched";
    EXPECT_TRUE(hw.Log().empty());
}

TEST(DiscoveryOnFake, NonVgaFunctionsCostThreeReadsAndVgaReadsTheWholeHeader) {
    FakeHardware hw;
    hw.lastBus = 0;
    hw.AddFunction(0, 0, 0, 0x8086, 0x1237, kBridge, 0xF0000000);
    hw.AddFunction(0, 1, 0, 0x10DE, 0x0020, kVga, 0xE0000000);
    Discovery d(hw);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(ConfigReadsOf(hw, 0, 0, 0), 3);
    EXPECT_EQ(ConfigReadsOf(hw, 0, 0, 1), 3) << "an absent function is judged on its first three words too";
    EXPECT_EQ(ConfigReadsOf(hw, 0, 1, 0), 64);
    EXPECT_EQ(hw.Log().size(), 3u + 3u + 64u);
    // Word by word, in order.
    for (uint16_t i = 0; i < 64; ++i) {
        EXPECT_EQ(hw.Log()[6 + i].address, ConfigAddress(0, 1, 0, static_cast<uint16_t>(4 * i)));
    }
}

TEST(DiscoveryOnFake, AbsentFunctionZeroSkipsTheWholeDevice) {
    FakeHardware hw;
    hw.lastBus = 0;
    hw.AddFunction(0, 3, 1, 0x10DE, 0x0020, kVga, 0xE0000000);  // no function 0
    Discovery d(hw);
    EXPECT_FALSE(d.found);
    EXPECT_EQ(ConfigReadsOf(hw, 0, 3, 1), 0);
    EXPECT_EQ(d.state.registerBase, kPreviousBase);
}

TEST(DiscoveryOnFake, AbsentFunctionTwoSkipsFunctionsThreeToSeven) {
    FakeHardware hw;
    hw.lastBus = 0;
    hw.AddFunction(0, 4, 0, 0x8086, 0x7110, kBridge, 0);
    hw.AddFunction(0, 4, 1, 0x8086, 0x7111, 0x0101, 0);
    for (uint8_t f = 3; f < 8; ++f) hw.AddFunction(0, 4, f, 0x10DE, 0x0020, kVga, 0xE0000000);
    Discovery d(hw);
    EXPECT_FALSE(d.found);
    EXPECT_EQ(ConfigReadsOf(hw, 0, 4, 2), 3);
    for (uint8_t f = 3; f < 8; ++f) EXPECT_EQ(ConfigReadsOf(hw, 0, 4, f), 0) << int{f};
}

TEST(DiscoveryOnFake, VgaWithoutBar0IsPassedOverAndOtherDisplayClassesNeverChosen) {
    FakeHardware hw;
    hw.lastBus = 0;
    hw.AddFunction(0, 1, 0, 0x10DE, 0x0020, kVga, 0);                // no BAR0
    hw.AddFunction(0, 2, 0, 0x10DE, 0x0020, 0x0380, 0xE0000000);     // display, not VGA
    hw.AddFunction(0, 3, 0, 0x10DE, 0x0020, 0x0301, 0xE1000000);     // XGA
    hw.AddFunction(0, 5, 0, 0x12D2, 0x0018, kVga, 0xE2000000);
    Discovery d(hw);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.adapter.device, 5);
    EXPECT_EQ(d.adapter.registerBase, 0xE2000000u);
    EXPECT_EQ(ConfigReadsOf(hw, 0, 1, 0), 64) << "a VGA function is read whole before its BAR0 is judged";
    EXPECT_EQ(ConfigReadsOf(hw, 0, 2, 0), 3);
}

TEST(DiscoveryOnFake, OnlyNonVgaDisplayGivesNothing) {
    FakeHardware hw;
    hw.lastBus = 0;
    hw.AddFunction(0, 2, 0, 0x10DE, 0x0020, 0x0380, 0xE0000000);
    Discovery d(hw);
    EXPECT_FALSE(d.found);
    EXPECT_EQ(d.state.registerBase, kPreviousBase);
}

TEST(DiscoveryOnFake, LowestBusThenDeviceThenFunctionWins) {
    FakeHardware hw;
    hw.lastBus = 2;
    hw.AddFunction(2, 0, 0, 0x10DE, 0x0020, kVga, 0xE4000000);
    hw.AddFunction(1, 0, 0, 0x10DE, 0x0020, kVga, 0xE3000000);
    hw.AddFunction(0, 6, 0, 0x10DE, 0x0020, kVga, 0xE2000000);
    for (uint8_t f = 0; f < 3; ++f) hw.AddFunction(0, 5, f, 0x8086, 0x1234, kBridge, 0);
    hw.AddFunction(0, 5, 3, 0x12D2, 0x0019, kVga, 0xE1000000);
    Discovery d(hw);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.adapter.vendorId, 0x12D2);
    EXPECT_EQ(d.adapter.deviceId, 0x0019);
    EXPECT_EQ(d.adapter.bus, 0);
    EXPECT_EQ(d.adapter.device, 5);
    EXPECT_EQ(d.adapter.function, 3);
    EXPECT_EQ(ConfigReadsOf(hw, 0, 6, 0), 0) << "the first match ends the scan";
}

TEST(DiscoveryOnFake, Bar0FlagBitsAreClearedFromTheRegisterBase) {
    FakeHardware hw;
    hw.lastBus = 0;
    hw.AddFunction(0, 9, 0, 0x10DE, 0x0020, kVga, 0xE0000008);
    Discovery d(hw);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.adapter.registerBase, 0xE0000000u);
    EXPECT_EQ(d.state.registerBase, 0xE0000000u);
    EXPECT_EQ(d.state.pciConfigHeader[4], 0xE0000008u) << "the header keeps BAR0 as read";
}

TEST(DiscoveryOnFake, AnIoBar0IsNotTestedFurther) {
    // Only "not zero" is asked of BAR0: an I/O BAR still counts.
    FakeHardware hw;
    hw.lastBus = 0;
    hw.AddFunction(0, 1, 0, 0x10DE, 0x0020, kVga, 0x0000D001);
    Discovery d(hw);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.adapter.registerBase, 0x0000D000u);
}

TEST(DiscoveryOnFake, AReadFailingOnItsSecondHalfEndsTheDevice) {
    FakeHardware hw;
    hw.lastBus = 0;
    hw.AddFunction(0, 1, 0, 0x10DE, 0x0020, kBridge, 0);
    hw.AddFunction(0, 1, 1, 0x10DE, 0x0020, kVga, 0xE0000000);
    hw.FailConfigReadAt(0, 1, 0, 0x02);  // the high half of word 0
    hw.AddFunction(0, 2, 0, 0x10DE, 0x0020, kVga, 0xE1000000);
    Discovery d(hw);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.adapter.device, 2);
    EXPECT_EQ(ConfigReadsOf(hw, 0, 1, 1), 0);
}

TEST(DiscoveryOnFake, ReadConfigHeaderFailingMidwayGivesNothing) {
    FakeHardware hw;
    hw.AddFunction(0, 1, 0, 0x10DE, 0x0020, kVga, 0xE0000000);
    hw.FailConfigReadAt(0, 1, 0, 0x12);  // high half of BAR0
    ConfigHeader header{};
    EXPECT_EQ(ReadConfigHeader(hw, header, 0, 1, 0), nullptr);
    EXPECT_EQ(hw.Log().size(), 5u) << "the read stops at the failing word";
}

TEST(DiscoveryOnFake, TheHeaderIsNotClearedBetweenReads) {
    FakeHardware hw;
    hw.AddFunction(0, 1, 0, 0x10DE, 0x0020, kVga, 0xE0000000);
    hw.AddFunction(0, 2, 0, 0x8086, 0x1237, kBridge, 0xF0000000);
    ConfigHeader header{};
    ASSERT_EQ(ReadConfigHeader(hw, header, 0, 1, 0), &header);
    ASSERT_EQ(ReadConfigHeader(hw, header, 0, 2, 0), &header);
    EXPECT_EQ(header[0], 0x12378086u);
    EXPECT_EQ(header[4], 0xE0000000u) << "words after the early stop keep the older function's values";
}

// A reader answered the standard header only (a normal user): the adapter is found from
// bytes 0..63, the end past them is no failure, and words 16..63 keep what they held.
TEST(DiscoveryOnFake, AReaderAnsweredTheStandardHeaderOnlyFindsTheAdapter) {
    FakeHardware hw;
    hw.lastBus = 1;
    hw.answeredConfigBytes = 64;
    hw.AddFunction(1, 0, 0, 0x10DE, 0x0020, kVga, 0xE0000008);
    DiscoveryState state;
    state.pciConfigHeader.fill(0xA5A5A5A5);
    DisplayAdapter adapter;
    ASSERT_TRUE(FindDisplayAdapter(hw, state, adapter));
    EXPECT_EQ(adapter.registerBase, 0xE0000000u);
    EXPECT_EQ(ConfigReadsOf(hw, 1, 0, 0), 17) << "16 words and the one read that met the end";
    EXPECT_EQ(state.pciConfigHeader[4], 0xE0000008u);
    EXPECT_EQ(state.pciConfigHeader[15], 0u) << "the last word of the standard header is fresh";
    EXPECT_EQ(state.pciConfigHeader[16], 0xA5A5A5A5u);
    EXPECT_EQ(state.pciConfigHeader[63], 0xA5A5A5A5u);

    // Inside the standard header an end is a failure: the function is passed over.
    hw.answeredConfigBytes = 0x10;
    EXPECT_FALSE(FindDisplayAdapter(hw, state, adapter));
}

TEST(DiscoveryOnFake, EveryDisplayFunctionIsListedWithoutTouchingTheDiscoveryState) {
    FakeHardware hw;
    hw.lastBus = 2;
    hw.AddFunction(0, 5, 0, 0x1002, 0x5046, kVga, 0);
    hw.AddFunction(0, 6, 0, 0x8086, 0x1237, kBridge, 0xF0000000);
    hw.AddFunction(1, 0, 0, 0x10DE, 0x0020, kVga, 0xE0000008);
    hw.AddFunction(2, 0, 0, 0x8086, 0x1237, kBridge, 0);
    hw.AddFunction(2, 0, 1, 0x10DE, 0x0028, 0x0380, 0xE1000000);
    const std::vector<DisplayFunction> list = ListDisplayFunctions(hw);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].vendorId, 0x1002);
    EXPECT_EQ(list[0].classCode, 0x030000u);
    EXPECT_EQ(list[0].bar0, 0u);
    EXPECT_EQ(list[1].bus, 1);
    EXPECT_EQ(list[1].bar0, 0xE0000008u);
    EXPECT_EQ(list[2].function, 1);
    EXPECT_EQ(list[2].classCode, 0x038000u);
    EXPECT_TRUE(hw.Writes().empty());
}

TEST(DiscoveryOnTree, ASixtyFourByteConfigIsEnough) {
    VirtualTree tree;
    tree.AddTnt(1, 0, 0, 0xE0000000);
    std::filesystem::resize_file(tree.SlotDir(1, 0, 0) / "config", 64);
    SysfsHardware hw(tree.RootString());
    Discovery d(hw);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.adapter.deviceId, 0x0020);
    EXPECT_FALSE(hw.FailureReason().Known());
}

TEST(DiscoveryOnFake, ALaterFailedDiscoveryKeepsTheRegisterBase) {
    FakeHardware hw;
    hw.lastBus = 0;
    hw.AddFunction(0, 1, 0, 0x10DE, 0x0020, kVga, 0xE0000000);
    DiscoveryState state;
    DisplayAdapter adapter;
    ASSERT_TRUE(FindDisplayAdapter(hw, state, adapter));
    hw.lastBus = -1;
    DisplayAdapter second;
    EXPECT_FALSE(FindDisplayAdapter(hw, state, second));
    EXPECT_EQ(state.registerBase, 0xE0000000u);
}

TEST(DiscoveryOnFake, LastBus255IsScannedAndTheScanEnds) {
    FakeHardware hw;
    hw.lastBus = 255;
    Discovery none(hw);
    EXPECT_FALSE(none.found);
    EXPECT_EQ(hw.Log().size(), 256u * 32u * 3u);

    FakeHardware hw2;
    hw2.lastBus = 255;
    hw2.AddFunction(255, 31, 0, 0x10DE, 0x0020, kVga, 0xE0000000);
    Discovery last(hw2);
    ASSERT_TRUE(last.found);
    EXPECT_EQ(last.adapter.bus, 255);
    EXPECT_EQ(last.adapter.device, 31);
}

// --- On virtual trees, through sysfs ---

TEST(DiscoveryOnTree, NoDevicesFolderGivesNothing) {
    VirtualTree tree;
    SysfsHardware hw(tree.RootString());
    EXPECT_EQ(hw.LastBusNumber(), -1);
    Discovery d(hw);
    EXPECT_FALSE(d.found);
    EXPECT_EQ(d.state.registerBase, kPreviousBase);
}

TEST(DiscoveryOnTree, FindsTheTntAndClearsBar0Flags) {
    VirtualTree tree;
    tree.AddFunction(0, 0, 0, 0x8086, 0x7190, 0x060000, 0);
    tree.AddTnt(1, 0, 0, 0xE0000008);
    SysfsHardware hw(tree.RootString());
    Discovery d(hw);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.adapter.vendorId, 0x10DE);
    EXPECT_EQ(d.adapter.deviceId, 0x0020);
    EXPECT_EQ(d.adapter.registerBase, 0xE0000000u);
    EXPECT_EQ(d.adapter.bus, 1);
    EXPECT_EQ(d.state.registerBase, 0xE0000000u);
}

TEST(DiscoveryOnTree, EveryTrapIsPassedOverBeforeTheRealCard) {
    VirtualTree tree;
    // 00:02: function 0 absent, a VGA on function 1 is never probed.
    tree.AddFunction(0, 2, 1, 0x10DE, 0x0020, 0x030000, 0xE1000000);
    // 00:03: functions 0 and 1, none on 2, a VGA on 3.
    tree.AddFunction(0, 3, 0, 0x8086, 0x7110, 0x060100, 0);
    tree.AddFunction(0, 3, 1, 0x8086, 0x7111, 0x010180, 0);
    tree.AddFunction(0, 3, 3, 0x10DE, 0x0020, 0x030000, 0xE2000000);
    // 00:04: a function whose config answers FFFFh for the vendor.
    tree.AddFunction(0, 4, 0, 0xFFFF, 0xFFFF, 0x030000, 0xE3000000);
    // 00:05: VGA without BAR0; 00:06: display controller of another subclass.
    tree.AddFunction(0, 5, 0, 0x10DE, 0x0020, 0x030000, 0);
    tree.AddFunction(0, 6, 0, 0x10DE, 0x0020, 0x038000, 0xE4000000);
    // The one to find, and a later one that must lose.
    tree.AddTnt(0, 7, 2, 0xE5000000);
    tree.AddFunction(0, 7, 0, 0x8086, 0x1237, 0x060000, 0);
    tree.AddFunction(0, 7, 1, 0x8086, 0x1237, 0x060000, 0);
    tree.AddTnt(1, 0, 0, 0xE6000000);
    SysfsHardware hw(tree.RootString());
    Discovery d(hw);
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.adapter.device, 7);
    EXPECT_EQ(d.adapter.function, 2);
    EXPECT_EQ(d.adapter.registerBase, 0xE5000000u);
}

TEST(DiscoveryOnTree, OnlyTrapsGiveNothing) {
    VirtualTree tree;
    tree.AddFunction(0, 2, 1, 0x10DE, 0x0020, 0x030000, 0xE1000000);
    tree.AddFunction(0, 5, 0, 0x10DE, 0x0020, 0x030000, 0);
    tree.AddFunction(0, 6, 0, 0x10DE, 0x0020, 0x038000, 0xE4000000);
    SysfsHardware hw(tree.RootString());
    Discovery d(hw);
    EXPECT_FALSE(d.found);
    EXPECT_EQ(d.state.registerBase, kPreviousBase);
}

// The machine's own bus: read, nothing printed, and no VGA found where there is none.
TEST(DiscoveryOnThisMachine, ReadsTheRealBusQuietly) {
    const std::string root = "/sys/bus/pci";
    if (access((root + "/devices").c_str(), R_OK) != 0) GTEST_SKIP() << "no " << root;
    bool hasVga = false;
    if (DIR* dir = opendir((root + "/devices").c_str())) {
        while (const dirent* e = readdir(dir)) {
            std::ifstream cls(root + "/devices/" + e->d_name + "/class");
            std::string text;
            if (std::getline(cls, text) && text.rfind("0x0300", 0) == 0) hasVga = true;
        }
        closedir(dir);
    }
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    SysfsHardware hw(root);
    DiscoveryState state;
    DisplayAdapter adapter;
    const bool found = FindDisplayAdapter(hw, state, adapter);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_GE(hw.LastBusNumber(), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    if (!hasVga) {
        EXPECT_FALSE(found);
        EXPECT_EQ(state.registerBase, 0u);
    }
}

}  // namespace
}  // namespace tarvento
