// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/placement.h"

#include <algorithm>

namespace kv770::ui {

QRect Placement(const QRect& designed, const QRect& available) {
  if (available.contains(designed)) return designed;
  const QSize size = designed.size().boundedTo(available.size());
  const int x = std::clamp(designed.x(), available.left(), available.right() + 1 - size.width());
  const int y = std::clamp(designed.y(), available.top(), available.bottom() + 1 - size.height());
  return QRect(QPoint(x, y), size);
}

}  // namespace kv770::ui
