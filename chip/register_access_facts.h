// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "chip/access_failure.h"

namespace tarvento {

// The facts as this process and the system see them now.
RegisterAccessFacts GatherRegisterAccessFacts(const std::string& path, RegisterAccessFacts::Step step,
                                              int error);

// "integrity" or "confidentiality" when the kernel is locked down, otherwise empty.
std::string KernelLockdownMode();

}  // namespace tarvento
