// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tarvento {

// The box every room that speaks to the user asks for; the window toolkit shows it. Its
// texts are in user_texts.h.

// Every box has the exclamation icon and the application's name as its caption.
enum class MessageButtons {
    Ok,
    OkCancel  // Cancel is the default button
};

enum class MessageAnswer { Ok = 1, Cancel = 2 };

// A message box owned by a window (modal to it). The window toolkit implements it;
// tests implement it with a recorder that answers from a script.
class MessageBoxOwner {
public:
    virtual ~MessageBoxOwner() = default;
    virtual MessageAnswer MessageBox(const std::string& text, MessageButtons buttons) = 0;

    // The same box with a second text below the message, saying why (for example why
    // the card's registers cannot be reached). The message itself stays exactly as given
    // and the buttons are the same; an owner that has no place for the second text shows
    // the message alone, and an empty one adds nothing.
    virtual MessageAnswer InformativeMessageBox(const std::string& text, MessageButtons buttons,
                                                const std::string& informativeText) {
        (void)informativeText;
        return MessageBox(text, buttons);
    }
};

}  // namespace tarvento
