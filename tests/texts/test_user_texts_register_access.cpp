// SPDX-License-Identifier: GPL-3.0-or-later
// Why the registers cannot be reached, from what the machine says: each case a user can
// meet gives its own sentence, and the one that needs root to see (lockdown, a driver
// holding the region) is fed in as errno and state.

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "texts/user_texts.h"

namespace tarvento {
namespace {

using Step = RegisterAccessFacts::Step;
constexpr const char* kPath = "/sys/bus/pci/devices/0000:01:00.0/resource0";

RegisterAccessFacts Facts(Step step, int error) {
    RegisterAccessFacts f;
    f.path = kPath;
    f.step = step;
    f.error = error;
    return f;
}

// The sysfs layer reports these as facts; their words are checked here.
TEST(RegisterAccessReason, TheWordsOfWhatSysfsRefuses) {
    using Kind = AccessFailure::Kind;
    auto failure = [](Kind kind, std::string path, std::string slot, int error, uint64_t value) {
        AccessFailure f = AccessFailure::Of(kind, value);
        f.path = std::move(path);
        f.slot = std::move(slot);
        f.error = error;
        return f;
    };
    AccessFailure missing = AccessFailure::Of(Kind::RegisterFile);
    missing.access = Facts(Step::Open, ENOENT);
    const std::pair<AccessFailure, std::string> cases[] = {
        {failure(Kind::ConfigEndsEarly, {}, "0000:01:00.0", 0, 18),
         "cannot read the PCI configuration space of 0000:01:00.0: its config file ends at byte 18"},
        {failure(Kind::ConfigUnreadable, {}, "0000:01:00.0", ENOENT, 0),
         "cannot read the PCI configuration space of 0000:01:00.0: No such file or directory"},
        {failure(Kind::NoBar, {}, {}, 0, 0xD0000000), "no BAR holds address 0xD0000000"},
        {failure(Kind::Unaligned, {}, {}, 0, 0xE0680502),
         "register address 0xE0680502 is not 32-bit aligned"},
        {failure(Kind::FileEndsBefore, kPath, {}, 0, 0xE0680504),
         std::string(kPath) + " ends before address 0xE0680504; it was not mapped"},
        {missing, std::string("the card's register file ") + kPath + " does not exist"},
    };
    for (const auto& [f, words] : cases) EXPECT_EQ(ReasonText(f), words);
}

TEST(RegisterAccessReason, TheWayToTheGroupStepByStep) {
    RegisterAccessFacts f = Facts(Step::Open, EACCES);
    EXPECT_EQ(RegisterAccessReason(f),
              "the group tarvento does not exist: the program's udev rule is not installed");
    f.groupExists = true;
    EXPECT_EQ(RegisterAccessReason(f), std::string(kPath) +
                                           " does not belong to the group tarvento: the udev rule did "
                                           "not run for this card");
    f.fileInGroup = true;
    EXPECT_EQ(RegisterAccessReason(f),
              "you are not in the group tarvento, which may reach the card's registers: sudo usermod "
              "-aG tarvento $USER, then log in again");
    f.userInGroup = true;
    EXPECT_EQ(RegisterAccessReason(f),
              "you are in the group tarvento, but this login is not yet: log out of every session (a "
              "running user manager keeps the old groups) and log in again");
    f.processInGroup = true;
    EXPECT_EQ(RegisterAccessReason(f), std::string(kPath) +
                                           " belongs to the group tarvento, but its mode does not let "
                                           "the group read and write it");
}

TEST(RegisterAccessReason, WhatTheKernelRefusesToMembersToo) {
    RegisterAccessFacts f = Facts(Step::Map, EPERM);
    f.groupExists = f.fileInGroup = f.userInGroup = f.processInGroup = true;
    f.lockdown = "integrity";
    EXPECT_EQ(RegisterAccessReason(f),
              "the kernel is locked down (integrity), which forbids mapping the card's registers; "
              "this usually comes with Secure Boot");
    for (int error : {EINVAL, EBUSY}) {
        EXPECT_EQ(RegisterAccessReason(Facts(Step::Map, error)),
                  "a driver holds the card's registers (the kernel has CONFIG_IO_STRICT_DEVMEM); "
                  "unbind the driver from the card or boot with iomem=relaxed");
    }
    // The same errno on opening is no mapping refused: it is said as it is.
    EXPECT_EQ(RegisterAccessReason(Facts(Step::Open, EINVAL)),
              std::string("cannot open ") + kPath + ": Invalid argument");
    EXPECT_EQ(RegisterAccessReason(Facts(Step::Map, ENOMEM)),
              std::string("cannot map ") + kPath + ": Cannot allocate memory");
}

TEST(RegisterAccessReason, AMissingFileAndALink) {
    EXPECT_EQ(RegisterAccessReason(Facts(Step::Open, ENOENT)),
              std::string("the card's register file ") + kPath + " does not exist");
    EXPECT_EQ(RegisterAccessReason(Facts(Step::Open, ELOOP)),
              std::string(kPath) + " is a symbolic link; the program does not follow links to a card's "
                                   "registers");
}

TEST(RegisterAccessReason, NoReasonNamesAPrivilegeAsTheWayIn) {
    for (Step step : {Step::Open, Step::Map}) {
        for (int error : {EACCES, EPERM, EINVAL, EBUSY, ENOENT, ELOOP, EIO}) {
            const std::string reason = RegisterAccessReason(Facts(step, error));
            EXPECT_EQ(reason.find("CAP_"), std::string::npos) << reason;
            EXPECT_EQ(reason.find("root"), std::string::npos) << reason;
        }
    }
}

}  // namespace
}  // namespace tarvento
