// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/firmware_clocks.h"

#include <optional>

#include "chip/chip_table.h"
#include "chip/hex_text.h"
#include "chip/running_program.h"
#include "files/durable_file.h"
#include "platform/small_file.h"
#include "keeping/apply_guard.h"
#include "keeping/apply_to_card.h"
#include "keeping/card_words.h"
#include "texts/user_texts.h"

namespace tarvento {

namespace {

constexpr const char* kHeader = "Tarvento: the card's PLL words as its firmware left them at this boot";

// The recognised card as a record names it, with its words now; nothing when they cannot
// be read.
std::optional<CardWords> CardNow(ChipState& chip, const std::string& bootId) {
    const ChipProfile& profile = *FindChipProfileByName(chip.currentChipName);
    const auto words = ReadPllWords(chip.hardware, chip.recognizedAdapter->registerBase, profile);
    if (!words) return std::nullopt;
    return WordsOfCard(*chip.recognizedAdapter, *words, bootId);
}

std::string WordsInLine(const PllWords& words) {
    std::string text;
    for (int i = 0; i < words.count; ++i) text += " " + HexNumber(words.plls[i].word, 8);
    return text;
}

// "Mem Clock 110 MHz, Chip Clock 90 MHz", as the words make them on the recognised chip.
std::string ClocksOfWordsInWords(ChipState& chip, const PllWords& words) {
    const ChipProfile& profile = *FindChipProfileByName(chip.currentChipName);
    const auto clocks = ClocksOfPllWords(chip.hardware, chip.recognizedAdapter->registerBase, profile, words);
    if (!clocks) return "clocks unknown (the strap cannot be read)";
    return ClockPairText(*clocks);
}

}  // namespace

bool RecordFirmwareClocks(ChipState& chip, const MachinePaths& paths, std::ostream& out,
                          std::ostream& err) {
    const std::string prefix = DiagnosticPrefix();
    const std::string bootId = GuardMachine{paths.procRoot}.BootId();
    if (!FindCard(chip, err)) return false;
    const std::optional<CardWords> now = CardNow(chip, bootId);
    if (!now) {
        err << prefix << kFirmwareWordsUnread << "\n";
        return false;
    }
    if (const auto text = ReadSmallFile(paths.firmwareClocks)) {
        const std::optional<CardWords> recorded = ParseCardWords(*text);
        if (recorded && !bootId.empty() && recorded->bootId == bootId && SameCard(*recorded, *now)) {
            out << "Firmware clocks: recorded at this boot already:" << WordsInLine(recorded->words) << "\n";
            return true;
        }
    }
    std::string error;
    if (!WriteFileDurably(paths.firmwareClocks, FormatCardWords(kHeader, *now), 0644, error, 0755)) {
        err << prefix << FirmwareNotRecordedText(error) << "\n";
        return false;
    }
    out << "Firmware clocks recorded: " << now->slot << " " << chip.currentChipName << WordsInLine(now->words)
        << "\n";
    return true;
}

int ResetToFirmwareClocks(ChipState& chip, const MachinePaths& paths, std::ostream& out,
                          std::ostream& err) {
    const std::string prefix = DiagnosticPrefix();
    if (!FindCard(chip, err)) return 1;
    const std::string bootId = GuardMachine{paths.procRoot}.BootId();
    SmallFileFailure unread;
    const std::optional<std::string> text = ReadSmallFile(paths.firmwareClocks, 4096, &unread);
    if (!text) {
        err << prefix
            << (unread.kind == SmallFileFailure::Kind::Missing
                    ? NoFirmwareRecordText(paths.firmwareClocks)
                    : FileNotReadText(SmallFileFailureText(paths.firmwareClocks, unread)))
            << "\n";
        return 1;
    }
    const std::optional<CardWords> recorded = ParseCardWords(*text);
    const std::optional<CardWords> now = CardNow(chip, bootId);
    if (!recorded || recorded->bootId.empty()) {
        err << prefix << NotAFirmwareRecordText(paths.firmwareClocks) << "\n";
        return 1;
    }
    // Without a boot id this boot cannot be told from another: the words may not be this
    // boot's firmware's.
    if (bootId.empty() || recorded->bootId != bootId) {
        err << prefix << kFirmwareRecordOfEarlierBoot << "\n";
        return 1;
    }
    if (!now) {
        err << prefix << kMsgPciAccessFailed << "\n"
            << prefix << ReasonText(AccessFailure::Of(AccessFailure::Kind::RegistersUnread)) << "\n";
        return 1;
    }
    if (!SameCard(*recorded, *now)) {
        err << prefix << FirmwareRecordOfAnotherCardText(CardInWords(*recorded), CardInWords(*now)) << "\n";
        return 1;
    }
    // The same PLLs the program sets on this chip, each with a word a clock setting makes:
    // anything else is no record of this card's firmware.
    for (int i = 0; i < recorded->words.count; ++i) {
        const PllWords::Pll& pll = recorded->words.plls[i];
        if (recorded->words.count != now->words.count || pll.offset != now->words.plls[i].offset) {
            err << prefix << NotAFirmwareRecordText(paths.firmwareClocks) << "\n";
            return 1;
        }
        if (!PlausiblePllWord(pll.word)) {
            err << prefix << ImplausibleRecordedWordText(HexNumber(pll.word, 8), HexNumber(pll.offset, 8)) << "\n";
            return 1;
        }
    }
    if (recorded->words == now->words) {
        out << kFirmwareClocksAlreadyThere << "\n";
        return 0;
    }
    CardWrite write;
    write.words = recorded->words;
    if (WriteToCard(chip, write, out, err).status != CardWriteResult::Status::Written) return 1;
    out << "Reset to the firmware clocks: " << ClocksOfWordsInWords(chip, recorded->words) << "\n";
    for (int i = 0; i < now->words.count; ++i) {
        if (now->words.plls[i].word == recorded->words.plls[i].word) continue;
        out << "PLL at offset " << HexNumber(now->words.plls[i].offset, 8) << " "
            << HexNumber(now->words.plls[i].word, 8) << " -> " << HexNumber(recorded->words.plls[i].word, 8)
            << "\n";
    }
    return 0;
}

void ReportFirmwareClocks(ChipState& chip, const MachinePaths& paths, std::ostream& out) {
    SmallFileFailure unread;
    const std::optional<std::string> text = ReadSmallFile(paths.firmwareClocks, 4096, &unread);
    if (!text && unread.kind != SmallFileFailure::Kind::Missing) {
        out << "Firmware clocks: unreadable (" << SmallFileFailureText(paths.firmwareClocks, unread) << ")\n";
        return;
    }
    if (!text) {
        out << "Firmware clocks: none recorded (the boot service records them when the card appears)\n";
        return;
    }
    const std::optional<CardWords> recorded = ParseCardWords(*text);
    if (!recorded) {
        out << "Firmware clocks: unreadable (" << paths.firmwareClocks << ")\n";
        return;
    }
    const std::string bootId = GuardMachine{paths.procRoot}.BootId();
    const bool thisBoot = !bootId.empty() && recorded->bootId == bootId;
    const bool thisCard = chip.currentChipName != nullptr && chip.recognizedAdapter &&
                          SameCard(*recorded, WordsOfCard(*chip.recognizedAdapter, {}));
    out << "Firmware clocks: ";
    if (thisCard) out << ClocksOfWordsInWords(chip, recorded->words) << " ";
    out << "(PLL words" << WordsInLine(recorded->words) << "), recorded "
        << (thisBoot ? "at this boot" : "at an earlier boot") << " for " << CardInWords(*recorded)
        << (thisBoot && thisCard ? "; tarvento --reset puts them back" : "") << "\n";
}

}  // namespace tarvento
