// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSet>

#include "ui/pictures.h"

namespace kv770::ui {
namespace {

QByteArray SaveJpeg(const QImage& image, int quality = 95, bool progressive = false) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "JPEG");
  writer.setQuality(quality);
  writer.setProgressiveScanWrite(progressive);
  EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
  return bytes;
}

// Four flat quadrants: red, green, blue, white. Flat areas survive JPEG
// nearly unchanged away from their edges.
QImage Quadrants(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  QPainter p(&image);
  p.fillRect(0, 0, width / 2, height / 2, QColor(220, 30, 30));
  p.fillRect(width / 2, 0, width - width / 2, height / 2, QColor(30, 200, 40));
  p.fillRect(0, height / 2, width / 2, height - height / 2, QColor(20, 40, 210));
  p.fillRect(width / 2, height / 2, width - width / 2, height - height / 2, Qt::white);
  return image;
}

void ExpectNear(const QColor& actual, const QColor& expected, const char* where) {
  SCOPED_TRACE(where);
  EXPECT_NEAR(actual.red(), expected.red(), 12);
  EXPECT_NEAR(actual.green(), expected.green(), 12);
  EXPECT_NEAR(actual.blue(), expected.blue(), 12);
}

void ExpectQuadrants(const QImage& decoded, int width, int height) {
  ASSERT_FALSE(decoded.isNull());
  ASSERT_EQ(decoded.size(), QSize(width, height));
  ExpectNear(decoded.pixelColor(width / 4, height / 4), QColor(220, 30, 30), "red");
  ExpectNear(decoded.pixelColor(3 * width / 4, height / 4), QColor(30, 200, 40), "green");
  ExpectNear(decoded.pixelColor(width / 4, 3 * height / 4), QColor(20, 40, 210), "blue");
  ExpectNear(decoded.pixelColor(3 * width / 4, 3 * height / 4), Qt::white, "white");
}

TEST(DecodeJpeg, RoundTripsSizeAndColours) {
  // Odd sizes: not a multiple of the 8x8 / 16x16 blocks.
  for (const bool progressive : {false, true}) {
    SCOPED_TRACE(progressive ? "progressive" : "baseline");
    ExpectQuadrants(DecodeJpeg(SaveJpeg(Quadrants(75, 43), 95, progressive)), 75, 43);
  }
}

TEST(DecodeJpeg, GrayscaleComesOutAsColourImage) {
  QImage gray(40, 24, QImage::Format_Grayscale8);
  gray.fill(0);
  QPainter(&gray).fillRect(20, 0, 20, 24, QColor(200, 200, 200));
  const QImage decoded = DecodeJpeg(SaveJpeg(gray));
  ASSERT_FALSE(decoded.isNull());
  EXPECT_EQ(decoded.size(), QSize(40, 24));
  ExpectNear(decoded.pixelColor(6, 12), Qt::black, "left");
  ExpectNear(decoded.pixelColor(34, 12), QColor(200, 200, 200), "right");
}

TEST(DecodeJpeg, BrokenDataGivesNullImage) {
  const QByteArray good = SaveJpeg(Quadrants(64, 48));
  ASSERT_FALSE(DecodeJpeg(good).isNull());

  EXPECT_TRUE(DecodeJpeg({}).isNull());
  EXPECT_TRUE(DecodeJpeg(QByteArray("not a picture at all")).isNull());
  EXPECT_TRUE(DecodeJpeg(QByteArray(4096, '\xFF')).isNull());
  // Only the start-of-image marker.
  EXPECT_TRUE(DecodeJpeg(good.left(2)).isNull());
  // Cut in the header, and cut in the middle of the picture data (after the
  // first start-of-scan marker), where libjpeg itself would only warn.
  EXPECT_TRUE(DecodeJpeg(good.left(100)).isNull());
  for (const bool progressive : {false, true}) {
    SCOPED_TRACE(progressive ? "progressive" : "baseline");
    const QByteArray bytes = SaveJpeg(Quadrants(64, 48), 90, progressive);
    const qsizetype scan = bytes.indexOf(QByteArray("\xFF\xDA", 2));
    ASSERT_GT(scan, 0);
    EXPECT_TRUE(DecodeJpeg(bytes.left((scan + bytes.size()) / 2)).isNull());
  }

  // Scrambled picture data behind an intact header: every outcome but a
  // crash is acceptable; the decoder must survive each variant.
  for (int seed = 1; seed <= 20; ++seed) {
    QByteArray scrambled = good;
    for (qsizetype i = 200 + seed; i < scrambled.size() - 2; i += 7 + seed)
      scrambled[i] = static_cast<char>(scrambled[i] ^ (0x5A + seed));
    const QImage image = DecodeJpeg(scrambled);
    if (!image.isNull()) {
      EXPECT_EQ(image.size(), QSize(64, 48));
    }
  }
}

TEST(DecodeJpeg, HeaderClaimingHugePictureIsRefused) {
  // Patch the frame header's height and width to 65500 x 65500.
  QByteArray bytes = SaveJpeg(Quadrants(16, 16));
  const qsizetype sof = bytes.indexOf(QByteArray("\xFF\xC0", 2));
  ASSERT_GT(sof, 0);
  for (const qsizetype at : {sof + 5, sof + 7}) {
    bytes[at] = static_cast<char>(0xFF);
    bytes[at + 1] = static_cast<char>(0xDC);
  }
  EXPECT_TRUE(DecodeJpeg(bytes).isNull());
}

TEST(Pictures, LogoIsBuiltIn) {
  const QImage logo = LogoPicture();
  ASSERT_FALSE(logo.isNull());
  EXPECT_EQ(logo.size(), QSize(194, 82));
  // Shown at 97 x 41: keep the picture's proportions.
  EXPECT_EQ(logo.width() * 41, logo.height() * 97);
}

TEST(Pictures, WiringPictureFillsRequestedSizeWithADrawing) {
  for (const QSize size : {QSize(633, 361), QSize(320, 180), QSize(1266, 722)}) {
    SCOPED_TRACE(size.width());
    const QImage picture = WiringPicture(size);
    ASSERT_EQ(picture.size(), size);
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::white));
    // Lines, fills and text in several colours, not a blank page.
    QSet<QRgb> colours;
    qsizetype inked = 0;
    for (int y = 0; y < size.height(); y += 2)
      for (int x = 0; x < size.width(); x += 2) {
        const QRgb rgb = picture.pixel(x, y);
        colours.insert(rgb);
        if (qGray(rgb) < 128) ++inked;
      }
    EXPECT_GT(colours.size(), 50);
    EXPECT_GT(inked, size.width() * size.height() / 400);
  }
  EXPECT_TRUE(WiringPicture(QSize(0, 0)).isNull());
}

}  // namespace
}  // namespace kv770::ui
