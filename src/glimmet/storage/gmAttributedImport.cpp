#include "glimmet/storage/gmAttributedImport.h"

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flImageCodecs.h"
#include "framlet/foundation/flPicturePrice.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flReadingMeter.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmLists.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmStyles.h"
#include "glimmet/storage/gmTables.h"

#include <QFileInfo>
#include <QHash>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <array>
#include <exception>
#include <initializer_list>
#include <iterator>
#include <new>
#include <utility>
#include <vector>

namespace {

// Sorted by keyword for the binary search.
constexpr GMMarkerInfo kMarkerInfo[] = {
    {"armenian", false, 0},
    {"box", true, 0x25A1},
    {"check", true, 0x2713},
    {"circle", true, 0x25CB},
    {"decimal", false, 0},
    {"decimal-leading-zero", false, 0},
    {"diamond", true, 0x25C6},
    {"disc", true, 0x2022},
    {"georgian", false, 0},
    {"hyphen", true, 0x002D},
    {"lower-alpha", false, 4},
    {"lower-hexadecimal", false, 9},
    {"lower-latin", false, 4},
    {"lower-roman", false, 1},
    {"none", false, 0},
    {"octal", false, 10},
    {"square", true, 0x25A0},
    {"upper-alpha", false, 3},
    {"upper-hexadecimal", false, 9},
    {"upper-latin", false, 3},
    {"upper-roman", false, 1},
};

constexpr const char* kImportFailedContext = "Import failed";
constexpr int64_t kEmuPerPoint = 12700;
constexpr int64_t kMinimumColumnWidth = 114300;
constexpr double kPageTextInches = 6.5;
constexpr uint32_t kMaxListLevels = 9;
constexpr uint32_t kListStyleBase = 20;
// A picture knot's data: baseline alignment at its natural scale.
constexpr uint64_t kPictureOnBaseline = 3 | uint64_t(1000) << 32;  // built-in style 20 + level: "list 1" to "list 9"

Kolor KolorOfBrush(const QBrush& brush) {
  if (brush.style() == Qt::NoBrush) return kNoKolor;
  const Kolor kolor = KolorFromColorCore(brush.color());
  return kolor < 0x01000000 ? kNoKolor : kolor;
}

// The marker keyword of a Qt list style.
const char* KeywordOfListStyle(QTextListFormat::Style style) {
  switch (style) {
    case QTextListFormat::ListCircle: return "circle";
    case QTextListFormat::ListSquare: return "square";
    case QTextListFormat::ListDecimal: return "decimal";
    case QTextListFormat::ListLowerAlpha: return "lower-alpha";
    case QTextListFormat::ListUpperAlpha: return "upper-alpha";
    case QTextListFormat::ListLowerRoman: return "lower-roman";
    case QTextListFormat::ListUpperRoman: return "upper-roman";
    default: return "disc";
  }
}

// A link's target as the page names it, made absolute against the page's address where the page
// has one (a pasted page has none, and keeps it as written). An address the sheet takes as a web
// address by itself ("www.") stays as written.
QString LinkTargetOf(const QString& href, const QUrl& base) {
  const QString written = href.trimmed();
  if (base.isEmpty() || written.startsWith(QLatin1String("www."), Qt::CaseInsensitive)) return written;
  const QUrl url(written);
  if (!url.isValid() || !url.isRelative()) return written;
  return base.resolved(url).toString(QUrl::FullyEncoded);
}

class Importer {
 public:
  Importer(GlimmetDoc* doc, const QTextDocument& text, GMTextLanguages* languages)
      : doc_(doc), text_(text), linkBase_(text.baseUrl()), languages_(languages) {
    const auto* page = dynamic_cast<const GMImportTextDocument*>(&text);
    if (page && !page->pageUrl().isEmpty()) linkBase_ = page->pageUrl();
    if (page && !page->declaredBase().isEmpty()) linkBase_ = page->declaredBase();
  }
  bool run();

 private:
  // One paragraph's text and formatting, inserted at the target; withMark ends it with a
  // paragraph mark of its own. A block whose paragraph the next block goes on (joined) leaves the
  // paragraph's formatting to the last block of it.
  bool insertBlock(const QTextBlock& block, bool withMark, bool joined = false);
  // The fragment's first length characters.
  bool insertFragment(const QTextFragment& fragment, qsizetype length);
  bool insertPicture(const QTextImageFormat& format, const PropRecord& chars);
  bool insertText(const QString& text, const PropRecord& chars);
  bool openLink(const QString& target);
  void closeLink();
  PropRecord charProps(const QTextCharFormat& format) const;
  PropRecord paraProps(const QTextBlockFormat& format) const;
  bool ensureParagraphBreak();

  bool openList();
  void setListLevel(const QTextList& list, uint32_t level);
  void finishList();
  bool insertTable(QTextTable& table);
  // The blocks of a frame in order, those of frames inside it included.
  static void CollectBlocks(QTextFrame* frame, std::vector<QTextBlock>* blocks);

  GlimmetDoc* doc_;
  const QTextDocument& text_;
  QUrl linkBase_;  // what the text's links are relative to
  GMTextLanguages* languages_;  // where the text's languages change, where asked
  uint32_t target_ = 0;
  PropRecord normalChars_, normalParas_;

  bool pictureLeftOut_ = false;  // the fragment before was a picture that could not be had
  uint32_t cellFirst_ = kGMNone;  // where the text of the table cell being filled starts
  bool inLink_ = false;
  uint32_t linkFirst_ = 0;
  QString linkTarget_;

  bool inList_ = false;
  uint32_t listFirst_ = 0;
  PropRecord listProps_;
  // The list's items and their levels' styles, given in one pass over the paragraphs when the
  // list ends: a pass an item would cost the square of the list's length.
  std::vector<GMParaStyleChange> itemStyles_;
  std::array<bool, kMaxListLevels> levelSet_{};

  // The table the last table read made, while the next may continue it (kTableContinuesProperty).
  struct OpenTable {
    bool open = false;
    uint32_t first = 0;    // its knot's first cp
    uint32_t columns = 0;  // the columns of the engine's table
    int64_t rows = 0;      // the rows read into it
    std::array<int64_t, kMaxColumns> widths{};
    int64_t paddings[4] = {};  // left, right, before, after
    bool interiorSpacing = false;
  };
  OpenTable table_;
};

bool Importer::ensureParagraphBreak() {
  if (target_ <= BodyStart(doc_) || IsBreakChar(doc_->charAt(target_ - 1))) return true;
  const char16_t mark = u'\n';
  DocRange at{doc_, target_, target_};
  PropRecord chars;
  FetchCharProps(doc_, target_ - 1, nullptr, &chars);
  if (!InsertNewText(&at, &mark, 1, chars)) return false;
  target_ = at.first;
  if (target_ > uint32_t(doc_->totalLength)) LogAssert("Bad target CP", __func__, __FILE__, __LINE__);
  return true;
}

PropRecord Importer::charProps(const QTextCharFormat& format) const {
  PropRecord chars = normalChars_;
  chars.index = kGMNone;
  const QStringList families = format.fontFamilies().toStringList();
  const QString family = families.isEmpty() ? QString() : families.first();
  if (!family.isEmpty()) chars.set<uint16_t>(CharField::font, IndexOfFont(family));
  const double points = format.fontPointSize();
  if (points > 0) chars.set<int16_t>(CharField::size, int16_t(std::clamp(points * 4, 1.0, 8000.0)));
  chars.body[CharField::bold] = format.fontWeight() >= QFont::Bold;
  chars.body[CharField::italic] = format.fontItalic();
  if (format.hasProperty(QTextFormat::ForegroundBrush))
    chars.set<uint32_t>(CharField::color, KolorOfBrush(format.foreground()));
  if (format.hasProperty(QTextFormat::BackgroundBrush))
    chars.set<uint32_t>(CharField::backColor, KolorOfBrush(format.background()));
  int32_t underline = 0;
  switch (format.underlineStyle()) {
    case QTextCharFormat::NoUnderline: underline = format.fontUnderline() ? 1 : 0; break;
    case QTextCharFormat::DotLine: underline = 4; break;
    case QTextCharFormat::DashUnderline:
    case QTextCharFormat::DashDotLine:
    case QTextCharFormat::DashDotDotLine: underline = 5; break;
    default: underline = 1; break;
  }
  chars.set<int32_t>(CharField::underline, underline);
  chars.body[CharField::strike] = format.fontStrikeOut();
  chars.body[CharField::outline] = format.hasProperty(QTextFormat::TextOutline) && format.textOutline().style() != Qt::NoPen;
  // Three points per level; a raised text has a negative offset.
  if (format.verticalAlignment() == QTextCharFormat::AlignSuperScript)
    chars.set<int64_t>(CharField::subscript, -3 * kEmuPerPoint);
  else if (format.verticalAlignment() == QTextCharFormat::AlignSubScript)
    chars.set<int64_t>(CharField::subscript, 3 * kEmuPerPoint);
  if (format.hasProperty(QTextFormat::FontLetterSpacing) && format.fontLetterSpacingType() == QFont::AbsoluteSpacing)
    chars.set<int64_t>(CharField::expand, int64_t(format.fontLetterSpacing() * kEmuPerPoint));
  return chars;
}

PropRecord Importer::paraProps(const QTextBlockFormat& format) const {
  PropRecord para = normalParas_;
  para.index = kGMNone;
  const Qt::Alignment horizontal = format.alignment() & Qt::AlignHorizontal_Mask;
  int32_t alignment = 0;
  if (horizontal & Qt::AlignRight) alignment = 3;
  else if (horizontal & Qt::AlignHCenter) alignment = 1;
  else if (horizontal & Qt::AlignJustify) alignment = 2;
  para.set<int32_t>(ParaField::alignment, alignment);
  const int64_t left = std::max<int64_t>(int64_t(format.leftMargin() * kEmuPerPoint), 0);
  para.set<int64_t>(ParaField::leftIndent, left);
  para.set<int64_t>(ParaField::rightIndent, std::max<int64_t>(int64_t(format.rightMargin() * kEmuPerPoint), 0));
  para.set<int64_t>(ParaField::firstIndent, std::max<int64_t>(-left, int64_t(format.textIndent() * kEmuPerPoint)));
  para.set<int64_t>(ParaField::spaceBefore, int64_t(format.topMargin() * kEmuPerPoint));
  para.set<int64_t>(ParaField::spaceAfter, int64_t(format.bottomMargin() * kEmuPerPoint));
  const double height = format.lineHeight();
  if (height > 0) {
    switch (format.lineHeightType()) {
      case QTextBlockFormat::ProportionalHeight:
        para.set<int64_t>(ParaField::multiple, int64_t(height / 100 * kEmuPerPoint));
        break;
      case QTextBlockFormat::FixedHeight: para.set<int64_t>(ParaField::height, -int64_t(height * kEmuPerPoint)); break;
      case QTextBlockFormat::MinimumHeight: para.set<int64_t>(ParaField::height, int64_t(height * kEmuPerPoint)); break;
      default: break;
    }
  }
  const QList<QTextOption::Tab> tabs = format.tabPositions();
  const uint32_t count = std::min<uint32_t>(uint32_t(tabs.size()), kMaxTabs);
  for (uint32_t i = 0; i < count; ++i) {
    const QTextOption::Tab& tab = tabs[qsizetype(i)];
    const uint32_t kind = tab.type == QTextOption::RightTab      ? 2
                          : tab.type == QTextOption::CenterTab   ? 1
                          : tab.type == QTextOption::DelimiterTab ? 3
                                                                  : 0;
    para.set<uint32_t>(ParaField::tabs + 4 * i, MakeTab(uint32_t(std::max(0.0, tab.position) * kEmuPerPoint), kind));
  }
  para.set<uint16_t>(ParaField::tabCount, uint16_t(count));
  return para;
}

bool Importer::insertText(const QString& text, const PropRecord& chars) {
  if (text.isEmpty()) return true;
  DocRange at{doc_, target_, target_};
  if (!InsertNewText(&at, reinterpret_cast<const char16_t*>(text.utf16()), uint32_t(text.size()), chars)) return false;
  target_ = at.first;
  return true;
}

bool Importer::openLink(const QString& target) {
  if (inLink_ && target == linkTarget_) return true;
  closeLink();
  Pane* pane = CurrentPane(doc_);
  pane->selFirst = pane->selLimit = int32_t(target_);
  if (!InsertLink(doc_, target, nullptr)) return false;
  KnotInfo link;
  // The caret ends after the new link, whose begin kink lies just before the target.
  const uint32_t after = uint32_t(std::max(0, pane->selFirst));
  if (!FetchKnot(doc_, after - 1, &link, kKnotLink) || link.kinkCount < 3) return false;
  inLink_ = true;
  linkFirst_ = link.first;
  linkTarget_ = target;
  target_ = link.kinkCps[1];  // the end of the shown text
  return true;
}

void Importer::closeLink() {
  if (!inLink_) return;
  inLink_ = false;
  KnotInfo link;
  if (FetchKnot(doc_, linkFirst_, &link, kKnotLink)) target_ = std::max(target_, link.limit);
}

bool Importer::insertPicture(const QTextImageFormat& format, const PropRecord& chars) {
  const QUrl url(format.name());
  // Named against the base the page declares, where it declares one.
  const auto* page = dynamic_cast<const GMImportTextDocument*>(&text_);
  const QUrl resolved = (page ? page->resourceBase() : text_.baseUrl()).resolved(url);
  const QVariant resource = text_.resource(QTextDocument::ImageResource, resolved);
  QImage bitmap;
  if (resource.canConvert<QImage>()) bitmap = resource.value<QImage>();
  if (bitmap.isNull() && resource.canConvert<QPixmap>()) bitmap = resource.value<QPixmap>().toImage();
  if (bitmap.isNull()) {
    // An image that cannot be had is left out; one left out for its size is counted.
    if (page) page->leftOutPicture(url);
    pictureLeftOut_ = true;
    return true;
  }
  std::unique_ptr<FLImage> image = FLImage::withCGImage(bitmap, QSizeF(0, 0));
  if (!image) return false;
  Pane* pane = CurrentPane(doc_);
  pane->selFirst = pane->selLimit = int32_t(target_);
  std::memcpy(pane->insertionProps, chars.body, sizeof pane->insertionProps);
  DocRange at{doc_, target_, target_};
  if (!InsertPictureKnot(&at, std::shared_ptr<FLImage>(std::move(image)),
                         resolved.isLocalFile() ? resolved.toLocalFile() : QString()))
    return false;
  ApplyPropsToRange(at, chars);
  target_ = at.limit;
  return true;
}

bool Importer::insertFragment(const QTextFragment& fragment, qsizetype length) {
  const QTextCharFormat format = fragment.charFormat();
  const PropRecord chars = charProps(format);
  const QString target = format.isAnchor() ? LinkTargetOf(format.anchorHref(), linkBase_) : QString();
  if (!target.isEmpty()) {
    if (!openLink(target)) return false;
  } else {
    closeLink();
  }
  if (languages_) {
    const QVariant language = format.property(kTextLanguageProperty);
    languages_->note(target_, language.isValid() ? language.toString() : QString());
  }
  if (format.isImageFormat()) return insertPicture(format.toImageFormat(), chars);
  QString text = fragment.text().left(length);
  // Where a picture was left out, the blank after it folds with what is before it, as the words
  // read where the picture is had (the words beside a picture are read as one line of words).
  const bool afterLeftOut = std::exchange(pictureLeftOut_, false);
  if (afterLeftOut && text.startsWith(u' ')) {
    const char16_t before = target_ > BodyStart(doc_) ? doc_->charAt(target_ - 1) : u'\n';
    if (before == u' ' || IsBreakChar(before) || IsKinkChar(before)) text.remove(0, 1);
  }
  // A cell's first line that held only pictures that cannot be had shows nothing of the cell's:
  // its words start on the line after, as where the pictures are had and stand beside them.
  if (afterLeftOut && target_ == cellFirst_ && text.startsWith(QChar::LineSeparator)) text.remove(0, 1);
  // Line separators become paragraph marks; the object character of an image stays out.
  for (QChar& ch : text) {
    if (ch == QChar::LineSeparator || ch == u'\r') ch = u'\n';
    else if (ch.unicode() <= 1 || ch == QChar::ObjectReplacementCharacter) ch = u' ';
  }
  return insertText(text, chars);
}

bool Importer::insertBlock(const QTextBlock& block, bool withMark, bool joined) {
  const uint32_t paraFirst = target_;
  pictureLeftOut_ = false;
  // White space that ends a paragraph is not shown, as a browser lays the page out.
  const QString whole = block.text();
  qsizetype shown = whole.size();
  while (shown > 0 && whole.at(shown - 1) == u' ') --shown;
  // Nor does a line break that ends it start a line: "a<br>" is one line, "a<br><br>" two.
  if (shown > 0 && whole.at(shown - 1) == QChar::LineSeparator) --shown;
  for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
    QTextFragment fragment = it.fragment();
    const qsizetype offset = fragment.position() - block.position();
    if (offset >= shown) break;
    if (!insertFragment(fragment, shown - offset)) return false;
  }
  closeLink();
  const uint32_t markCp = target_;
  if (withMark) {
    PropRecord chars = charProps(block.charFormat());
    if (!insertText(QStringLiteral("\n"), chars)) return false;
  }
  // The formatting goes over the whole paragraph, which is found by scanning it: done for each
  // block of a long joined paragraph, that would cost the square of its length.
  if (!joined) ApplyPropsToRange({doc_, paraFirst, markCp + 1}, paraProps(block.blockFormat()));
  return true;
}

bool Importer::openList() {
  if (inList_) return true;
  if (!ensureParagraphBreak()) return false;
  Pane* pane = CurrentPane(doc_);
  pane->selFirst = pane->selLimit = int32_t(target_);
  if (!InsertList(doc_, nullptr, false, false)) return false;
  KnotInfo list;
  if (!FetchKnot(doc_, target_, &list, kKnotList)) return false;
  inList_ = true;
  listFirst_ = list.first;
  SetDefaultProperties(doc_, kPropList, &listProps_);
  for (uint32_t i = 0; i < kMaxListLevels; ++i)
    std::memset(listProps_.body + ListField::markers + ListField::markerSize * i, 0, ListField::markerSize);
  levelSet_.fill(false);
  target_ = list.limit - 2;
  return true;
}

void Importer::setListLevel(const QTextList& list, uint32_t level) {
  if (levelSet_[level]) return;
  levelSet_[level] = true;
  const QTextListFormat format = list.format();
  const uint32_t at = ListField::markers + ListField::markerSize * level;
  const GMMarkerInfo* info = MarkerInfoForKeyword(QLatin1String(KeywordOfListStyle(format.style())));
  if (!info) return;
  if (info->bullet) {
    listProps_.set<uint32_t>(at, kMarkerBullet);
    listProps_.set<uint16_t>(at + 8, uint16_t(info->value));
  } else {
    listProps_.set<uint32_t>(at, kMarkerNumber);
    listProps_.set<uint32_t>(at + 4, info->value);
    const QString prefix = format.numberPrefix(), suffix = format.numberSuffix();
    listProps_.set<uint16_t>(at + 8, prefix.isEmpty() ? 0 : prefix.at(0).unicode());
    listProps_.set<uint16_t>(at + 10, suffix.isEmpty() ? 0 : suffix.at(0).unicode());
  }
}

void Importer::finishList() {
  if (!inList_) return;
  inList_ = false;
  if (!itemStyles_.empty()) ApplyParaStyles(doc_, std::exchange(itemStyles_, {}));
  KnotInfo list;
  if (!FetchKnot(doc_, listFirst_, &list, kKnotList)) return;
  listProps_.index = kGMNone;
  const uint32_t index = IndexForProperties(doc_, &listProps_);
  if (index != kGMNone && list.index >= 0) SetPropsOnKink(doc_, uint32_t(list.index), index);
  // Each item brought its own mark; the list's first one is left over.
  if (list.limit - list.first >= 4) {
    DocRange surplus{doc_, list.limit - 2, list.limit - 1};
    ReplaceRangeCore(&surplus, nullptr, nullptr, 0, true);
    FetchKnot(doc_, listFirst_, &list, kKnotList);
  }
  target_ = list.limit;
}

void Importer::CollectBlocks(QTextFrame* frame, std::vector<QTextBlock>* blocks) {
  for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it) {
    if (QTextFrame* child = it.currentFrame()) CollectBlocks(child, blocks);
    else if (it.currentBlock().isValid()) blocks->push_back(it.currentBlock());
  }
}

bool Importer::insertTable(QTextTable& table) {
  const QTextTableFormat tableFormat = table.format();
  const bool continues = table_.open && tableFormat.boolProperty(kTableContinuesProperty);
  const int rows = table.rows();
  if (!continues) {
    table_ = OpenTable();
    closeLink();
    finishList();
    if (!ensureParagraphBreak()) return false;
    // Never inside another knot: past any knot at the target.
    KnotInfo knot;
    while (FetchKnot(doc_, target_, &knot, 0) && knot.first == target_ && knot.type() != kKnotChapter) {
      target_ = knot.limit;
      if (target_ > uint32_t(doc_->totalLength)) {
        LogAssert("Bad target CP", __func__, __FILE__, __LINE__);
        return false;
      }
    }
    if (CpIsWithinKnot(doc_, target_, kKnotTable, nullptr, false))
      LogAssert("Already in table", __func__, __FILE__, __LINE__);
    if (rows <= 0) return true;
    const int made = tableFormat.hasProperty(kTableColumnsProperty) ? tableFormat.intProperty(kTableColumnsProperty)
                                                                      : table.columns();
    table_.columns = std::min<uint32_t>(uint32_t(std::max(made, 1)), kMaxColumns);
    // Rows are made as they are filled: a row made ahead of its text would be shifted by every
    // cell filled before it, which makes long tables quadratic.
    DocRange range;
    if (!NewTableCore(doc_, target_, 1, table_.columns, &range)) return false;
    table_.first = range.first;
    table_.open = true;
    const QList<QTextLength> constraints = tableFormat.columnWidthConstraints();
    for (uint32_t c = 0; c < table_.columns && c < uint32_t(constraints.size()); ++c) {
      const QTextLength& length = constraints[qsizetype(c)];
      if (length.rawValue() <= 0) continue;
      int64_t width = 0;
      if (length.type() == QTextLength::PercentageLength)
        width = int64_t(length.rawValue() / 100 * kPageTextInches * 914400);
      else if (length.type() == QTextLength::FixedLength)
        width = int64_t(length.rawValue() * kEmuPerPoint);
      if (width > 0) table_.widths[c] = std::max(width, kMinimumColumnWidth);
    }
  }
  const uint32_t columns = table_.columns;
  const uint32_t tableFirst = table_.first;
  const GMRowRequest rowRequest;

  const auto cellPaddings = [&](const QTextTableCellFormat& format, int64_t out[4]) {
    const double all = tableFormat.cellPadding();
    const auto side = [&](QTextFormat::Property property, double value) {
      return int64_t((format.hasProperty(property) ? value : all) * kEmuPerPoint);
    };
    out[0] = side(QTextFormat::TableCellLeftPadding, format.leftPadding());
    out[1] = side(QTextFormat::TableCellRightPadding, format.rightPadding());
    out[2] = side(QTextFormat::TableCellTopPadding, format.topPadding());
    out[3] = side(QTextFormat::TableCellBottomPadding, format.bottomPadding());
  };
  const auto innerPaddings = [&](const QTextTableCellFormat& format) {
    int64_t inner[4];
    cellPaddings(format, inner);
    for (int side = 0; side < 4; side += 2) {
      if (inner[side] > table_.paddings[side]) {
        table_.paddings[side] = inner[side];
        table_.interiorSpacing = true;
      }
    }
  };

  // A cell's text as its paragraphs: those of a table inside it join the paragraph before.
  struct CellText {
    int column = 0;
    Kolor background = kNoKolor;
    std::vector<QTextBlock> blocks;
    std::vector<bool> nested;  // the block belongs to a table inside the cell
  };
  std::vector<CellText> cells;
  // The table's paragraphs and inner tables are walked once, in the text's order, which is the
  // order of its cells row by row: each cell's end is where the next cell's first paragraph
  // begins. A cell's own walk (QTextTableCell::begin) would search the table's cells for the next
  // one by their places in the text, for every cell.
  QTextFrame::iterator walk = table.begin();
  const auto nextCellBlock = [&](int r, int c) {
    for (int k = r * table.columns() + c + 1; k < rows * table.columns(); ++k) {
      const QTextTableCell next = CellBeginningAt(table, k / table.columns(), k % table.columns());
      if (next.isValid()) return table.document()->findBlock(next.firstPosition());
    }
    return QTextBlock();
  };
  for (int r = 0; r < rows; ++r) {
    if (!FLReadingMeter::Checkpoint(table.columns())) return false;
    const int64_t y = table_.rows;  // the row's place in the whole table
    cells.clear();
    uint32_t reach = 1;  // the engine's row is as wide as its last cell that holds something
    for (int c = 0; c < table.columns(); ++c) {
      const QTextTableCell cell = CellBeginningAt(table, r, c);
      if (!cell.isValid()) continue;
      const QTextTableCellFormat format = cell.format().toTableCellFormat();
      if (y == 0 && c == 0) cellPaddings(format, table_.paddings);
      if (y == 1 && c == 1) innerPaddings(format);
      CellText& text = cells.emplace_back();
      text.column = c;
      text.background = KolorOfBrush(format.background());
      const QTextBlock end = nextCellBlock(r, c);
      for (QTextFrame::iterator& it = walk; !it.atEnd() && (it.currentFrame() || it.currentBlock() != end); ++it) {
        if (QTextFrame* child = it.currentFrame()) {
          std::vector<QTextBlock> inner;
          CollectBlocks(child, &inner);
          // A table inside a cell cannot be one here: its words join the cell's paragraph
          // before it, in one line, as the cell shows them.
          const bool nested = qobject_cast<QTextTable*>(child) != nullptr;
          for (const QTextBlock& block : inner) {
            if (nested && block.length() <= 1) continue;
            text.blocks.push_back(block);
            text.nested.push_back(nested);
          }
        } else if (it.currentBlock().isValid()) {
          text.blocks.push_back(it.currentBlock());
          text.nested.push_back(false);
        }
      }
      // A cell's text does not end with an empty paragraph.
      while (text.blocks.size() > 1 && text.blocks.back().length() <= 1) {
        text.blocks.pop_back();
        text.nested.pop_back();
      }
      if (!(text.blocks.size() == 1 && text.blocks.front().length() <= 1) && !text.blocks.empty())
        reach = std::max(reach, std::min(uint32_t(c) + 1, columns));
    }
    // A row of the whole table's second row that lacks its second column had it empty.
    if (y == 1 && table.columns() < 2 && columns >= 2) innerPaddings(QTextTableCellFormat());
    // The first row is the table's own, as wide as the table; the others as their cells.
    uint32_t rowCp = tableFirst + 1;
    if (y > 0) {
      KnotInfo made;
      if (!FetchKnot(doc_, tableFirst, &made, kKnotTable)) return false;
      rowCp = made.limit - 1;
      uint32_t at = rowCp;
      if (!InsertEmptyRow(doc_, &at, reach, rowRequest)) return false;
    }
    KnotInfo row;
    if (!FetchKnot(doc_, rowCp, &row, kKnotRow) || row.kinkCount < 2) return false;
    // What the row's cells take moves the kinks after them by what the document grows: the row
    // is read once, not once a cell.
    const int32_t lengthRead = doc_->totalLength;
    const auto kinkAt = [&](uint32_t k) { return uint32_t(int64_t(row.kinkCps[k]) + doc_->totalLength - lengthRead); };
    for (CellText& text : cells) {
      const uint32_t c = uint32_t(text.column);
      const bool empty = text.blocks.size() == 1 && text.blocks.front().length() <= 1;
      if (c + 2 > row.kinkCount && (empty || text.blocks.empty())) continue;  // past the row's last cell
      const uint32_t column = std::min<uint32_t>(c, row.kinkCount - 2);
      if (KolorIsColor(text.background) && c == column) {
        const uint32_t index = doc_->knots.indexAtCp(kinkAt(column + 1));
        if (index != kGMNone) doc_->knots.at(index).word = text.background;
      }
      target_ = kinkAt(column + 1) - 1;
      // Text of a column past the last joins the last cell; a column past it that holds nothing
      // (one a span covers) adds nothing.
      if (c != column && empty) continue;
      if (c != column) {
        const char16_t mark = u'\n';
        DocRange at{doc_, target_, target_};
        if (!InsertNewText(&at, &mark, 1, normalChars_)) return false;
        target_ = at.first;
      }
      const uint32_t cellFirst = target_;
      cellFirst_ = cellFirst;
      for (size_t b = 0; b < text.blocks.size(); ++b) {
        const bool joinNext = b + 1 < text.blocks.size() && text.nested[b + 1];
        const uint32_t blockFirst = target_;
        if (!insertBlock(text.blocks[b], b + 1 < text.blocks.size() && !joinNext, joinNext)) return false;
        // A first line that held only pictures that cannot be had (a figure above its caption)
        // shows nothing of the cell's: its words start on the line after, as they do where the
        // pictures are had and stand beside them.
        if (b == 0 && b + 1 < text.blocks.size() && !joinNext && pictureLeftOut_ && target_ == blockFirst + 1) {
          DocRange emptied{doc_, blockFirst, blockFirst + 1};
          if (!ReplaceRangeCore(&emptied, nullptr, nullptr, 0, true)) return false;
          target_ = blockFirst;
        }
        if (joinNext && target_ > cellFirst && !insertText(QStringLiteral(" "), normalChars_)) return false;
      }
      cellFirst_ = kGMNone;
      std::vector<QTextBlock>().swap(text.blocks);
    }
    // Whatever moved the row otherwise, its last kink is where it is read again.
    if (!IsKinkChar(doc_->charAt(kinkAt(row.kinkCount - 1)))) LogAssert("Row moved", __func__, __FILE__, __LINE__);
    ++table_.rows;
  }

  KnotInfo tableInfo, row;
  PropRecord props;
  if (!FetchTable(doc_, tableFirst, &tableInfo, &row, &props)) return false;
  props.body[TableProp::titleRow] = 0;
  for (uint32_t c = 0; c < columns; ++c)
    if (table_.widths[c] && !props.body[TableProp::autoFit])
      props.set<int64_t>(TableProp::widths + 8 * c, table_.widths[c]);
  props.set<int64_t>(TableProp::cellLeft, table_.paddings[0]);
  props.set<int64_t>(TableProp::cellRight, table_.paddings[1]);
  props.set<int64_t>(TableProp::cellTop, table_.paddings[2]);
  props.set<int64_t>(TableProp::cellBottom, table_.paddings[3]);
  if (table_.interiorSpacing) props.body[TableProp::outerMargins] = 1;
  props.index = kGMNone;
  const uint32_t index = IndexForProperties(doc_, &props);
  if (index != kGMNone && tableInfo.index >= 0) SetPropsOnKink(doc_, uint32_t(tableInfo.index), index);
  for (GMTableCache& cache : doc_->tableCaches) cache = GMTableCache();
  target_ = tableInfo.limit;
  return true;
}

bool Importer::run() {
  const PropRecord* chars = PropertiesAtIndex(doc_, doc_->styles.empty() ? kGMNone : doc_->styles[0].second);
  const PropRecord* paras = PropertiesAtIndex(doc_, doc_->styles.empty() ? kGMNone : doc_->styles[0].first);
  if (chars && chars->kind == kPropChar) normalChars_ = *chars;
  else SetDefaultProperties(doc_, kPropChar, &normalChars_);
  if (paras && paras->kind == kPropPara) normalParas_ = *paras;
  else SetDefaultProperties(doc_, kPropPara, &normalParas_);
  doc_->tableCacheOff = true;
  void* owner = doc_->owner;
  doc_->owner = nullptr;
  target_ = std::max<uint32_t>(FirstVisibleCp(doc_), BodyStart(doc_));
  // The body's own last mark ends the last paragraph: text goes before it.
  if (doc_->userLength > 0) target_ = std::min<uint32_t>(target_, uint32_t(doc_->userLength - 1));

  // Whatever way the reading ends, the document has its host and its tables' caches back.
  struct Restore {
    GlimmetDoc* doc;
    void* owner;
    ~Restore() {
      doc->owner = owner;
      doc->tableCacheOff = false;
    }
  } restore{doc_, owner};
  bool ok = true;
  try {
    std::vector<QTextFrame::iterator> items;
    QTextFrame* root = text_.rootFrame();
    for (QTextFrame::iterator it = root->begin(); !it.atEnd(); ++it) items.push_back(it);
    const auto isTable = [&](size_t i) { return i < items.size() && qobject_cast<QTextTable*>(items[i].currentFrame()); };
    for (size_t i = 0; ok && i < items.size(); ++i) {
      // An open or a paste meters what its import grows the heap by.
      if (!FLReadingMeter::Checkpoint()) {
        ok = false;
        break;
      }
      // The reader puts an empty paragraph before and after every table; they are no text.
      const QTextBlock candidate = items[i].currentBlock();
      if (candidate.isValid() && candidate.length() <= 1 && !candidate.textList() &&
          (isTable(i + 1) || (i > 0 && isTable(i - 1))))
        continue;
      if (QTextFrame* frame = items[i].currentFrame()) {
        if (auto* table = qobject_cast<QTextTable*>(frame)) {
          ok = insertTable(*table);
          continue;
        }
        table_.open = false;
        // Other frames: their paragraphs in order.
        std::vector<QTextBlock> blocks;
        CollectBlocks(frame, &blocks);
        for (const QTextBlock& block : blocks) ok = ok && insertBlock(block, true);
        continue;
      }
      const QTextBlock block = items[i].currentBlock();
      if (!block.isValid()) continue;
      table_.open = false;
      if (QTextList* list = block.textList()) {
        ok = openList();
        if (!ok) break;
        const uint32_t level =
            std::clamp<uint32_t>(uint32_t(std::max(list->format().indent(), 1)), 1, kMaxListLevels) - 1;
        setListLevel(*list, level);
        const uint32_t paraFirst = target_;
        ok = insertBlock(block, true);
        const uint32_t style = StyleIndexForStyleId(doc_, kListStyleBase + level + 1, true);
        if (ok && style != kGMNone) itemStyles_.push_back({{doc_, paraFirst, target_}, style});
        continue;
      }
      if (inList_) finishList();
      // The last paragraph ends with the body's own mark.
      const bool last = i + 1 == items.size();
      ok = insertBlock(block, !last);
    }
  } catch (const std::bad_alloc&) {
    // Memory ran out, in the engine or inside Qt's text, which may be left half-changed: the
    // reading goes no further with either, and whoever holds them learns why.
    throw;
  } catch (const std::exception& exception) {
    // A reading that could not finish is no reading: nothing of it is made into cells.
    LogException(exception, QLatin1String(kImportFailedContext));
    ok = false;
  }
  closeLink();
  finishList();
  return ok;
}

}  // namespace

bool InsertPictureKnot(DocRange* at, std::shared_ptr<void> image, const QString& path) {
  if (!at || !at->doc || !image) return false;
  GMPicture picture;
  picture.path = path;
  picture.image = std::move(image);
  at->doc->pictures.push_back(std::move(picture));
  KinkData data;
  data.word = uint32_t(at->doc->pictures.size() - 1);
  data.value = kPictureOnBaseline;
  PropRecord border;
  SetBaseProperties(kPropBorder, &border);
  return InsertKnotCore(at, kKnotPicture, 0, 1, &border, 1, &data, false);
}

const GMMarkerInfo* MarkerInfoForKeyword(const QString& keyword) {
  const QByteArray key = keyword.toLower().toLatin1();
  const auto* end = std::end(kMarkerInfo);
  const auto* it = std::lower_bound(std::begin(kMarkerInfo), end, key,
                                    [](const GMMarkerInfo& row, const QByteArray& k) { return k.compare(row.keyword) > 0; });
  return it != end && key == it->keyword ? it : nullptr;
}

QVariant GMImportTextDocument::loadResource(int type, const QUrl& name) {
  const QUrl resolved = resourceBase().resolved(name);
  if (!resolved.isLocalFile()) return QVariant();
  // A style sheet is text the HTML reader parses whole: one of more than a few megabytes is no
  // page's style sheet.
  constexpr qint64 kMaxStyleSheetBytes = qint64(4) * 1024 * 1024;
  if (type == QTextDocument::StyleSheetResource && QFileInfo(resolved.toLocalFile()).size() > kMaxStyleSheetBytes)
    return QVariant();
  if (type == QTextDocument::ImageResource) {
    const auto known = pictures_.find(resolved);
    if (known != pictures_.end()) return known->second;
    QVariant& picture = pictures_[resolved];
    QByteArray bytes;
    if (!FLImage::readPictureFile(resolved.toLocalFile(), &bytes)) return QVariant();
    const CodecErrnoScope codec;
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    // Bytes no handler takes are no picture (and a reader without one is asked nothing more).
    if (!OpenImageReader(reader)) return QVariant();
    const auto leaveOut = [&](const char* why, int64_t decoded) {
      LogString("The picture %@ was left out: decoded it would take %@ bytes, %@.", resolved.toLocalFile(),
                QString::number(decoded), QLatin1String(why));
      leftOut_.insert(resolved);
      return QVariant();
    };
    // What the picture takes decoded, known from its header before it is decoded: held against
    // the page's own share for its pictures, and by the one price every picture meets (the
    // decoders' limit, the reading's meter).
    const auto refused = [&](const FLPicturePrice& price) {
      if (pictureBudget_ > 0 && pictureBytes_ + price.bytes > pictureBudget_) return "past what the page's pictures may take";
      switch (AdmitPicture(price)) {
        case FLPictureRefusal::PastDecodeLimit: return "more than any picture may take";
        case FLPictureRefusal::PastBudget: return "more than the reading has left";
        case FLPictureRefusal::None: break;
      }
      return static_cast<const char*>(nullptr);
    };
    const FLPicturePrice price = PriceOfPicture(reader, bytes.size());
    if (const char* why = price.pixels.isValid() ? refused(price) : nullptr) return leaveOut(why, price.bytes);
    const QImage image = ReadImageFrame(reader);
    if (image.isNull()) return QVariant();
    // A header that told nothing (or less than the truth): the picture as decoded.
    const int64_t decoded = image.sizeInBytes();
    if (decoded > price.bytes) {
      FLPicturePrice actual = price;
      actual.bytes = decoded;
      if (const char* why = refused(actual)) return leaveOut(why, decoded);
    }
    pictureBytes_ += decoded;
    picture = image;
    return image;
  }
  QByteArray bytes;
  if (!FLImage::readPictureFile(resolved.toLocalFile(), &bytes)) return QVariant();
  if (type == QTextDocument::StyleSheetResource) return QString::fromUtf8(bytes);
  return bytes;
}

bool GMImportTextDocument::leftOutPicture(const QUrl& name) const {
  if (!leftOut_.count(resourceBase().resolved(name))) return false;
  ++leftOutPlaces_;
  return true;
}

int32_t GMTextLanguages::at(uint32_t cp) const {
  const auto after = std::upper_bound(runs_.begin(), runs_.end(), cp,
                                      [](uint32_t c, const std::pair<uint32_t, int32_t>& run) { return c < run.first; });
  return after == runs_.begin() ? -1 : (after - 1)->second;
}

void GMTextLanguages::note(uint32_t cp, const QString& language) {
  int32_t index = -1;
  if (!language.isNull()) {
    const auto [it, added] = indexes_.try_emplace(language, int32_t(names_.size()));
    if (added) names_.push_back(language);
    index = it->second;
  }
  if (!runs_.empty() && runs_.back().second == index) return;
  // A run that took no text gives way to the one after it.
  if (!runs_.empty() && runs_.back().first >= cp) {
    runs_.back().second = index;
    if (runs_.size() > 1 && runs_[runs_.size() - 2].second == index) runs_.pop_back();
    return;
  }
  if (runs_.empty() && index < 0) return;
  runs_.emplace_back(cp, index);
}

QTextTableCell CellBeginningAt(const QTextTable& table, int row, int column) {
  const QTextTableCell cell = table.cellAt(row, column);
  if ((column > 0 && table.cellAt(row, column - 1) == cell) || (row > 0 && table.cellAt(row - 1, column) == cell))
    return QTextTableCell();
  return cell;
}

bool ImportAttributedText(GlimmetDoc* doc, const QTextDocument& text, GMTextLanguages* languages) {
  if (!doc) return false;
  if (doc->paneCount == 0 && !SetupPane(doc, nullptr)) return false;
  if (text.isEmpty()) return true;
  return Importer(doc, text, languages).run();
}
