// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QWidget>
#include <memory>

namespace kv770::ui {
class MessageSink;
}

namespace kv770::app {

// The tool's window (object name "Form1"), its message boxes going to
// `sink` (null: boxes on the screen), with all its pages built. Everything
// else in it is reached as a user reaches it: controls by their form names
// (docs/controls.md).
// With `firstPageOnly`, as the program makes it: the other pages come once
// the window has been painted, or when something needs one.
std::unique_ptr<QWidget> MakeWindow(ui::MessageSink* sink = nullptr, bool firstPageOnly = false);

// Moves and, if need be, shrinks a window made by MakeWindow into
// `available` (a screen's free area); its pages scroll when it is smaller
// than they are.
void FitWindow(QWidget& window, const QRect& available);

}  // namespace kv770::app
