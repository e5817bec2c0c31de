// SPDX-License-Identifier: GPL-3.0-or-later
// Virtual trees whose files contradict each other or the kernel's layout. Whatever they
// claim: no crash, nothing mapped past the end of a file, no byte written anywhere, and
// the user is told what is wrong.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "chip/adapter_discovery.h"
#include "chip/chip_recognition.h"
#include "chip/chip_state.h"
#include "chip/registers.h"
#include "chip/sysfs_hardware.h"
#include "tests/robust/robust_support.h"
#include "tests/support/card_constants.h"
#include "tests/support/virtual_tree.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMemIo = 0x200;      // IORESOURCE_MEM
constexpr uint64_t kMem64 = 0x100000;  // IORESOURCE_MEM_64

std::string ResourceLine(uint64_t start, uint64_t end, uint64_t flags) {
    char line[80];
    std::snprintf(line, sizeof line, "0x%016llx 0x%016llx 0x%016llx\n",
                  static_cast<unsigned long long>(start), static_cast<unsigned long long>(end),
                  static_cast<unsigned long long>(flags));
    return line;
}

// A resource file whose first line is given and whose other six are unused.
void WriteResource(const fs::path& dir, const std::string& first) {
    std::ofstream out(dir / "resource", std::ios::trunc);
    out << first;
    for (int i = 0; i < 6; ++i) out << ResourceLine(0, 0, 0);
}

struct Discovered {
    bool found = false;
    DisplayAdapter adapter;
    Recognition recognition = Recognition::Unsupported;
    std::string err;  // the reason the program would give, as a line of standard error
};

class LyingTree : public TreeTest {
protected:
    // What the program does at start: discovery, then recognition, on a fresh machine.
    Discovered Discover() {
        Discovered d;
        ::testing::internal::CaptureStderr();
        {
            SysfsHardware hw(tree.RootString());
            ChipState chip(hw);
            d.found = FindDisplayAdapter(hw, chip.discovery, d.adapter);
            std::string reason = d.found ? std::string() : ReasonText(DiscoveryFailureReason(hw));
            if (d.found) {
                RecognizedChip recognized;
                d.recognition = RecognizeChip(chip, d.adapter.vendorId, d.adapter.deviceId, recognized);
                reason = ReasonText(recognized.failureReason);
            }
            if (!reason.empty()) d.err = "tarvento: " + reason + "\n";
        }
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "the machine layer prints nothing";
        return d;
    }

    // --info fails plainly: no signal, status 1, no chip, and `reason` on standard error.
    void ExpectInfoFails(const std::string& reason) {
        const ProgramResult r = Run({"--info"});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.out.rfind("Chipset: Unknown\nAutostart: off\n", 0), 0u) << r.out;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
    }

    // The unattended start that would write clocks writes nothing and fails.
    void ExpectUnattendedStartRefused() {
        const ProgramResult r = Run({"RIVA_TNT", "120", "100"});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("tarvento: PCI/AGP access failed !\n"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("graphical session"), std::string::npos) << r.err;
    }
};

TEST_F(LyingTree, ResourceNamesABarLargerThanResource0) {
    tree.AddTnt(1, 0, 0, kBase);
    // The resource line still claims 16 MiB; the file holds the strap but not the PLLs.
    fs::resize_file(Dir(1) / "resource0", 0x600000);
    Freeze();

    const Discovered d = Discover();
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.recognition, Recognition::RegisterReadFailed);
    EXPECT_NE(d.err.find("resource0 ends before address 0xE0680504; it was not mapped"),
              std::string::npos) << d.err;
    ExpectInfoFails("resource0 ends before address 0xE0680504");
    ExpectUnattendedStartRefused();
    ExpectNothingWritten();
}

TEST_F(LyingTree, Bar0MatchesNoResourceLine) {
    tree.AddTnt(1, 0, 0, kBase);
    WriteResource(Dir(1), ResourceLine(0xF0000000, 0xF0FFFFFF, kMemIo));
    Freeze();

    const Discovered d = Discover();
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.adapter.registerBase, kBase);
    EXPECT_EQ(d.recognition, Recognition::RegisterReadFailed);
    EXPECT_EQ(d.err, "tarvento: address 0xE0680504 lies outside BAR0 of the adapter 0000:01:00.0; "
                     "it was not touched\n");
    ExpectInfoFails("address 0xE0680504 lies outside BAR0 of the adapter 0000:01:00.0");
    ExpectUnattendedStartRefused();
    ExpectNothingWritten();
}

TEST_F(LyingTree, SixtyFourBitBar0BelowFourGiBIsAnOrdinaryBar) {
    tree.AddTnt(1, 0, 0, kBase | 0x4);
    tree.SetFileWord(Dir(1) / "config", kConfigBar0 + 4, 0);  // BAR1: the high half
    WriteResource(Dir(1), ResourceLine(kBase, kBase + 0xFFFFFF, kMemIo | kMem64));

    const Discovered d = Discover();
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.adapter.registerBase, kBase);
    EXPECT_EQ(d.recognition, Recognition::Recognized) << d.err;
    const ProgramResult r = Run({"--info"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Chipset: RIVA_TNT\nMem Clock: 110 MHz\nChip Clock: 90 MHz\n", 0), 0u) << r.out;
}

// The low half of a 64-bit BAR0 above 4 GiB names memory of some other device: here a
// RIVA 128 that is not a display controller sits exactly there.
TEST_F(LyingTree, SixtyFourBitBar0AboveFourGiBTouchesNoOtherDevice) {
    virtualcard::VirtualCard other = *virtualcard::StockCard("RIVA_128");
    other.slot = SysfsSlot{0, 0, 5, 0};
    other.classCode = 0x040100;  // a multimedia function
    other.bar0 = kBase;
    tree.Add(other);
    tree.AddTnt(1, 0, 0, 0xF0000000);
    tree.SetFileWord(Dir(1) / "config", kConfigBar0, kBase | 0xC);  // 64-bit, prefetchable
    tree.SetFileWord(Dir(1) / "config", kConfigBar0 + 4, 0x1);      // at 0x1_E000_0000
    WriteResource(Dir(1), ResourceLine(0x1E0000000, 0x1E0FFFFFF, kMemIo | kMem64));
    Freeze();

    const Discovered d = Discover();
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.recognition, Recognition::RegisterReadFailed);
    // Said from the header alone: no register was even tried.
    EXPECT_EQ(d.err, "tarvento: BAR0 of the display adapter lies above 4 GiB (0x00000001E0000000), "
                     "out of reach of a 32-bit register base; its registers were not touched\n");
    ExpectInfoFails("BAR0 of the display adapter lies above 4 GiB (0x00000001E0000000)");
    ExpectUnattendedStartRefused();
    ExpectNothingWritten();
}

TEST_F(LyingTree, IoBar0NamesNoRegisters) {
    tree.AddTnt(1, 0, 0, kBase);
    tree.SetFileWord(Dir(1) / "config", kConfigBar0, 0x0000D001);
    WriteResource(Dir(1), ResourceLine(0xD000, 0xD0FF, 0x100));  // IORESOURCE_IO
    Freeze();

    const Discovered d = Discover();
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.adapter.registerBase, 0xD000u);
    EXPECT_EQ(d.recognition, Recognition::RegisterReadFailed);
    ExpectInfoFails("BAR0 of the display adapter is an I/O BAR");
    ExpectUnattendedStartRefused();
    ExpectNothingWritten();
}

TEST_F(LyingTree, Resource0MissingOrNotAFile) {
    tree.AddTnt(1, 0, 0, kBase);
    fs::remove(Dir(1) / "resource0");
    Freeze();
    const Discovered missing = Discover();
    EXPECT_EQ(missing.recognition, Recognition::RegisterReadFailed);
    EXPECT_NE(missing.err.find("resource0 does not exist"), std::string::npos) << missing.err;
    ExpectInfoFails("resource0 does not exist");
    ExpectUnattendedStartRefused();
    ExpectNothingWritten();

    // A FIFO in its place is neither waited on nor mapped.
    ASSERT_EQ(::mkfifo((Dir(1) / "resource0").c_str(), 0600), 0);
    Freeze();
    const Discovered fifo = Discover();
    EXPECT_EQ(fifo.recognition, Recognition::RegisterReadFailed);
    EXPECT_NE(fifo.err.find("resource0 is not a regular file"), std::string::npos) << fifo.err;
    ExpectInfoFails("resource0 is not a regular file");
    ExpectNothingWritten();
}

TEST_F(LyingTree, ConfigShorterThanItsHeader) {
    // A whole header is read only for a VGA function: this one ends two bytes before the
    // end of the standard header, which every reader is answered.
    tree.AddTnt(1, 0, 0, kBase);
    fs::resize_file(Dir(1) / "config", 62);
    Freeze();

    const Discovered alone = Discover();
    EXPECT_FALSE(alone.found);
    EXPECT_EQ(alone.err, "tarvento: cannot read the PCI configuration space of 0000:01:00.0: "
                         "its config file ends at byte 62\n");
    ExpectInfoFails("its config file ends at byte 62");
    ExpectUnattendedStartRefused();

    // It is passed over like a missing function; a good card behind it is still found,
    // and the report says why the first one was not taken.
    tree.AddTnt(2, 0, 0, 0xE1000000);
    Freeze();
    const Discovered behind = Discover();
    ASSERT_TRUE(behind.found);
    EXPECT_EQ(behind.adapter.bus, 2);
    EXPECT_EQ(behind.recognition, Recognition::Recognized);
    const ProgramResult r = Run({"--info"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Adapter: 0000:02:00.0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Other display adapter: 0000:01:00.0, 10DE:0020, class 030000 (its "
                         "configuration space could not be read)"),
              std::string::npos) << r.out;
    ExpectNothingWritten();
}

TEST_F(LyingTree, ConfigCutInsideTheClassWord) {
    tree.AddTnt(1, 0, 0, kBase);
    fs::resize_file(Dir(1) / "config", 10);
    Freeze();
    const Discovered d = Discover();
    EXPECT_FALSE(d.found);
    EXPECT_NE(d.err.find("ends at byte 10"), std::string::npos) << d.err;
    ExpectInfoFails("ends at byte 10");
    ExpectNothingWritten();
}

// A FIFO where a file should be would make a plain open wait for a writer for ever. Run
// through the program, whose run is cut off, so that a regression fails rather than hangs.
TEST_F(LyingTree, FifosInsteadOfConfigOrResourceAreNotWaitedOn) {
    tree.AddTnt(1, 0, 0, kBase);
    fs::remove(Dir(1) / "resource");
    ASSERT_EQ(::mkfifo((Dir(1) / "resource").c_str(), 0644), 0);
    Freeze();
    ProgramResult r = Run({"--info"});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("address 0xE0680504 lies outside BAR0"), std::string::npos) << r.err;

    fs::remove(Dir(1) / "config");
    ASSERT_EQ(::mkfifo((Dir(1) / "config").c_str(), 0644), 0);
    Freeze();
    r = Run({"--info"});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("0000:01:00.0: its config is not a regular file"), std::string::npos) << r.err;
    ExpectNothingWritten();
}

TEST_F(LyingTree, TheVirtualCardToolReadsFifosWithoutWaiting) {
    tree.AddTnt(1, 0, 0, kBase);
    tree.AddTnt(2, 0, 0, 0xE1000000);
    for (const char* name : {"config", "resource"}) {
        fs::remove(Dir(1) / name);
        ASSERT_EQ(::mkfifo((Dir(1) / name).c_str(), 0644), 0);
    }
    fs::remove(Dir(2) / "resource0");
    ASSERT_EQ(::mkfifo((Dir(2) / "resource0").c_str(), 0644), 0);
    Freeze();
    // In a child with an alarm clock, so that a regression fails rather than hangs.
    const std::optional<ChildResult> run = RunInChild(
        [&](int out) {
            ::alarm(10);
            std::vector<virtualcard::VirtualCard> cards;
            std::vector<std::string> problems;
            std::string error;
            if (!virtualcard::ReadCards(tree.Root(), cards, problems, error)) return 1;
            virtualcard::VirtualCard resolved;
            const bool free = virtualcard::ResolveRequest(tree.Root(), {.chip = "RIVA_TNT"}, resolved, error);
            WriteText(out, std::to_string(cards.size()) + " cards, " + std::to_string(free) + "\n");
            for (const std::string& p : problems) WriteText(out, p + "\n");
            return 0;
        },
        false);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->signal, 0) << "waited on a FIFO";
    EXPECT_EQ(run->out, "1 cards, 1\n"
                        "0000:01:00.0: its config cannot be read whole\n"
                        "0000:02:00.0: resource0 is too short to hold the clock registers\n");
    ExpectNothingWritten();
}

TEST_F(LyingTree, HundredsOfDevicesWithTheCardNearTheEnd) {
    // 16 buses of 32 devices: bridges, display functions that must be passed over, and
    // one RIVA TNT near the end.
    for (int bus = 0; bus < 16; ++bus) {
        for (int device = 0; device < 32; ++device) {
            const auto b = static_cast<uint8_t>(bus);
            const auto d = static_cast<uint8_t>(device);
            if (bus == 15 && device == 20) {
                tree.AddTnt(b, d, 0, kBase);
            } else if (device % 8 == 3) {
                tree.AddFunction(b, d, 0, 0x10DE, 0x0020, 0x038000, 0xD0000000);  // 0380h
            } else if (device % 8 == 5) {
                tree.AddFunction(b, d, 0, 0x10DE, 0x0020, 0x030000, 0);  // VGA, no BAR0
            } else {
                tree.AddFunction(b, d, 0, 0x8086, 0x1237, 0x060000, 0);
            }
        }
    }
    Freeze();

    const Discovered d = Discover();
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.adapter.bus, 15);
    EXPECT_EQ(d.adapter.device, 20);
    EXPECT_EQ(d.recognition, Recognition::Recognized);
    EXPECT_EQ(d.err, "");
    const ProgramResult r = Run({"--info"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Adapter: 0000:0f:14.0, vendor 10DE, device 0020"), std::string::npos) << r.out;
    ExpectNothingWritten();
}

TEST_F(LyingTree, HundredsOfDevicesUpToBus255AndNoCard) {
    // The whole bus range is walked and the scan ends after bus 255.
    for (int i = 0; i < 300; ++i) {
        const auto bus = static_cast<uint8_t>(i * 255 / 299);
        const auto device = static_cast<uint8_t>(i % 32);
        tree.AddFunction(bus, device, 0, 0x10DE, 0x0020, i % 2 ? 0x038000 : 0x030000, i % 2 ? kBase : 0);
    }
    Freeze();
    const Discovered d = Discover();
    EXPECT_FALSE(d.found);
    EXPECT_EQ(d.err, "tarvento: no VGA-compatible display adapter with a register base was found "
                     "on the PCI bus\n");
    ExpectInfoFails("no VGA-compatible display adapter with a register base was found");
    ExpectNothingWritten();
}

TEST_F(LyingTree, RivaTntWithClassWord0380IsNeverChosen) {
    virtualcard::VirtualCard tnt = *virtualcard::StockCard("RIVA_TNT");
    tnt.slot = SysfsSlot{0, 1, 0, 0};
    tnt.classCode = 0x038000;
    tnt.bar0 = kBase;
    tree.Add(tnt);
    Freeze();

    const Discovered d = Discover();
    EXPECT_FALSE(d.found);
    EXPECT_EQ(d.err, "tarvento: no VGA-compatible display adapter with a register base was found "
                     "on the PCI bus\n");
    ExpectInfoFails("no VGA-compatible display adapter with a register base was found");
    ExpectUnattendedStartRefused();
    ExpectNothingWritten();
}

}  // namespace
}  // namespace tarvento::testing
