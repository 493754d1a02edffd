// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pictures.h"

#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <vector>

#include <jpeglib.h>

// The logo lives in a static library; without this its resource registration
// would be dropped by the linker. Must be outside any namespace.
static void RegisterPictureResources() {
  Q_INIT_RESOURCE(pictures);
}

namespace kv770::ui {

namespace {

// libjpeg reports a fatal error by calling error_exit, which by default ends
// the process. We jump back to the decoder instead.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
  auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
  std::longjmp(manager->jump, 1);
}

// Level -1 is a warning about corrupt data (a truncated file, a bad Huffman
// code). libjpeg would go on and fill the rest with grey; a picture that is
// only partly there is refused like a broken one. Trace messages are ignored.
void JumpOnCorruptData(j_common_ptr info, int level) {
  if (level < 0) JumpOnError(info);
}

void SilenceMessages(j_common_ptr) {}

// Everything the decode touches lives here, in the caller's frame, so that a
// longjmp out of libjpeg skips no destructor and clobbers no local variable.
struct JpegSession {
  jpeg_decompress_struct info{};
  JpegErrorManager error{};
  QImage image;
  std::vector<JSAMPLE> row;
};

// A header can claim up to 65500 x 65500 pixels; no picture of this program
// comes near this bound, garbage that parses as a header easily does.
constexpr unsigned long kMaxPixels = 64ul * 1024 * 1024;

bool Decompress(JpegSession* s, const unsigned char* data, unsigned long size) {
  if (setjmp(s->error.jump)) return false;

  jpeg_create_decompress(&s->info);
  jpeg_mem_src(&s->info, data, size);
  jpeg_read_header(&s->info, TRUE);
  switch (s->info.jpeg_color_space) {
    case JCS_GRAYSCALE:
      s->info.out_color_space = JCS_GRAYSCALE;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      s->info.out_color_space = JCS_CMYK;
      break;
    default:
      s->info.out_color_space = JCS_RGB;
      break;
  }
  if (static_cast<unsigned long>(s->info.image_width) * s->info.image_height > kMaxPixels)
    return false;
  jpeg_start_decompress(&s->info);

  const JDIMENSION width = s->info.output_width;
  const JDIMENSION height = s->info.output_height;
  const int components = s->info.output_components;
  if (width == 0 || height == 0 || (components != 1 && components != 3 && components != 4))
    return false;
  s->image = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
  if (s->image.isNull()) return false;
  s->row.resize(static_cast<size_t>(width) * components);

  while (s->info.output_scanline < height) {
    JSAMPROW rows[] = {s->row.data()};
    const JDIMENSION y = s->info.output_scanline;
    if (jpeg_read_scanlines(&s->info, rows, 1) != 1) return false;
    uchar* out = s->image.scanLine(static_cast<int>(y));
    const JSAMPLE* in = s->row.data();
    for (JDIMENSION x = 0; x < width; ++x, in += components, out += 3) {
      if (components == 1) {
        out[0] = out[1] = out[2] = in[0];
      } else if (components == 3) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
      } else {
        // Adobe writers store CMYK inverted; others store it plain.
        int c = in[0], m = in[1], yel = in[2], k = in[3];
        if (!s->info.saw_Adobe_marker) {
          c = 255 - c;
          m = 255 - m;
          yel = 255 - yel;
          k = 255 - k;
        }
        out[0] = static_cast<uchar>(c * k / 255);
        out[1] = static_cast<uchar>(m * k / 255);
        out[2] = static_cast<uchar>(yel * k / 255);
      }
    }
  }
  jpeg_finish_decompress(&s->info);
  return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& jpeg) {
  if (jpeg.isEmpty()) return {};

  JpegSession session;
  session.info.err = jpeg_std_error(&session.error.pub);
  session.error.pub.error_exit = JumpOnError;
  session.error.pub.emit_message = JumpOnCorruptData;
  session.error.pub.output_message = SilenceMessages;
  const bool ok = Decompress(&session, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                             static_cast<unsigned long>(jpeg.size()));
  jpeg_destroy_decompress(&session.info);  // also after a failed create: mem is then null
  if (!ok) return {};
  return session.image;
}

QImage LogoPicture() {
  RegisterPictureResources();
  QFile file(QStringLiteral(":/logo.jpg"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return DecodeJpeg(file.readAll());
}

namespace {

// The wiring picture is drawn on a 633 x 361 canvas (the size the wiring tab
// shows) and scaled as a whole to other sizes.
constexpr qreal kCanvasWidth = 633;
constexpr qreal kCanvasHeight = 361;

const QColor kInk(0x20, 0x20, 0x20);
const QColor kGatewayFill(0xDC, 0xE8, 0xF6);
const QColor kDeviceFill(0xF2, 0xF2, 0xF2);
const QColor kSupplyFill(0xFF, 0xF1, 0xD6);
const QColor kInstrumentFill(0xE3, 0xF3, 0xE1);
const QColor kPositive(0xC0, 0x20, 0x20);
const QColor kNegative(0x20, 0x20, 0x20);
const QColor kBusA(0x1F, 0x5F, 0xBF);
const QColor kBusB(0x2E, 0x8B, 0x57);
const QColor kCaption(0x50, 0x50, 0x50);

QFont PictureFont(qreal pixelSize, bool bold = false) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(qRound(pixelSize));
  font.setBold(bold);
  return font;
}

class Drawing {
 public:
  explicit Drawing(QPainter& p) : p_(p) {}

  void Box(const QRectF& r, const QColor& fill, qreal radius = 6) {
    p_.setPen(QPen(kInk, 1.5));
    p_.setBrush(fill);
    p_.drawRoundedRect(r, radius, radius);
  }

  void Text(const QRectF& r, const QString& text, qreal pixelSize, bool bold = false,
            int flags = Qt::AlignCenter, const QColor& color = kInk) {
    p_.setFont(PictureFont(pixelSize, bold));
    p_.setPen(color);
    p_.drawText(r, flags, text);
  }

  void Wire(const QList<QPointF>& points, const QColor& color, qreal width = 2) {
    p_.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p_.setBrush(Qt::NoBrush);
    p_.drawPolyline(points.data(), static_cast<int>(points.size()));
  }

  // A screw terminal: a small square on the box edge with its name inside
  // the box.
  void Terminal(QPointF at, const QString& name, Qt::Alignment side) {
    p_.setPen(QPen(kInk, 1.2));
    p_.setBrush(Qt::white);
    p_.drawRect(QRectF(at.x() - 4, at.y() - 4, 8, 8));
    QRectF label;
    if (side & Qt::AlignLeft)
      label = QRectF(at.x() + 7, at.y() - 8, 60, 16);
    else if (side & Qt::AlignRight)
      label = QRectF(at.x() - 67, at.y() - 8, 60, 16);
    else
      label = QRectF(at.x() - 30, at.y() - 24, 60, 16);
    const int flags = (side & Qt::AlignLeft)    ? Qt::AlignLeft | Qt::AlignVCenter
                      : (side & Qt::AlignRight) ? Qt::AlignRight | Qt::AlignVCenter
                                                : Qt::AlignCenter;
    Text(label, name, 11, true, flags);
  }

  // A vertical wire from `fromY` to `toY` that crosses the horizontal line
  // at `crossY` without connecting to it.
  void WireOver(qreal x, qreal fromY, qreal crossY, qreal toY, const QColor& color,
                qreal width = 2) {
    const qreal r = 5;
    const qreal dir = toY > fromY ? 1 : -1;
    QPainterPath path({x, fromY});
    path.lineTo(x, crossY - dir * r);
    path.arcTo(QRectF(x - r, crossY - r, 2 * r, 2 * r), dir > 0 ? 90 : 270, -180);
    path.lineTo(x, toY);
    p_.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p_.setBrush(Qt::NoBrush);
    p_.drawPath(path);
  }

  void Junction(QPointF at, const QColor& color) {
    p_.setPen(Qt::NoPen);
    p_.setBrush(color);
    p_.drawEllipse(at, 3.5, 3.5);
  }

  // IEC resistor symbol on a horizontal wire.
  void Resistor(const QRectF& r, const QString& value) {
    p_.setPen(QPen(kInk, 1.5));
    p_.setBrush(Qt::white);
    p_.drawRect(r);
    Text(QRectF(r.left() - 10, r.top() - 18, r.width() + 20, 16), value, 11, true);
  }

 private:
  QPainter& p_;
};

// ---- PC and the RS-485 converter ------------------------------------
QRectF DrawPcAndConverter(Drawing& d) {
  const QRectF pc(14, 16, 124, 58);
  d.Box(pc, kDeviceFill);
  d.Text(pc.adjusted(0, 6, 0, -26), QStringLiteral("PC"), 15, true);
  d.Text(pc.adjusted(0, 30, 0, -6),
         QCoreApplication::translate("kv770::ui::WiringTab", "MODBUS master"), 11);

  const QRectF converter(14, 114, 124, 52);
  d.Box(converter, kDeviceFill);
  d.Text(converter.adjusted(0, 6, 0, -24), QStringLiteral("USB-RS485"), 12, true);
  d.Text(converter.adjusted(0, 27, 0, -6),
         QCoreApplication::translate("kv770::ui::WiringTab", "converter"), 11);
  d.Wire({{pc.center().x(), pc.bottom()}, {converter.center().x(), converter.top()}}, kInk, 3);
  d.Text(QRectF(pc.center().x() + 6, pc.bottom() + 8, 40, 16), QStringLiteral("USB"), 11, false,
         Qt::AlignLeft | Qt::AlignVCenter, kCaption);
  return converter;
}

// ---- the gateway, and RS-485 from the converter to terminals A and B --
QRectF DrawGateway(Drawing& d, const QRectF& converter) {
  const QRectF gateway(236, 16, 170, 168);
  d.Box(gateway, kGatewayFill, 8);
  d.Text(QRectF(gateway.left(), gateway.top() + 8, gateway.width(), 24), QStringLiteral("KV770-W"),
         18, true);
  d.Text(QRectF(gateway.left(), gateway.top() + 32, gateway.width(), 16),
         QCoreApplication::translate("kv770::ui::WiringTab", "HART / MODBUS gateway"), 11, false,
         Qt::AlignCenter, kCaption);

  const QPointF termA(gateway.left(), 124), termB(gateway.left(), 150);
  d.Wire({{converter.right(), 130}, {termA.x() - 40, 130}, {termA.x() - 40, termA.y()}, termA},
         kBusA);
  d.Wire({{converter.right(), 150}, termB}, kBusB);
  d.Terminal(termA, QStringLiteral("A"), Qt::AlignLeft);
  d.Terminal(termB, QStringLiteral("B"), Qt::AlignLeft);
  d.Text(QRectF(converter.right() + 4, 104, 92, 16), QStringLiteral("RS-485"), 12, true);
  d.Text(QRectF(converter.right() + 4, 154, 92, 16), QStringLiteral("A / B"), 11, false,
         Qt::AlignCenter, kCaption);
  return gateway;
}

// Power supply of the gateway.
void DrawPowerSupply(Drawing& d, const QRectF& gateway) {
  const QRectF supply(494, 72, 124, 58);
  d.Box(supply, kSupplyFill);
  d.Text(supply.adjusted(0, 6, 0, -26),
         QCoreApplication::translate("kv770::ui::WiringTab", "Power supply"), 12, true);
  d.Text(supply.adjusted(0, 30, 0, -6), QStringLiteral("24 V DC"), 12);
  const QPointF termPlus(gateway.right(), 88), termZero(gateway.right(), 114);
  d.Wire({{supply.left(), termPlus.y()}, termPlus}, kPositive);
  d.Wire({{supply.left(), termZero.y()}, termZero}, kNegative);
  d.Terminal(termPlus, QStringLiteral("+24V"), Qt::AlignRight);
  d.Terminal(termZero, QStringLiteral("0V"), Qt::AlignRight);
  d.Text(QRectF(gateway.right() + 10, termPlus.y() - 18, 60, 16), QStringLiteral("+"), 13, true,
         Qt::AlignCenter, kPositive);
  d.Text(QRectF(gateway.right() + 10, termZero.y() + 2, 60, 16), QStringLiteral("\u2212"), 13, true,
         Qt::AlignCenter, kNegative);
}

// ---- the HART loop --------------------------------------------------
void DrawHartLoop(Drawing& d, const QRectF& gateway) {
  const qreal busPlusY = 226, busMinusY = 242;
  const qreal busStart = 150, busEnd = 620;
  const qreal slot = (busEnd - busStart) / 8;

  // The gateway's HART pair lands in the gaps between instruments, away from
  // their junctions; a wire that only crosses the other line hops over it.
  const QPointF hartPlus(busStart + 2 * slot, gateway.bottom());
  const QPointF hartMinus(busStart + 3 * slot, gateway.bottom());
  d.Wire({hartPlus, {hartPlus.x(), busPlusY}}, kPositive);
  d.WireOver(hartMinus.x(), hartMinus.y(), busPlusY, busMinusY, kNegative);
  d.Terminal(hartPlus, QStringLiteral("HART+"), Qt::AlignBottom);
  d.Terminal(hartMinus, QStringLiteral("HART\u2212"), Qt::AlignBottom);

  // Loop power with the 250 ohm resistor in its positive lead: the HART
  // signal needs that impedance across the loop.
  const QRectF loopPower(14, 262, 110, 58);
  d.Box(loopPower, kSupplyFill);
  d.Text(loopPower.adjusted(0, 6, 0, -26),
         QCoreApplication::translate("kv770::ui::WiringTab", "Loop power"), 12, true);
  d.Text(loopPower.adjusted(0, 30, 0, -6), QStringLiteral("24 V DC"), 12);
  const QRectF resistor(82, busPlusY - 7, 44, 14);
  d.Wire({{40, loopPower.top()}, {40, busPlusY}, {resistor.left(), busPlusY}}, kPositive);
  d.Wire({{resistor.right(), busPlusY}, {busEnd, busPlusY}}, kPositive);
  d.Resistor(resistor, QStringLiteral("250 \u03A9"));
  d.Wire({{98, loopPower.top()}, {98, busMinusY}, {busEnd, busMinusY}}, kNegative);
  d.Text(QRectF(26, loopPower.top() - 16, 14, 14), QStringLiteral("+"), 12, true, Qt::AlignCenter,
         kPositive);
  d.Text(QRectF(100, loopPower.top() - 16, 14, 14), QStringLiteral("\u2212"), 12, true,
         Qt::AlignCenter, kNegative);

  d.Junction({hartPlus.x(), busPlusY}, kPositive);
  d.Junction({hartMinus.x(), busMinusY}, kNegative);

  // Up to eight instruments in parallel on the same pair (multidrop); each
  // answers at its own polling address.
  for (int i = 0; i < 8; ++i) {
    const QRectF instrument(busStart + i * slot + 4, 268, slot - 8, 50);
    const qreal plusX = instrument.left() + instrument.width() * 0.3;
    const qreal minusX = instrument.left() + instrument.width() * 0.7;
    d.WireOver(plusX, instrument.top(), busMinusY, busPlusY, kPositive, 1.5);
    d.Wire({{minusX, instrument.top()}, {minusX, busMinusY}}, kNegative, 1.5);
    d.Junction({plusX, busPlusY}, kPositive);
    d.Junction({minusX, busMinusY}, kNegative);
    d.Box(instrument, kInstrumentFill, 4);
    d.Text(instrument.adjusted(0, 4, 0, -24), QStringLiteral("HART %1").arg(i + 1), 11, true);
    d.Text(instrument.adjusted(0, 26, 0, -4), QStringLiteral("+   \u2212"), 11, false,
           Qt::AlignCenter, kCaption);
  }
  d.Text(QRectF(busStart, 326, busEnd - busStart, 18),
         QCoreApplication::translate("kv770::ui::WiringTab",
                                     "up to 8 HART instruments in parallel (multidrop)"),
         11, false, Qt::AlignCenter, kCaption);
}

void DrawWiring(QPainter& p) {
  Drawing d(p);
  const QRectF converter = DrawPcAndConverter(d);
  const QRectF gateway = DrawGateway(d, converter);
  DrawPowerSupply(d, gateway);
  DrawHartLoop(d, gateway);
}

}  // namespace

QImage WiringPicture(QSize size) {
  if (size.isEmpty()) return {};
  QImage image(size, QImage::Format_RGB32);
  if (image.isNull()) return {};
  image.fill(Qt::white);

  QPainter painter(&image);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  const qreal scale = std::min(size.width() / kCanvasWidth, size.height() / kCanvasHeight);
  painter.scale(scale, scale);
  DrawWiring(painter);
  return image;
}

}  // namespace kv770::ui
