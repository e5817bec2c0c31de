// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/safety/card_snapshot.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

#include <gtest/gtest.h>

#include "chip/registers.h"
#include "tests/support/virtual_tree.h"

namespace tarvento::testing {

namespace fs = std::filesystem;

namespace {

std::vector<char> ReadWhole(const fs::path& file) {
    bool complete = false;
    std::vector<char> bytes = ReadFileBytes(file, &complete);
    EXPECT_TRUE(complete) << "cannot read the whole of " << file;
    return bytes;
}

// Byte offsets of the two N fields in a little-endian register file.
constexpr uint64_t kCoreN = kCorePllOffset + kPllNShift / 8;
constexpr uint64_t kMemN = kMemPllOffset + kPllNShift / 8;
static_assert(kPllNMask == 0xFF00, "N is the second byte of the PLL word");

std::string Hex(uint64_t v) {
    char text[32];
    std::snprintf(text, sizeof text, "%llXh", static_cast<unsigned long long>(v));
    return text;
}

}  // namespace

CardSnapshot TakeSnapshot(const fs::path& treeRoot) {
    CardSnapshot snapshot;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(treeRoot / "devices", ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file()) snapshot.files[it->path()] = ReadWhole(it->path());
    }
    EXPECT_FALSE(ec) << "cannot list " << treeRoot << ": " << ec.message();
    return snapshot;
}

std::vector<std::string> ForbiddenChanges(const CardSnapshot& before, const CardSnapshot& after,
                                          const std::set<fs::path>& writable) {
    std::vector<std::string> found;
    for (const auto& [file, bytes] : before.files) {
        if (!after.files.count(file)) found.push_back(file.string() + " vanished");
    }
    for (const auto& [file, now] : after.files) {
        const auto was = before.files.find(file);
        if (was == before.files.end()) {
            found.push_back(file.string() + " appeared");
            continue;
        }
        if (was->second.size() != now.size()) {
            found.push_back(file.string() + " changed size from " + std::to_string(was->second.size()) +
                            " to " + std::to_string(now.size()));
            continue;
        }
        const bool mayWrite = writable.count(file) > 0;
        // Block by block, byte by byte only where a block differs: a sanitized build
        // walks 16 MiB bytewise slowly.
        constexpr size_t kBlock = 4096;
        const size_t size = now.size();
        for (size_t block = 0; block < size; block += kBlock) {
            const size_t n = std::min(kBlock, size - block);
            if (std::memcmp(was->second.data() + block, now.data() + block, n) == 0) continue;
            for (size_t at = block; at < block + n; ++at) {
                if (was->second[at] == now[at]) continue;
                if (mayWrite && (at == kCoreN || at == kMemN)) continue;
                found.push_back(file.string() + " byte " + Hex(at) + " went from " +
                                Hex(static_cast<unsigned char>(was->second[at])) + " to " +
                                Hex(static_cast<unsigned char>(now[at])));
                if (found.size() > 20) return found;  // enough to see what went wrong
            }
        }
    }
    return found;
}

}  // namespace tarvento::testing
