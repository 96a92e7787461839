#include "glimmet/layout/gmLineDraw.h"

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flDrawing.h"
#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/layout/gmTableDraw.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmBorderPlan.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmTables.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace {

constexpr Kolor kOutlineKolor = 0x64C0C0C0;
constexpr Kolor kMarkKolor = 0x64808080;
constexpr Kolor kInactiveSelection = 0x64C0C0C0;
constexpr float kMarkSize = 9;

double Zoom(const Pane* pane) { return pane && pane->zoom > 0 ? pane->zoom : 1.0; }

double Snap(double v, double zoom) { return std::rint(v * zoom) / zoom; }

QColor SystemTextBackground() { return QGuiApplication::palette().color(QPalette::Base); }

void DrawUnderline(QPainter& painter, const LineFormat& line, size_t index, const QRectF& lineRect) {
  const LineRun& run = line.runs[index];
  if (index == 0 || run.first < 0 || uint32_t(run.first) >= line.limitCp) return;
  const LineRun* text = nullptr;
  for (size_t i = index; i-- > 0;) {
    const LineRun& r = line.runs[i];
    if (r.type == kRunText && r.segment && r.first >= 0 && r.first <= run.limit) {
      text = &r;
      break;
    }
  }
  if (!text || text->limit < run.first) return;
  PropRecord chars;
  FetchCharProps(line.doc, uint32_t(run.first), nullptr, &chars);
  const Kolor kolor = chars.get<uint32_t>(CharField::color);
  const Kolor color = KolorIsColor(kolor) ? kolor : g_blackKolor;
  float position = 0;
  const float t = FontUnderlineMetrics(chars, &position);
  const double zoom = Zoom(line.pane);
  const double baseline = lineRect.y() + line.baseline + text->segment->baselineShift;
  const double x1 = lineRect.x() + line.originX + run.x;
  const double x2 = x1 + run.width;
  if (run.strike) {
    const double y = Snap(baseline - text->segment->ascent / 4, zoom);
    DrawLineCore(painter, color, nullptr, 0, x1, y, x2, y, t);
  }
  const double y = baseline + position;
  const bool active = line.doc->active;
  uint32_t style = run.underline > 10 ? 1 : run.underline;
  const qreal dotted[] = {t, 3 * t};
  const qreal dashed[] = {5 * t, 2 * t};
  switch (style) {
    case 0: break;
    case 2:
      DrawWordUnderline(painter, {line.doc, uint32_t(run.first), uint32_t(run.limit)}, *text, color,
                        lineRect.x() + line.originX, y, t);
      break;
    case 3:
      DrawLineCore(painter, color, nullptr, 0, x1, y, x2, y, t);
      DrawLineCore(painter, color, nullptr, 0, x1, y + 2 * t, x2, y + 2 * t, t);
      break;
    case 4: DrawLineCore(painter, color, dotted, 2, x1, y, x2, y, t); break;
    case 5: DrawLineCore(painter, color, dashed, 2, x1, y, x2, y, t); break;
    case 6: DrawLineCore(painter, color, nullptr, 0, x1, y, x2, y, 2 * t); break;
    case 8:
      if (active) DrawSpecialUnderline(painter, 0x640000F0, x1, x2, y, zoom);
      break;
    case 9:
      if (active) DrawSpecialUnderline(painter, 0x64F00000, x1, x2, y, zoom);
      break;
    case 10:
      if (active) DrawSpecialUnderline(painter, 0x6400F000, x1, x2, y, zoom);
      break;
    default: DrawLineCore(painter, color, nullptr, 0, x1, y, x2, y, t); break;
  }
}

void DrawTabLeader(QPainter& painter, const LineFormat& line, const LineRun& run, const QRectF& lineRect) {
  const uint32_t kind = (run.tabWord >> 26) & 7;
  if (kind == 0 || run.width <= 0) return;
  const double x = lineRect.x() + line.originX + run.x;
  const double end = x + run.width;
  const double baseline = lineRect.y() + line.baseline;
  if (kind == 4 || kind == 5) {
    const double y = std::rint(baseline);
    DrawLineCore(painter, g_blackKolor, nullptr, 0, x, y, end, y, kind == 4 ? 1.0 : 2.0);
    return;
  }
  if (kind > 5) {
    LogAssert("Unknown leader", __func__, __FILE__, __LINE__);
    return;
  }
  static const char16_t leaders[] = u" .-=  ";
  const char16_t unit = leaders[kind];
  PropRecord chars;
  FetchCharProps(line.doc, uint32_t(std::max(run.first, int32_t(line.firstCp))), nullptr, &chars);
  Typesetter& ts = CurrentTypesetter();
  double pad = ts.boundingWidth(chars) * 0.25;
  if (pad == 0) pad = chars.get<int16_t>(CharField::size) / 4.0 * 0.3125;
  const double width = ts.advance(unit, chars);
  const double pitch = std::max(9.0, 2 * pad + width);
  const double a = x - lineRect.x();
  const QColor color = TextColorFor(chars, line.recolour);
  for (double at = lineRect.x() + std::floor((a + pitch - 1) / pitch) * pitch; at <= end - (width + pad); at += pitch)
    ts.drawUnit(painter, QPointF(at, baseline), unit, chars, color);
}

void DrawInvisibleChar(QPainter& painter, const LineFormat& line, const LineRun& run, const QRectF& lineRect) {
  const double x = lineRect.x() + line.originX + run.x;
  const double baseline = lineRect.y() + line.baseline;
  PropRecord small;
  SetBaseProperties(kPropChar, &small);
  small.set<int16_t>(CharField::size, int16_t(kMarkSize * 4));
  Typesetter& ts = CurrentTypesetter();
  const QColor grey = ColorFromKolor(kMarkKolor);
  auto centred = [&](char16_t unit) {
    const double w = ts.advance(unit, small);
    ts.drawUnit(painter, QPointF(x + (run.width - w) / 2, baseline), unit, small, grey);
  };
  if (run.type == kRunTab) {
    ts.drawUnit(painter, QPointF(x, baseline), 0x2192, small, grey);
    return;
  }
  switch (run.showItem) {
    case 0: return;
    case kShowOnlyKink:
    case kShowBeginKink:
    case kShowEndKink:
    case kShowMiddleKink: {
      static const char16_t marks[] = {0, 0x2022, u'<', u'>', u'|'};
      const QString text = QString(QChar(marks[run.showItem])) + QStringLiteral("%1").arg(run.showCode & 0xFF, 2, 16, QChar(u'0'));
      double at = x;
      for (QChar c : text) {
        ts.drawUnit(painter, QPointF(at, baseline), c.unicode(), small, grey);
        at += ts.advance(c.unicode(), small);
      }
      return;
    }
    case kShowCharacter: {
      char16_t mark = 0;
      switch (run.showCode) {
        case 9: ts.drawUnit(painter, QPointF(x, baseline), 0x2192, small, grey); return;
        case 10: mark = 0x00B6; break;
        case 11: mark = 0x25FB; break;
        case 12: mark = 0x25EB; break;
        case 0: mark = 0x2016; break;
        case u' ': mark = 0x00B7; break;
        case 0x00A0:
        case 0x2011:
        case 0x202F: mark = u'_'; break;
        case 0x2028: mark = 0x21A9; break;
        default: LogAssert("Unknown character for normallyHiddenShowItem", __func__, __FILE__, __LINE__); return;
      }
      centred(mark);
      return;
    }
    case 6:
      DrawRectangleCore(painter, Zoom(line.pane), kOutlineKolor, kNoKolor, std::floor(Zoom(line.pane)) != Zoom(line.pane),
                        QRectF(x, lineRect.y(), run.width, lineRect.height()));
      return;
    default: LogAssert("unknown showAllItem", __func__, __FILE__, __LINE__); return;
  }
}

void DrawPictureRun(QPainter& painter, const LineFormat& line, const LineRun& run, const QRectF& lineRect) {
  KnotInfo knot;
  BorderStyle border;
  BorderSides thickness;
  const QRectF rect = FindPictureOnLine(float(lineRect.x() + line.originX + run.x), float(lineRect.y()),
                                        float(lineRect.height()), line, run, &knot, &border, &thickness);
  GlimmetDoc* doc = line.doc;
  if (border.kind != 0) {
    BorderDisplay edges;
    SetBorderDisplay(uint32_t(border.kind), 0, 1, 0, 1, &edges);
    DrawBorder(painter, border, false, edges, rect);
  }
  double opacity = 1.0;
  if (run.selected && ShouldHighlightSelection(doc, line.pane) == kHighlightActive) {
    const Kolor selection = TextSelectionKolor(doc, line.pane);
    if (KolorIsColor(selection)) painter.fillRect(rect, ColorFromKolor(selection));
    opacity = 0.5;
  }
  const uint32_t value = knot.entry.opacity();
  if (value != 0) opacity = (value - 1) / 1000.0;
  const uint32_t index = knot.entry.pictureIndex();
  const FLImage* image = nullptr;
  if (index < doc->pictures.size() && doc->pictures[index].image)
    image = static_cast<const FLImage*>(doc->pictures[index].image.get());
  DrawPicture(painter, opacity, image, rect);
  if (!line.paneDisplay && line.pane && line.pane->showInvisibles) DrawOutline(painter, float(Zoom(line.pane)), rect);
}

void DrawRun(QPainter& painter, LineFormat& line, size_t index, const QRectF& lineRect) {
  const LineRun& run = line.runs[index];
  const bool noBackgrounds = line.modeFlags & kFormatPrinting;
  const double x = lineRect.x() + line.originX + run.x;
  const QRectF band(x, lineRect.y(), run.width, lineRect.height());
  switch (run.type) {
    case kRunBackground:
      if (!noBackgrounds) DrawRectangleCore(painter, 1.0, run.frame, run.fill, false, band);
      return;
    case kRunBarTab: {
      const Kolor color = line.doc->docProps.get<uint32_t>(DocField::btColor);
      const double bx = lineRect.x() + run.barX;
      DrawLineCore(painter, KolorIsColor(color) ? color : g_blackKolor, nullptr, 0, bx, lineRect.top(), bx,
                   lineRect.bottom(), 1.0);
      return;
    }
    case kRunCheckbox: {
      PropRecord chars;
      FetchCharProps(line.doc, uint32_t(std::max(run.first, int32_t(line.firstCp))), nullptr, &chars);
      const double size = CheckboxSide(chars);
      const double bottom = std::rint(lineRect.y() + line.baseline +
                                      double(chars.get<int64_t>(CharField::subscript)) / kEmuPerPoint);
      DrawQuartzCheckbox(painter, (run.checked & 0xFF) != 0, !line.paneDisplay,
                         QRectF(std::rint(x), bottom - size, size, size));
      return;
    }
    case kRunDecoration: DrawUnderline(painter, line, index, lineRect); return;
    case kRunMarked:
      if (!noBackgrounds && !(line.pane && line.pane->noHighlight))
        painter.fillRect(band, QColor::fromRgbF(0.7529f, 0.7529f, 0.7529f, 1.0f));
      return;
    case kRunInvisible: DrawInvisibleChar(painter, line, run, lineRect); return;
    case kRunText: {
      if (!run.segment) return;
      const LineSegment& seg = *run.segment;
      if (seg.text.text.isEmpty()) {
        LogAssert("Nothing in line segment", __func__, __FILE__, __LINE__);
        return;
      }
      if (seg.generated && (line.modeFlags & kFormatPrinting)) return;
      if (!seg.line) return;
      const QPointF origin(x, lineRect.y() + line.baseline + seg.baselineShift);
      if (seg.shadow) {
        painter.save();
        painter.setOpacity(0.33);
        seg.line->draw(painter, origin + QPointF(4.0, 4.0));
        painter.restore();
      }
      seg.line->draw(painter, origin);
      return;
    }
    case kRunPicture: DrawPictureRun(painter, line, run, lineRect); return;
    case kRunSelection:
      if (!noBackgrounds && !(line.pane && line.pane->noHighlight)) DrawLineHighlight(painter, line.doc, line.pane, band);
      return;
    case kRunTab:
      DrawTabLeader(painter, line, run, lineRect);
      if (!line.paneDisplay && line.pane && line.pane->showInvisibles) DrawInvisibleChar(painter, line, run, lineRect);
      return;
    case kRunTag: return;
    default: LogAssert("Unknown runType", __func__, __FILE__, __LINE__); return;
  }
}

// A conditional divider (its knot's flag byte set) shows only at the start or the end of what
// the pane shows; a pane showing invisible characters shows it everywhere, except in the
// document object's own display.
bool ShowsConditionalDivider(const LineFormat& line, const KnotInfo& knot) {
  if (knot.entry.dividerFlags() == 0) return true;
  const Pane* pane = line.pane;
  if (!line.paneDisplay && pane && pane->showInvisibles) return true;
  if (line.limitCp == line.paneRange.limit) return true;
  return knot.first == VisibleCpCore(line.doc, line.pane, line.paneRange.first, true);
}

void DrawDivider(QPainter& painter, LineFormat& line, const QRectF& lineRect) {
  GlimmetDoc* doc = line.doc;
  KnotInfo knot;
  if (!(FetchKnot(doc, line.limitCp - 1, &knot, kKnotNone) && knot.type() == kKnotDivider) &&
      !(FetchKnot(doc, VisibleCpCore(doc, line.pane, line.firstCp, true), &knot, kKnotNone) &&
        knot.type() == kKnotDivider)) {
    LogAssert("Divider not found", __func__, __FILE__, __LINE__);
    return;
  }
  const QRectF box(lineRect.x() + line.originX, lineRect.y() + line.spaceAbove,
                   lineRect.right() - lineRect.x() - line.originX, lineRect.height() - line.spaceAbove - line.spaceBelow);
  const Pane* pane = line.pane;
  if (pane && pane->frameIndex == kGMNone && pane->selFirst <= int32_t(knot.first) && pane->selLimit > int32_t(knot.first))
    DrawLineHighlight(painter, doc, line.pane, lineRect);
  if (!ShowsConditionalDivider(line, knot)) return;
  PropRecord chars;
  FetchCharProps(doc, knot.first, nullptr, &chars);
  Kolor kolor = chars.get<uint32_t>(CharField::color);
  if (!KolorIsColor(kolor)) return;
  QColor color = ColorFromKolor(kolor);
  if (kolor == g_blackKolor && line.darkMode) color = QGuiApplication::palette().color(QPalette::Text);
  const double cx = box.center().x(), cy = box.center().y();
  const double d = std::min(box.width() / 3, 144.0);
  QPainterPath path;
  const uint32_t type = knot.entry.dividerType();
  Typesetter& ts = CurrentTypesetter();
  auto centredText = [&](const QString& text, double centre) {
    double width = 0;
    for (QChar c : text) width += ts.advance(c.unicode(), chars);
    const GMFontMetrics m = ts.fontMetrics(chars);
    double at = centre - width / 2;
    const double baseline = cy + (m.ascent - m.descent) / 2;
    for (QChar c : text) {
      ts.drawUnit(painter, QPointF(at, baseline), c.unicode(), chars, color);
      at += ts.advance(c.unicode(), chars);
    }
    return QRectF(centre - width / 2, cy - m.ascent / 2, width, m.ascent);
  };
  const double side = 2 * std::floor(box.height() / 8) + 1;
  const QRectF square(cx - side / 2, cy - side / 2, side, side);
  switch (type) {
    case 0:
      for (double c : {cx - d, cx, cx + d}) centredText(QStringLiteral("*"), c);
      return;
    case 2: AddSideLines(path, true, AddDiamondToPath(path, cx, box.y(), box.height()), box.width()); break;
    case 3: {
      AddDiamondToPath(path, cx, box.y(), box.height());
      path.moveTo(cx - d, cy);
      path.lineTo(cx + d, cy);
      break;
    }
    case 4:
      path.addRect(square);
      AddSideLines(path, true, square, box.width());
      break;
    case 5:
      path.addRect(square);
      path.moveTo(cx - d, std::floor(cy) + 0.25);
      path.lineTo(cx + d, std::floor(cy) + 0.25);
      break;
    case 6:
      path.addEllipse(square);
      AddSideLines(path, true, square, box.width());
      break;
    case 7:
      path.addEllipse(square);
      path.moveTo(cx - d, std::floor(cy) + 0.25);
      path.lineTo(cx + d, std::floor(cy) + 0.25);
      break;
    case 8: {
      const double y = cy + 0.25;
      const double lengths[] = {d, 0.67 * d, 0.67 * 0.67 * d};
      const double widths[] = {0.5, 2.0, 4.0};
      for (int i = 0; i < 3; ++i)
        DrawLineCore(painter, KolorFromColorCore(color), nullptr, 0, cx - lengths[i], y, cx + lengths[i], y, widths[i]);
      return;
    }
    case 9:
      path.moveTo(box.left(), cy);
      path.lineTo(box.right(), cy);
      break;
    case 10: {
      const QRectF text = centredText(QStringLiteral("The End"), cx);
      QPainterPath lines;
      AddSideLines(lines, false, text, box.width());
      painter.strokePath(lines, QPen(color, 0.5));
      return;
    }
    case 1: {
      const double offset = box.width() / 12 + 8;
      const QRectF left = AddDiamondToPath(path, cx - offset, box.y(), box.height());
      const QRectF right = AddDiamondToPath(path, cx + offset, box.y(), box.height());
      const double g = right.left() - left.right();
      const double y = left.center().y();
      path.moveTo(left.right() + 8, y);
      path.lineTo(left.right() + 8 + (g - 16), y);
      path.moveTo(left.left() - 8, y);
      path.lineTo(left.left() - 8 - (g - 16), y);
      path.moveTo(right.right() + 8, y);
      path.lineTo(right.right() + 8 + (g - 16), y);
      break;
    }
    default: break;
  }
  painter.fillPath(path, color);
  painter.strokePath(path, QPen(color, 0.5));
}

}  // namespace

int ShouldHighlightSelection(GlimmetDoc* doc, Pane* pane) {
  if (!doc || !pane) return kHighlightNone;
  if (doc->active) {
    if (pane != CurrentPane(doc)) return kHighlightInactive;
    const bool appActive = !pane->view || pane->view->applicationActive();
    if (!pane->selectionAlwaysShown && !appActive) return kHighlightInactive;
    return !pane->view || pane->view->isKeyFirstResponder() ? kHighlightActive : kHighlightInactive;
  }
  return doc->hideInactiveSelection && !pane->selectionAlwaysShown ? kHighlightNone : kHighlightInactive;
}

Kolor TextSelectionKolor(GlimmetDoc* doc, Pane* pane) {
  const int mode = ShouldHighlightSelection(doc, pane);
  Kolor kolor = kNoKolor;
  if (mode == kHighlightInactive) kolor = kInactiveSelection;
  else if (mode == kHighlightActive) kolor = KolorFromColorCore(QGuiApplication::palette().color(QPalette::Highlight));
  if (mode == kHighlightNone || !KolorIsColor(kolor)) return kNoKolor;
  if (DarkAppearance() && !g_glimmetConfig.darkText) {
    if ((kolor >> 24) == 100) {
      auto channel = [](uint32_t c) { return std::min<uint32_t>(c + 64, 191) + 64; };
      kolor = MakeKolor(uint8_t(channel(kolor & 0xFF)), uint8_t(channel((kolor >> 8) & 0xFF)),
                        uint8_t(channel((kolor >> 16) & 0xFF)));
    } else {
      kolor = MakeKolor(0xC0, 0xC0, 0xC0);
    }
  }
  return kolor;
}

void DrawLineHighlight(QPainter& painter, GlimmetDoc* doc, Pane* pane, const QRectF& rect) {
  const Kolor kolor = TextSelectionKolor(doc, pane);
  if (KolorIsColor(kolor)) painter.fillRect(rect, ColorFromKolor(kolor));
}

void DrawOutline(QPainter& painter, float zoom, const QRectF& rect) {
  DrawRectangleCore(painter, zoom, kOutlineKolor, kNoKolor, false, rect);
}

QRectF FindPictureOnLine(float x, float lineTop, float lineHeight, const LineFormat& line, const LineRun& run,
                         KnotInfo* knot, BorderStyle* border, BorderSides* thickness) {
  *border = BorderStyle();
  *thickness = BorderSides();
  *knot = KnotInfo();
  if (run.first >= 0) FetchKnot(line.doc, uint32_t(run.first), knot, kKnotPicture);
  if (knot->found() && knot->entry.propIndex != kGMNone) {
    if (const PropRecord* props = PropertiesAtIndex(line.doc, knot->entry.propIndex); props && props->kind == kPropBorder) {
      *border = BorderStyleAt(*props, 0);
      BorderDisplay edges;
      SetBorderDisplay(uint32_t(border->kind), 0, 1, 0, 1, &edges);
      *thickness = BorderThickness(*border, edges);
    }
  }
  const double width = run.width - run.borderAllowance;
  const double height = run.pictureHeight;
  const double shift = run.segment ? run.segment->baselineShift : 0;
  const double left = std::floor(x) + thickness->left;
  double top = 0;
  switch (knot->found() ? knot->entry.alignment() : 3) {
    case 1: top = lineTop + lineHeight - thickness->bottom - height; break;
    case 2:
      top = std::floor(lineTop + line.baseline + shift + thickness->top -
                       (thickness->top + height + thickness->bottom) / 2);
      break;
    case 3: top = lineTop + line.baseline + shift - thickness->bottom - height; break;
    default: top = std::floor(lineTop) + thickness->top; break;
  }
  return {left, top, width, height};
}

void DrawFormattedLine(QPainter& painter, LineFormat& line, Kolor background, float viewRight, const QRectF& lineRect,
                       const QRectF& clip) {
  GlimmetDoc* doc = line.doc;
  if (!doc) return;
  const double zoom = Zoom(line.pane);
  QRectF rect = lineRect;
  if (zoom != std::floor(zoom)) {
    double top = std::rint(rect.top() * zoom) / zoom;
    if (top > rect.top()) top -= 1 / zoom;
    double height = std::rint(rect.height() * zoom) / zoom;
    if (height < rect.height()) height += 1 / zoom;
    rect = QRectF(rect.x(), top, rect.width(), height);
  }
  const bool noBackgrounds = line.modeFlags & kFormatPrinting;
  if (KolorIsColor(background) && !noBackgrounds) painter.fillRect(rect, ColorFromKolor(background));
  DocRange para;
  PropRecord paraProps;
  FetchParaProps(doc, line.pane, line.firstCp, &para, &paraProps);
  if (line.startKind == kStartText && line.hasBorderBox && !noBackgrounds) {
    const BorderStyle border = BorderStyleAt(paraProps, ParaField::border);
    QRectF band(rect.x() + line.leftEdge, rect.y(), line.rightEdge - line.leftEdge, rect.height());
    if (border.kind == 0) {
      if (KolorIsColor(border.backColor)) {
        QColor color = ColorFromKolor(border.backColor);
        if (border.backColor == kWhiteKolor && line.recolour) color = SystemTextBackground();
        painter.fillRect(band, color);
      }
    } else {
      const BorderSides sides = BorderThickness(border, line.borderEdges);
      band.adjust(0, sides.top, 0, -sides.bottom);
      DrawBorder(painter, border, true, line.borderEdges, band);
    }
  }
  bool clipped = false;
  if (!line.paneDisplay) {
    if (line.startKind == kStartRow) {
      DrawTableRow(painter, line, rect, clip);
      return;
    }
    QRectF area = rect;
    if (line.startKind != kStartText && viewRight > 0) area.setRight(std::max<double>(area.right(), viewRight));
    if (clip.width() > 0 && clip.height() > 0) {
      area = area.intersected(clip);
      if (area.isEmpty()) return;
    }
    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    clipped = true;
  }
  if (line.startKind == kStartText) {
    for (size_t i = 0; i < line.runs.size(); ++i) DrawRun(painter, line, i, rect);
  } else if (line.startKind == kStartRow) {
    DrawTableRow(painter, line, rect, clip);
  } else if (line.startKind == kStartDivider) {
    DrawDivider(painter, line, rect);
  }
  if (clipped) painter.restore();
  // The caret.
  const Pane* pane = line.pane;
  if (line.startKind == kStartText && pane && pane->caretCp != 0 && uint32_t(pane->caretCp) >= line.firstCp &&
      uint32_t(pane->caretCp) < line.limitCp) {
    const double x = Snap(rect.x() + line.originX + LineXFromCpCore(line, uint32_t(pane->caretCp)), zoom);
    PropRecord chars;
    FetchCharProps(doc, uint32_t(std::max(pane->selFirst, 0)), nullptr, &chars);
    // Plain black text counts as no colour, else the caret would vanish on a white page.
    Kolor base = chars.get<uint32_t>(CharField::color);
    if (base == g_blackKolor) base = kNoKolor;
    if (!KolorIsColor(base)) base = paraProps.get<uint32_t>(ParaField::border + BorderField::backColor);
    if (!KolorIsColor(base)) base = background;
    Kolor caret = line.darkMode ? kWhiteKolor : g_blackKolor;
    if (KolorIsColor(base)) caret = ((base & 0xFFFFFF) ^ 0xFFFFFF) | 0x64000000;
    DrawLineCore(painter, caret, nullptr, 0, x, rect.y() + line.spaceAbove, x, rect.bottom() - line.spaceBelow,
                 1 / zoom);
  }
}

void DrawLineCore(QPainter& painter, Kolor kolor, const qreal* dash, int dashCount, double x1, double y1, double x2,
                  double y2, double width) {
  if (x1 == x2) {
    x1 += width / 2;
    x2 += width / 2;
  } else if (y1 == y2) {
    y1 += width / 2;
    y2 += width / 2;
  }
  QPen pen(ColorFromKolor(kolor), width);
  pen.setCapStyle(Qt::FlatCap);
  if (dash && dashCount > 0 && width > 0) {
    QList<qreal> pattern;
    for (int i = 0; i < dashCount; ++i) pattern.append(dash[i] / width);
    pen.setDashPattern(pattern);
    pen.setDashOffset(0);
  }
  painter.save();
  painter.setPen(pen);
  painter.drawLine(QPointF(x1, y1), QPointF(x2, y2));
  painter.restore();
}

void DrawSpecialUnderline(QPainter& painter, Kolor kolor, double xStart, double xEnd, double y, double zoom) {
  const qreal dash[] = {1.5 * 2 / zoom, 2 / zoom};
  DrawLineCore(painter, kolor, dash, 2, xStart, y, xEnd, y, 2 / zoom);
}

void DrawRectangleCore(QPainter& painter, double zoom, Kolor stroke, Kolor fill, bool integral, QRectF rect) {
  if (integral) rect = QRectF(rect.toAlignedRect());
  if (KolorIsColor(fill)) painter.fillRect(rect, ColorFromKolor(fill));
  if (KolorIsColor(stroke)) {
    const double w = 1 / zoom;
    painter.save();
    painter.setPen(QPen(ColorFromKolor(stroke), w));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(w / 2, w / 2, -w / 2, -w / 2));
    painter.restore();
  }
}

QRectF AddDiamondToPath(QPainterPath& path, double cx, double top, double height) {
  const double s = std::floor(height / 5) + 1;
  const double m = top + height / 2;
  path.moveTo(cx, m - s);
  path.lineTo(cx + s, m);
  path.lineTo(cx, m + s);
  path.lineTo(cx - s, m);
  path.closeSubpath();
  return {cx - s, m - s, 2 * s, 2 * s};
}

void AddSideLines(QPainterPath& path, bool shape, const QRectF& shapeRect, double boxWidth) {
  double length = std::min(boxWidth / 3, 144.0);
  if (shape) length -= shapeRect.width() / 2 + 8;
  const double y = std::floor(shapeRect.top() + shapeRect.height() / 2) + 0.25;
  path.moveTo(shapeRect.left() - 8, y);
  path.lineTo(shapeRect.left() - 8 - length, y);
  path.moveTo(shapeRect.right() + 8, y);
  path.lineTo(shapeRect.right() + 8 + length, y);
}

void DrawPicture(QPainter& painter, double opacity, const FLImage* image, const QRectF& rect) {
  std::unique_ptr<FLImage> missing;
  if (!image) {
    missing = FLImage::imageNamed(QStringLiteral("MissingImage"));
    image = missing.get();
  }
  if (!image) return;
  painter.save();
  image->draw(painter, rect, QRectF(), QPainter::CompositionMode_SourceOver, opacity);
  painter.restore();
}

void DrawWordUnderline(QPainter& painter, const DocRange& range, const LineRun& run, Kolor kolor, double x, double y,
                       double width) {
  if (!run.segment || !range.doc) return;
  const LineSegment& seg = *run.segment;
  GlimmetDoc* doc = range.doc;
  QPainterPath path;
  auto offset = [&](uint32_t index) { return x + run.x + PositionOfLineSegmentIndex(seg.line.get(), int(index)); };
  auto inWord = [&](uint32_t cp) {
    const char16_t c = doc->charAt(cp);
    if (IsKinkChar(c)) return CpIsWithinKnot(doc, cp, kKnotPicture, nullptr, false);
    const uint32_t type = TypeOfChar(c);
    return type >= kCharClassUpper && type <= kCharClassDigit;
  };
  const double at = y + width / 2;
  for (size_t i = 0; i < seg.pieces.size(); ++i) {
    const LinePiece& piece = seg.pieces[i];
    if (piece.first < 0) continue;
    const uint32_t pieceEnd = i + 1 < seg.pieces.size() ? seg.pieces[i + 1].offset : seg.unitsFit;
    const uint32_t first = std::max(uint32_t(piece.first), range.first);
    const uint32_t limit = std::min({uint32_t(piece.limit), range.limit, uint32_t(piece.first) + pieceEnd - piece.offset});
    uint32_t cp = first;
    while (cp < limit) {
      while (cp < limit && !inWord(cp)) ++cp;
      if (cp >= limit) break;
      const uint32_t start = cp;
      while (cp < limit && inWord(cp)) ++cp;
      const double from = offset(piece.offset + (start - uint32_t(piece.first)));
      const double to = cp >= limit && limit == uint32_t(piece.limit) ? offset(pieceEnd)
                                                                       : offset(piece.offset + (cp - uint32_t(piece.first)));
      path.moveTo(from, at);
      path.lineTo(to, at);
    }
  }
  if (path.isEmpty()) return;
  QPen pen(ColorFromKolor(kolor), width);
  pen.setCapStyle(Qt::FlatCap);
  painter.strokePath(path, pen);
}
