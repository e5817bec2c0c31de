// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tarvento {

// The group a udev rule gives the resource0 of a supported card (mode 0660): membership
// is the way to the registers for a user who is not root.
inline constexpr const char* kRegisterGroup = "tarvento";

// What the machine says about a resourceN file that could not be opened or mapped.
struct RegisterAccessFacts {
    enum class Step { Open, Map };
    std::string path;             // the resourceN file
    Step step = Step::Open;
    int error = 0;                // errno of the failed open or mmap
    std::string lockdown;         // "integrity" or "confidentiality"; empty when not locked down
    bool groupExists = false;     // the group tarvento is known to the system
    bool fileInGroup = false;     // the file's group is tarvento
    bool processInGroup = false;  // this process holds the group now
    bool userInGroup = false;     // the group database lists the user as a member
};

// Why the registers cannot be reached, as one plain sentence (no final period) that says
// what to do about it.
std::string RegisterAccessReason(const RegisterAccessFacts& facts);

// The facts as this process and the system see them now.
RegisterAccessFacts GatherRegisterAccessFacts(const std::string& path, RegisterAccessFacts::Step step,
                                              int error);

// "integrity" or "confidentiality" when the kernel is locked down, otherwise empty.
std::string KernelLockdownMode();

}  // namespace tarvento
