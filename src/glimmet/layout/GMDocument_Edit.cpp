// The document object's editing commands. Its one document shown in a view is locked, so what
// works is copying the selection to the clipboard, selecting lists and tables, lists, pictures
// and links, and the dictionary look-up; the typing and structure commands are empty.
#include "glimmet/layout/GMDocument.h"

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flImageCodecs.h"
#include "framlet/foundation/flStringExtensions.h"
#include "glimmet/layout/GMDraftView.h"
#include "glimmet/layout/gmHostProcedures.h"
#include "glimmet/layout/gmPictures.h"
#include "glimmet/layout/gmSelection.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmLists.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmStyles.h"
#include "glimmet/storage/gmTables.h"
#include "platform/Pasteboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

// What the clip document holds.
enum : int { kClipPicture = 2, kClipText = 3 };

// Where the next copy goes: a given data object, or (nullptr) the clipboard.
QMimeData* g_copyPasteboard = nullptr;

QByteArray TiffData(const QImage& image) { return EncodeImage(image, "tiff"); }

// Whether the range starts inside a knot it does not wholly hold.
bool StartsInsideKnot(GlimmetDoc* doc, const DocRange& range) {
  int depth = 0;
  for (uint32_t i = doc->knots.indexOfCpAfter(range.first + 1); i < doc->knots.count(); ++i) {
    if (doc->knots.cpAt(i) >= range.limit) break;
    const KnotEntry& entry = doc->knots.at(i);
    if (entry.kink == kKinkBegin) ++depth;
    else if (entry.kink == kKinkEnd && depth-- == 0) return true;
  }
  KnotInfo knot;
  if (!FetchKnot(doc, range.first, &knot, 0)) return false;
  if (knot.type() == kKnotAutonum) {
    DocRange outer;
    if (FindOuterKnot(knot.range(), &outer) && outer.first < range.first) return true;
  }
  for (uint32_t k = 0; k + 1 < knot.kinkCount; ++k)
    if (range.first == knot.kinkCps[k] + 1 && range.limit == knot.kinkCps[k + 1]) return true;
  return false;
}

// Copies the selected columns of a table as a table of their own at the clip's insertion point.
bool CopyTableColumns(DocRange* target, GlimmetDoc* doc, const KnotInfo& table, int32_t firstColumn,
                      int32_t limitColumn) {
  const uint32_t columns = uint32_t(std::max(1, limitColumn - firstColumn));
  std::vector<KnotInfo> rows;
  KnotInfo row;
  for (uint32_t cp = table.first + 1; cp + 1 < table.limit;) {
    KnotInfo t;
    if (!FetchTable(doc, cp, &t, &row, nullptr) || row.limit <= cp) break;
    rows.push_back(row);
    cp = row.limit;
  }
  if (rows.empty()) return false;
  GlimmetDoc* clip = target->doc;
  DocRange made;
  if (!NewTableCore(clip, target->first, uint32_t(rows.size()), columns, &made)) return false;
  // The table's formatting, with the selected columns' widths first.
  PropRecord props;
  KnotInfo sourceTable, sourceRow;
  if (FetchTable(doc, table.first + 1, &sourceTable, &sourceRow, &props)) {
    for (uint32_t c = 0; c < kMaxColumns; ++c) {
      const uint32_t from = c + uint32_t(firstColumn);
      props.set<int64_t>(TableProp::widths + 8 * c,
                         c < columns && from < kMaxColumns ? props.get<int64_t>(TableProp::widths + 8 * from) : 0);
    }
    props.set<uint16_t>(TableProp::columns, uint16_t(columns));
    KnotInfo newTable;
    if (FetchKnot(clip, made.first, &newTable, kKnotTable)) {
      props.index = kGMNone;
      const uint32_t index = IndexForProperties(clip, &props);
      if (index != kGMNone) SetPropsOnKink(clip, uint32_t(newTable.index), index);
    }
  }
  // Cell texts from the last row and column to the first, so earlier cps stay put.
  for (size_t r = rows.size(); r-- > 0;) {
    for (uint32_t c = columns; c-- > 0;) {
      KnotInfo newTable, newRow;
      uint32_t rowCp = made.first + 1;
      for (size_t skip = 0; skip < r; ++skip) {
        if (!FetchTable(clip, rowCp, &newTable, &newRow, nullptr)) return false;
        rowCp = newRow.limit;
      }
      if (!FetchTable(clip, rowCp, &newTable, &newRow, nullptr)) return false;
      DocRange source, destination;
      if (IndexAndRangeForCell(&table, &rows[r], kGMNone, firstColumn + int32_t(c), &source) == kGMNone) continue;
      if (IndexAndRangeForCell(&newTable, &newRow, kGMNone, int32_t(c), &destination) == kGMNone) continue;
      // Cell text only: a first cell's range starts at its row's (or table's) kinks, and the
      // destination cell keeps its own paragraph mark.
      source.first = std::max(source.first, rows[r].kinkCps[0] + 1);
      if (source.limit > source.first && IsParaMarkChar(doc->charAt(source.limit - 1))) --source.limit;
      destination.first = std::max(destination.first, newRow.kinkCps[0] + 1);
      destination.limit = destination.first;
      if (source.limit > source.first && !CopyDocumentRange(&destination, source)) return false;
    }
  }
  *target = {clip, made.limit, made.limit};
  return true;
}

}  // namespace

bool GMDocument::copySelection() {
  GlimmetDoc* doc = glimmetDoc_;
  Pane* pane = currentPane();
  if (!doc || !pane || pane->frameIndex != kGMNone) return false;
  try {
    DocRange clip;
    if (!NewGlobalClipDocument(&clip)) return false;
    GlimmetDoc* clipDoc = clip.doc;
    CurrentPane(clipDoc)->selectionUnit = pane->selectionUnit;
    int clipKind = kClipText;
    uint32_t scale = 0;
    DocRange range{doc, uint32_t(pane->selFirst), uint32_t(pane->selLimit)};
    uint32_t pictureIndex = 0;
    if (IsSelectionPicture(doc, &pictureIndex)) {
      KnotInfo knot;
      FetchKnot(doc, range.first, &knot, kKnotPicture);
      scale = knot.entry.scale();
      if (!CopyDocumentRange(&clip, range)) return false;
      // The copy carries the knot; the picture it shows comes along here.
      if (clipDoc->pictures.empty() && pictureIndex < doc->pictures.size()) {
        clipDoc->pictures.push_back(doc->pictures[pictureIndex]);
        for (uint32_t i = 0; i < clipDoc->knots.count(); ++i)
          if (clipDoc->knots.at(i).type == kKnotPicture) clipDoc->knots.at(i).setPictureIndex(0);
      }
      if (clipDoc->pictures.empty()) return false;
      clipKind = kClipPicture;
    } else {
      if (StartsInsideKnot(doc, range)) range.first = VisibleCpCore(doc, pane, range.first, true);
      if (range.empty()) return false;
      // The copy keeps the name of the chapter it comes from.
      const uint32_t chapter = doc->chapterCps.indexOfCp(range.first);
      const QString chapterName = chapter == kGMNone ? QString() : ChapterName(doc, chapter);
      if (!chapterName.isEmpty() && clipDoc->chapterCps.count() > 0) {
        GMRegisteredRange keep(&clip, 0);
        if (!ReplaceRangeSimpleWithString(KnotFirstSlot(clipDoc, clipDoc->chapterCps.cpAt(0)), nullptr, chapterName))
          return false;
      }
      DocRange table1, table2;
      const bool inTable1 = CpIsWithinKnot(doc, range.first, kKnotTable, &table1, false);
      const bool inTable2 = CpIsWithinKnot(doc, range.limit - 1, kKnotTable, &table2, false);
      DocRange list;
      KnotInfo tableInfo;
      KnotInfo rowInfo;
      if (pane->selectionUnit == kUnitCells && pane->cellFirst >= 0 &&
          FetchTable(doc, uint32_t(pane->selFirst) + 1, &tableInfo, &rowInfo, nullptr)) {
        if (!CopyTableColumns(&clip, doc, tableInfo, pane->cellFirst, pane->cellLimit)) return false;
      } else if (inTable1 || inTable2) {
        // The table part at each end as a table piece, what lies between as it stands.
        DocRange at = clip;
        uint32_t cp = range.first;
        if (inTable1) {
          const uint32_t end = std::min(range.limit, table1.limit);
          DocRange insert{clipDoc, at.first, at.first};
          if (!CopyTablePiece(&insert, {doc, cp, end})) return false;
          at = {clipDoc, insert.limit, insert.limit};
          cp = end;
        }
        const uint32_t middleEnd = inTable2 && table2.first >= cp ? table2.first : range.limit;
        if (middleEnd > cp) {
          if (!CopyDocumentRange(&at, {doc, cp, middleEnd})) return false;
          at = {clipDoc, at.limit, at.limit};
          cp = middleEnd;
        }
        if (inTable2 && cp < range.limit) {
          DocRange insert{clipDoc, at.first, at.first};
          if (!CopyTablePiece(&insert, {doc, cp, range.limit})) return false;
        }
      } else if (CpIsWithinKnot(doc, range.first, kKnotList, &list, false) && range.first > list.first &&
                 range.limit <= list.limit) {
        if (range.limit == list.limit) range.limit = list.limit - 1;
        DocRange para;
        FetchParaProps(doc, pane, range.first, &para, nullptr);
        const bool wholeFirst = para.first == range.first || range.first == list.first + 1;
        FetchParaProps(doc, pane, range.limit > range.first ? range.limit - 1 : range.first, &para, nullptr);
        const bool wholeLast = para.limit == range.limit || range.limit == list.limit - 1;
        if (!CopyDocumentRange(&clip, range)) return false;
        PropRecord listProps;
        KnotInfo listInfo;
        if (wholeFirst && wholeLast && FetchList(doc, range.first, &listInfo, &listProps)) {
          Pane* clipPane = CurrentPane(clipDoc);
          clipPane->selFirst = int32_t(BodyStart(clipDoc));
          clipPane->selLimit = std::max(clipPane->selFirst, clipDoc->userLength);
          InsertList(clipDoc, &listProps, false, false);
        }
      } else if (!CopyDocumentRange(&clip, range)) {
        return false;
      }
    }

    std::unique_ptr<QMimeData> owned;
    QMimeData* data = g_copyPasteboard;
    if (!data) {
      owned = std::make_unique<QMimeData>();
      data = owned.get();
    }
    if (clipKind == kClipText) {
      // The body less its own closing mark.
      const uint32_t start = BodyStart(clipDoc);
      const uint32_t last = uint32_t(std::max<int32_t>(int32_t(start), clipDoc->userLength - 1));
      const QString text = ExtractPlainText({clipDoc, start, last}, true);
      if (!text.isNull()) data->setText(text);
    } else {
      const GMPicture& picture = clipDoc->pictures.front();
      const auto image = std::static_pointer_cast<FLImage>(picture.image);
      if (image && !image->isNull()) {
        const bool unscaled = scale == 0 || scale == 1000 || scale == kPictureFitScale;
        QImage bitmap;
        if (!unscaled || QFileInfo(picture.path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0) {
          QSizeF size = image->size();
          if (!unscaled) size = QSizeF(std::ceil(size.width() * scale / 1000.0), std::ceil(size.height() * scale / 1000.0));
          bitmap = QImage(std::max(1, int(size.width())), std::max(1, int(size.height())), QImage::Format_ARGB32);
          bitmap.fill(Qt::transparent);
          QPainter painter(&bitmap);
          image->draw(painter, QRectF(QPointF(0, 0), size), QRectF(), QPainter::CompositionMode_Source, 1.0);
        } else {
          bitmap = image->bitmap();
        }
        const QByteArray tiff = TiffData(bitmap);
        if (!tiff.isEmpty()) PasteboardSetData(*data, QLatin1String(kPasteboardTiffType), tiff);
      }
      PasteboardSetData(*data, QLatin1String(kPasteboardPictureGuidType), picture.identifier.toUtf8());
    }
    if (owned) QGuiApplication::clipboard()->setMimeData(owned.release());
    return true;
  } catch (const std::exception& exception) {
    LogException(exception, QString());
    return false;
  }
}

GlimmetDocPtr GMDocument::copyToPasteboard(QMimeData* data) {
  GlimmetDoc* saved = g_clipboardDoc;
  g_clipboardDoc = nullptr;
  g_copyPasteboard = data;
  const bool copied = copySelection();
  g_copyPasteboard = nullptr;
  GlimmetDoc* made = g_clipboardDoc;
  g_clipboardDoc = saved;
  if (!copied) {
    DestroyDocument(made);
    return nullptr;
  }
  return GlimmetDocPtr(made);
}

bool GMDocument::isTableSelected(Pane* pane, KnotInfo* info) const {
  if (!pane) pane = currentPane();
  if (!pane || pane->frameIndex != kGMNone) return false;
  KnotInfo found;
  KnotInfo* out = info ? info : &found;
  DocRange table;
  if (!CpIsWithinKnot(glimmetDoc_, uint32_t(pane->selFirst), kKnotTable, &table, false)) return false;
  return FetchKnot(glimmetDoc_, table.first, out, kKnotTable);
}

void GMDocument::selectList() {
  Pane* pane = currentPane();
  DocRange list;
  if (pane && CpIsWithinKnot(glimmetDoc_, uint32_t(pane->selFirst), kKnotList, &list, false))
    SelectCpsCore(glimmetDoc_, list.first, list.limit, true, false);
}

void GMDocument::selectTable() {
  Pane* pane = currentPane();
  KnotInfo table, row;
  if (pane && FetchTable(glimmetDoc_, uint32_t(pane->selFirst), &table, &row, nullptr))
    SelectCpsCore(glimmetDoc_, table.first, table.limit, true, false);
}

void GMDocument::selectTableRows() {
  Pane* pane = currentPane();
  KnotInfo table, firstRow, lastRow;
  if (!pane || !FetchTable(glimmetDoc_, uint32_t(pane->selFirst), &table, &firstRow, nullptr)) {
    HostBeep();
    return;
  }
  uint32_t limit = firstRow.limit;
  if (pane->selLimit > pane->selFirst &&
      FetchTable(glimmetDoc_, uint32_t(pane->selLimit) - 1, &table, &lastRow, nullptr))
    limit = lastRow.limit;
  limit = std::min(limit, table.limit >= 2 ? table.limit - 2 : table.limit);
  SelectCpsCore(glimmetDoc_, firstRow.first, std::max(limit, firstRow.first), true, false);
}

bool GMDocument::insertList(const PropRecord* props) {
  if (!glimmetDoc_) return false;
  documentWillChange();
  const bool done = props ? InsertList(glimmetDoc_, props, true, true) : DeleteList(glimmetDoc_);
  documentDidChange();
  return done;
}

void GMDocument::changeListIndent(bool increase) {
  Pane* pane = currentPane();
  if (!pane) return;
  if (pane->frameIndex != kGMNone || pane->selectionUnit == kUnitCells) {
    HostBeep();
    return;
  }
  KnotInfo list;
  PropRecord listProps;
  if (!FetchList(glimmetDoc_, uint32_t(pane->selFirst), &list, &listProps)) {
    if (increase) {
      const PropRecord* defaults = PropertiesAtIndex(glimmetDoc_, glimmetDoc_->defaultListProps);
      if (defaults) insertList(defaults);
    }
    return;
  }
  DocRange range{glimmetDoc_, uint32_t(pane->selFirst), uint32_t(pane->selLimit)};
  ExpandDocRange(&range, kExpandPara);
  if (!increase && range.first <= list.first + 1 && range.limit + 1 >= list.limit) {
    bool styled = false;
    for (uint32_t cp = range.first; cp < range.limit;) {
      DocRange para;
      PropRecord paraProps;
      FetchParaProps(glimmetDoc_, pane, cp, &para, &paraProps);
      const uint16_t style = paraProps.get<uint16_t>(ParaField::style);
      if (style < glimmetDoc_->styles.size() && glimmetDoc_->styles[style].id >= 21 && glimmetDoc_->styles[style].id <= 29)
        styled = true;
      if (para.limit <= cp) break;
      cp = para.limit;
    }
    if (!styled) {
      insertList(nullptr);
      return;
    }
  }
  TurnOffSel(glimmetDoc_);
  documentWillChange();
  DeferDisplay();
  uint32_t cp = range.first;
  ChangeIndent(glimmetDoc_, &cp, list.limit > 0 ? list.limit - 1 : 0, range.limit, increase, 255);
  InvalListCache({glimmetDoc_, range.first, list.limit});
  AccumulateDefer({glimmetDoc_, range.first, list.limit});
  UndeferDisplay(2);
  documentDidChange();
}

void GMDocument::getDefaultProps(PropRecord* props, char16_t listType) const {
  if (!props || !glimmetDoc_) return;
  if (const PropRecord* defaults = PropertiesAtIndex(glimmetDoc_, glimmetDoc_->defaultListProps)) *props = *defaults;
  uint32_t kind = 0;
  char16_t marker[2] = {0, 0};
  switch (listType) {
    case u'#': kind = kMarkerCheckbox; break;
    case u'*': kind = kMarkerBullet, marker[0] = 0x2022; break;
    case u'-': kind = kMarkerBullet, marker[0] = u'-'; break;
    case u'1': kind = kMarkerNumber, marker[1] = u'.'; break;
    default:
      std::memset(props->body, 0, sizeof props->body);
      props->kind = 255;
      props->index = kGMNone;
      return;
  }
  props->set<uint32_t>(ListField::markers, kind);
  props->set<char16_t>(ListField::markers + 8, marker[0]);
  props->set<char16_t>(ListField::markers + 10, marker[1]);
}

uint32_t GMDocument::pictureCount() const { return glimmetDoc_ ? uint32_t(glimmetDoc_->pictures.size()) : 0; }

QList<QImage> GMDocument::pictures() const {
  QList<QImage> images;
  for (uint32_t i = 0; i < pictureCount(); ++i) images << pictureForIndex(i);
  return images;
}

uint32_t GMDocument::addPicture(std::shared_ptr<FLImage> image) {
  return glimmetDoc_ ? StorePicture(glimmetDoc_, std::move(image)) : kGMNone;
}

bool GMDocument::addAndInsertPicture(std::shared_ptr<FLImage> image) {
  if (!glimmetDoc_) return false;
  documentWillChange();
  const bool inserted = InsertPicture(glimmetDoc_, std::move(image), true);
  documentDidChange();
  return inserted;
}

bool GMDocument::insertPictureWithIndex(uint32_t index) {
  if (!glimmetDoc_) return false;
  documentWillChange();
  const bool inserted = InsertPictureWithIndex(glimmetDoc_, index, true);
  documentDidChange();
  return inserted;
}

QImage GMDocument::pictureForIndex(uint32_t index) const {
  if (!glimmetDoc_ || index >= glimmetDoc_->pictures.size()) return QImage();
  const auto image = std::static_pointer_cast<FLImage>(glimmetDoc_->pictures[index].image);
  return image ? image->bitmap() : QImage();
}

void GMDocument::saveKinkInfo(const KinkInfo* infos, int count, GMDraftView* view) {
  const int kept = std::clamp(count, 0, int(kMaxKinkInfos));
  for (int i = 0; i < kept; ++i) kinkInfos_[size_t(i)] = infos[i];
  if (GMDraftView* current = view ? view : currentPaneView()) current->setSelectionType(0);
}

namespace {

// The target and name of the link whose kink a context menu recorded.
bool LinkAt(GlimmetDoc* doc, int32_t cp, QString* target, QString* name) {
  KnotInfo link;
  if (!doc || cp < 0 || !FetchKnot(doc, uint32_t(cp), &link, kKnotLink) || link.kinkCount < 3) return false;
  *name = RawTextString(doc, link.kinkCps[0] + 1, link.kinkCps[1]);
  *target = RawTextString(doc, link.kinkCps[1] + 1, link.kinkCps[2]);
  return true;
}

}  // namespace

void GMDocument::copyLink(int kinkIndex) {
  if (kinkIndex < 0 || kinkIndex >= int(kMaxKinkInfos)) return;
  QString target, name;
  if (!LinkAt(glimmetDoc_, kinkInfos_[size_t(kinkIndex)].cp, &target, &name)) return;
  try {
    auto data = std::make_unique<QMimeData>();
    data->setText(target);
    QUrl url(target);
    if (url.scheme() == QLatin1String("file") && url.isLocalFile()) url = QUrl::fromLocalFile(url.toLocalFile());
    if (url.isValid()) data->setUrls({url});
    if (!name.isEmpty()) PasteboardSetData(*data, QLatin1String(kPasteboardUrlNameType), name.toUtf8());
    QGuiApplication::clipboard()->setMimeData(data.release());
  } catch (const std::exception& exception) {
    LogException(exception, QStringLiteral("Copy link failed"));
  }
}

void GMDocument::openLinkFile(int kinkIndex) {
  if (kinkIndex < 0 || kinkIndex >= int(kMaxKinkInfos)) return;
  QString target, name;
  if (LinkAt(glimmetDoc_, kinkInfos_[size_t(kinkIndex)].cp, &target, &name)) FollowHyperLink(target, true);
}

void GMDocument::setNormalFont(const QFont& font, bool force) {
  if (!glimmetDoc_) return;
  SetNormalFont(glimmetDoc_, IndexOfFont(font.family()), int32_t(font.pointSizeF() * 4), force);
}

bool GMDocument::lookupInDictionary() {
  // The desktop offers no dictionary panel to show a definition in.
  return false;
}
