// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "chip/clock_pair.h"
#include "chip/chip_state.h"
#include "chip/registers.h"
#include "tests/support/card_constants.h"
#include "tests/support/fake_hardware.h"
#include "tests/support/message_recorder.h"
#include "tests/support/recording_autostart_store.h"
#include "tuner/tuner_dialog.h"
#include "ui/template_builder.h"
#include "ui/tuner_dialog_window.h"

namespace tarvento::testing {

// One application object for the whole test program, never destroyed (Qt wants it to
// outlive every widget, and the tests' statics too).
inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "tarvento_ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("tarvento"));
        return a;
    }();
    return *app;
}

// Saves a picture of `widget` under <build>/ui-grabs/<name>.png for a person to look at.
inline void SaveGrab(QWidget& widget, const QString& name) {
    const QString folder = QStringLiteral(TARVENTO_BINARY_DIR "/ui-grabs");
    QDir().mkpath(folder);
    EXPECT_TRUE(widget.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png")));
}

// Runs `step` from the event loop once `ready` holds (polled every 10 ms), so a test can
// act inside a modal run it started. Gives up after `timeoutMs`.
inline void WhenReady(std::function<bool()> ready, std::function<void()> step, int timeoutMs = 5000) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, ready, step, timeoutMs] {
        if (ready()) {
            timer->stop();
            timer->deleteLater();
            step();
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the awaited window never came";
        }
    });
    timer->start(10);
}

// A machine with at most one card, a Run-value store, a message recorder, and the real
// main window over them.
class UiRig : public ::testing::Test {
protected:
    FakeHardware hw;
    ChipState chip{hw};
    RecordingAutostartStore store;
    MessageRecorder messages;
    std::unique_ptr<ui::TunerDialogWindow> window;

    void SetUp() override { TestApplication(); }
    void TearDown() override { window.reset(); }

    void InsertCard(uint16_t vendorId, uint16_t deviceId) {
        hw.lastBus = 1;
        hw.AddFunction(1, 0, 0, vendorId, deviceId, kClassVgaCompatible, kBase);
        hw.SetRegister(kStrap, kStrapCrystalBit);
    }
    void InsertTnt() {
        InsertCard(0x10DE, 0x0020);
        hw.SetRegister(kMemPll, kWordN150);
        hw.SetRegister(kCorePll, kWordN150);
    }
    void InsertRiva128() {
        InsertCard(0x10DE, 0x0018);
        hw.SetRegister(kMemPll, kWordN150);
    }

    // Message boxes go to the recorder, or are real boxes when `realBoxes`.
    ui::TunerDialogWindow& MakeWindow(const std::string& arguments = "", bool realBoxes = false) {
        window = std::make_unique<ui::TunerDialogWindow>(
            TunerDialog::Environment{chip, store, arguments, kProgramPath},
            realBoxes ? nullptr : &messages);
        return *window;
    }

    // Runs the window modally; `whileOpen` runs from its event loop once it is shown
    // and must end the dialog. Returns the code the run ended with.
    int Run(std::function<void(ui::TunerDialogWindow&)> whileOpen) {
        ui::TunerDialogWindow* w = window.get();
        WhenReady([w] { return w->isVisible(); }, [w, whileOpen] {
            whileOpen(*w);
            // A failed ASSERT returns before the dialog is ended: end it here, so the test
            // fails instead of waiting for ever.
            if (::testing::Test::HasFatalFailure() && w->isVisible()) w->reject();
        });
        return window->exec();
    }

    QWidget* Control(int id) { return window->Control(id); }
    TunerFields& Fields() { return window->Tuner().Fields(); }
    ClockPair Current() { return {Fields().memClock, Fields().chipClock}; }
    std::string Text(int id) { return window->GetControlText(id); }
};

}  // namespace tarvento::testing
