// Reading the native package into a document: the pictures of "Images", the password file of a
// protected package, and "document.xml", whose document-level elements are also the body of
// the undo archives and of the cell archive on the clipboard.
#include "calculator/fileformats/caPackageReader.h"
#include "calculator/fileformats/caPackageWindow.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/flCollectionExtensions.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flBase64.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flPasswords.h"
#include "platform/FLError.h"
#include "platform/NotificationCenter.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QTimer>

namespace {

constexpr const char* kUnknownDocumentTag = "Unknown document tag";
constexpr const char* kPicturesInFile = "Pictures group found in file";
constexpr const char* kSourceInFile = "Document source found in file";
constexpr const char* kBadPictureId = "Picture id refused";
constexpr const char* kDamagedDocumentReason = "The document is damaged and can't be read.";
constexpr int kDamagedDocumentCode = -50;

constexpr double kInitialFontSize = 12.0;
// Sizes outside this range, in points, are not the user's: the size stays as it was.
constexpr double kMinimumFontSize = 1.0;
constexpr double kMaximumFontSize = 2000.0;
// Zoom percentages outside this range would leave nothing sensible to draw.
// A format panel state that no file writes.
constexpr int64_t kFormatPanelAbsent = -1;

// Distances (EMU) cannot be negative; a negative one in a file reads as 0.
int64_t Distance(int64_t emu) { return emu < 0 ? 0 : emu; }

bool Flag(const FLXmlDecoder& decoder) { return decoder.integerValue() != 0; }

// The framework's part of opening a package: the document knows its file, the window its title.
void RecordPackagePath(CADocument& document, const QString& path) {
  document.setFilePath(path);
  if (CAPackageWindow* window = PackageWindowOf(document)) window->synchronizeWindowTitle();
}

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

}  // namespace

bool CADocument::loadNativeFile(const QString& path) { return loadNativeFileCore(path, nullptr); }

bool CADocument::loadNativeFileCore(const QString& path, FLError* error) {
  const QDir package(path);
  const QString imagesPath = package.filePath(QLatin1String(kImagesFolderName));
  if (QFileInfo(imagesPath).isDir()) {
    // Sorted so that of two files naming the same picture the same one wins every time: walking
    // from the last, the first name is entered last.
    const QStringList names =
        QDir(imagesPath).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (qsizetype i = names.size() - 1; i >= 0; --i) {
      const QString& name = names[i];
      if (name.startsWith(QLatin1Char('.'))) continue;
      const QString file = QDir(imagesPath).filePath(name);
      if (!IsRegularFileOfAtMost(file, kMaxPictureFileSize) ||
          !CAPicture::withFile(file, QFileInfo(name).completeBaseName(), this)) {
        SetError(error, kImageUnreadableCode, QLatin1String(kImageUnreadableReason));
        return false;
      }
    }
  }

  bool result;
  const QString passwordPath = package.filePath(QLatin1String(kPasswordFileName));
  if (QFileInfo::exists(passwordPath)) {
    const std::optional<CAPasswordFile> passwordFile = ReadPasswordFile(passwordPath);
    if (!passwordFile) {
      SetError(error, kDamagedDocumentCode, QLatin1String(kDamagedDocumentReason));
      return false;
    }
    setPassword(passwordFile->checkValue);
    setPasswordHint(passwordFile->hint);
    RecordPackagePath(*this, path);
    // The window asks for the password once the document is in place; the XML waits for it.
    NotificationQueue::defaultQueue().enqueue(
        Notification{QLatin1String(kPasswordNotification), this, {}}, PostingStyle::WhenIdle);
    result = true;
  } else {
    RecordPackagePath(*this, path);
    result = loadXmlFile(error);
  }

  if (QFileInfo(path).suffix().compare(QLatin1String(kAutosaveExtension), Qt::CaseInsensitive) == 0) {
    setAutosaveRecoveryDoc(true);
    setLocked(true);
  }
  return result;
}

bool CADocument::loadXmlFile(FLError* error) {
  if (filePath().isEmpty()) return false;
  const QString xmlPath = QDir(filePath()).filePath(QLatin1String(kDocumentXmlName));
  // Only a regular file of a sane size is read: a FIFO or a device in its place would hang the
  // open or fill the memory.
  if (QFileInfo::exists(xmlPath) && !IsRegularFileOfAtMost(xmlPath, kMaxDocumentXmlSize)) {
    SetError(error, kDamagedDocumentCode, QLatin1String(kDamagedDocumentReason));
    return false;
  }
  const std::optional<QByteArray> bytes = ReadRegularFile(xmlPath, kMaxDocumentXmlSize);
  std::unique_ptr<FLXmlDecoder> decoder = bytes ? FLXmlDecoder::withData(*bytes) : nullptr;
  if (!decoder) return false;
  PrepareSpreadsheetDecoder(*decoder);
  if (!decoder->getNextTag() || XmlTagOf(*decoder) != kXmlSpreadsheet) return false;

  if (!password().isNull()) {
    // The cells were enciphered under the stored check value, never under the typed password.
    SetEncryptionPassword(password());
    setPasswordUnlocked(true);
  }

  // What an absent element means.
  setConstrainText(false);
  setShowFormulas(false);
  setRedFormulas(false);
  setShowOnlyOccupied(false);
  setTitleRow(false);
  setTitleColumn(false);
  setPrintGrid(false);
  setPrintLabels(false);
  setScaleToFit(false);
  setFillPages(false);
  setShowPageBreaks(false);
  setMakeBackups(false);
  setNoPreview(false);
  setHeaderOffset(0);
  setTopMargin(0);
  setBottomMargin(0);
  setLeftMargin(0);
  setRightMargin(0);
  setStripeInterval(0);
  setDefaultDigitCount(0);
  setMinimumHeight(0);

  setOpenWithPassword(true);
  loadFromXml(*decoder);
  setOpenWithPassword(false);

  // Malformed or cut-off XML would leave a part of the sheet that a later save would write over
  // the whole: the document is refused instead.
  if (!decoder->error().isEmpty() || decoder->level() != 0) {
    SetError(error, kDamagedDocumentCode, QLatin1String(kDamagedDocumentReason));
    return false;
  }
  return true;
}

void CADocument::loadFromXml(FLXmlDecoder& decoder) {
  PrepareSpreadsheetDecoder(decoder);
  double fontSize = kInitialFontSize;
  QString fontName;
  QRectF windowRect;
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
        windowRect = RectFromString(decoder.value());
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
        ReadGroup(decoder, kXmlRow, [&] {
          std::unique_ptr<CARow> row = CARow::withXml(decoder, this);
          if (IsGridCoordinate(row->gridY())) list.push_back(std::move(row));
        });
        // A file out of order still gives an ordered sheet; of two rows with one y the later wins.
        SortByKeyKeepingLast(list, [](const CARow& row) { return row.gridY(); });
        // Only the cells that were kept, at the points where they are kept, refer to others.
        for (const std::unique_ptr<CARow>& row : list) row->addReferencesOfCells(*this);
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
    if (!windowRect.isEmpty()) window->setContentRect(windowRect);
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
