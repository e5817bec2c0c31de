// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/apply_to_card.h"

#include "chip/chip_table.h"
#include "chip/hex_text.h"
#include "chip/registers.h"
#include "chip/running_program.h"
#include "keeping/card_words.h"
#include "keeping/recognized_card.h"
#include "texts/user_texts.h"

namespace tarvento {

namespace {

// "Would write memory PLL (offset 0x00680504): 0x0001B80C -> 0x0001C90C, makes 120.170
// MHz (crystal 14.31818 MHz)", for each word.
void SayWouldWrite(ChipState& chip, const PllWords& before, const PllWords& words, std::ostream& out) {
    HardwareAccess& hw = chip.hardware;
    const uint32_t base = chip.recognizedAdapter->registerBase;
    const std::optional<uint32_t> strap = ReadAnsweredRegister(hw, base, kStrapOffset);
    for (int i = 0; i < words.count; ++i) {
        const PllWords::Pll& pll = words.plls[i];
        out << "Would write " << (pll.offset == kCorePllOffset ? "core PLL" : "memory PLL") << " (offset "
            << HexNumber(pll.offset, 8) << "): ";
        for (int j = 0; j < before.count; ++j)
            if (before.plls[j].offset == pll.offset) out << HexNumber(before.plls[j].word, 8) << " -> ";
        out << HexNumber(pll.word, 8);
        const ChipClock* clock = ClockAt(*FindChipProfileByName(chip.currentChipName), pll.offset);
        if (strap) out << ", " << PllOutputText(pll.word, *strap, clock != nullptr ? clock->pMask : kPllPMask);
        out << "\n";
    }
}

}  // namespace

bool FindCard(ChipState& chip, std::ostream& err) {
    if (chip.currentChipName != nullptr) return true;
    RecognizedChip recognized;
    std::string reason;
    if (RecognizeCard(chip, recognized, reason)) return true;
    const std::string prefix = DiagnosticPrefix();
    err << prefix << kMsgPciAccessFailed << "\n" << prefix << reason << "\n";
    return false;
}

void SayWrongChip(const ChipState& chip, std::ostream& err) {
    const std::string prefix = DiagnosticPrefix();
    err << prefix << kMsgWrongChipset << "\n";
    if (chip.recognizedAdapter && chip.currentChipName != nullptr)
        err << prefix << FoundCardText(chip.recognizedAdapter, chip.currentChipName) << "\n";
}

void SayOutcome(const ApplyOutcome& outcome, std::ostream& err) {
    const std::optional<OutcomeWords> words = ApplyOutcomeWords(outcome);
    if (!words) return;
    const std::string prefix = DiagnosticPrefix();
    err << prefix << words->message << "\n";
    if (!words->reason.empty()) err << prefix << words->reason << "\n";
}

CardWriteResult WriteToCard(ChipState& chip, const CardWrite& write, std::ostream& out,
                            std::ostream& err) {
    using Status = CardWriteResult::Status;
    CardWriteResult result;
    if (!FindCard(chip, err)) return result;
    const ChipProfile& profile = *FindChipProfileByName(chip.currentChipName);
    HardwareAccess& hw = chip.hardware;
    const uint32_t base = chip.recognizedAdapter->registerBase;
    result.before = ReadPllWords(hw, base, profile);

    if (write.words) {
        const ApplyOutcome restored = WritePllWords(hw, base, *write.words, profile.architecture, &result.written);
        SayOutcome(restored, err);
        result.status = restored.Applied() ? Status::Written : Status::Refused;
        return result;
    }

    if (!ChipNameEquals(chip.currentChipName, write.chip.c_str())) {
        SayWrongChip(chip, err);
        return result;
    }
    // A machine that did not survive these clocks, or a boot that asks for no applies,
    // gets nothing; the kernel command line is the owner's own word, no failure.
    if (write.guard != nullptr) {
        const ApplyGuard::Verdict verdict = write.guard->Check();
        if (verdict != ApplyGuard::Verdict::Apply) {
            const std::string prefix = DiagnosticPrefix();
            err << prefix << ApplyGuard::RefusalHeadline() << "\n"
                << prefix << write.guard->RefusalText() << "\n";
            result.status = verdict == ApplyGuard::Verdict::NoApplyWord ? Status::Withheld : Status::Refused;
            return result;
        }
    }
    if (write.dryRun) {
        PllWords words;
        const ApplyOutcome check = DryRunClocks(chip, write.clocks, words);
        if (result.before) SayWouldWrite(chip, *result.before, words, out);
        SayOutcome(check, err);
        out << kDryRunWroteNothing << "\n";
        result.status = check.Applied() ? Status::Written : Status::Refused;
        return result;
    }
    const ApplyOutcome applied = ApplyClocks(chip, write.clocks, [&] {
        if (write.guard != nullptr) write.guard->RecordPending(chip.currentChipName, write.clocks);
    });
    result.applied = true;
    SayOutcome(applied, err);
    result.status = applied.Applied() ? Status::Written : Status::Refused;
    return result;
}

}  // namespace tarvento
