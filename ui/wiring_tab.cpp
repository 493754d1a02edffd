// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wiring_tab.h"

#include <QGridLayout>
#include <QLabel>
#include <QPixmap>

#include "ui/pictures.h"

namespace kv770::ui {

WiringTab::WiringTab(QWidget* parent) : QWidget(parent) {
  QWidget* page = this;
  const QSize pictureSize(633, 361);

  // The picture keeps its place at the page's upper left, whatever room the
  // page has; extra room goes to the right and below.
  auto* grid = new QGridLayout(page);
  grid->setContentsMargins(176, 16, 0, 0);

  auto* picture = new QLabel(page);
  picture->setObjectName("Image2");
  picture->setFixedSize(pictureSize);
  picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  picture->setPixmap(QPixmap::fromImage(WiringPicture(pictureSize)));
  picture->setAccessibleName(tr("Wiring Diagram"));
  picture->setAccessibleDescription(
      tr("KV770-W gateway: 24 V DC supply on +24V and 0V; RS-485 A and B to the PC through a "
         "USB-RS485 converter; HART+ and HART- across a loop with 24 V DC loop power, a 250 ohm "
         "resistor and up to eight HART instruments in parallel."));
  grid->addWidget(picture, 0, 0, Qt::AlignLeft | Qt::AlignTop);
  grid->setRowStretch(1, 1);
  grid->setColumnStretch(1, 1);
}

}  // namespace kv770::ui
