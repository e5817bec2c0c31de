// SPDX-License-Identifier: GPL-3.0-or-later
// FindNthWordFromEnd on any text, and the read-back of an entry: the scan of the third
// word from the end of a built entry gives the chip name and both clocks again.

#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "keeping/autostart_entry.h"
#include "keeping/desktop_entry.h"
#include "keeping/start_arguments.h"

using namespace tarvento;

namespace {

// Where a space-separated word begins; a word at the very first character never counts.
bool WordStartsAt(const char* text, size_t i) { return i > 0 && text[i] != ' ' && text[i - 1] == ' '; }

// Scans `text` into a chip name of exactly twelve heap bytes, so that a write past
// them is caught, and checks the name is terminated inside them.
int ScanIntoTwelveBytes(const char* text, std::string& nameOut, int32_t& mem, int32_t& chip) {
    std::unique_ptr<char[]> storage(new char[kChipNameScratchSize]);
    std::memset(storage.get(), 0x7F, kChipNameScratchSize);
    ChipNameBuffer& name = *reinterpret_cast<ChipNameBuffer*>(storage.get());
    const int count = ScanStartArguments(text, name, mem, chip);
    if (count >= 1) {
        FUZZ_CHECK(std::memchr(name, '\0', kChipNameScratchSize) != nullptr);
        nameOut = name;
    }
    return count;
}

void CheckWordSearch(int n, const char* text, size_t length) {
    const char* found = FindNthWordFromEnd(n, text);
    FUZZ_CHECK(found >= text && found <= text + length);
    const size_t at = static_cast<size_t>(found - text);
    if (length < 2) {
        FUZZ_CHECK(found == text);
    } else {
        size_t words = 0;  // word starts from `at` to the end
        for (size_t i = at; i < length; ++i) words += WordStartsAt(text, i) ? 1 : 0;
        if (at < length) {
            FUZZ_CHECK(WordStartsAt(text, at));
            FUZZ_CHECK(n > 0 && words == static_cast<size_t>(n));
        } else {
            size_t all = 0;
            for (size_t i = 0; i < length; ++i) all += WordStartsAt(text, i) ? 1 : 0;
            FUZZ_CHECK(n <= 0 || all < static_cast<size_t>(n));
        }
    }
    std::string name;
    int32_t mem = 0;
    int32_t chip = 0;
    ScanIntoTwelveBytes(found, name, mem, chip);
}

void CheckEntryReadBack(FuzzedDataProvider& in) {
    const std::string path = in.ConsumeRandomLengthString(512);
    const std::string chipName = in.ConsumeRandomLengthString(32);
    const int32_t mem = in.ConsumeIntegral<int32_t>();
    const int32_t chip = in.ConsumeIntegral<int32_t>();
    const std::optional<std::string> entry = BuildAutostartEntry(path, chipName.c_str(), mem, chip);
    if (!entry) return;
    FUZZ_CHECK(entry->size() <= AutostartEntryCapacity());

    // The read-back holds for what the program writes: a path, without a terminator
    // inside it, and a chip name that is one token.
    if (path.empty() || path.find('\0') != std::string::npos || chipName.empty()) return;
    for (const char ch : chipName)
        if (ch == '\0' || std::isspace(static_cast<unsigned char>(ch))) return;

    std::unique_ptr<char[]> text(new char[entry->size() + 1]);
    std::memcpy(text.get(), entry->c_str(), entry->size() + 1);
    std::string name;
    int32_t readMem = 0;
    int32_t readChip = 0;
    const int count = ScanIntoTwelveBytes(FindNthWordFromEnd(3, text.get()), name, readMem, readChip);
    FUZZ_CHECK(count == 3);
    FUZZ_CHECK(name == chipName.substr(0, kChipNameScratchSize - 1));
    FUZZ_CHECK(readMem == mem && readChip == chip);

    // The desktop entry splits it at the same places.
    const std::optional<AutostartFields> fields = SplitAutostartEntry(*entry);
    FUZZ_CHECK(fields.has_value());
    FUZZ_CHECK(fields->programPath == path && fields->chipName == chipName);
    FUZZ_CHECK(fields->memClock == std::to_string(mem) && fields->chipClock == std::to_string(chip));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // n from the first byte, small and sometimes zero or negative; the text from the rest
    // in a buffer exactly as long as it.
    const int n = static_cast<int8_t>(data[0]) % 6;
    std::unique_ptr<char[]> text(new char[size]);
    std::memcpy(text.get(), data + 1, size - 1);
    text[size - 1] = '\0';
    CheckWordSearch(n, text.get(), std::strlen(text.get()));

    FuzzedDataProvider in(data, size);
    CheckEntryReadBack(in);
    return 0;
}
