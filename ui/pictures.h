// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace kv770::ui {

// Decodes a baseline or progressive JPEG with libjpeg; a null image when the
// data is not a JPEG it can read.
QImage DecodeJpeg(const QByteArray& jpeg);

// The logo of the title area (our own JPEG, built into the program).
QImage LogoPicture();

// The wiring picture of the "Wiring Diagram" tab, drawn to `size`.
QImage WiringPicture(QSize size);

}  // namespace kv770::ui
