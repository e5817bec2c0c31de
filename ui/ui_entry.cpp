// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ui_entry.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chip/running_program.h"
#include "texts/message_box.h"
#include "texts/user_texts.h"
#include "tuner/tuner_dialog.h"
#include "ui/display_check.h"
#include "ui/tuner_dialog_window.h"

namespace {

std::string OrEmpty(const char* text) { return text ? text : ""; }

// The check of this process's window system, made once: the platform it found is the one
// Qt is given.
std::optional<tarvento::ui::WindowSystemCheck>& Checked() {
    static std::optional<tarvento::ui::WindowSystemCheck> check;
    return check;
}

const tarvento::ui::WindowSystemCheck& Check(const tarvento::UiRun& run) {
    if (!Checked()) Checked() = tarvento::ui::CheckWindowSystem(run.argc, run.argv);
    return *Checked();
}

}  // namespace

extern "C" int tarvento_ui_window_check(const tarvento::UiRun* run, char* whyNot,
                                        std::size_t size) {
    if (whyNot != nullptr && size > 0) whyNot[0] = '\0';
    if (run == nullptr) return 0;
    if (QApplication::instance()) return 1;
    const tarvento::ui::WindowSystemCheck& check = Check(*run);
    if (!check.platform.empty()) return 1;
    if (whyNot != nullptr && size > 0) std::snprintf(whyNot, size, "%s", check.whyNot.c_str());
    return 0;
}

extern "C" int tarvento_ui_run(const tarvento::UiRun* run) {
    if (!run || !run->chip || !run->store) return 1;

    const bool ownApplicationNeeded = !QApplication::instance();
    std::string platform;
    if (ownApplicationNeeded) {
        const tarvento::ui::WindowSystemCheck& check = Check(*run);
        if (check.platform.empty()) {
            std::fprintf(stderr, "%s%s\n", tarvento::DiagnosticPrefix().c_str(),
                         tarvento::NoWindowReasonText(check.whyNot).c_str());
            return 1;
        }
        platform = check.platform;
    }

    // Qt takes its own options out of the vector it is given: give it a copy, so the
    // caller's arguments stay as they were. The platform checked replaces any the command
    // line named (it was checked from it), so that Qt tries nothing unchecked.
    std::vector<std::string> arguments;
    for (int i = 0; run->argv && i < run->argc; ++i) {
        if (!run->argv[i]) continue;
        const bool platformOption = std::strcmp(run->argv[i], "-platform") == 0 ||
                                    std::strcmp(run->argv[i], "--platform") == 0;
        if (i > 0 && !platform.empty() && platformOption) {
            ++i;
            continue;
        }
        arguments.emplace_back(run->argv[i]);
    }
    if (arguments.empty()) arguments.emplace_back("tarvento");
    if (!platform.empty()) arguments.insert(arguments.begin() + 1, {"-platform", platform});
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(arguments.size());

    std::unique_ptr<QApplication> ownApplication;
    if (ownApplicationNeeded) {
        ownApplication = std::make_unique<QApplication>(argc, argv.data());
        Checked()->heldConnection.reset();  // Qt has its own now
    }
    QApplication::setApplicationName(QStringLiteral("tarvento"));

    tarvento::TunerDialog::Environment environment{*run->chip, *run->store,
                                                   OrEmpty(run->startArguments),
                                                   OrEmpty(run->programPath), run->guard};
    tarvento::ui::TunerDialogWindow window(std::move(environment));
    window.exec();

    const tarvento::TunerDialog& tuner = window.Tuner();
    if (tuner.UnattendedStart())
        return tuner.UnattendedStartSucceeded() || tuner.UnattendedStartWithheld() ? 0 : 1;
    return 0;
}
