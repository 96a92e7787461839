// The document's life as a file: the save by file type and revert, which reads the saved file
// again into a fresh window.
#include "calculator/model/CADocument.h"

#include "calculator/model/CADocumentWindow.h"
#include "framlet/shell/FLDocumentAppDelegate.h"
#include "framlet/shell/FLDocumentWC.h"
#include "platform/FLError.h"

#include <QFileInfo>
#include <QWidget>

namespace {

constexpr int kUnknownFormatCode = -50;
constexpr const char* kUnknownFormatReason = "Unknown file format.";
constexpr const char* kCantRevertMessage = "Can't revert missing file.";
constexpr const char* kCantFindOriginalInfo =
    "I can't revert the file because I can't find the original. It may have been moved to the Trash.";

}  // namespace

bool CADocument::saveCore(const QString& path, bool inPlace, FLError* error) {
  if (FileTypeForFile(path) != kFileTypeNative) {
    SetError(error, kUnknownFormatCode, QLatin1String(kUnknownFormatReason));
    return false;
  }
  return saveToNativeFile(path, inPlace, error);
}

bool CADocument::revert() {
  const QString path = filePath();
  if (path.isEmpty() || !QFileInfo::exists(path)) {
    if (controller()) controller()->giveAlert(QLatin1String(kCantRevertMessage), QLatin1String(kCantFindOriginalInfo));
    return false;
  }
  FLDocumentAppDelegate* delegate = FLDocumentAppDelegate::sharedDelegate();
  FLDocumentWC* controller = windowController();
  if (!delegate || !controller) return FLDocument::revert();
  // The saved version opens in a window of its own (this one, still modified, is not reused for
  // it); then this one goes without asking.
  setFilePath(QString());
  if (!delegate->openFile(path, true)) {
    setFilePath(path);
    return false;
  }
  setDirty(false);
  delegate->closeWindow(controller->window(), controller);
  return true;
}
