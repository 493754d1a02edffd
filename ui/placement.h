// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>

namespace kv770::ui {

// Where the window goes on a screen whose free area is `available`: the
// designed geometry where it fits; otherwise as much of the designed size as
// the area holds, moved the least distance needed to lie inside it.
QRect Placement(const QRect& designed, const QRect& available);

}  // namespace kv770::ui
