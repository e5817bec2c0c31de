// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/virtual_tree.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include <gtest/gtest.h>

namespace tarvento::testing {

namespace fs = std::filesystem;

fs::path VirtualTree::SlotDir(uint8_t bus, uint8_t device, uint8_t function) const {
    return Root() / "devices" / SysfsSlotName(SysfsSlot{0, bus, device, function});
}

void VirtualTree::Add(const virtualcard::VirtualCard& card) {
    std::string error;
    ASSERT_TRUE(virtualcard::CreateCard(Root(), card, error)) << error;
}

void VirtualTree::AddFunction(uint8_t bus, uint8_t device, uint8_t function, uint16_t vendorId,
                              uint16_t deviceId, uint32_t classCode, uint32_t bar0) {
    virtualcard::VirtualCard card;
    card.slot = SysfsSlot{0, bus, device, function};
    card.vendorId = vendorId;
    card.deviceId = deviceId;
    card.classCode = classCode;
    card.bar0 = bar0;
    Add(card);
}

void VirtualTree::AddTnt(uint8_t bus, uint8_t device, uint8_t function, uint32_t bar0) {
    virtualcard::VirtualCard card = *virtualcard::StockCard("RIVA_TNT");
    card.slot = SysfsSlot{0, bus, device, function};
    card.bar0 = bar0;
    Add(card);
}

uint32_t VirtualTree::FileWord(const fs::path& file, uint64_t offset) const {
    unsigned char b[4] = {};
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << file;
    if (fd < 0) return 0;
    EXPECT_EQ(pread(fd, b, 4, static_cast<off_t>(offset)), 4) << file;
    close(fd);
    return uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}

void VirtualTree::SetFileWord(const fs::path& file, uint64_t offset, uint32_t value) const {
    const unsigned char b[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    const int fd = open(file.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << file;
    EXPECT_EQ(pwrite(fd, b, 4, static_cast<off_t>(offset)), 4) << file;
    close(fd);
}

std::vector<char> ReadFileBytes(const fs::path& file, bool* complete) {
    std::vector<char> bytes;
    if (complete != nullptr) *complete = false;
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return bytes;
    const off_t size = lseek(fd, 0, SEEK_END);
    bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    if (complete != nullptr) *complete = done == bytes.size();
    bytes.resize(done);
    return bytes;
}

std::vector<char> VirtualTree::FileBytes(const fs::path& file) const { return ReadFileBytes(file); }

}  // namespace tarvento::testing
