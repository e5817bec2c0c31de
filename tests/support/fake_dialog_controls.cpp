// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/fake_dialog_controls.h"

#include <algorithm>

namespace tarvento::testing {

int FakeDialogControls::Clamp(const Trackbar& t, int position) {
    // A real trackbar keeps its thumb inside the range; the minimum wins a reversed range.
    return std::max(t.minimum, std::min(position, t.maximum));
}

void FakeDialogControls::UserMovesTrackbar(int id, int position) {
    Trackbar& t = trackbars_[id];
    t.position = Clamp(t, position);
}

void FakeDialogControls::UserTogglesCheck(int id) { checks_[id] = checks_[id] ? 0 : 1; }

std::vector<FakeDialogControls::Event> FakeDialogControls::EventsOf(Event::Kind kind) const {
    std::vector<Event> out;
    std::copy_if(log_.begin(), log_.end(), std::back_inserter(out),
                 [kind](const Event& e) { return e.kind == kind; });
    return out;
}

std::vector<std::string> FakeDialogControls::Messages() const {
    std::vector<std::string> out;
    for (const Event& e : EventsOf(Event::Message)) out.push_back(e.text);
    return out;
}

std::vector<int> FakeDialogControls::EndDialogCodes() const {
    std::vector<int> out;
    for (const Event& e : EventsOf(Event::EndDialog)) out.push_back(e.value);
    return out;
}

std::vector<std::string> FakeDialogControls::NoticeRuns() const {
    std::vector<std::string> out;
    for (const Event& e : EventsOf(Event::Notice)) out.push_back(e.text);
    return out;
}

std::string FakeDialogControls::Text(int id) const {
    auto it = texts_.find(id);
    return it == texts_.end() ? std::string() : it->second;
}

int FakeDialogControls::Check(int id) const {
    auto it = checks_.find(id);
    return it == checks_.end() ? 0 : it->second;
}

bool FakeDialogControls::Enabled(int id) const {
    auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
}

FakeDialogControls::Trackbar FakeDialogControls::TrackbarState(int id) const {
    auto it = trackbars_.find(id);
    return it == trackbars_.end() ? Trackbar{} : it->second;
}

std::string FakeDialogControls::GetControlText(int id) { return Text(id); }

void FakeDialogControls::SetControlText(int id, const std::string& text) {
    texts_[id] = text;
    log_.push_back({Event::Text, id, text, 0, 0});
}

int FakeDialogControls::GetCheck(int id) { return Check(id); }

void FakeDialogControls::SetCheck(int id, int checked) {
    checks_[id] = checked;
    log_.push_back({Event::Check, id, {}, checked, 0});
}

void FakeDialogControls::EnableControl(int id, bool enabled) {
    enabled_[id] = enabled;
    log_.push_back({Event::Enable, id, {}, enabled ? 1 : 0, 0});
}

void FakeDialogControls::SetTrackbarRange(int id, int minimum, int maximum) {
    Trackbar& t = trackbars_[id];
    t.minimum = minimum;
    t.maximum = maximum;
    t.position = Clamp(t, t.position);
    log_.push_back({Event::Range, id, {}, minimum, maximum});
}

void FakeDialogControls::SetTrackbarPos(int id, int position) {
    Trackbar& t = trackbars_[id];
    t.position = Clamp(t, position);
    log_.push_back({Event::Pos, id, {}, position, 0});
}

int FakeDialogControls::GetTrackbarPos(int id) { return TrackbarState(id).position; }

void FakeDialogControls::EndDialog(int code) { log_.push_back({Event::EndDialog, 0, {}, code, 0}); }

void FakeDialogControls::RunAutostartNotice(const std::string& chipName) {
    log_.push_back({Event::Notice, 0, chipName, 0, 0});
    if (onNotice) onNotice(chipName);
}

MessageAnswer FakeDialogControls::MessageBox(const std::string& text, MessageButtons buttons) {
    log_.push_back({Event::Message, 0, text, buttons == MessageButtons::OkCancel ? 1 : 0, 0});
    if (answers.empty()) return MessageAnswer::Ok;
    const MessageAnswer a = answers.front();
    answers.pop_front();
    return a;
}

}  // namespace tarvento::testing

namespace tarvento::testing {

MessageAnswer FakeDialogControls::InformativeMessageBox(const std::string& text, MessageButtons buttons,
                                                        const std::string& informativeText) {
    informativeTexts.push_back(informativeText);
    return MessageBox(text, buttons);
}

}  // namespace tarvento::testing
