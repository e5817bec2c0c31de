// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ui_entry.h"

#include <QApplication>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "chip/running_program.h"
#include "tuner/tuner_dialog.h"
#include "autostart/message_box.h"
#include "ui/display_check.h"
#include "ui/tuner_dialog_window.h"

namespace {

std::string OrEmpty(const char* text) { return text ? text : ""; }

}  // namespace

extern "C" int tarvento_ui_run(const tarvento::UiRun* run) {
    if (!run || !run->chip || !run->store) return 1;

    std::string display;
    if (!QApplication::instance() && !tarvento::ui::XDisplayReachable(display)) {
        std::fprintf(stderr,
                     "%scannot open the display %s: no X server answers there, or this user "
                     "may not use it. Start the program from your desktop session, or use --info "
                     "for a report of the card.\n",
                     tarvento::DiagnosticPrefix().c_str(), display.c_str());
        return 1;
    }

    // Qt takes its own options out of the vector it is given: give it a copy, so the
    // caller's arguments stay as they were.
    std::vector<std::string> arguments;
    for (int i = 0; run->argv && i < run->argc; ++i) {
        if (run->argv[i]) arguments.emplace_back(run->argv[i]);
    }
    if (arguments.empty()) arguments.emplace_back("tarvento");
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(arguments.size());

    std::unique_ptr<QApplication> ownApplication;
    if (!QApplication::instance()) ownApplication = std::make_unique<QApplication>(argc, argv.data());
    QApplication::setApplicationName(QStringLiteral("tarvento"));

    tarvento::TunerDialog::Environment environment{*run->chip, *run->store,
                                                   OrEmpty(run->startArguments),
                                                   OrEmpty(run->programPath), run->guard};
    tarvento::ui::TunerDialogWindow window(std::move(environment));
    window.exec();

    const tarvento::TunerDialog& tuner = window.Tuner();
    if (tuner.UnattendedStart()) return tuner.UnattendedStartSucceeded() ? 0 : 1;
    return 0;
}
