#include "glimmet/layout/gmLineFormat.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFonts.h"
#include "glimmet/layout/gmTableLayout.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmTables.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr float kMinimumRightRoom = 36;  // points a line always has beyond its left edge
constexpr float kDefaultTabInterval = 36;
constexpr uint32_t kMaxLineCharacters = 511;

// Text is measured in points: a device of 72 dots per inch makes a pixel a point.
const QImage& PointDevice() {
  static const QImage device = [] {
    QImage image(1, 1, QImage::Format_ARGB32);
    image.setDotsPerMeterX(2835);
    image.setDotsPerMeterY(2835);
    return image;
  }();
  return device;
}

QFont FontForRecord(const PropRecord& record) {
  static QHash<uint64_t, QFont> fonts;
  const uint16_t index = record.get<uint16_t>(CharField::font);
  int16_t size = record.get<int16_t>(CharField::size);
  if (size < kMinFontSize || size > kMaxFontSize) size = kDefaultFontSize;
  const bool bold = record.body[CharField::bold] != 0;
  const bool italic = record.body[CharField::italic] != 0;
  const uint64_t key = uint64_t(index) << 32 | uint64_t(uint16_t(size)) << 16 | (bold ? 2 : 0) | (italic ? 1 : 0);
  if (auto found = fonts.constFind(key); found != fonts.cend()) return *found;
  const double points = size / 4.0;
  QString name = FontNameAtIndex(index);
  if (name.isEmpty()) name = QString::fromLatin1(kFLEmptyFontName);
  QFont font = FontWithName(name, points).value_or(UserFont(points));
  if (bold) font.setBold(true);
  if (italic) font.setItalic(true);
  font.setPointSizeF(points);
  font.setHintingPreference(QFont::PreferNoHinting);
  font = QFont(font, &PointDevice());
  fonts.insert(key, font);
  return font;
}

QTextOption::TabType TabTypeFor(uint32_t alignment) {
  switch (alignment) {
    case 1: return QTextOption::CenterTab;
    case 2: return QTextOption::RightTab;
    case 3: return QTextOption::DelimiterTab;
    default: return QTextOption::LeftTab;
  }
}

Qt::Alignment AlignmentFor(int32_t alignment) {
  switch (alignment) {
    case 1: return Qt::AlignHCenter;
    case 2: return Qt::AlignJustify;
    case 3: return Qt::AlignRight;
    default: return Qt::AlignLeft;
  }
}

uint32_t BreakKindFor(GlimmetDoc* doc, uint32_t markCp) {
  switch (doc->charAt(markCp)) {
    case 0x0B: return kBreakVerticalTab;
    case 0x0C: return kBreakPage;
    default: break;
  }
  // The body's last break character stands just before the document's closing line feed.
  return int64_t(markCp) + 1 == int64_t(doc->userLength) ? kBreakBodyEnd : kBreakParagraph;
}

// In cell text a table knot is stepped over by two characters (with its first row's begin
// kink) and a row knot by one.
uint32_t SkipTableKinks(GlimmetDoc* doc, uint32_t cp) {
  for (int guard = 0; guard < 2 && cp < uint32_t(doc->totalLength); ++guard) {
    const uint32_t at = doc->knots.indexAtCp(cp);
    if (at == kGMNone) break;
    const KnotEntry& entry = doc->knots.at(at);
    if (entry.kink != kKinkBegin || (entry.type != kKnotTable && entry.type != kKnotRow)) break;
    ++cp;
  }
  return cp;
}

bool FormatTextLine(uint32_t cp, LineFormat* format) {
  GlimmetDoc* doc = format->doc;
  const uint32_t textCp = format->modeFlags & kFormatCellText ? SkipTableKinks(doc, cp) : cp;
  DocRange para;
  PropRecord paraProps;
  FetchParaProps(doc, format->pane, textCp, &para, &paraProps);
  if (para.limit <= para.first || textCp >= para.limit) return false;
  // The line is typeset from its own start: at most the characters a line may hold, up to the
  // paragraph's mark; kinks take no room.
  const uint32_t paraTextLimit = IsBreakChar(doc->charAt(para.limit - 1)) ? para.limit - 1 : para.limit;
  const uint32_t textLimit = std::max(cp, std::min(paraTextLimit, cp + kMaxLineCharacters));
  bool paraStart = true;
  for (uint32_t at = para.first; at < textCp && paraStart; ++at)
    paraStart = IsKinkChar(doc->charAt(at));
  QString text;
  text.reserve(qsizetype(textLimit - cp));
  for (uint32_t at = cp; at < textLimit; ++at) {
    const char16_t unit = doc->charAt(at);
    text.append(QChar(IsKinkChar(unit) ? char16_t(0x200B) : unit));
  }
  PropRecord markProps;
  FetchCharProps(doc, para.limit - 1, nullptr, &markProps);
  auto layout = std::make_shared<QTextLayout>(text, FontForRecord(markProps), &PointDevice());
  QList<QTextLayout::FormatRange> ranges;
  for (uint32_t at = cp; at < textLimit;) {
    DocRange run;
    PropRecord chars;
    FetchCharProps(doc, at, &run, &chars);
    const uint32_t limit = std::clamp(run.limit, at + 1, textLimit);
    QTextLayout::FormatRange range;
    range.start = int(at - cp);
    range.length = int(limit - at);
    range.format.setFont(FontForRecord(chars));
    ranges.append(range);
    at = limit;
  }
  layout->setFormats(ranges);

  QTextOption option(AlignmentFor(paraProps.get<int32_t>(ParaField::alignment)));
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  const int64_t defaultTab = doc->docProps.get<int64_t>(DocField::defTab);
  option.setTabStopDistance(defaultTab > 0 ? defaultTab / double(kEmuPerPoint) : kDefaultTabInterval);
  QList<QTextOption::Tab> tabs;
  const uint32_t tabCount = std::min<uint32_t>(paraProps.get<uint32_t>(ParaField::tabCount), kMaxTabs);
  for (uint32_t i = 0; i < tabCount; ++i) {
    const uint32_t tab = paraProps.get<uint32_t>(ParaField::tabs + 4 * i);
    if (TabAlignment(tab) >= 4) continue;  // bar tabs take no text
    tabs.append(QTextOption::Tab(TabPosition(tab) / double(kEmuPerPoint), TabTypeFor(TabAlignment(tab)), QChar(u'.')));
  }
  option.setTabs(tabs);
  layout->setTextOption(option);

  const float available = float(format->availableWidth / double(kEmuPerPoint));
  const float leftIndent = float(paraProps.get<int64_t>(ParaField::leftIndent) / double(kEmuPerPoint));
  const float firstIndent = float(paraProps.get<int64_t>(ParaField::firstIndent) / double(kEmuPerPoint));
  const float rightIndent = float(paraProps.get<int64_t>(ParaField::rightIndent) / double(kEmuPerPoint));
  const float leftEdge = leftIndent + std::min(firstIndent, 0.0f);
  const float origin = paraStart ? std::max(leftIndent + firstIndent, 0.0f) : leftIndent;
  const float right = std::max(available - rightIndent, std::max(origin, leftEdge) + kMinimumRightRoom);
  layout->beginLayout();
  QTextLine line = layout->createLine();
  if (line.isValid()) {
    line.setLineWidth(right - origin);
    line.setPosition(QPointF(origin, 0));
  }
  layout->endLayout();
  if (!line.isValid()) return false;
  const uint32_t lineLimit = cp + uint32_t(line.textStart() + line.textLength());
  const bool last = lineLimit >= paraTextLimit;
  format->layout = layout;
  format->layoutFirst = cp;
  format->lineIndex = 0;
  if (last) {
    format->limitCp = para.limit;
    format->breakKind = BreakKindFor(doc, para.limit - 1);
  } else {
    format->limitCp = std::max(lineLimit, cp + 1);
    format->breakKind = lineLimit >= textLimit ? kBreakTooLong : kBreakFull;
    if (line.textLength() > 0 && text.at(line.textStart() + line.textLength() - 1) == QChar(0x2028))
      format->breakKind = kBreakLineSeparator;
  }
  format->originX = origin;
  format->leftEdge = leftEdge;
  format->rightEdge = right;
  format->endX = float(line.x() + line.naturalTextWidth());
  format->lineWidth = std::max(available, format->endX);
  format->spaceAbove = paraStart ? float(paraProps.get<int64_t>(ParaField::spaceBefore) / double(kEmuPerPoint)) : 0;
  format->spaceBelow = last ? float(paraProps.get<int64_t>(ParaField::spaceAfter) / double(kEmuPerPoint)) : 0;
  const float ascent = float(line.ascent());
  const float descent = float(line.descent());
  format->lineHeight = std::ceil(ascent + descent + format->spaceAbove + format->spaceBelow);
  format->baseline = ascent + format->spaceAbove;
  return true;
}

bool FormatRowLine(uint32_t cp, LineFormat* format) {
  GlimmetDoc* doc = format->doc;
  KnotInfo table, row;
  PropRecord props;
  if (!FetchTable(doc, cp, &table, &row, &props)) return false;
  GMRect rowRect{0, 0, format->availableWidth / double(kEmuPerPoint), 0};
  format->rowCp = row.first;
  format->startKind = kStartRow;
  format->breakKind = kBreakRow;
  format->limitCp = row.limit;
  format->lineHeight = float(RowHeight(doc, format->pane, table, row, props, format->availableWidth));
  format->lineWidth = float(rowRect.width);
  format->rightEdge = format->lineWidth;
  format->endX = format->lineWidth;
  return true;
}

}  // namespace

bool InitFormatLine(GlimmetDoc* doc, Pane* pane, LineFormat* format, uint32_t modeFlags) {
  if (!doc || !format) return false;
  *format = LineFormat();
  format->doc = doc;
  format->pane = pane ? pane : CurrentPane(doc);
  if (format->pane && (format->pane->contentsKind == 0 || format->pane->contentsKind == kPaneContentsPlain))
    modeFlags |= kFormatPlainPane;
  format->modeFlags = modeFlags;
  return true;
}

bool FormatLine(uint32_t cp, int64_t availableWidth, LineFormat* format) {
  if (!format || !format->doc) return false;
  GlimmetDoc* doc = format->doc;
  Pane* pane = format->pane;
  const uint32_t mode = format->modeFlags;
  ReleaseLineFormat(format);
  *format = LineFormat();
  format->doc = doc;
  format->pane = pane ? pane : CurrentPane(doc);
  format->modeFlags = mode;
  format->firstCp = format->limitCp = cp;
  format->availableWidth = availableWidth;
  if (cp >= uint32_t(doc->totalLength)) return false;
  if (!(mode & kFormatCellText)) {
    const uint32_t at = doc->knots.indexAtCp(cp);
    if (at != kGMNone) {
      const KnotEntry& entry = doc->knots.at(at);
      if (entry.kink == kKinkBegin && (entry.type == kKnotTable || entry.type == kKnotRow))
        return FormatRowLine(cp, format);
    }
  }
  return FormatTextLine(cp, format);
}

void ReleaseLineFormat(LineFormat* format) {
  if (!format) return;
  format->layout.reset();
  format->lineIndex = -1;
}

float LineXFromCpCore(const LineFormat& format, uint32_t cp, float* after) {
  if (!format.layout || format.lineIndex < 0) {
    if (after) *after = format.originX;
    return format.originX;
  }
  const QTextLine line = format.layout->lineAt(format.lineIndex);
  const int length = format.layout->text().size();
  const int position = int(std::clamp<int64_t>(int64_t(cp) - format.layoutFirst, 0, length));
  const float x = float(line.cursorToX(position));
  if (after) {
    // The position after the line's break character lies past its mark.
    if (format.endsWithBreakChar() && cp + 1 >= format.limitCp) *after = float(line.cursorToX(length)) + 12;
    else *after = float(line.cursorToX(std::min(position + 1, length)));
  }
  return x;
}
