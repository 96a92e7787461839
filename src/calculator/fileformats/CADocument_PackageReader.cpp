// Reading the native package into a document: the pictures of "Images", the password file of a
// protected package, and "document.xml", whose document-level elements are also the body of
// the undo archives and of the cell archive on the clipboard.
#include "calculator/fileformats/caPackageReader.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/model/caPackageWindow.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLImage.h"
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

#include <cerrno>
#include <new>

namespace {

constexpr const char* kDamagedDocumentReason = "The document is damaged and can't be read.";
constexpr int kDamagedDocumentCode = -50;
// Enough of a picture file for its signature.
constexpr qsizetype kPictureHeadBytes = 65536;

// The framework's part of opening a package: the document knows its file, the window its title.
void RecordPackagePath(CADocument& document, const QString& path) {
  document.setFilePath(path);
  if (CAPackageWindow* window = PackageWindowOf(document)) window->synchronizeWindowTitle();
}

}  // namespace

bool CADocument::loadNativeFileCore(const QString& path, FLError* error) {
  const QDir package(path);
  const QString imagesPath = package.filePath(QLatin1String(kImagesFolderName));
  if (QFileInfo(imagesPath).isDir()) {
    // Sorted so that of two files naming the same picture the same one wins every time: walking
    // from the last, the first name is entered last.
    const QStringList names =
        QDir(imagesPath).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    // Each file is told a picture by its first bytes now; it is decoded when a cell shows it,
    // so that pictures no cell shows cost nothing however large they are.
    FLKeyedTable<QString, QString> pending;
    for (qsizetype i = names.size() - 1; i >= 0; --i) {
      const QString& name = names[i];
      if (name.startsWith(QLatin1Char('.'))) continue;
      const std::optional<QString> file =
          PackageEntryPath(path, QLatin1String(kImagesFolderName) + QLatin1Char('/') + name);
      FLError headError;
      const std::optional<QByteArray> head =
          file ? ReadRegularFileHead(*file, kMaxPictureFileSize, kPictureHeadBytes, &headError) : std::nullopt;
      // A head that could not be held is memory that ran out, not a picture that is damaged.
      if (!head && headError.code == ENOMEM) throw std::bad_alloc();
      if (!head || !FLImage::isPictureData(*head, QFileInfo(name).suffix())) {
        SetError(error, kImageUnreadableCode, QLatin1String(kImageUnreadableReason));
        return false;
      }
      pending.insert(QFileInfo(name).completeBaseName(), *file);
    }
    setPendingPictureFiles(std::move(pending));
  }

  bool result;
  const std::optional<QString> passwordPath = PackageEntryPath(path, QLatin1String(kPasswordFileName));
  if (!passwordPath || QFileInfo::exists(*passwordPath)) {
    const std::optional<CAPasswordFile> passwordFile =
        passwordPath ? ReadPasswordFile(*passwordPath) : std::nullopt;
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
  const QString package = filePath().isEmpty() ? recoveredPackagePath() : filePath();
  if (package.isEmpty()) return false;
  const std::optional<QString> xmlPath = PackageEntryPath(package, QLatin1String(kDocumentXmlName));
  // Only a regular file of a sane size inside the package is read: a FIFO or a device in its
  // place would hang the open or fill the memory.
  if (!xmlPath || (QFileInfo::exists(*xmlPath) && !IsRegularFileOfAtMost(*xmlPath, kMaxDocumentXmlSize))) {
    SetError(error, kDamagedDocumentCode, QLatin1String(kDamagedDocumentReason));
    return false;
  }
  // Read through a mapping of the file: a large sheet's text is never held whole while it is read.
  FLError readError;
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withRegularFile(
      *xmlPath, kMaxDocumentXmlSize, FLXmlDecoder::kDefaultPieceSize, &readError);
  if (!decoder) {
    // A package without its document says nothing more; anything else says why.
    if (error && readError.code != ENOENT) *error = readError;
    return false;
  }
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
  const PictureReading pictures = takePictureReading();

  // Malformed or cut-off XML would leave a part of the sheet that a later save would write over
  // the whole: the document is refused instead. So is a file another program cut short while it
  // was read: what was read is not the document.
  if (decoder->fileChanged()) {
    SetError(error, 0, QLatin1String(FLXmlDecoder::kNotUnderstoodReason));
    return false;
  }
  if (!decoder->error().isEmpty() || decoder->level() != 0) {
    SetError(error, kDamagedDocumentCode, QLatin1String(kDamagedDocumentReason));
    return false;
  }
  if (pictures.unreadable > 0) {
    SetError(error, kImageUnreadableCode, QLatin1String(kImageUnreadableReason));
    return false;
  }
  // Pictures too large to decode are kept as they are, and said to be.
  if (pictures.pastBudget > 0) ShowImportPicturesAlert(package, pictures.pastBudget, true);
  if (pictures.pastDecodeLimit > 0) ShowImportPicturesPastDecodeLimitAlert(package, pictures.pastDecodeLimit, true);
  return true;
}
