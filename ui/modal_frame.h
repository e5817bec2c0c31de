// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

namespace tarvento::ui {

// The modal frame of a dialog without a caption bar: a raised double edge and a line of
// the face colour inside it, as dialogs' modal frames are drawn. Without a caption no
// window manager draws a frame, so the dialog draws its own.
inline constexpr int kModalFrameWidth = 3;

// Makes `dialog` paint the frame along its own edges. The caller keeps the controls
// clear of it (the frame lies outside the client area).
void AddModalFrame(QWidget& dialog);

}  // namespace tarvento::ui
