#include "calculator/controllers/caToolImages.h"

#include <QApplication>
#include <QFont>
#include <QHash>
#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace {

constexpr double kScale = 2;  // pixels per point
const QColor kInk(70, 70, 70);
const QColor kAccent(52, 120, 200);

// A grid of cells from (x, y), columns x rows of the given size.
void DrawCells(QPainter& painter, double x, double y, int columns, int rows, double size) {
  for (int row = 0; row <= rows; ++row) painter.drawLine(QPointF(x, y + row * size), QPointF(x + columns * size, y + row * size));
  for (int column = 0; column <= columns; ++column)
    painter.drawLine(QPointF(x + column * size, y), QPointF(x + column * size, y + rows * size));
}

// An arrow from one point to another with a two-stroke head.
void DrawArrow(QPainter& painter, QPointF from, QPointF to) {
  painter.drawLine(from, to);
  const QPointF along = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
  const QPointF across(-along.y(), along.x());
  painter.drawLine(to, to - along * 4 + across * 3.5);
  painter.drawLine(to, to - along * 4 - across * 3.5);
}

void DrawText(QPainter& painter, const QRectF& box, const QString& text, double size, bool italic = false) {
  QFont font = QApplication::font();
  font.setPixelSize(int(size));
  font.setBold(!italic);
  font.setItalic(italic);
  painter.setFont(font);
  painter.drawText(box, Qt::AlignCenter, text);
}

using Glyph = std::function<void(QPainter&)>;

const QHash<QString, Glyph>& Glyphs() {
  static const QHash<QString, Glyph> glyphs{
      {QStringLiteral("SumTool"), [](QPainter& p) { DrawText(p, QRectF(6, 5, 20, 21), QStringLiteral("\u03A3"), 17); }},
      {QStringLiteral("AverageTool"),
       [](QPainter& p) {
         DrawText(p, QRectF(6, 7, 20, 19), QStringLiteral("x"), 17, true);
         p.drawLine(QPointF(12, 10), QPointF(20, 10));
       }},
      {QStringLiteral("InsertTool"),
       [](QPainter& p) {
         DrawCells(p, 8, 8, 2, 2, 6);
         p.setPen(QPen(kAccent, 2.2, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(22, 18), QPointF(22, 25));
         p.drawLine(QPointF(18.5, 21.5), QPointF(25.5, 21.5));
       }},
      {QStringLiteral("DeleteTool"),
       [](QPainter& p) {
         DrawCells(p, 8, 8, 2, 2, 6);
         p.setPen(QPen(QColor(200, 60, 50), 2.2, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(18.5, 18.5), QPointF(25, 25));
         p.drawLine(QPointF(25, 18.5), QPointF(18.5, 25));
       }},
      {QStringLiteral("ExpandDown"),
       [](QPainter& p) {
         p.drawLine(QPointF(9, 24), QPointF(23, 24));
         p.setPen(QPen(kAccent, 2, Qt::SolidLine, Qt::RoundCap));
         DrawArrow(p, QPointF(16, 8), QPointF(16, 21));
       }},
      {QStringLiteral("ExpandRight"),
       [](QPainter& p) {
         p.drawLine(QPointF(24, 9), QPointF(24, 23));
         p.setPen(QPen(kAccent, 2, Qt::SolidLine, Qt::RoundCap));
         DrawArrow(p, QPointF(8, 16), QPointF(21, 16));
       }},
      {QStringLiteral("FillDown"),
       [](QPainter& p) {
         p.fillRect(QRectF(9, 8, 8, 5), kAccent);
         DrawCells(p, 9, 8, 1, 3, 5);
         p.setPen(QPen(kAccent, 2, Qt::SolidLine, Qt::RoundCap));
         DrawArrow(p, QPointF(22, 9), QPointF(22, 23));
       }},
      {QStringLiteral("FillRight"),
       [](QPainter& p) {
         p.fillRect(QRectF(8, 9, 5, 8), kAccent);
         DrawCells(p, 8, 9, 3, 1, 5);
         p.setPen(QPen(kAccent, 2, Qt::SolidLine, Qt::RoundCap));
         DrawArrow(p, QPointF(9, 22), QPointF(23, 22));
       }},
      {QStringLiteral("InfoTool"),
       [](QPainter& p) {
         p.drawEllipse(QPointF(16, 16), 8, 8);
         DrawText(p, QRectF(8, 8, 16, 16), QStringLiteral("i"), 12);
       }},
      {QStringLiteral("ShowFormula"), [](QPainter& p) { DrawText(p, QRectF(5, 6, 22, 20), QStringLiteral("fx"), 14, true); }},
      {QStringLiteral("OnlyUsed"),
       [](QPainter& p) {
         p.fillRect(QRectF(8, 8, 6, 6), kAccent);
         p.fillRect(QRectF(14, 14, 6, 6), kAccent);
         DrawCells(p, 8, 8, 3, 3, 6);
       }},
      {QStringLiteral("PrintTool"),
       [](QPainter& p) {
         p.drawRect(QRectF(11, 7, 10, 6));
         p.drawRoundedRect(QRectF(7, 13, 18, 8), 2, 2);
         p.drawRect(QRectF(11, 18, 10, 7));
       }},
      {QStringLiteral("FontTool"), [](QPainter& p) { DrawText(p, QRectF(6, 5, 20, 21), QStringLiteral("A"), 17); }},
      {QStringLiteral("ColorTool"),
       [](QPainter& p) {
         const QColor colours[] = {QColor(220, 70, 60), QColor(240, 190, 50), QColor(70, 170, 90), QColor(60, 120, 210)};
         for (int quarter = 0; quarter < 4; ++quarter) {
           p.setBrush(colours[quarter]);
           p.drawPie(QRectF(8, 8, 16, 16), quarter * 90 * 16, 90 * 16);
         }
       }},
      {QStringLiteral("MoreTool"),
       [](QPainter& p) {
         p.setPen(QPen(kInk, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
         for (double x : {11.0, 17.0}) p.drawPolyline(QPolygonF{{x, 11}, {x + 5, 16}, {x, 21}});
       }},
  };
  return glyphs;
}

QImage NewImage(double width, double height) {
  QImage image(int(width * kScale), int(height * kScale), QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(kScale);
  image.fill(Qt::transparent);
  return image;
}

}  // namespace

QImage DrawToolImage(const QString& name) {
  const auto glyph = Glyphs().constFind(name);
  if (glyph == Glyphs().constEnd()) return {};
  QImage image = NewImage(32, 32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  // The chevron stands alone; every other tool sits on a tile.
  if (name != QLatin1String("MoreTool")) {
    painter.setPen(QPen(QColor(150, 150, 150), 1));
    painter.setBrush(QColor(250, 250, 250));
    painter.drawRoundedRect(QRectF(4.5, 4.5, 23, 23), 5, 5);
  }
  painter.setPen(QPen(kInk, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  (*glyph)(painter);
  return image;
}

QImage DrawSegmentImage(const QString& name) {
  QImage image = NewImage(16, 14);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1.5, Qt::SolidLine, Qt::RoundCap));
  const bool left = name.endsWith(QLatin1String("Left"));
  const bool right = name.endsWith(QLatin1String("Right"));
  if (name.startsWith(QLatin1String("TextAlign"))) {
    const double lengths[] = {14, 9, 14, 9};
    for (int i = 0; i < 4; ++i) {
      const double length = lengths[i];
      const double x = left ? 1 : right ? 15 - length : (16 - length) / 2;
      painter.drawLine(QPointF(x, 2.5 + i * 3), QPointF(x + length, 2.5 + i * 3));
    }
  } else {
    const bool undo = name.startsWith(QLatin1String("Undo"));
    painter.translate(undo ? 0 : 16, 0);
    painter.scale(undo ? 1 : -1, 1);
    QPainterPath arc;
    arc.moveTo(3, 6);
    arc.cubicTo(8, 1, 15, 3, 14, 12);
    painter.drawPath(arc);
    painter.drawLine(QPointF(3, 6), QPointF(3, 1.5));
    painter.drawLine(QPointF(3, 6), QPointF(7.5, 6));
  }
  return image;
}
