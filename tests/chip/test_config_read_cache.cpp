// SPDX-License-Identifier: GPL-3.0-or-later
// A report's view of the bus: the list after discovery reads nothing twice, answers what
// the machine answered, and never keeps a failure or a register.
#include <gtest/gtest.h>

#include <vector>

#include "chip/adapter_discovery.h"
#include "chip/config_read_cache.h"
#include "tests/support/fake_hardware.h"

namespace tarvento {
namespace {

using testing::FakeHardware;
using Access = FakeHardware::Access;

int ConfigReads(const FakeHardware& hw) {
    int n = 0;
    for (const Access& a : hw.Log()) n += a.kind == Access::Config ? 1 : 0;
    return n;
}

bool SameList(const std::vector<DisplayFunction>& a, const std::vector<DisplayFunction>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].bus != b[i].bus || a[i].device != b[i].device || a[i].function != b[i].function ||
            a[i].vendorId != b[i].vendorId || a[i].deviceId != b[i].deviceId ||
            a[i].classCode != b[i].classCode || a[i].bar0 != b[i].bar0) {
            return false;
        }
    }
    return true;
}

TEST(ConfigReadCache, TheListAfterDiscoveryReadsOnlyWhatDiscoveryDidNot) {
    FakeHardware hw;
    hw.lastBus = 2;
    hw.AddFunction(0, 6, 0, 0x8086, 0x1237, 0x0600, 0);
    hw.AddFunction(1, 0, 0, 0x10DE, 0x0020, 0x0300, 0xE0000008);
    hw.AddFunction(2, 0, 0, 0x1002, 0x5046, 0x0300, 0xE2000000);  // a second VGA card
    hw.AddFunction(2, 0, 1, 0x10DE, 0x0028, 0x0380, 0xE1000000);  // not VGA: BAR0 unread
    const std::vector<DisplayFunction> direct = ListDisplayFunctions(hw);

    hw.ClearLog();
    ConfigReadCache bus(hw);
    DiscoveryState state;
    DisplayAdapter adapter;
    ASSERT_TRUE(FindDisplayAdapter(bus, state, adapter));
    EXPECT_EQ(adapter.bus, 1);
    const int byDiscovery = ConfigReads(hw);
    const std::vector<DisplayFunction> listed = ListDisplayFunctions(bus);
    EXPECT_TRUE(SameList(listed, direct));
    // Discovery stopped at 01:00.0: of the functions that are there, only what lies after
    // it (the 3D controller's BAR0 among it) still reaches the machine. Empty slots answer
    // all ones, which the machine gives at no cost, and are asked again.
    const std::vector<Access> log = hw.Log();
    int present = 0;
    for (size_t i = static_cast<size_t>(byDiscovery); i < log.size(); ++i) {
        if (log[i].value == 0xFFFFFFFF) continue;
        ++present;
        EXPECT_GE(log[i].address, (1u << 16) | (1u << 8)) << std::hex << log[i].address;
    }
    EXPECT_GT(present, 0);
    // A second list reads no function that is there.
    const size_t before = hw.Log().size();
    EXPECT_TRUE(SameList(ListDisplayFunctions(bus), direct));
    for (size_t i = before; i < hw.Log().size(); ++i) EXPECT_EQ(hw.Log()[i].value, 0xFFFFFFFFu);
    EXPECT_TRUE(hw.Writes().empty());
}

TEST(ConfigReadCache, FailuresAndRegistersAlwaysReachTheMachine) {
    FakeHardware hw;
    hw.AddFunction(0, 1, 0, 0x10DE, 0x0020, 0x0300, 0xE0000000);
    hw.FailConfigReadAt(0, 1, 0, 8);
    hw.SetRegister(0xE0680500, 0x0001960C);
    ConfigReadCache bus(hw);
    uint16_t low = 0, high = 0;
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(bus.ReadConfigDword(0, 1, 0, 8, low, high));
        EXPECT_EQ(bus.ReadConfigDwordOrEnd(0, 1, 0, 8, low, high),
                  HardwareAccess::ConfigRead::Failed);
    }
    EXPECT_EQ(ConfigReads(hw), 4) << "a failed read is asked again every time";

    hw.answeredConfigBytes = 64;
    EXPECT_EQ(bus.ReadConfigDwordOrEnd(0, 1, 0, 64, low, high), HardwareAccess::ConfigRead::Ended);
    hw.answeredConfigBytes = 0xFFFF;
    EXPECT_EQ(bus.ReadConfigDwordOrEnd(0, 1, 0, 64, low, high), HardwareAccess::ConfigRead::Read)
        << "the end of what one reader was answered is not kept either";

    EXPECT_EQ(bus.ReadRegister(0xE0680500), 0x0001960Cu);
    hw.SetRegister(0xE0680500, 0x0001A70C);
    EXPECT_EQ(bus.ReadRegister(0xE0680500), 0x0001A70Cu) << "registers are never kept";
}

}  // namespace
}  // namespace tarvento
