// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up argument scan against the C library's own "%s %d %d" scan, on any text.

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "fuzz/fuzz_check.h"
#include "keeping/start_arguments.h"

using namespace tarvento;

namespace {

constexpr int32_t kUntouched = 0x5A5A5A5A;

bool Blank(const char* text) {
    for (; *text != '\0'; ++text)
        if (!std::isspace(static_cast<unsigned char>(*text))) return false;
    return true;
}

bool FitsInt32(long long v) {
    return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The text in a buffer exactly as long as it: a read past the terminator is caught.
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    // The chip name in exactly twelve bytes: a write past them is caught.
    std::unique_ptr<char[]> storage(new char[kChipNameScratchSize]);
    std::memset(storage.get(), 0x7F, kChipNameScratchSize);
    ChipNameBuffer& name = *reinterpret_cast<ChipNameBuffer*>(storage.get());

    int32_t mem = kUntouched;
    int32_t chip = kUntouched;
    const int count = ScanStartArguments(text.get(), name, mem, chip);
    FUZZ_CHECK(count == -1 || (count >= 1 && count <= 3));
    FUZZ_CHECK((count == -1) == Blank(text.get()));

    // The runtime's scan with room for any token and 64-bit fields: glibc clamps a number
    // beyond long long, and ours ends the scan at any number beyond 32 bits.
    char* token = nullptr;
    long long m = 0;
    long long c = 0;
    int expected = std::sscanf(text.get(), "%ms %lld %lld", &token, &m, &c);
    if (expected >= 2 && !FitsInt32(m)) expected = 1;
    if (expected == 3 && !FitsInt32(c)) expected = 2;
    FUZZ_CHECK(count == expected);

    if (count >= 1) {
        FUZZ_CHECK(std::memchr(name, '\0', kChipNameScratchSize) != nullptr);
        const size_t kept = std::strlen(name);
        FUZZ_CHECK(kept == std::min(std::strlen(token), kChipNameScratchSize - 1));
        FUZZ_CHECK(std::strncmp(name, token, kept) == 0);
    }
    FUZZ_CHECK(count >= 2 ? mem == m : mem == kUntouched);
    FUZZ_CHECK(count == 3 ? chip == c : chip == kUntouched);
    std::free(token);
    return 0;
}
