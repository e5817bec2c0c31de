// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/boot_clocks_service.h"

#include <unistd.h>

#include <optional>

#include "chip/running_program.h"
#include "keeping/apply_guard.h"
#include "keeping/apply_to_card.h"
#include "keeping/boot_clocks.h"
#include "keeping/firmware_clocks.h"
#include "texts/user_texts.h"

namespace tarvento {

int ApplyBootClocks(ChipState& chip, const MachinePaths& paths, std::ostream& out, std::ostream& err) {
    // The firmware's words, before anything can change them: a record is not an apply.
    const bool recorded = RecordFirmwareClocks(chip, paths, out, err);
    if (::access(paths.bootClocks.c_str(), F_OK) != 0) {
        out << kBootClocksOff << "\n";
        return recorded ? 0 : 1;
    }
    // No card to apply them to: the record's failure said why.
    if (chip.currentChipName == nullptr) return 1;
    std::string unread;
    const std::optional<BootClocks> boot = ReadBootClocks(paths.bootClocks, &unread);
    if (!boot) {
        err << DiagnosticPrefix()
            << (unread.empty() ? BootClocksUnreadableText(paths.bootClocks) : BootClocksNotReadText(unread))
            << "\n";
        return 1;
    }
    ApplyGuard guard(paths.bootRecord, ApplySource::Boot, GuardMachine{paths.procRoot});
    CardWrite write;
    write.chip = boot->chip;
    write.clocks = boot->clocks;
    write.guard = &guard;
    const CardWriteResult result = WriteToCard(chip, write, out, err);
    // As after any unattended start: the chip's name once the apply was made.
    if (result.applied) out << "Chipset: " << chip.currentChipName << "\n";
    if (!guard.ReadError().empty())
        err << DiagnosticPrefix() << ApplyRecordNotReadText(guard.ReadError()) << "\n";
    if (!guard.RecordError().empty())
        err << DiagnosticPrefix() << ApplyNotRecordedText(guard.RecordError()) << "\n";
    if (guard.Written()) {
        // What the apply said reaches the journal now, not when the watch ends.
        out.flush();
        err.flush();
        WatchSurvival(paths.bootRecord, guard.Written()->bootId, guard.Written()->time,
                      GuardMachine{paths.procRoot});
    }
    if (result.status == CardWriteResult::Status::Refused) return 1;
    return recorded ? 0 : 1;
}

}  // namespace tarvento
