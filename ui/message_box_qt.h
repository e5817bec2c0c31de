// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>

#include "texts/message_box.h"

namespace tarvento::ui {

// Real message boxes: the warning icon, the application's name as caption, the text
// exactly as given, OK, or OK and Cancel with Cancel the default and the Escape answer.
// Modal to the window that owns them; a box that comes before its window is shown (the
// start warning) has no owner and stands in the middle of the screen.
class QtMessageBox : public MessageBoxOwner {
public:
    explicit QtMessageBox(QWidget* owner) : owner_(owner) {}

    MessageAnswer MessageBox(const std::string& text, MessageButtons buttons) override;
    MessageAnswer InformativeMessageBox(const std::string& text, MessageButtons buttons,
                                        const std::string& informativeText) override;

private:
    QPointer<QWidget> owner_;
};

}  // namespace tarvento::ui
