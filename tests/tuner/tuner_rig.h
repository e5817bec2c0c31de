// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "chip/chip_state.h"
#include "chip/clock_formulas.h"
#include "chip/clock_pair.h"
#include "chip/registers.h"
#include "tests/support/card_constants.h"
#include "tests/support/fake_dialog_controls.h"
#include "tests/support/fake_hardware.h"
#include "tests/support/recording_autostart_store.h"
#include "texts/user_texts.h"
#include "tuner/tuner_dialog.h"

namespace tarvento {
inline void PrintTo(const ClockPair& p, std::ostream* os) {
    *os << "{memory " << p.memory << ", chip " << p.chip << "}";
}
}  // namespace tarvento

namespace tarvento::testing {

using Event = FakeDialogControls::Event;
using Access = FakeHardware::Access;

// A coefficient word with M = 12 and P = 1 whose N makes `read` give `mhz`.
inline uint32_t WordReading(int32_t (*read)(uint32_t, uint32_t), int32_t mhz,
                            uint32_t strap = kStrapSet) {
    for (uint32_t n = 0; n <= 255; ++n) {
        const uint32_t word = PllWithN(0x0001000C, n);
        if (read(word, strap) == mhz) return word;
    }
    ADD_FAILURE() << "no coefficient word reads " << mhz << " MHz";
    return 0;
}

// A machine with at most one graphics card, a Run-value store, controls without a
// toolkit, and the main window over them.
class TunerRig : public ::testing::Test {
protected:
    FakeHardware hw;
    ChipState chip{hw};
    RecordingAutostartStore store;
    FakeDialogControls controls;
    std::unique_ptr<TunerDialog> dialog;
    ApplyGuard* guard = nullptr;  // what an unattended start asks first; none by default

    void InsertCard(uint16_t vendorId, uint16_t deviceId) {
        hw.lastBus = 1;
        hw.AddFunction(1, 0, 0, vendorId, deviceId, kClassVgaCompatible, kBase);
        hw.SetRegister(kStrap, kStrapSet);
    }
    void InsertRiva128(uint32_t memWord, uint16_t deviceId = 0x0018) {
        InsertCard(0x10DE, deviceId);
        hw.SetRegister(kMemPll, memWord);
    }
    void InsertTnt(uint32_t memWord = kWordN150, uint32_t coreWord = kWordN150) {
        InsertCard(0x10DE, 0x0020);
        hw.SetRegister(kMemPll, memWord);
        hw.SetRegister(kCorePll, coreWord);
    }

    // Runs the start sequence with `arguments` as the command-line tail. The log of the
    // machine starts empty so that tests see what the window did, not what set it up.
    int Start(const std::string& arguments = "") {
        dialog = std::make_unique<TunerDialog>(
            controls, TunerDialog::Environment{chip, store, arguments, kProgramPath, guard});
        return dialog->OnInitDialog();
    }
    // Starts interactively, answers the warning with OK, and forgets what the start did.
    void StartAndAccept(const std::string& arguments = "") {
        Start(arguments);
        ASSERT_EQ(controls.Messages(), std::vector<std::string>{kWarningText});
        controls.ClearLog();
        hw.ClearLog();
        store.ClearCalls();
    }

    TunerFields& Fields() { return dialog->Fields(); }
    ClockPair Current() { return {Fields().memClock, Fields().chipClock}; }
    ClockPair Saved() { return {Fields().savedMemClock, Fields().savedChipClock}; }

    // A user's drag of a trackbar: the thumb moves, then the window hears of it.
    void Drag(int id, int position) {
        controls.UserMovesTrackbar(id, position);
        dialog->OnHScroll(id);
    }

    static Access Write(uint32_t address, uint32_t value) {
        return {Access::Write, address, value};
    }
};

}  // namespace tarvento::testing
