// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/boot_clocks.h"

#include <unistd.h>

#include "chip/apply_clocks.h"
#include "chip/chip_table.h"
#include "chip/running_program.h"
#include "files/durable_file.h"
#include "platform/small_file.h"
#include "keeping/apply_guard.h"
#include "keeping/apply_to_card.h"
#include "keeping/start_arguments.h"
#include "texts/user_texts.h"

namespace tarvento {

// The file holds the same three fields a start takes: "RIVA_TNT 120 100".
std::optional<BootClocks> ReadBootClocks(const std::string& path, std::string* unread) {
    SmallFileFailure why;
    const std::optional<std::string> text = ReadSmallFile(path, 4096, &why);
    if (unread != nullptr)
        *unread = text || why.kind == SmallFileFailure::Kind::Missing ? "" : SmallFileFailureText(path, why);
    if (!text) return std::nullopt;
    std::string line;
    for (std::size_t at = 0; at < text->size();) {
        const std::size_t end = std::min(text->find('\n', at), text->size());
        const std::string candidate = text->substr(at, end - at);
        at = end + 1;
        if (!candidate.empty() && candidate[0] != '#') {
            line = candidate;
            break;
        }
    }
    ChipNameBuffer name{};
    BootClocks boot;
    if (ScanStartArguments(line.c_str(), name, boot.clocks.memory, boot.clocks.chip) != 3)
        return std::nullopt;
    boot.chip = name;
    return boot;
}

namespace {

std::string InWords(const BootClocks& b) { return ClocksInWords(b.chip, b.clocks); }

}  // namespace

int SetBootClocks(ChipState& chip, const std::vector<std::string>& arguments,
                  const MachinePaths& paths, std::ostream& out, std::ostream& err) {
    const std::string prefix = DiagnosticPrefix();
    std::string error;
    if (arguments.size() == 1) {  // off
        if (!RemoveFileDurably(paths.bootClocks, error)) {
            err << prefix << error << "\n";
            return 1;
        }
        out << kBootClocksOff << "\n";
        return 0;
    }
    const std::optional<NamedClocks> named = ParseNamedClocks(arguments[0], arguments[1], arguments[2]);
    if (!named) {
        err << prefix << kMsgCommandLineError << "\n";
        return 1;
    }
    if (!FindCard(chip, err)) return 1;
    if (!ChipNameEquals(chip.currentChipName, named->chip.c_str())) {
        SayWrongChip(chip, err);
        return 1;
    }
    // What an apply would say of these clocks is said now, and nothing is stored.
    const ApplyOutcome check = CheckClocks(chip, named->clocks);
    if (!check.Applied()) {
        SayOutcome(check, err);
        return 1;
    }
    const BootClocks& boot = *named;
    const std::string text = "# Tarvento: the clocks the boot service applies at every boot.\n"
                             "# Set with: tarvento --boot-clocks CHIP MEMCLOCK CHIPCLOCK | off\n" +
                             boot.chip + " " + std::to_string(boot.clocks.memory) + " " +
                             std::to_string(boot.clocks.chip) + "\n";
    if (!WriteFileDurably(paths.bootClocks, text, 0644, error, 0755)) {
        err << prefix << BootClocksNotStoredText(error) << "\n";
        return 1;
    }
    // Choosing again is the owner's answer to a guard that stopped the boot clocks.
    if (!RemoveFileDurably(paths.bootRecord, error)) err << prefix << error << "\n";
    out << BootClocksSetText(InWords(boot)) << "\n";
    return 0;
}

void ReportBootClocks(const MachinePaths& paths, std::ostream& out) {
    const GuardMachine machine{paths.procRoot};
    const std::string bootId = machine.BootId();
    std::string recordUnread;
    const std::optional<ApplyRecord> record = ReadApplyRecord(paths.bootRecord, &recordUnread);
    std::string unread;
    if (::access(paths.bootClocks.c_str(), F_OK) != 0) {
        out << kBootClocksOff << "\n";
    } else if (const std::optional<BootClocks> boot = ReadBootClocks(paths.bootClocks, &unread)) {
        const bool applied = record && !bootId.empty() && record->bootId == bootId;
        out << "Boot clocks: " << InWords(*boot) << ", "
            << (applied ? "applied at this boot" : "not applied at this boot") << "\n";
    } else {
        out << "Boot clocks: unreadable (" << (unread.empty() ? paths.bootClocks : unread) << ")\n";
    }
    if (record) out << "Last apply at boot: " << DescribeApplyRecord(*record, bootId) << "\n";
    if (!recordUnread.empty()) out << "Last apply at boot: unreadable (" << recordUnread << ")\n";
}

}  // namespace tarvento
