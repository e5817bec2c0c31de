// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A chip on a fake machine, for the tests of what the chip layer reads and writes.

#include <gtest/gtest.h>

#include <cstdint>

#include "chip/adapter_discovery.h"
#include "chip/chip_recognition.h"
#include "chip/chip_state.h"
#include "chip/chip_table.h"
#include "tests/support/card_constants.h"
#include "tests/support/fake_hardware.h"

namespace tarvento::testing {

// Registers at kBase that each test sets. The state knows the adapter there as a
// recognition leaves it, and a chip only once the test names one or recognises it.
class ChipProfilesOnMachine : public ::testing::Test {
protected:
    ChipProfilesOnMachine() {
        state.discovery.registerBase = kBase;
        // As a recognition leaves it; the tests that name a chip without one write here.
        state.recognizedAdapter = DisplayAdapter{0x10DE, 0x0020, kBase};
    }

    void Registers(uint32_t core, uint32_t mem, uint32_t strap) {
        hw.SetRegister(kCorePll, core);
        hw.SetRegister(kMemPll, mem);
        hw.SetRegister(kStrap, strap);
    }

    FakeHardware hw;
    ChipState state{hw};
};

// A recognised chip of the given profile on a fake machine, its PLLs at the given words.
struct FakeCard {
    FakeHardware hw;
    ChipState state{hw};
    FakeCard(const ChipProfile& profile, uint32_t memWord, uint32_t coreWord, uint32_t strap) {
        hw.lastBus = 1;
        hw.AddFunction(1, 0, 0, profile.vendorIds[0], profile.deviceIds[0], 0x0300, kBase);
        hw.SetRegister(kMemPll, memWord);
        hw.SetRegister(kCorePll, coreWord);
        hw.SetRegister(kStrap, strap);
        DisplayAdapter adapter;
        EXPECT_TRUE(FindDisplayAdapter(hw, state.discovery, adapter));
        RecognizedChip recognized;
        EXPECT_EQ(RecognizeChip(state, adapter.vendorId, adapter.deviceId, recognized),
                  Recognition::Recognized);
    }
};

}  // namespace tarvento::testing
