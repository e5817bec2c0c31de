// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tuner_start.h"

#include <iostream>
#include <string>

#include "app/headless_start.h"
#include "app/journal.h"
#include "app/ui_loader.h"
#include "chip/running_program.h"
#include "keeping/apply_guard.h"
#include "texts/user_texts.h"

namespace tarvento {

int RunTuner(int argc, char** argv, ChipState& chip, AutostartStore& store,
             const CommandLine& line, const MachinePaths& machine) {
    if (line.tailRefused) {
        std::cerr << DiagnosticPrefix() << StartArgumentsTooLongText(kStartArgumentsMax) << "\n";
    }
    const std::string programPath = ProgramPath();
    // Every unattended start is guarded, from the login entry or from a shell alike.
    ApplyGuard guard(LoginRecordPath(), ApplySource::Login, GuardMachine{machine.procRoot});
    // Headless: the window toolkit was never loaded, and the process has one thread.
    const bool headless = NoDisplay();
    bool windowShown = false;
    int status = 0;
    if (headless) {
        status = RunHeadless({chip, store, line.startArguments, programPath, &guard},
                             std::cout, std::cerr);
    } else {
        const UiRun run{argc, argv, &chip, &store, line.startArguments.c_str(),
                        programPath.c_str(), &guard};
        const WindowRun window = RunWindow(run);
        status = window.status;
        windowShown = window.shown;
        if (!window.shown) {
            status = RunWithoutWindow({chip, store, line.startArguments, programPath, &guard},
                                      window.whyNot, std::cout, std::cerr);
        }
    }
    if (guard.LastVerdict() != ApplyGuard::Verdict::Apply && !windowShown)
        TellJournal(std::string(ApplyGuard::RefusalHeadline()) + " " + guard.RefusalText());
    if (!guard.ReadError().empty())
        std::cerr << DiagnosticPrefix() << ApplyRecordNotReadText(guard.ReadError()) << "\n";
    if (!guard.RecordError().empty())
        std::cerr << DiagnosticPrefix() << ApplyNotRecordedText(guard.RecordError()) << "\n";
    if (guard.Written() && !StartSurvivalWatch(programPath, *guard.Written(), guard.RecordPath(),
                                               GuardMachine{machine.procRoot}, headless))
        std::cerr << DiagnosticPrefix() << kCannotWatchSurvival << "\n";
    return status;
}

}  // namespace tarvento
