// What the image, drawing and font tests share: the colour space a launch sets before any
// drawing, canvases to draw into and read back, and the independent `file` tool that judges
// the files the savers write.
#pragma once

#include "framlet/foundation/FLKernel.h"
#include "support/TestData.h"

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <QRectF>
#include <QSizeF>

#include <gtest/gtest.h>

#include <ostream>

// Readable values in failure messages.
inline void PrintTo(const QSizeF& size, std::ostream* out) { *out << size.width() << "x" << size.height(); }
inline void PrintTo(const QRectF& rect, std::ostream* out) {
  *out << "(" << rect.x() << ", " << rect.y() << ", " << rect.width() << "x" << rect.height() << ")";
}
inline void PrintTo(const QColor& color, std::ostream* out) {
  *out << "rgba(" << color.red() << ", " << color.green() << ", " << color.blue() << ", " << color.alpha() << ")";
}

// The colour space the kernel sets at launch, which the image procedures check for. The kernel
// itself is not made here: it would install system colour sources that other tests rule out.
inline void StartKernel() {
  if (!g_genericColorSpace.isValid()) g_genericColorSpace = QColorSpace(QColorSpace::SRgb);
}

// A test that draws: the colour space is set first.
class KernelTest : public testing::Test {
 protected:
  void SetUp() override { StartKernel(); }
};

// A picture of tests/data/images.
inline QString Fixture(const char* name) { return TestDataPath(QStringLiteral("images/") + QLatin1String(name)); }

inline QImage Canvas(int width, int height, QColor fill = Qt::white) {
  QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(fill);
  return canvas;
}

// The first line `file -b` prints for a path.
inline QString DescribeFile(const QString& path) {
  QProcess process;
  process.start(QStringLiteral("file"), {QStringLiteral("-b"), path});
  process.waitForFinished(10000);
  return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

#include <QFont>
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
