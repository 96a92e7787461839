#include "glimmet/storage/gmBorders.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmProperties.h"

#include <cstring>

#include <cmath>

namespace {

uint32_t Keep2(uint32_t side) { return side == kBorderSideOuter ? kBorderSideOuter : kBorderSideNone; }

// Kinds 9 and 14 share everything but a one-row grid's bottom.
void RemapBoxBetween(BorderDisplay* s, bool row1Box) {
  const uint32_t t = s->top, b = s->bottom, l = s->left, r = s->right;
  s->top = t == kBorderSideRow1 ? kBorderSideInner : t;
  if (b == kBorderSideInner || b == kBorderSideRow1) s->bottom = row1Box && s->rows == 1 ? kBorderSideOuter : 1;
  else s->bottom = b == kBorderSideOuter ? b : kBorderSideNone;
  s->left = l == kBorderSideColumn1 ? kBorderSideInner : l;
  if (r == kBorderSideInner || r == kBorderSideColumn1) s->right = 1;
  else s->right = r == kBorderSideOuter || r == kBorderSideRow1Box ? r : kBorderSideNone;
}

uint32_t Row1Bottom(uint32_t t, uint32_t b) {
  if (t == kBorderSideOuter && b == kBorderSideOuter) return kBorderSideOuter;
  return b == kBorderSideRow1 ? 1 : kBorderSideNone;
}

}  // namespace

BorderStyle BorderStyleAt(const PropRecord& record, uint32_t offset) {
  BorderStyle border;
  border.kind = record.get<int32_t>(offset + BorderField::kind);
  border.line = record.get<int32_t>(offset + BorderField::line);
  border.width = record.get<int64_t>(offset + BorderField::width);
  border.thickness = record.get<int64_t>(offset + BorderField::thickness);
  border.offset = record.get<int64_t>(offset + BorderField::offset);
  border.lineColor = record.get<uint32_t>(offset + BorderField::lineColor);
  border.innerColor = record.get<uint32_t>(offset + BorderField::innerColor);
  border.backColor = record.get<uint32_t>(offset + BorderField::backColor);
  return border;
}

BorderDrawStyle ConvertBorderStyle(const BorderStyle& border) {
  BorderDrawStyle draw;
  int64_t width = border.width;
  if (border.line == 1) width = (width + kEmuPerPoint - 1) / kEmuPerPoint * kEmuPerPoint;
  draw.style = uint32_t(border.line + 2);
  draw.width = float(double(width) / kEmuPerPoint);
  draw.thickness = float(double(border.thickness) / kEmuPerPoint);
  draw.offset = float(double(border.offset) / kEmuPerPoint);
  draw.lineColor = border.lineColor;
  draw.innerColor = border.innerColor;
  draw.backColor = border.backColor;
  // Teeth and scallops between paragraphs or cells are drawn as a single line.
  if ((border.line == 4 || border.line == 5) && border.kind >= 8) draw.style = 2;
  return draw;
}

QString CssColorString(Kolor kolor) {
  if (!KolorIsColor(kolor)) return QStringLiteral("transparent");
  const int red = int(kolor & 0xFF), green = int((kolor >> 8) & 0xFF), blue = int((kolor >> 16) & 0xFF);
  const uint32_t alpha = kolor >> 24;
  if (alpha == 100) return QStringLiteral("rgb(%1,%2,%3)").arg(red).arg(green).arg(blue);
  return QStringLiteral("rgba(%1,%2,%3,%4)").arg(red).arg(green).arg(blue).arg(alpha / 100.0, 0, 'f', 2);
}

void SetBorderDisplay(uint32_t kind, uint32_t row, uint32_t rows, uint32_t column, uint32_t columns,
                      BorderDisplay* out) {
  if (!out) return;
  *out = BorderDisplay();
  const bool lastRow = row + 1 >= rows;
  const bool lastColumn = column + 1 >= columns;
  out->top = row == 0 ? kBorderSideOuter : row == 1 ? kBorderSideRow1 : kBorderSideInner;
  if (kind == kBorderKindRow1BoxBetween) {
    out->bottom = row == 0 ? kBorderSideRow1 : lastRow ? kBorderSideOuter : kBorderSideInner;
    out->left = column != 0 ? kBorderSideInner : row == 0 ? kBorderSideOuter : kBorderSideRow1Box;
    out->right = !lastColumn ? kBorderSideInner : row == 0 ? kBorderSideOuter : kBorderSideRow1Box;
  } else {
    out->bottom = lastRow ? kBorderSideOuter : row == 0 ? kBorderSideRow1 : kBorderSideInner;
    out->left = column == 0 ? kBorderSideOuter : column == 1 ? kBorderSideColumn1 : kBorderSideInner;
    out->right = lastColumn ? kBorderSideOuter : column == 0 ? kBorderSideColumn1 : kBorderSideInner;
  }
  out->row = row;
  out->rows = rows;
  out->column = column;
  out->columns = columns;
}

void ModifyBorderDisplayForKind(uint32_t kind, BorderDisplay* s) {
  if (!s) return;
  const BorderDisplay in = *s;
  const uint32_t t = in.top, b = in.bottom, l = in.left, r = in.right;
  switch (kind) {
    case 0: s->top = s->bottom = s->left = s->right = 0; break;
    case 1: s->top = 0, s->left = Keep2(l), s->right = 0; break;
    case 2: s->top = s->bottom = s->left = 0, s->right = Keep2(r); break;
    case 3: s->top = 0, s->left = Keep2(l), s->right = Keep2(r); break;
    case 4: s->top = Keep2(t), s->bottom = s->left = s->right = 0; break;
    case 5: s->top = 0, s->bottom = Keep2(b), s->left = s->right = 0; break;
    case 6: s->top = Keep2(t), s->bottom = Keep2(b), s->left = s->right = 0; break;
    case 7: s->top = Keep2(t), s->bottom = Keep2(b), s->left = Keep2(l), s->right = Keep2(r); break;
    case 8:
      s->top = t == 3 || t == 4 ? 3 : 0;
      s->bottom = b == 3 || b == 4 ? 1 : 0;
      s->left = l == 3 || l == 5 ? 3 : 0;
      s->right = r == 3 || r == 5 ? 1 : 0;
      break;
    case 9: RemapBoxBetween(s, false); break;
    case 14: RemapBoxBetween(s, true); break;
    case 10:
      s->top = t == 2 ? 2 : t == 4 ? (in.row + 1 >= in.rows || b != 2 ? 3 : 0) : 0;
      s->bottom = b == 2 ? 2 : b == 4 ? 1 : 0;
      s->left = Keep2(l), s->right = Keep2(r);
      break;
    case 11:
      s->top = Keep2(t), s->bottom = Keep2(b);
      s->left = l == 2 ? 2 : l == 5 ? (in.column + 1 >= in.columns || r != 2 ? 3 : 0) : 0;
      s->right = r == 2 ? 2 : r == 5 ? 1 : 0;
      break;
    case 12:
      s->top = t == 2 ? 2 : t == 4 ? 3 : 0;
      s->bottom = b == 2 ? 2 : b == 4 ? 1 : 0;
      s->left = l == 2 ? 2 : l == 5 ? 3 : 0;
      s->right = r == 2 ? 2 : r == 5 ? 1 : 0;
      break;
    case 13:
      s->top = t == 4 ? 3 : 0;
      s->bottom = Row1Bottom(t, b);
      s->left = s->right = 0;
      break;
    case 15:
      s->top = t == 4 ? 3 : 0;
      s->bottom = Row1Bottom(t, b);
      s->left = l == 3 || l == 5 ? 3 : 0;
      s->right = 0;
      break;
    default: LogAssert("unknown borderKind", __func__, __FILE__, __LINE__); break;
  }
  if (t == 0) s->top = 0;
  if (b == 0) s->bottom = 0;
  if (l == 0) s->left = 0;
  if (r == 0) s->right = 0;
  if (s->top >= 4) LogAssert("topBorderSide not remapped", __func__, __FILE__, __LINE__);
  if (s->bottom >= 4) LogAssert("bottomBorderSide not remapped", __func__, __FILE__, __LINE__);
  if (s->left >= 4 && s->left != kBorderSideRow1Box)
    LogAssert("leftBorderSide not remapped", __func__, __FILE__, __LINE__);
  if (s->right >= 4 && s->right != kBorderSideRow1Box)
    LogAssert("rightBorderSide not remapped", __func__, __FILE__, __LINE__);
}

BorderSides BorderThickness(const BorderStyle& border, const BorderDisplay& sides) {
  BorderStyle rounded = border;
  if (rounded.line == 1) rounded.width = (rounded.width + kEmuPerPoint - 1) / kEmuPerPoint * kEmuPerPoint;
  else rounded.width = std::max<int64_t>(rounded.width, kEmuPerPoint / 2);
  const BorderDrawStyle draw = ConvertBorderStyle(rounded);
  float outer = draw.offset;
  if (KolorIsColor(draw.lineColor)) {
    const float line = std::max(draw.width, 1.0f);
    switch (draw.style) {
      case 0: break;
      case 3: outer += 3 * line; break;
      case 6:
      case 7: outer += line + draw.thickness; break;
      case 8: outer += draw.thickness; break;
      default: outer += line; break;
    }
  }
  const float inner = float(double(border.offset) / kEmuPerPoint);
  if (inner < outer) outer = std::ceil(outer);
  BorderDisplay remapped = sides;
  ModifyBorderDisplayForKind(uint32_t(border.kind), &remapped);
  auto side = [&](uint32_t incoming, uint32_t result, bool innerSide, bool vertical) -> float {
    if (incoming == 0) return 0;
    if (result == 0 && innerSide) return 0;
    if (result >= 2) return outer;
    return vertical && sides.secondFlag ? 0 : inner;
  };
  BorderSides out;
  out.left = side(sides.left, remapped.left, sides.left == 3 || sides.left == 5, false);
  out.top = side(sides.top, remapped.top, sides.top == 3 || sides.top == 4, true);
  out.right = side(sides.right, remapped.right, sides.right == 3 || sides.right == 5, false);
  out.bottom = side(sides.bottom, remapped.bottom, sides.bottom == 3 || sides.bottom == 4, true);
  return out;
}

namespace {

// Whether two paragraphs' records put them in one border group.
bool SameBorderGroup(const PropRecord& a, const PropRecord& b) {
  return std::memcmp(a.body + ParaField::border, b.body + ParaField::border, BorderField::size) == 0 &&
         a.get<int64_t>(ParaField::leftIndent) == b.get<int64_t>(ParaField::leftIndent) &&
         a.get<int64_t>(ParaField::rightIndent) == b.get<int64_t>(ParaField::rightIndent);
}

// Whether the kink character at cp is a table's or a row's: a cell boundary.
bool IsCellBoundary(GlimmetDoc* doc, uint32_t cp) {
  const uint32_t index = doc->knots.indexAtCp(cp);
  if (index == kGMNone) return false;
  const uint32_t type = doc->knots.at(index).type;
  return type == kKnotRow || type == kKnotTable;
}

}  // namespace

void GetParagraphBorderEdges(GlimmetDoc* doc, Pane* pane, const DocRange& para, const PropRecord& paraProps,
                             uint32_t firstVisible, uint32_t paneLimit, uint32_t cp, uint32_t limit,
                             BorderDisplay* out) {
  const BorderStyle border = BorderStyleAt(paraProps, ParaField::border);
  const uint32_t kind = uint32_t(border.kind);
  bool first = true, last = true;
  if (doc && para.first > firstVisible && para.first > 0 && !IsCellBoundary(doc, para.first - 1)) {
    DocRange before;
    PropRecord beforeProps;
    FetchParaProps(doc, pane, para.first - 1, &before, &beforeProps);
    first = !(before.limit <= para.first && SameBorderGroup(beforeProps, paraProps));
  }
  if (doc && para.limit < paneLimit && para.limit < uint32_t(doc->userLength) && !IsCellBoundary(doc, para.limit)) {
    DocRange after;
    PropRecord afterProps;
    FetchParaProps(doc, pane, para.limit, &after, &afterProps);
    last = !(after.first >= para.limit && after.first < after.limit && SameBorderGroup(afterProps, paraProps));
  }
  // Whether the line [cp, limit) begins the paragraph.
  const bool startsRange = doc && cp <= FirstVisibleCpInPara(doc, pane, para.first) && para.first < limit;
  uint32_t row = 0, rows = 1, column = 0, columns = 1;
  switch (kind) {
    case 1:
    case 3: row = 1, rows = 3; break;
    case 2: row = 1, rows = 3, column = 1, columns = 2; break;
    case 4:
      row = first ? 0 : 1, rows = first ? 2 : 3;
      column = 1, columns = 3;
      break;
    case 5:
      row = last ? 2 : 1, rows = 3;
      column = 1, columns = 3;
      break;
    case 6:
    case 7:
      row = first ? 0 : 1;
      rows = last ? row + 1 : row + 2;
      if (kind == 6) column = 1, columns = 3;
      break;
    case 8:
      if (!first && startsRange) row = 1, rows = 2;
      break;
    case 9:
      row = first ? 0 : 1;
      rows = (first ? 1 : 2) + (last ? 0 : 1);
      break;
    default: break;
  }
  SetBorderDisplay(kind, row, rows, column, columns, out);
  if (kind == 8) out->left = out->right = 0;
  if (kind == 9) out->flag = !first && startsRange ? 1 : 0;
}
