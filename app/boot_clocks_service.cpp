// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/boot_clocks_service.h"

#include <unistd.h>

#include <optional>

#include "app/headless_start.h"
#include "chip/running_program.h"
#include "keeping/apply_guard.h"
#include "keeping/boot_clocks.h"
#include "texts/user_texts.h"

namespace tarvento {

int ApplyBootClocks(ChipState& chip, AutostartStore& store, const std::string& programPath,
                    const MachinePaths& paths, std::ostream& out, std::ostream& err) {
    if (::access(paths.bootClocks.c_str(), F_OK) != 0) {
        out << kBootClocksOff << "\n";
        return 0;
    }
    const std::optional<BootClocks> boot = ReadBootClocks(paths.bootClocks);
    if (!boot) {
        err << DiagnosticPrefix() << BootClocksUnreadableText(paths.bootClocks) << "\n";
        return 1;
    }
    ApplyGuard guard(paths.bootRecord, ApplySource::Boot, GuardMachine{paths.procRoot});
    const std::string tail =
        boot->chip + " " + std::to_string(boot->clocks.memory) + " " + std::to_string(boot->clocks.chip);
    const int status = RunHeadless({chip, store, tail, programPath, &guard}, out, err);
    if (!guard.recordError.empty())
        err << DiagnosticPrefix() << ApplyNotRecordedText(guard.recordError) << "\n";
    if (guard.Written()) {
        // What the apply said reaches the journal now, not when the watch ends.
        out.flush();
        err.flush();
        WatchSurvival(paths.bootRecord, guard.Written()->bootId, guard.Written()->time,
                      GuardMachine{paths.procRoot});
    }
    return status;
}

}  // namespace tarvento
