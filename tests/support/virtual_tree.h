// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tools/virtual_card.h"

namespace tarvento::testing {

// A whole file in one read (resource0 files are 16 MiB and compared often). `complete`,
// when given, says whether the file opened and every byte of it was read.
std::vector<char> ReadFileBytes(const std::filesystem::path& file, bool* complete = nullptr);

// A virtual PCI tree in a fresh temporary folder, removed again with the object.
class VirtualTree {
public:
    const std::filesystem::path& Root() const { return folder_.Path(); }
    std::string RootString() const { return folder_.Path().string(); }
    std::filesystem::path SlotDir(uint8_t bus, uint8_t device, uint8_t function) const;

    // Adds a function; a failure fails the running test.
    void Add(const virtualcard::VirtualCard& card);
    // A function without registers: ids, class (24-bit) and BAR0 as given.
    void AddFunction(uint8_t bus, uint8_t device, uint8_t function, uint16_t vendorId,
                     uint16_t deviceId, uint32_t classCode, uint32_t bar0);
    // A stock RIVA TNT (90 MHz core, 110 MHz memory) with its registers.
    void AddTnt(uint8_t bus, uint8_t device, uint8_t function, uint32_t bar0);

    // The 32-bit word at `offset` of a file, read straight from the disk.
    uint32_t FileWord(const std::filesystem::path& file, uint64_t offset) const;
    void SetFileWord(const std::filesystem::path& file, uint64_t offset, uint32_t value) const;
    std::vector<char> FileBytes(const std::filesystem::path& file) const;

private:
    TempFolder folder_;
};

}  // namespace tarvento::testing
