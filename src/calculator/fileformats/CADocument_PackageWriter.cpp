// Writing a document as its native package, as an autosave copy and as the cell archive of the
// clipboard. The document-level elements written here are also the head of every undo archive.
#include "calculator/fileformats/caPackageReader.h"
#include "calculator/model/caPackageWindow.h"
#include "calculator/fileformats/caPackageWriter.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caDocumentXml.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flBase64.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flImageSaving.h"
#include "framlet/foundation/flPasswords.h"
#include "framlet/foundation/flStringExtensions.h"
#include "framlet/shell/flSafeSave.h"
#include "platform/FLError.h"
#include "platform/StringWithFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>

#include <algorithm>
#include <cmath>

namespace {

// The XML goes to the file whenever this much of it has been written, so that saving a large
// sheet holds a piece of its text at a time rather than all of it.
constexpr qsizetype kXmlPieceBytes = qsizetype(1) << 20;

// Passes the settled text on once there is a piece of it.
bool PassOnPiece(FLXmlEncoder& encoder, CAPackageFileStream& file, FLError* error) {
  const QByteArrayView settled = encoder.settled();
  if (settled.size() < kXmlPieceBytes) return true;
  if (!file.write(settled, error)) return false;
  encoder.discardSettled();
  return true;
}

// Writes "rows" with every row; NO with the error when a cell could not be written or the file
// refused a piece.
bool SaveRows(CADocument& document, FLXmlEncoder& encoder, CAPackageFileStream& file, FLError* error) {
  if (document.rows().empty()) return true;
  encoder.openTag(XmlName(kXmlRows));
  for (const std::unique_ptr<CARow>& row : document.rows()) {
    FLError cellError;
    row->saveToXml(encoder, &document, &cellError);
    if (!cellError.reason.isEmpty() || cellError.code != 0) {
      if (error) *error = cellError;
      return false;
    }
    if (!PassOnPiece(encoder, file, error)) return false;
  }
  encoder.closeTag(XmlName(kXmlRows));
  return true;
}

// A package folder being written: removed with what it holds unless the writing got to the end.
// The removal allocates nothing (the path is encoded beforehand), as it runs while a failed
// allocation unwinds the writing.
class PackageUnderConstruction {
 public:
  explicit PackageUnderConstruction(const QString& path) : path_(QFile::encodeName(path)) {}
  ~PackageUnderConstruction() {
    if (!complete_) RemoveItemQuietlyAt(AT_FDCWD, path_.constData());
  }
  PackageUnderConstruction(const PackageUnderConstruction&) = delete;
  PackageUnderConstruction& operator=(const PackageUnderConstruction&) = delete;
  void setComplete() { complete_ = true; }

 private:
  QByteArray path_;
  bool complete_ = false;
};

}  // namespace

void CADocument::preparePicturesForSave(bool inPlace) {
  for (const std::shared_ptr<CAPicture>& picture : pictures()) {
    picture->setSaved(false);
    picture->setSaveGuid(inPlace ? picture->guid() : guidString());
  }
}

std::vector<std::shared_ptr<CAPicture>> CADocument::copyUsedPictures() const {
  std::vector<std::shared_ptr<CAPicture>> used;
  for (const std::shared_ptr<CAPicture>& picture : pictures())
    if (picture->saved()) used.push_back(picture);
  // In guid order, so the same document always gives the same files and archive.
  std::sort(used.begin(), used.end(),
            [](const auto& a, const auto& b) { return a->guid() < b->guid(); });
  return used;
}

bool CADocument::saveToNativeFile(const QString& path, bool inPlace, FLError* error) {
  preparePicturesForSave(inPlace);
  // Made before the folder, so that nothing it takes can fail once the folder is there.
  PackageUnderConstruction construction(path);
  if (!CreatePackageFolder(path, error)) return false;
  const QDir package(path);

  FLXmlEncoder encoder(kXmlPieceBytes + kXmlPieceBytes / 4);
  CAPackageFileStream file;
  {
    // The flag is cleared however the writing of the cells ends.
    FlagScope passwordScope(*this, &CADocument::setSaveWithPassword, false);
    if (!password().isNull()) {
      SetEncryptionPassword(password());
      setSaveWithPassword(true);
      if (!WritePackageTextFile(package.filePath(QLatin1String(kPasswordFileName)),
                                PasswordFileText(password(), passwordHint()), error))
        return false;
    }
    if (!file.open(package.filePath(QLatin1String(kDocumentXmlName)), error)) return false;
    encoder.addAttribute(XmlName(kXmlVer), int64_t(kSpreadsheetXmlVersion));
    encoder.openTag(XmlName(kXmlSpreadsheet));
    saveDocumentInfo(encoder, false);
    saveColumns(encoder);
    if (!SaveRows(*this, encoder, file, error)) return false;
    encoder.closeTag(XmlName(kXmlSpreadsheet));
    if (!file.write(encoder.utf8(), error) || !file.close(error))
      return false;
  }

  // A protected document gets no preview: it would show the cells the password keeps.
  if (!noPreview() && !autosaving() && password().isNull()) {
    if (CAPackageWindow* window = PackageWindowOf(*this)) {
      QSizeF size;
      const QByteArray pdf = window->pdfOfDocument(&size, nullptr);
      if (!pdf.isEmpty()) {
        if (std::unique_ptr<FLImage> image = FLImage::withData(pdf, size))
          SaveQuicklookImage(image.get(), path);
      }
    }
  }

  bool result = true;
  const std::vector<std::shared_ptr<CAPicture>> used = copyUsedPictures();
  if (!used.empty()) {
    const QString images = package.filePath(QLatin1String(kImagesFolderName));
    result = CreatePackageFolder(images, error);
    for (auto it = used.rbegin(); result && it != used.rend(); ++it)
      result = (*it)->saveToFolder(images, error);
  }

  if (autosaving()) {
    // A copy whose path could not be written is no copy to rely on: the autosave says it failed
    // and the earlier copy stays, rather than swapping in one that a full disk cut short.
    const QString original = filePath().isEmpty() ? QLatin1String(kUntitledPathText) : filePath();
    if (result) result = WritePackageTextFile(package.filePath(QLatin1String(kAutosavePathFileName)), original, error);
  } else if (fileCreationDate() != 0) {
    // Linux cannot give a file a creation date: the package keeps the one it was made with.
    setFileCreationDate(0);
  }
  if (result) result = SyncPackage(path, error);
  if (result) construction.setComplete();
  return result;
}

QString CADocument::archiveSelection() {
  FLXmlEncoder encoder;
  preparePicturesForSave(true);
  encoder.addAttribute(XmlName(kXmlVer), int64_t(kSpreadsheetXmlVersion));
  encoder.openTag(XmlName(kXmlSpreadsheet));
  encoder.addTag(XmlName(kXmlAppVer), g_appVersionString);
  encoder.addTag(XmlName(kXmlSource), StringWithFormat(kArchiveSourceFormat, QLatin1String(kDocumentClassName),
                                                       uint64_t(reinterpret_cast<uintptr_t>(this))));
  encoder.addTag(XmlName(kXmlSel), StringFromSelection(selectionRange()));
  encoder.addTag(XmlName(kXmlActive), StringFromGridPoint(activeCellPoint()));
  // A program under another locale may paste the cells: their formulas' literals are read with
  // the separators they were typed with, as a package's are.
  encoder.addTag(XmlName(kXmlSeparators), StringFromFormulaSeparators(UserFormulaSeparators()));

  GridRange range;
  const int32_t type = TypeOfRange(&range, selectionRange());
  const int64_t x0 = range.startPoint.x, x1 = range.endPoint.x;
  const int64_t y0 = range.startPoint.y, y1 = range.endPoint.y;
  encoder.saveInsertionPoint();
  if (type == kRangeColumns && !columns().empty()) {
    encoder.openTag(XmlName(kXmlCols));
    for (const std::unique_ptr<CAColumn>& column : columns())
      if (column->gridX() >= x0 && column->gridX() <= x1) column->saveToXml(encoder);
    encoder.closeTag(XmlName(kXmlCols));
  }
  bool wrote = false;
  if (!rows().empty()) {
    encoder.openTag(XmlName(kXmlRows));
    for (const std::unique_ptr<CARow>& row : rows()) {
      if (type != kRangeColumns && (row->gridY() < y0 || row->gridY() > y1)) continue;
      if (row->saveToXml(encoder, this, type == kRangeRows, x0, x1)) wrote = true;
    }
    encoder.closeTag(XmlName(kXmlRows));
  }
  if (!wrote) return QString();
  encoder.closeTag(XmlName(kXmlSpreadsheet));

  const std::vector<std::shared_ptr<CAPicture>> used = copyUsedPictures();
  encoder.beginInsertion();
  if (used.empty()) {
    encoder.cancelInsertion();
    return encoder.xml();
  }
  encoder.openTag(XmlName(kXmlPix));
  for (auto it = used.rbegin(); it != used.rend(); ++it) {
    int32_t format = 0;
    const QString data = (*it)->archive(&format);
    if (data.isEmpty()) continue;
    const std::span<const char* const> words = ImageFormatWords();
    const size_t word = format >= 0 && size_t(format) < words.size() ? size_t(format) : 0;
    encoder.addAttribute(XmlName(kXmlId), (*it)->guid());
    encoder.addAttribute(XmlName(kXmlFormat), QLatin1String(words[word]));
    encoder.addTag(XmlName(kXmlPic), data);
  }
  encoder.closeTag(XmlName(kXmlPix));
  encoder.endInsertion();
  return encoder.xml();
}
