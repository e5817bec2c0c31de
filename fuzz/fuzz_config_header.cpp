// SPDX-License-Identifier: GPL-3.0-or-later
// Adapter discovery over a machine whose configuration words, read failures and last bus
// come from the input; then chip recognition on what it found, which may read registers
// only inside the adapter's own BAR0.

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <vector>

#include "chip/adapter_discovery.h"
#include "chip/chip_state.h"
#include "chip/chip_recognition.h"
#include "chip/registers.h"
#include "fuzz/fuzz_check.h"

using namespace tarvento;

namespace {

constexpr uint32_t kSentinelBase = 0x12345670;
constexpr uint32_t kRegisterWindow = 0x01000000;  // the chip's 16 MiB of registers

// A bus that answers from the input, and remembers every read it served.
class InputHardware final : public HardwareAccess {
public:
    struct Read {
        int bus, device, function;
        uint16_t offset;
        bool ok;
        uint32_t value;
    };

    explicit InputHardware(FuzzedDataProvider& in) : in_(in) {
        // Mostly a bus or two, so the input reaches deep; sometimes the whole 0..255 range
        // or no bus at all.
        const uint8_t b = in_.ConsumeIntegral<uint8_t>();
        lastBus = b == 0xFF ? 255 : b == 0xFE ? -1 : b % 3;
    }

    int lastBus;
    std::vector<Read> reads;

    int LastBusNumber() override { return lastBus; }

    bool ReadConfigDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                         uint16_t& low, uint16_t& high) override {
        FUZZ_CHECK(int{bus} <= lastBus && device < 32 && function < 8);
        FUZZ_CHECK(offset % 4 == 0 && offset < 256);
        Read r{bus, device, function, offset, true, 0xFFFFFFFF};
        if (in_.remaining_bytes() == 0) {
            // The input is spent: the rest of the bus is empty, as a real one mostly is.
            low = high = 0xFFFF;
        } else {
            const uint8_t control = in_.ConsumeIntegral<uint8_t>();
            switch (control % 16) {
            case 0:  // the first half fails: nothing is stored
                r.ok = false;
                break;
            case 1:  // the second half fails: the low half is stored all the same
                low = in_.ConsumeIntegral<uint16_t>();
                r.ok = false;
                break;
            default:
                low = in_.ConsumeIntegral<uint16_t>();
                high = in_.ConsumeIntegral<uint16_t>();
                // Steer some class words to VGA, so whole headers are read often.
                if (offset == 8 && (control & 0x10) != 0) high = kClassVgaCompatible;
                r.value = (uint32_t{high} << 16) | low;
            }
        }
        reads.push_back(r);
        return r.ok;
    }

    // Discovery never touches a chip register; recognition only reads, and only inside
    // the adapter's register window.
    bool registersAllowed = false;
    uint32_t windowBase = 0;
    int registerReads = 0;
    std::optional<uint32_t> ReadRegister(uint32_t address) override {
        FUZZ_CHECK(registersAllowed);
        FUZZ_CHECK(address >= windowBase && address - windowBase < kRegisterWindow);
        ++registerReads;
        if (in_.remaining_bytes() == 0) return 0x0001960C;  // a stock TNT core PLL
        return in_.ConsumeIntegral<uint32_t>();
    }
    bool WriteRegister(uint32_t, uint32_t) override {
        FUZZ_CHECK(!"discovery or recognition wrote a register");
        return false;
    }

private:
    FuzzedDataProvider& in_;
};

int SlotOf(const InputHardware::Read& r) { return (r.bus << 8) | (r.device << 3) | r.function; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    InputHardware hw(in);

    DiscoveryState state;
    for (size_t i = 0; i < state.pciConfigHeader.size(); ++i)
        state.pciConfigHeader[i] = 0xA5000000u | static_cast<uint32_t>(i);
    state.registerBase = kSentinelBase;
    ConfigHeader expectedHeader = state.pciConfigHeader;  // what the reads should leave

    DisplayAdapter out;
    out.vendorId = 0x1111;
    out.deviceId = 0x2222;
    out.registerBase = 0x33333330;
    const bool found = FindDisplayAdapter(hw, state, out);

    if (hw.lastBus < 0) FUZZ_CHECK(hw.reads.empty() && !found);

    // Walk the reads function by function, as the scan must have made them.
    int previousSlot = -1;
    size_t i = 0;
    bool lastWasAdapter = false;
    int adapterSlot = -1;
    int devices = 0;
    ConfigHeader words{};
    while (i < hw.reads.size()) {
        const InputHardware::Read& first = hw.reads[i];
        const int slot = SlotOf(first);
        FUZZ_CHECK(slot > previousSlot);  // bus, device, function order; each once
        if (previousSlot >= 0 && (slot >> 3) == (previousSlot >> 3)) {
            // Same device: only after a present function that was not the adapter.
            FUZZ_CHECK((slot & 7) == (previousSlot & 7) + 1);
        } else {
            // A new device: the next one, from function 0; no device is left out.
            FUZZ_CHECK((slot & 7) == 0 && (slot >> 3) == (previousSlot >> 3) + 1);
            ++devices;
        }
        FUZZ_CHECK(!lastWasAdapter);  // nothing is read after the adapter

        size_t n = 0;  // reads of this function
        bool failed = false;
        for (; i < hw.reads.size() && SlotOf(hw.reads[i]) == slot; ++i, ++n) {
            const InputHardware::Read& r = hw.reads[i];
            FUZZ_CHECK(r.offset == 4 * n);  // word by word from 0
            FUZZ_CHECK(!failed);            // nothing after a failed read
            if (!r.ok) {
                failed = true;
                continue;
            }
            words[n] = r.value;
            expectedHeader[n] = r.value;
        }
        FUZZ_CHECK(n >= 1 && n <= 64);
        const uint16_t classWord = static_cast<uint16_t>(words[2] >> 16);
        const bool complete = !failed && (n == 64 || (n == 3 && classWord != kClassVgaCompatible));
        FUZZ_CHECK(failed || complete);
        if (n > 3) FUZZ_CHECK(classWord == kClassVgaCompatible);  // only VGA is read whole
        const bool absent =
            failed || (words[0] & 0xFFFF) == kNoFunction || (words[0] >> 16) == kNoFunction;
        const bool adapter = !absent && classWord == kClassVgaCompatible && words[4] != 0;
        if (absent) {
            // The rest of this device is not probed: the next read is on another device.
            if (i < hw.reads.size()) FUZZ_CHECK((SlotOf(hw.reads[i]) >> 3) != (slot >> 3));
        }
        if (adapter) adapterSlot = slot;
        lastWasAdapter = adapter;
        previousSlot = slot;
        if (adapter) {
            FUZZ_CHECK(found);
            FUZZ_CHECK(out.vendorId == (words[0] & 0xFFFF) && out.deviceId == (words[0] >> 16));
            FUZZ_CHECK(out.registerBase == (words[4] & ~kBarFlagBits));
            FUZZ_CHECK(state.registerBase == out.registerBase);
        }
    }

    if (found) {
        FUZZ_CHECK(adapterSlot >= 0);
        FUZZ_CHECK(((out.bus << 8) | (out.device << 3) | out.function) == adapterSlot);
    } else {
        FUZZ_CHECK(adapterSlot < 0);
        // Every device of every bus up to the last was looked at, and no more.
        FUZZ_CHECK(devices == (hw.lastBus + 1) * 32);
        FUZZ_CHECK(state.registerBase == kSentinelBase);
        FUZZ_CHECK(out.vendorId == 0x1111 && out.deviceId == 0x2222 && out.registerBase == 0x33333330);
    }
    // The snapshot holds every word read last at each index; words no read reached keep
    // what they held before.
    FUZZ_CHECK(state.pciConfigHeader == expectedHeader);

    if (found) {
        ChipState chip(hw);
        chip.discovery = state;
        hw.registersAllowed = true;
        hw.windowBase = out.registerBase;
        RecognizedChip recognized;
        const Recognition r = RecognizeChip(chip, out.vendorId, out.deviceId, recognized);
        // Registers are read only where BAR0 really lies: memory below 4 GiB.
        const std::optional<uint64_t> bar0 = Bar0MemoryAddress(state.pciConfigHeader);
        if (hw.registerReads > 0) FUZZ_CHECK(bar0 && *bar0 == out.registerBase);
        FUZZ_CHECK((r == Recognition::Recognized) == (chip.currentChipName != nullptr));
        if (r == Recognition::Unsupported) FUZZ_CHECK(hw.registerReads == 0);
    }
    return 0;
}
