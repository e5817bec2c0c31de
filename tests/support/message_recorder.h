// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "texts/message_box.h"

namespace tarvento::testing {

// Keeps every message box in order and answers from a script (OK once it runs out).
class MessageRecorder : public MessageBoxOwner {
public:
    struct Shown {
        std::string text;
        MessageButtons buttons;
        std::string informativeText{};
    };

    std::deque<MessageAnswer> answers;
    std::vector<Shown> shown;

    MessageAnswer MessageBox(const std::string& text, MessageButtons buttons) override {
        shown.push_back({text, buttons});
        if (answers.empty()) return MessageAnswer::Ok;
        const MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }

    MessageAnswer InformativeMessageBox(const std::string& text, MessageButtons buttons,
                                        const std::string& informativeText) override {
        const MessageAnswer a = MessageBox(text, buttons);
        shown.back().informativeText = informativeText;
        return a;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& s : shown) t.push_back(s.text);
        return t;
    }
};

}  // namespace tarvento::testing
