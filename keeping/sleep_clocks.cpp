// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/sleep_clocks.h"

#include <optional>

#include "chip/chip_table.h"
#include "chip/clock_restore.h"
#include "chip/hex_text.h"
#include "chip/running_program.h"
#include "files/durable_file.h"
#include "keeping/card_words.h"
#include "platform/small_file.h"
#include "keeping/recognized_card.h"
#include "texts/user_texts.h"

namespace tarvento {

namespace {

constexpr const char* kHeader = "Tarvento: the card's PLL words before the machine slept";

}  // namespace

int SaveClocksBeforeSleep(ChipState& chip, const MachinePaths& paths, std::ostream& out,
                          std::ostream& err) {
    const std::string prefix = DiagnosticPrefix();
    std::string error;
    // A file from an earlier sleep must not be taken for this one.
    RemoveFileDurably(paths.sleepWords, error);
    RecognizedChip recognized;
    std::string reason;
    if (!RecognizeCard(chip, recognized, reason)) {
        out << NoClocksSavedText(reason) << "\n";
        return 0;
    }
    const DisplayAdapter& adapter = *chip.recognizedAdapter;
    const std::optional<PllWords> words =
        ReadPllWords(chip.hardware, adapter.registerBase, *recognized.profile);
    if (!words) {
        out << kNoClocksSavedUnread << "\n";
        return 0;
    }
    const CardWords card = WordsOfCard(adapter, *words);
    if (!WriteFileDurably(paths.sleepWords, FormatCardWords(kHeader, card), 0644, error, 0755)) {
        err << prefix << ClocksNotSavedText(error) << "\n";
        return 1;
    }
    out << "Saved before sleep: " << card.slot << " " << chip.currentChipName;
    for (int i = 0; i < words->count; ++i) out << " " << HexNumber(words->plls[i].word, 8);
    out << "\n";
    return 0;
}

int RestoreClocksAfterResume(ChipState& chip, const MachinePaths& paths, std::ostream& out,
                             std::ostream& err) {
    const std::string prefix = DiagnosticPrefix();
    SmallFileFailure unread;
    const std::optional<std::string> text = ReadSmallFile(paths.sleepWords, 4096, &unread);
    std::string error;
    if (!text && unread.kind == SmallFileFailure::Kind::Missing) {
        out << kNothingSavedToRestore << "\n";
        return 0;
    }
    if (!text) {
        RemoveFileDurably(paths.sleepWords, error);
        err << prefix << FileNotReadText(SmallFileFailureText(paths.sleepWords, unread)) << "\n";
        return 1;
    }
    const std::optional<CardWords> saved = ParseCardWords(*text);
    RemoveFileDurably(paths.sleepWords, error);
    if (!saved) {
        err << prefix << NotASavedCardText(paths.sleepWords) << "\n";
        return 1;
    }
    RecognizedChip recognized;
    std::string reason;
    if (!RecognizeCard(chip, recognized, reason)) {
        err << prefix << NotASupportedChipAfterResumeText(reason) << "\n";
        return 1;
    }
    const DisplayAdapter& adapter = *chip.recognizedAdapter;
    if (!SameCard(WordsOfCard(adapter, {}), *saved)) {
        err << prefix << NotTheSavedCardText(SlotOf(adapter), saved->slot) << "\n";
        return 1;
    }
    const std::optional<PllWords> now =
        ReadPllWords(chip.hardware, adapter.registerBase, *recognized.profile);
    if (!now || now->count != saved->words.count) {
        err << prefix << kPllWordsUnreadAfterResume << "\n";
        return 1;
    }
    for (int i = 0; i < now->count; ++i) {
        const uint32_t word = now->plls[i].word;
        if (now->plls[i].offset != saved->words.plls[i].offset || !PlausiblePllWord(word) ||
            !PlausiblePllWord(saved->words.plls[i].word)) {
            err << prefix << ImplausiblePllWordText(HexNumber(word, 8), HexNumber(now->plls[i].offset, 8))
                << "\n";
            return 1;
        }
    }
    if (*now == saved->words) {
        out << kClocksUnchangedAcrossSleep << "\n";
        return 0;
    }
    int written = 0;
    const ApplyOutcome restored =
        WritePllWords(chip.hardware, adapter.registerBase, saved->words,
                      recognized.profile->architecture, &written);
    // Only a restore that wrote every word says what it restored.
    if (!restored.Applied()) {
        const std::string reason = ReasonText(restored.reason);
        err << prefix << (written == 0 ? NotRestoredText(reason) : NotAllRestoredText(reason)) << "\n";
        return 1;
    }
    for (int i = 0; i < now->count; ++i) {
        if (now->plls[i].word == saved->words.plls[i].word) continue;
        out << "Restored after resume: PLL at offset " << HexNumber(saved->words.plls[i].offset, 8)
            << " " << HexNumber(now->plls[i].word, 8) << " -> "
            << HexNumber(saved->words.plls[i].word, 8) << "\n";
    }
    return 0;
}

}  // namespace tarvento
