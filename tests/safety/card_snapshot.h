// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tarvento::testing {

// Every regular file under a virtual tree's devices/ folder, byte for byte: the registers
// (resourceN) and everything the program could write by mistake (config, resource, ...).
struct CardSnapshot {
    std::map<std::filesystem::path, std::vector<char>> files;
};

CardSnapshot TakeSnapshot(const std::filesystem::path& treeRoot);

// The one change a clock write may make: the N field (bits 8..15) of the core PLL
// (680500h) and the memory PLL (680504h) words of a recognised card's resource0.
// `writable` names the resource0 files where that is allowed; any other difference,
// a file that appeared, vanished or changed size included, is described in the result.
std::vector<std::string> ForbiddenChanges(const CardSnapshot& before, const CardSnapshot& after,
                                          const std::set<std::filesystem::path>& writable = {});

}  // namespace tarvento::testing
