#include "glimmet/storage/gmAttributedExport.h"

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flSeededHash.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmLists.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmTables.h"

#include <QPen>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <exception>

namespace {

constexpr double kEmu = 12700.0;
constexpr uint32_t kFitScale = 16383;  // a picture fitted to its line, not scaled

// The marker keyword of a list number format.
const char* NumberKeyword(uint32_t format) {
  switch (format) {
    case 1: return "upper-roman";
    case 2: return "lower-roman";
    case 3: return "upper-alpha";
    case 4: return "lower-alpha";
    case 9: return "lower-hexadecimal";
    case 10: return "octal";
    default: return "decimal";
  }
}

QTextListFormat::Style StyleForKeyword(const QString& keyword) {
  static const struct {
    const char* keyword;
    QTextListFormat::Style style;
  } kStyles[] = {
      {"circle", QTextListFormat::ListCircle},         {"square", QTextListFormat::ListSquare},
      {"decimal", QTextListFormat::ListDecimal},       {"upper-roman", QTextListFormat::ListUpperRoman},
      {"lower-roman", QTextListFormat::ListLowerRoman}, {"upper-alpha", QTextListFormat::ListUpperAlpha},
      {"lower-alpha", QTextListFormat::ListLowerAlpha}, {"lower-hexadecimal", QTextListFormat::ListDecimal},
      {"octal", QTextListFormat::ListDecimal},
  };
  for (const auto& entry : kStyles)
    if (keyword == QLatin1StringView(entry.keyword)) return entry.style;
  return QTextListFormat::ListDisc;
}

QString BulletMarker(char16_t bullet) {
  switch (bullet) {
    case 0x2022: return QStringLiteral("{disc}");
    case 0x002D: return QStringLiteral("{hyphen}");
    case 0x25A0:
    case 0x25AA: return QStringLiteral("{square}");
    case 0x25A1:
    case 0x25AB: return QStringLiteral("{box}");
    case 0x25C6: return QStringLiteral("{diamond}");
    case 0x25CB:
    case 0x25E6: return QStringLiteral("{circle}");
    case 0x2713:
    case 0x2714: return QStringLiteral("{check}");
    default: return bullet ? QString(QChar(bullet)) : QStringLiteral("{disc}");
  }
}

struct ListLevel {
  uint32_t kind = 0;
  uint32_t format = 0;
  char16_t prefix = 0;
  char16_t suffix = 0;
};

// The list format of a level: Qt's nearest style, with the marker text kept beside it.
QTextListFormat ListFormatFor(const ListLevel& level, uint32_t depth, bool prepend) {
  QTextListFormat format;
  QString marker;
  if (level.kind == kMarkerNumber) {
    const QString keyword = QLatin1StringView(NumberKeyword(level.format));
    const QString prefix = level.prefix ? QString(QChar(level.prefix)) : QString();
    const QString suffix = level.suffix ? QString(QChar(level.suffix)) : QString();
    marker = prefix + u'{' + keyword + u'}' + suffix;
    format.setStyle(StyleForKeyword(keyword));
    format.setNumberPrefix(prefix);
    format.setNumberSuffix(suffix);
  } else {
    marker = level.kind == kMarkerCheckbox ? QStringLiteral("{box}")
             : level.kind == kMarkerBullet ? BulletMarker(level.prefix)
                                           : QStringLiteral("{disc}");
    format.setStyle(marker.startsWith(u'{') ? StyleForKeyword(marker.mid(1, marker.size() - 2))
                                            : QTextListFormat::ListDisc);
  }
  format.setIndent(int(depth) + 1);
  format.setProperty(kListMarkerFormatProperty, marker);
  if (prepend) format.setProperty(kListPrependProperty, true);
  return format;
}

class Exporter {
 public:
  Exporter(GlimmetDoc* doc, QTextDocument* out, uint32_t limit, bool noParaFormat, double scale)
      : doc_(doc), out_(out), cursor_(out), limit_(limit), noParaFormat_(noParaFormat), scale_(scale) {}

  void Run(uint32_t first);

 private:
  uint32_t NextTableCp(uint32_t cp) const {
    const uint32_t index = doc_->tableCps.indexOfCpAfter(cp);
    return index < doc_->tableCps.count() ? doc_->tableCps.cpAt(index) : kGMNone;
  }
  void SetNextListRange(uint32_t cp);
  uint32_t ExportTable(uint32_t cp);
  uint32_t ExportParagraph(uint32_t cp, uint32_t stepLimit);
  void StartBlock(const PropRecord& para);
  void AddToList(const PropRecord& para);
  QTextBlockFormat BlockFormatFor(const PropRecord& para) const;
  QTextCharFormat CharFormatFor(const PropRecord& chars, const PropRecord& para) const;
  void AppendRuns(const DocRange& piece, const PropRecord& para);
  void AppendLink(const KnotInfo& link, const PropRecord& para);
  void AppendPicture(const KnotInfo& picture);

  GlimmetDoc* doc_;
  QTextDocument* out_;
  QTextCursor cursor_;
  uint32_t limit_;
  bool noParaFormat_;
  double scale_;
  // The cursor's block is still empty and unused: the next paragraph goes into it.
  bool freshBlock_ = true;
  bool inTable_ = false;
  // The next list and the list objects of its levels, made when its first paragraph comes.
  uint32_t listFirst_ = kGMNone;
  uint32_t listLimit_ = kGMNone;
  PropRecord listProps_;
  bool listsMade_ = false;
  std::array<ListLevel, 9> listLevels_;
  std::array<QTextListFormat, 9> listFormats_;
  std::array<QTextList*, 9> lists_{};
};

void Exporter::SetNextListRange(uint32_t cp) {
  listsMade_ = false;
  lists_.fill(nullptr);
  const uint32_t index = doc_->listCps.indexOfCpAfter(cp);
  listFirst_ = index < doc_->listCps.count() ? doc_->listCps.cpAt(index) : kGMNone;
  listLimit_ = listFirst_;
  if (listFirst_ >= limit_) return;
  DocRange range;
  if (CpIsWithinKnot(doc_, listFirst_ + 1, kKnotList, &range, false) && range.first == listFirst_)
    listLimit_ = range.limit;
}

void Exporter::Run(uint32_t first) {
  out_->setUndoRedoEnabled(false);
  // The whole export is one edit: after each edit outside one, Qt lays the edited paragraph out
  // again, which for a paragraph of many runs (or many paragraphs) costs the square of its size.
  struct OneEdit {
    QTextCursor cursor;
    explicit OneEdit(QTextDocument* document) : cursor(document) { cursor.beginEditBlock(); }
    ~OneEdit() { cursor.endEditBlock(); }
  } edit(out_);
  QTextOption option = out_->defaultTextOption();
  const int64_t defaultTab = doc_->docProps.get<int64_t>(DocField::defTab);
  if (defaultTab > 0) option.setTabStopDistance(defaultTab / kEmu);
  out_->setDefaultTextOption(option);
  SetNextListRange(first);
  uint32_t nextTable = NextTableCp(first);
  uint32_t cp = first;
  while (cp < limit_) {
    const uint32_t before = cp;
    if (cp == nextTable) {
      cp = ExportTable(cp);
      nextTable = NextTableCp(cp);
    } else {
      cp = ExportParagraph(cp, std::min(limit_, nextTable));
    }
    if (cp <= before) cp = before + 1;  // a malformed stretch must not stall the walk
  }
}

uint32_t Exporter::ExportTable(uint32_t cp) {
  KnotInfo table;
  if (!FetchKnot(doc_, cp, &table, kKnotTable) || table.first != cp) return cp + 1;
  PropRecord props;
  const PropRecord* found = PropertiesAtIndex(doc_, table.entry.propIndex);
  if (found && found->kind == kPropTable) props = *found;
  else SetDefaultProperties(doc_, kPropTable, &props);

  const uint32_t rowsEnd = std::min(limit_, table.limit > 2 ? table.limit - 2 : table.first);
  std::vector<KnotInfo> rows;
  uint32_t columns = std::clamp<uint32_t>(props.get<uint16_t>(TableProp::columns), 1, kMaxColumns);
  for (uint32_t rowCp = table.first + 1; rowCp <= rowsEnd && rowCp + 1 < table.limit;) {
    KnotInfo row;
    if (!FetchKnot(doc_, rowCp, &row, kKnotRow) || row.first != rowCp || row.kinkCount < 2) break;
    columns = std::max(columns, std::min(row.kinkCount - 1, kMaxColumns));
    rows.push_back(row);
    rowCp = row.limit;
  }
  if (rows.empty()) return table.limit;

  QTextTableFormat format;
  format.setBorder(0);
  format.setCellSpacing(0);
  format.setCellPadding(0);
  const bool proportional = props.body[TableProp::autoFit] != 0;
  QList<QTextLength> widths;
  for (uint32_t c = 0; c < columns; ++c) {
    const double width = double(props.get<int64_t>(TableProp::widths + 8 * c));
    if (width <= 0) widths << QTextLength();
    else if (proportional) widths << QTextLength(QTextLength::PercentageLength, width * 100 / kFullShare);
    else widths << QTextLength(QTextLength::FixedLength, width / kEmu);
  }
  format.setColumnWidthConstraints(widths);
  if (!freshBlock_) cursor_.insertBlock();
  QTextTable* textTable = cursor_.insertTable(int(rows.size()), int(columns), format);

  const int64_t height = props.get<int64_t>(TableProp::height);
  const bool interior = props.body[TableProp::outerMargins] != 0;
  const double padLeft = props.get<int64_t>(TableProp::cellLeft) / kEmu;
  const double padRight = props.get<int64_t>(TableProp::cellRight) / kEmu;
  const double padTop = props.get<int64_t>(TableProp::cellTop) / kEmu;
  const double padBottom = props.get<int64_t>(TableProp::cellBottom) / kEmu;
  const bool wasInTable = inTable_;
  inTable_ = true;
  for (uint32_t r = 0; r < rows.size(); ++r) {
    const KnotInfo& row = rows[r];
    const uint32_t cells = std::min(row.kinkCount - 1, kMaxColumns);
    for (uint32_t c = 0; c < cells; ++c) {
      QTextTableCell cell = textTable->cellAt(int(r), int(std::min(c, columns - 1)));
      QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
      const uint32_t entry = doc_->knots.indexAtCp(row.kinkCps[c + 1]);
      const Kolor back = entry == kGMNone ? kNoKolor : Kolor(doc_->knots.at(entry).word);
      if (KolorIsColor(back)) cellFormat.setBackground(ColorFromKolor(back));
      if (height != 0) {
        cellFormat.setProperty(kCellMinimumHeightProperty, std::abs(double(height)) / kEmu);
        if (height < 0) cellFormat.setProperty(kCellMaximumHeightProperty, std::abs(double(height)) / kEmu);
      }
      // With interior spacing the outer cells take no padding on the table's own edges.
      if (padLeft != 0 && (!interior || c == 0)) cellFormat.setLeftPadding(padLeft);
      if (padRight != 0 && (!interior || c + 1 == cells)) cellFormat.setRightPadding(padRight);
      if (padTop != 0 && (!interior || r == 0)) cellFormat.setTopPadding(padTop);
      if (padBottom != 0 && (!interior || r + 1 == rows.size())) cellFormat.setBottomPadding(padBottom);
      cell.setFormat(cellFormat);
      // A row wider than the table puts its extra cells' text into the last column.
      if (c < columns) {
        cursor_ = cell.firstCursorPosition();
        freshBlock_ = true;
      }
      uint32_t at = row.kinkCps[c] + 1;
      const uint32_t cellEnd = std::min(row.kinkCps[c + 1], limit_);
      while (at < cellEnd) {
        const uint32_t next = ExportParagraph(at, cellEnd);
        at = std::max(next, at + 1);
      }
    }
  }
  inTable_ = wasInTable;
  cursor_ = textTable->lastCursorPosition();
  cursor_.movePosition(QTextCursor::NextBlock);
  freshBlock_ = true;
  return table.limit;
}

QTextBlockFormat Exporter::BlockFormatFor(const PropRecord& para) const {
  QTextBlockFormat format;
  if (!noParaFormat_) {
    switch (para.get<uint32_t>(ParaField::alignment)) {
      case 1: format.setAlignment(Qt::AlignHCenter); break;
      case 2: format.setAlignment(Qt::AlignJustify); break;
      case 3: format.setAlignment(Qt::AlignRight); break;
      default: format.setAlignment(Qt::AlignLeft); break;
    }
    const int64_t right = para.get<int64_t>(ParaField::rightIndent);
    const int64_t left = para.get<int64_t>(ParaField::leftIndent);
    const int64_t firstIndent = para.get<int64_t>(ParaField::firstIndent);
    if (right != 0) format.setRightMargin(right / kEmu);
    if (left != 0) format.setLeftMargin(left / kEmu);
    // Qt measures the first line's indent from the left margin, as the engine does.
    if (firstIndent != 0) format.setTextIndent(firstIndent / kEmu);
    const int64_t multiple = para.get<int64_t>(ParaField::multiple);
    const int64_t height = para.get<int64_t>(ParaField::height);
    if (height != 0)
      format.setLineHeight(std::abs(double(height)) / kEmu,
                           height < 0 ? QTextBlockFormat::FixedHeight : QTextBlockFormat::MinimumHeight);
    else if (multiple != 0)
      format.setLineHeight(multiple * 100 / kEmu, QTextBlockFormat::ProportionalHeight);
    format.setTopMargin(para.get<int64_t>(ParaField::spaceBefore) / kEmu);
    format.setBottomMargin(para.get<int64_t>(ParaField::spaceAfter) / kEmu);
  }
  QList<QTextOption::Tab> tabs;
  const uint32_t count = std::min<uint32_t>(para.get<uint16_t>(ParaField::tabCount), kMaxTabs);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t tab = para.get<uint32_t>(ParaField::tabs + 4 * i);
    const double position = TabPosition(tab) / kEmu;
    switch (TabAlignment(tab)) {
      case 1: tabs << QTextOption::Tab(position, QTextOption::CenterTab); break;
      case 2: tabs << QTextOption::Tab(position, QTextOption::RightTab); break;
      case 3: tabs << QTextOption::Tab(position, QTextOption::DelimiterTab, u'.'); break;
      default: tabs << QTextOption::Tab(position, QTextOption::LeftTab); break;
    }
  }
  format.setTabPositions(tabs);
  if (!tabs.isEmpty()) {
    // Seeded: the stops are what a file writes, and stops chosen to share a fixed key would make
    // each such paragraph be compared with all the others again.
    uint64_t key = 0;
    for (const QTextOption::Tab& tab : tabs)
      key = SeededHashPair(SeededHashPair(key, std::bit_cast<uint64_t>(tab.position)),
                           uint64_t(tab.type) << 16 | tab.delimiter.unicode());
    format.setProperty(kTabStopsKeyProperty, int(uint32_t(key ^ (key >> 32))));
  }
  return format;
}

QTextCharFormat Exporter::CharFormatFor(const PropRecord& chars, const PropRecord& para) const {
  QTextCharFormat format;
  const QString name = FontNameAtIndex(chars.get<uint16_t>(CharField::font));
  const std::optional<FLFontFace> face = name.isEmpty() ? std::nullopt : FontFaceForName(name);
  format.setFontFamilies(QStringList{face ? face->family : name.isEmpty() ? QString(kFLEmptyFontName) : name});
  const double points = chars.get<int16_t>(CharField::size) / 4.0;
  format.setFontPointSize(points * scale_);
  const bool bold = chars.body[CharField::bold] != 0 || (face && face->weight >= 200);
  const bool italic = chars.body[CharField::italic] != 0 || (face && face->slant > 0);
  format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
  format.setFontItalic(italic);

  const Kolor color = chars.get<uint32_t>(CharField::color);
  if (KolorIsColor(color) && color != g_blackKolor) format.setForeground(ColorFromKolor(color));
  const Kolor back = chars.get<uint32_t>(CharField::backColor);
  const Kolor paraBack = para.get<uint32_t>(ParaField::border + BorderField::backColor);
  if (KolorIsColor(back)) format.setBackground(ColorFromKolor(back));
  else if (KolorIsColor(paraBack)) format.setBackground(ColorFromKolor(paraBack));

  switch (chars.get<uint32_t>(CharField::underline)) {
    case 0: break;
    case 4: format.setUnderlineStyle(QTextCharFormat::DotLine); break;
    case 5: format.setUnderlineStyle(QTextCharFormat::DashUnderline); break;
    default: format.setUnderlineStyle(QTextCharFormat::SingleUnderline); break;
  }
  if (chars.body[CharField::outline]) {
    // An outline three hundredths of the font size wide.
    QPen pen(KolorIsColor(color) ? ColorFromKolor(color) : QColor(Qt::black));
    pen.setWidthF(points * scale_ * 0.03);
    format.setTextOutline(pen);
  }
  if (chars.body[CharField::strike]) format.setFontStrikeOut(true);
  const int64_t expand = chars.get<int64_t>(CharField::expand);
  if (expand != 0) {
    format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
    format.setFontLetterSpacing(expand / kEmu);
  }
  // The engine's offset is downwards: a negative one raises the text.
  const int64_t offset = chars.get<int64_t>(CharField::subscript);
  if (offset < 0) format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
  else if (offset > 0) format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
  return format;
}

void Exporter::AddToList(const PropRecord& para) {
  const int32_t level = ListLevelOfStyle(doc_, para.get<uint16_t>(ParaField::style));
  if (level < 0) return;
  if (!listsMade_) {
    KnotInfo list;
    if (!FetchList(doc_, listFirst_ + 1, &list, &listProps_)) SetDefaultProperties(doc_, kPropList, &listProps_);
    std::array<ListLevel, 9>& levels = listLevels_;
    for (uint32_t i = 0; i < 9; ++i) {
      const uint32_t at = ListField::markers + ListField::markerSize * i;
      levels[i] = {listProps_.get<uint32_t>(at), listProps_.get<uint32_t>(at + 4), listProps_.get<char16_t>(at + 8),
                   listProps_.get<char16_t>(at + 10)};
      // A list without markers is numbered "1."; deeper levels without one repeat the level above.
      if (levels[i].kind == kMarkerInherit) levels[i] = i == 0 ? ListLevel{kMarkerNumber, 0, 0, u'.'} : levels[i - 1];
    }
    const bool prepend = listProps_.body[ListField::showAllLevels] != 0;
    for (uint32_t i = 0; i < 9; ++i) listFormats_[i] = ListFormatFor(levels[i], i, prepend);
    lists_.fill(nullptr);
    listsMade_ = true;
  }
  QTextList*& list = lists_[uint32_t(level)];
  if (list) {
    list->add(cursor_.block());
  } else {
    list = cursor_.createList(listFormats_[uint32_t(level)]);
  }
  if (listLevels_[uint32_t(level)].kind == kMarkerCheckbox) {
    QTextBlockFormat checkbox = cursor_.blockFormat();
    checkbox.setMarker(para.body[ParaField::checkboxOn] ? QTextBlockFormat::MarkerType::Checked
                                                        : QTextBlockFormat::MarkerType::Unchecked);
    cursor_.setBlockFormat(checkbox);
  }
}

void Exporter::StartBlock(const PropRecord& para) {
  if (!freshBlock_) cursor_.insertBlock();
  freshBlock_ = false;
  cursor_.setBlockFormat(BlockFormatFor(para));
  AddToList(para);
}

void Exporter::AppendRuns(const DocRange& piece, const PropRecord& para) {
  uint32_t cp = piece.first;
  while (cp < piece.limit) {
    DocRange run;
    PropRecord chars;
    FetchCharProps(doc_, cp, &run, &chars);
    const uint32_t end = std::min(piece.limit, std::max(run.limit, cp + 1));
    QString text = RawTextString(doc_, cp, end);
    // Stray kink characters and paragraph marks inside the piece are not text.
    text.removeIf([](QChar ch) { return IsKinkChar(ch.unicode()) || IsParaMarkChar(ch.unicode()); });
    if (!text.isEmpty()) cursor_.insertText(text, CharFormatFor(chars, para));
    cp = end;
  }
}

void Exporter::AppendLink(const KnotInfo& link, const PropRecord& para) {
  if (link.kinkCount < 3) return;
  const QString display = RawTextString(doc_, link.first + 1, link.kinkCps[1]);
  const QString target = RawTextString(doc_, link.kinkCps[1] + 1, link.kinkCps[2]);
  PropRecord chars;
  FetchCharProps(doc_, link.first + 1, nullptr, &chars);
  QTextCharFormat format = CharFormatFor(chars, para);
  const QUrl url(target, QUrl::StrictMode);
  if (target.isEmpty() || !url.isValid()) {
    LogString("Can't export link: %@", target);
  } else {
    format.setAnchor(true);
    format.setAnchorHref(url.toString());
  }
  if (!display.isEmpty()) cursor_.insertText(display, format);
}

void Exporter::AppendPicture(const KnotInfo& picture) {
  const uint32_t index = picture.entry.word;
  if (index >= doc_->pictures.size()) return;
  const auto image = std::static_pointer_cast<FLImage>(doc_->pictures[index].image);
  if (!image || image->isNull()) return;
  const QImage bitmap = image->bitmap();
  if (bitmap.isNull()) return;
  const QUrl name(QStringLiteral("%1:%2").arg(QLatin1StringView(kPictureResourceScheme)).arg(index));
  out_->addResource(QTextDocument::ImageResource, name, bitmap);
  QSizeF size = image->size();
  const uint32_t scale = uint32_t(picture.entry.value >> 32) & 0xFFFF;
  if (scale != 0 && scale != kFitScale) size *= scale / 1000.0;
  QTextImageFormat format;
  format.setName(name.toString());
  format.setWidth(size.width());
  format.setHeight(size.height());
  cursor_.insertImage(format);
}

uint32_t Exporter::ExportParagraph(uint32_t cp, uint32_t stepLimit) {
  if (listLimit_ != kGMNone && cp >= listLimit_) SetNextListRange(cp);
  DocRange para;
  PropRecord props;
  FetchParaProps(doc_, nullptr, cp, &para, &props);
  const uint32_t end = std::min(std::max(para.limit, cp + 1), stepLimit);
  const bool marked = end == para.limit && IsParaMarkChar(doc_->text.at(end - 1));
  bool started = false;
  auto start = [&] {
    if (!started) StartBlock(props);
    started = true;
  };
  DocRange walk{doc_, cp, end};
  FetchVisibleText(&walk, nullptr, [&](const DocRange& piece, Pane*, const KnotInfo* knot) -> bool {
    if (!knot) {
      // Only marks and kinks: no text for a block of its own.
      bool text = false;
      for (uint32_t at = piece.first; at < piece.limit && !text; ++at) {
        const char16_t unit = doc_->text.at(at);
        text = !IsKinkChar(unit) && !IsParaMarkChar(unit);
      }
      if (!text) return true;
      start();
      AppendRuns(piece, props);
    } else if (knot->type() == kKnotLink) {
      start();
      AppendLink(*knot, props);
    } else if (knot->type() == kKnotPicture) {
      start();
      AppendPicture(*knot);
    } else if (knot->type() == kKnotVar) {
      const QString text = VariableKnotText(doc_, *knot);
      if (text.isEmpty()) return true;
      start();
      PropRecord chars;
      FetchCharProps(doc_, knot->first, nullptr, &chars);
      cursor_.insertText(text, CharFormatFor(chars, props));
    }
    return true;
  });
  if (marked) start();
  return end;
}

}  // namespace

std::unique_ptr<QTextDocument> ExportAttributedText(GlimmetDoc* doc, uint32_t first, uint32_t limit,
                                                    bool noParaFormat, double fontScale) {
  if (!doc) return nullptr;
  auto out = std::make_unique<QTextDocument>();
  limit = std::min(limit, uint32_t(std::max(doc->totalLength, 0)));
  if (first >= limit) return out;
  const uint32_t savedPane = doc->currentPane;
  doc->currentPane = 0;
  try {
    Exporter exporter(doc, out.get(), limit, noParaFormat, fontScale > 0 ? fontScale : 1.0);
    exporter.Run(first);
  } catch (const std::exception& exception) {
    LogException(exception, QStringLiteral("Export failed"));
  }
  doc->currentPane = savedPane;
  return out;
}
