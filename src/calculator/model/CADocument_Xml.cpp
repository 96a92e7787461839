// The document-level XML of a sheet, read and written: the options, print settings, window
// state and columns that head a native package's "document.xml", every undo archive and the cell
// archive on the clipboard, and the rows and cells that follow them.
#include "calculator/model/CADocument.h"
#include "calculator/model/CACell.h"

#include "calculator/model/CAColumn.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CAReferenceTable.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caDocumentXml.h"
#include "calculator/model/caPackageWindow.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flBase64.h"
#include "framlet/foundation/flCollectionExtensions.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/StringWithFormat.h"

#include <QObject>
#include <QTimer>

#include <cmath>
#include <optional>

namespace {

constexpr const char* kUnknownDocumentTag = "Unknown document tag";
constexpr const char* kPicturesInFile = "Pictures group found in file";
constexpr const char* kSourceInFile = "Document source found in file";
constexpr const char* kBadPictureId = "Picture id refused";

constexpr double kInitialFontSize = 12.0;
// Sizes outside this range, in points, are not the user's: the size stays as it was.
constexpr double kMinimumFontSize = 1.0;
constexpr double kMaximumFontSize = 2000.0;
// A stored window narrower or lower than this (in points) would show no grid: the window gets
// the standard size instead.
constexpr double kMinimumContentWidth = 200.0;
constexpr double kMinimumContentHeight = 150.0;
// A format panel state that no file writes.
constexpr int64_t kFormatPanelAbsent = -1;

// Distances (EMU) cannot be negative; a negative one in a file reads as 0.
int64_t Distance(int64_t emu) { return emu < 0 ? 0 : emu; }

bool Flag(const FLXmlDecoder& decoder) { return decoder.integerValue() != 0; }

// Moves past what ends a group: a foreign element is skipped whole, so that its children are
// not taken for the document's.
void PassOver(FLXmlDecoder& decoder) {
  if (decoder.startTag() && !decoder.endTag()) decoder.skipTag();
}

// Reads the children of a group element with `childTag`, handing each to `read`; the group ends
// at the first tag shallower than it or with another key, which is passed over.
template <typename Read>
void ReadGroup(FLXmlDecoder& decoder, CAXmlTag childTag, Read read) {
  const int64_t level = decoder.level();
  while (decoder.getNextTag()) {
    if (decoder.level() < level) break;
    if (XmlTagOf(decoder) != childTag) {
      PassOver(decoder);
      break;
    }
    read();
  }
}

constexpr const char* kPaddingFormat = "%qd,%qd";

// Rounded rather than truncated: a zoom of 0.29 read from "29" must write "29" again, not the
// 28 that 0.29 × 100 = 28.999... truncates to.
int64_t Scaled(double value, double factor) {
  const double scaled = value * factor;
  return std::isfinite(scaled) ? int64_t(std::llround(scaled)) : 0;
}

QString FontName(const QFont& font) {
  const QString name = FontPostScriptName(font);
  return name.isEmpty() ? font.family() : name;
}

}  // namespace

namespace {

// What a row's references cost the reference table, in a metered reading's pieces: a piece for
// every few characters of its formulas (about one a reference), and one a cell.
int64_t ReferencePieces(const CARow& row) {
  int64_t pieces = int64_t(row.cells().size());
  for (const CACellEntry& entry : row.cells())
    if (entry.isFormula()) pieces += entry.cell()->enteredTextLength() / 4;
  return pieces;
}

}  // namespace

void CADocument::loadFromXml(FLXmlDecoder& decoder) {
  const CAFormatSharing sharing;  // cells written with one format share it
  CAFormulaSeparatorsReading separators;
  // A metered reading's reference table grows on its meter too.
  std::optional<CAMeteredTableGrowth> meteredGrowth;
  if (decoder.metered()) meteredGrowth.emplace();
  PrepareSpreadsheetDecoder(decoder);
  double fontSize = kInitialFontSize;
  QString fontName;
  std::optional<QRectF> windowRect;  // the stored frame; undo archives have none
  QString scrollText;
  int64_t formatPanelState = kFormatPanelAbsent;
  std::optional<GridRange> selection;
  std::optional<GridPoint> active;
  const bool isFile = !filePath().isEmpty();

  while (decoder.getNextTag()) {
    switch (XmlTagOf(decoder)) {
      case kXmlActive:
        active = CellPointFromString(decoder.value());
        break;
      case kXmlAppVer:
      case kXmlSpreadsheet:
      case kXmlSysVer:
        break;
      case kXmlColor:
        setStripeKolor(KolorFromString(decoder.value()));
        break;
      case kXmlCols:
        if (decoder.endTag()) break;
        mutableColumns().clear();
        ReadGroup(decoder, kXmlCol, [&] {
          std::unique_ptr<CAColumn> column = CAColumn::withXml(decoder);
          if (IsOnGrid({column->gridX(), 0})) mutableColumns().push_back(std::move(column));
        });
        SortByKeyKeepingLast(mutableColumns(), [](const CAColumn& column) { return column.gridX(); });
        break;
      case kXmlConstrain:
        setConstrainText(Flag(decoder));
        break;
      case kXmlDigits:
        setDefaultDigitCount(decoder.integerValue());
        break;
      case kXmlFillPage:
        setFillPages(Flag(decoder));
        break;
      case kXmlFontSize: {
        const double size = double(decoder.integerValue()) / 10.0;
        if (size >= kMinimumFontSize && size <= kMaximumFontSize) fontSize = size;
        break;
      }
      case kXmlFont:
        fontName = decoder.value();
        break;
      case kXmlFormatPanel:
        formatPanelState = decoder.integerValue();
        break;
      case kXmlFormat:
        setDefaultFormat(CAFormat::withXml(decoder));
        break;
      case kXmlFrame:
        windowRect = WindowRectWithinReach(RectFromString(decoder.value()));
        break;
      case kXmlHeaderOffset:
        setHeaderOffset(Distance(decoder.longValue()));
        break;
      case kXmlBackup:
        setMakeBackups(Flag(decoder));
        break;
      case kXmlMarginBottom:
        setBottomMargin(Distance(decoder.longValue()));
        break;
      case kXmlMarginLeft:
        setLeftMargin(Distance(decoder.longValue()));
        break;
      case kXmlMarginRight:
        setRightMargin(Distance(decoder.longValue()));
        break;
      case kXmlMarginTop:
        setTopMargin(Distance(decoder.longValue()));
        break;
      case kXmlMaxPoint:
        setMaxDisplayGridPoint(CellPointFromString(decoder.value()));
        break;
      case kXmlMinHigh:
        setMinimumHeight(Distance(decoder.longValue()));
        break;
      case kXmlOnlyOccupied:
        setShowOnlyOccupied(Flag(decoder));
        break;
      case kXmlPad: {
        const GridPoint padding = PaddingFromString(decoder.value());
        setCellPadding(GridPoint{Distance(padding.x), Distance(padding.y)});
        break;
      }
      case kXmlPix:
        if (isFile) LogAssert(kPicturesInFile, __func__, __FILE__, __LINE__);
        if (decoder.endTag()) break;
        ReadGroup(decoder, kXmlPic, [&] {
          const QString id = decoder.stringAttributeForTag(XmlName(kXmlId));
          // The id names the picture's file when the document is next saved in place.
          if (!IsValidPictureId(id)) {
            LogAssert(kBadPictureId, __func__, __FILE__, __LINE__);
            return;
          }
          const int32_t format = int32_t(decoder.decodeAttribute(XmlName(kXmlFormat), ImageFormatWords()));
          (void)CAPicture::withArchive(decoder.value(), id, format, this);
        });
        break;
      case kXmlFooter:
        setFooter(decoder.value());
        break;
      case kXmlGrid:
        setPrintGrid(Flag(decoder));
        break;
      case kXmlHeader:
        setHeader(decoder.value());
        break;
      case kXmlPrint: {
        // The print settings' archive is kept as it came and written back; it is never
        // unarchived, so a file cannot make the reader build objects of its choosing.
        const std::optional<QByteArray> archive = NewDataFromBase64String(decoder.value());
        if (archive && !archive->isEmpty()) setPrintInfo(*archive);
        break;
      }
      case kXmlLabels:
        setPrintLabels(Flag(decoder));
        break;
      case kXmlRedFormulas:
        setRedFormulas(Flag(decoder));
        break;
      case kXmlRowHeight:
        if (decoder.endTag()) break;
        for (const std::unique_ptr<CARow>& existing : rows()) {
          existing->setMinimumHeight(0);
          existing->setNeedCalculate(true);
        }
        ReadGroup(decoder, kXmlRow, [&] {
          const int64_t y = decoder.integerAttributeForTag(XmlName(kXmlY));
          if (IsGridCoordinate(y)) {
            rowImperative(y)->loadFromXml(decoder, this);
          } else {
            PassOver(decoder);
          }
        });
        break;
      case kXmlRows: {
        if (decoder.endTag()) break;
        for (const std::unique_ptr<CARow>& row : rows()) row->dropReferencesOfCells(*this);
        RowList& list = mutableRows();
        list.clear();
        // Rows in order, as files have them, refer to others as soon as they are read: the
        // reference table then grows along with the cells, in memory the cells' own reading
        // gave back, rather than all at once at the end.
        bool inOrder = true;
        ReadGroup(decoder, kXmlRow, [&] {
          std::unique_ptr<CARow> row = CARow::withXml(decoder, this);
          if (!IsGridCoordinate(row->gridY())) return;
          if (inOrder && !list.empty() && list.back()->gridY() >= row->gridY()) {
            // Out of order: what was referred to so far is taken back and done once sorted.
            inOrder = false;
            for (const std::unique_ptr<CARow>& placed : list) placed->dropReferencesOfCells(*this);
          }
          list.push_back(std::move(row));
          if (inOrder) {
            list.back()->addReferencesOfCells(*this);
            if (decoder.metered()) FLReadingMeter::Checkpoint(ReferencePieces(*list.back()));
          }
        });
        if (!inOrder) {
          // A file out of order still gives an ordered sheet; of two rows with one y the later wins.
          SortByKeyKeepingLast(list, [](const CARow& row) { return row.gridY(); });
          // Only the cells that were kept, at the points where they are kept, refer to others.
          // A metered reading grows the table on its meter, as it did the cells: one the meter
          // stops is let go whole.
          for (const std::unique_ptr<CARow>& row : list) {
            if (decoder.metered() && !FLReadingMeter::Checkpoint(ReferencePieces(*row))) break;
            row->addReferencesOfCells(*this);
          }
        }
        break;
      }
      case kXmlScale:
        setScaleToFit(Flag(decoder));
        break;
      case kXmlScroll:
        scrollText = decoder.value();
        break;
      case kXmlSel:
        selection = SelectionFromString(decoder.value());
        break;
      case kXmlSeparators:
        // Written ahead of the rows; without it the formulas read as the user writes them.
        if (const std::optional<CAFormulaSeparators> written = FormulaSeparatorsFromString(decoder.value()))
          separators.setWritten(*written);
        break;
      case kXmlBreaks:
        setShowPageBreaks(Flag(decoder));
        break;
      case kXmlFormulas:
        setShowFormulas(Flag(decoder));
        break;
      case kXmlSource:
        if (isFile) LogAssert(kSourceInFile, __func__, __FILE__, __LINE__);
        break;
      case kXmlStripe: {
        const int64_t interval = decoder.integerValue();
        setStripeInterval(interval < 0 ? 0 : uint64_t(interval));
        break;
      }
      case kXmlNoPreview:
        setNoPreview(Flag(decoder));
        break;
      case kXmlTitleCol:
        setTitleColumn(Flag(decoder));
        break;
      case kXmlTitleRow:
        setTitleRow(Flag(decoder));
        break;
      case kXmlWidth:
        setDefaultWidth(Distance(decoder.longValue()));
        break;
      case kXmlZoom: {
        const int64_t percent = decoder.integerValue();
        if (percent >= CADocument::kMinimumZoomPercent && percent <= CADocument::kMaximumZoomPercent)
          setZoomValue(double(percent) / 100.0);
        break;
      }
      default:
        // End tags of the groups and of the root arrive here too; only elements are unknown.
        if (decoder.startTag()) {
          LogAssert(kUnknownDocumentTag, __func__, __FILE__, __LINE__);
          PassOver(decoder);
        }
        break;
    }
  }

  // The selection's start is its active cell unless the archive names another.
  if (selection) setSelectionRange(*selection);
  if (active) setActiveCellPoint(*active);

  if (!fontName.isEmpty()) {
    const QString mapped = MapFontName(fontName);
    const std::optional<QFont> font = FontWithName(mapped, fontSize);
    setFont(font ? *font : UserFont(fontSize));
  }

  CAPackageWindow* window = PackageWindowOf(*this);
  if (!window) return;
  if (isFile) {
    if (windowRect && windowRect->width() >= kMinimumContentWidth && windowRect->height() >= kMinimumContentHeight)
      window->setContentRect(*windowRect);
    else if (windowRect)
      window->placeAtStandardSize();
    if (formatPanelState == 0) window->forceFormatPanelClosed();
  }
  if (!scrollText.isNull()) {
    // The window scrolls once it has been laid out, on the next turn of the event loop; a window
    // that goes away before then is not asked.
    if (QObject* context = dynamic_cast<QObject*>(window)) {
      QTimer::singleShot(0, context, [window, scrollText] { window->scrollToGridPoint(scrollText); });
    } else {
      window->scrollToGridPoint(scrollText);
    }
  }
}

void CADocument::saveDocumentInfo(FLXmlEncoder& encoder, bool forUndo) {
  const auto flag = [&](CAXmlTag tag, bool on) {
    if (on) encoder.addTag(XmlName(tag), int64_t(1));
  };
  encoder.addTag(XmlName(kXmlAppVer), g_appVersionString);
  encoder.addTag(XmlName(kXmlSysVer), g_systemVersionString);
  flag(kXmlBackup, makeBackups());
  flag(kXmlNoPreview, noPreview());
  flag(kXmlConstrain, constrainText());
  flag(kXmlFormulas, showFormulas());
  flag(kXmlRedFormulas, redFormulas());
  flag(kXmlOnlyOccupied, showOnlyOccupied());
  flag(kXmlTitleRow, titleRow());
  flag(kXmlTitleCol, titleColumn());
  encoder.addTag(XmlName(kXmlFont), FontName(font()));
  encoder.addTag(XmlName(kXmlFontSize), Scaled(font().pointSizeF(), 10.0));
  defaultFormat().saveToXml(encoder, nullptr);
  encoder.addTag(XmlName(kXmlPad), StringWithFormat(kPaddingFormat, cellPadding().x, cellPadding().y));
  encoder.addTag(XmlName(kXmlMaxPoint), StringFromGridPoint(maxDisplayGridPoint()));
  if (defaultDigitCount() < 0)
    encoder.addTag(XmlName(kXmlWidth), defaultWidth());
  else if (defaultDigitCount() > 0)
    encoder.addTag(XmlName(kXmlDigits), defaultDigitCount());
  if (minimumHeight() != 0) encoder.addTag(XmlName(kXmlMinHigh), minimumHeight());
  if (stripeInterval() != 0) {
    encoder.addTag(XmlName(kXmlStripe), int64_t(stripeInterval()));
    encoder.addTag(XmlName(kXmlColor), NewKolorString(stripeKolor()));
  }
  CAPackageWindow* window = PackageWindowOf(*this);
  if (!forUndo) encoder.addTag(XmlName(kXmlFrame), StringFromRect(window ? window->contentRect() : QRectF()));
  encoder.addTag(XmlName(kXmlZoom), Scaled(zoomValue(), 100.0));
  encoder.addTag(XmlName(kXmlFormatPanel), int64_t(window && window->showingFormatPanel() ? 1 : 0));
  encoder.addTag(XmlName(kXmlSel), StringFromSelection(selectionRange()));
  encoder.addTag(XmlName(kXmlActive), StringFromGridPoint(activeCellPoint()));
  encoder.addTag(XmlName(kXmlScroll), StringFromGridPoint(window ? window->scrollPoint() : GridPoint{}));
  if (!header().isEmpty()) encoder.addTag(XmlName(kXmlHeader), header());
  if (!footer().isEmpty()) encoder.addTag(XmlName(kXmlFooter), footer());
  const auto distance = [&](CAXmlTag tag, int64_t emu) {
    if (emu != 0) encoder.addTag(XmlName(tag), emu);
  };
  distance(kXmlMarginTop, topMargin());
  distance(kXmlMarginBottom, bottomMargin());
  distance(kXmlMarginLeft, leftMargin());
  distance(kXmlMarginRight, rightMargin());
  distance(kXmlHeaderOffset, headerOffset());
  flag(kXmlGrid, printGrid());
  flag(kXmlLabels, printLabels());
  flag(kXmlBreaks, showPageBreaks());
  flag(kXmlScale, scaleToFit());
  flag(kXmlFillPage, fillPages());
  if (!printInfo().isEmpty()) encoder.addTag(XmlName(kXmlPrint), NewBase64StringFromBytes(printInfo()));
  // A package may be opened under another locale: its formulas' literals are read back with the
  // separators they were typed with.
  if (!forUndo) encoder.addTag(XmlName(kXmlSeparators), StringFromFormulaSeparators(UserFormulaSeparators()));
}

void CADocument::saveColumns(FLXmlEncoder& encoder) {
  if (columns().empty()) return;
  encoder.openTag(XmlName(kXmlCols));
  for (const std::unique_ptr<CAColumn>& column : columns()) column->saveToXml(encoder);
  encoder.closeTag(XmlName(kXmlCols));
}
