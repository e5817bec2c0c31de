// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/sleep_clocks.h"

#include <cstdio>
#include <optional>
#include <sstream>

#include "chip/chip_table.h"
#include "chip/clock_restore.h"
#include "chip/hex_text.h"
#include "chip/running_program.h"
#include "chip/sysfs_hardware.h"
#include "files/durable_file.h"
#include "platform/folders.h"
#include "platform/small_file.h"
#include "keeping/recognized_card.h"
#include "texts/user_texts.h"

namespace tarvento {

namespace {

struct SavedCard {
    std::string slot;
    uint16_t vendorId = 0;
    uint16_t deviceId = 0;
    PllWords words;
};


std::string Slot(const DisplayAdapter& a) { return SysfsSlotName({0, a.bus, a.device, a.function}); }

// "slot 0000:01:00.0", "ids 10DE:0020", then "pll <offset> <word>" per PLL, all hex.
std::string Format(const SavedCard& card) {
    const std::string ids = HexDigits(card.vendorId, 4) + ":" + HexDigits(card.deviceId, 4);
    std::string text = "# Tarvento: the card's PLL words before the machine slept\nslot " +
                       card.slot + "\nids " + ids + "\n";
    for (int i = 0; i < card.words.count; ++i)
        text += "pll " + HexNumber(card.words.plls[i].offset, 8) + " " +
                HexNumber(card.words.plls[i].word, 8) + "\n";
    return text;
}

std::optional<SavedCard> Parse(const std::string& text) {
    SavedCard card;
    std::istringstream in(text);
    std::string line;
    bool ids = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string key, a, b;
        fields >> key >> a >> b;
        unsigned vendor = 0, device = 0, offset = 0, word = 0;
        if (key == "slot") {
            card.slot = a;
        } else if (key == "ids" && std::sscanf(a.c_str(), "%4x:%4x", &vendor, &device) == 2) {
            card.vendorId = static_cast<uint16_t>(vendor);
            card.deviceId = static_cast<uint16_t>(device);
            ids = true;
        } else if (key == "pll" && card.words.count < 2 &&
                   std::sscanf(a.c_str(), "0x%x", &offset) == 1 &&
                   std::sscanf(b.c_str(), "0x%x", &word) == 1) {
            card.words.plls[card.words.count++] = {offset, word};
        } else {
            return std::nullopt;
        }
    }
    if (card.slot.empty() || !ids || card.words.count == 0) return std::nullopt;
    return card;
}

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
    const SavedCard card{Slot(adapter), adapter.vendorId, adapter.deviceId, *words};
    const std::optional<FolderFailure> folder = MakeFolders(FolderOf(paths.sleepWords), 0755);
    if (folder) error = FolderFailureText(*folder);
    if (folder || !WriteFileDurably(paths.sleepWords, Format(card), 0644, error)) {
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
    const std::optional<std::string> text = ReadSmallFile(paths.sleepWords);
    if (!text) {
        out << kNothingSavedToRestore << "\n";
        return 0;
    }
    std::string error;
    const std::optional<SavedCard> saved = Parse(*text);
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
    if (Slot(adapter) != saved->slot || adapter.vendorId != saved->vendorId ||
        adapter.deviceId != saved->deviceId) {
        err << prefix << NotTheSavedCardText(Slot(adapter), saved->slot) << "\n";
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
