// The document's life as a file: the save dispatch by file type, attaching to a file saved
// under a new name, revert, and the autosave that keeps a recovery copy of an edited document
// in the support folder while it is open.
#include "calculator/model/CADocument.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caDocumentServices.h"
#include "calculator/model/caDocumentXml.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flStringExtensions.h"
#include "framlet/shell/FLUndoManager.h"
#include "platform/FLError.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>
#include <QBasicTimer>
#include <QTimerEvent>

#include <cerrno>
#include <exception>
#include <new>

namespace {

// The autosave tick, told to the document by the timer itself and kept by a basic timer: a
// connection is made in two allocations, and Qt loses the first when the second fails; a timer
// started through the object is registered before it is noted, and one whose note failed would
// tick on after the object is gone.
class AutosaveTimer : public QTimer {
 public:
  AutosaveTimer(CADocument* document, void (*fire)(CADocument*)) : document_(document), fire_(fire) {}
  void begin() { tick_.start(interval(), this); }

 protected:
  void timerEvent(QTimerEvent* event) override {
    if (event->timerId() == tick_.timerId())
      fire_(document_);
    else
      QTimer::timerEvent(event);
  }

 private:
  CADocument* document_;
  void (*fire_)(CADocument*);
  QBasicTimer tick_;
};

constexpr int kUnknownFormatCode = -50;
constexpr const char* kUnknownFormatReason = "Unknown file format.";
// A type the program will write but cannot yet.
constexpr int kNotAvailableCode = -4;
constexpr const char* kNotAvailableFormat = "Saving as %@ is not available yet.";
constexpr const char* kAutosaveExceptionText = "Autosave failed";
constexpr const char* kCantRevertMessage = "Can't revert missing file.";
constexpr const char* kCantFindOriginalInfo =
    "I can't revert the file because I can't find the original. It may have been moved to the Trash.";
constexpr const char* kCantReopenOriginalInfo = "I can't revert the file because I can't reopen the original.";

constexpr const char* kPageOfPagesFormat = "%d of %d";
constexpr const char* kPageSlashPagesFormat = "%d/%d";

constexpr int kAutosaveTickMilliseconds = 1000;
constexpr double kAutosaveQuietSeconds = 5.0;
constexpr double kAutosaveIntervalSeconds = 120.0;

// The types whose writers belong to the program, by name for the message of a missing one.
QString WrittenTypeName(int32_t fileType) {
  switch (fileType) {
    case kFileTypeCsv: return QStringLiteral("comma-separated text");
    case kFileTypeDif: return QStringLiteral("DIF");
    case kFileTypeNative: return QStringLiteral("a spreadsheet");
    case kFileTypeRtf: return QStringLiteral("RTF");
    case kFileTypeRtfd: return QStringLiteral("RTFD");
    case kFileTypeText: return QStringLiteral("tab-separated text");
    case kFileTypeHtml: return QStringLiteral("HTML");
    case kFileTypePdf: return QStringLiteral("PDF");
    default: return QString();
  }
}

QString DisplayName(const CADocument& document) {
  return document.filePath().isEmpty() ? QLatin1String(kUntitledPathText)
                                       : QFileInfo(document.filePath()).fileName();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Saving

bool CADocument::saveCore(const QString& path, bool inPlace, FLError* error) {
  const int32_t fileType = FileTypeForFile(path);
  const QString typeName = WrittenTypeName(fileType);
  if (typeName.isEmpty()) {
    SetError(error, kUnknownFormatCode, QLatin1String(kUnknownFormatReason));
    return false;
  }
  const auto& writers = FileFormatServices().writers;
  const auto found = writers.find(fileType);
  if (found == writers.end() || !found->second) {
    SetError(error, kNotAvailableCode, StringWithFormat(kNotAvailableFormat, typeName));
    return false;
  }
  // A recalculation that ran out of memory left its cells to compute: they are computed before
  // their values are written, or nothing is written.
  if (recalcUnfinished()) {
    try {
      evaluate();
    } catch (const std::bad_alloc& exception) {
      LogException(exception, CommandMemoryMessage());
      SetError(error, ENOMEM, CommandMemoryMessage(), kFLPosixErrorDomain);
      return false;
    }
  }
  return found->second(*this, path, inPlace, error);
}

bool CADocument::fileIsEnciphered(const QString& path) const {
  if (FileTypeForFile(path) != kFileTypeNative) return false;
  const QFileInfo passwordFile(QDir(path).filePath(QLatin1String(kPasswordFileName)));
  return QFileInfo(path).isDir() && (passwordFile.exists() || passwordFile.isSymLink());
}

void CADocument::prepareToSave(bool inPlace) {
  // The save that follows writes a sheet without pictures as a plain ".html" file and names it
  // so; one with pictures becomes a folder without the extension.
  if (!inPlace) setKeepHtmlExtension(!hasImages());
  NotificationCenter::defaultCenter().post(QLatin1String(kNormalizeNotification));
}

void CADocument::attachToSavedFile() {
  adoptSavedPictureNames();
  if (FLUndoManager* manager = undoManager()) {
    manager->clearUndo();
    manager->newUndoID();
  }
  if (controller_) controller_->updateUndoTool();
  autosaveTime_ = ModelNow();
  setAutosaveRecoveryDoc(false);
}

bool CADocument::revert() {
  const QString path = filePath();
  const auto alert = [this](const char* information) {
    if (controller_) controller_->giveAlert(QLatin1String(kCantRevertMessage), QLatin1String(information));
  };
  if (path.isEmpty() || !QFileInfo::exists(path)) {
    alert(kCantFindOriginalInfo);
    return false;
  }
  if (controller_) controller_->setWindowVisible(false);
  setFilePath(QString());
  ApplicationOpenDocument(path);
  if (!ApplicationHasWindowForFile(path)) {
    alert(kCantReopenOriginalInfo);
    setFilePath(path);
    if (controller_) controller_->setWindowVisible(true);
    return false;
  }
  setDirty(false);
  setLocked(true);
  if (controller_) controller_->performClose();
  return true;
}

void CADocument::pageBreaksChanged() {
  NotificationCenter::defaultCenter().post(QLatin1String(kPagesChangedNotification), this);
}

void CADocument::setPrintDate() { printDate_ = QDateTime::currentDateTime(); }

std::array<QString, 3> CADocument::headerStrings(bool footer, int64_t page, int64_t pageCount) const {
  HeaderVariables variables;
  InterpretHeaderString(footer ? footer_ : header_, variables);
  const QLocale locale;
  std::array<QString, 3> strings;
  for (size_t field = 0; field < strings.size(); ++field) {
    switch (variables[field]) {
      case kHeaderDate:
        strings[field] = locale.toString(printDate_.date(), QLocale::ShortFormat);
        break;
      case kHeaderLongDate:
        strings[field] = locale.toString(printDate_.date(), QLocale::LongFormat);
        break;
      case kHeaderFileName:
        strings[field] = QFileInfo(filePath()).completeBaseName();
        break;
      case kHeaderPage:
        strings[field] = QString::number(page);
        break;
      case kHeaderPageOfPages:
        strings[field] = StringWithFormat(kPageOfPagesFormat, page, pageCount);
        break;
      case kHeaderPageSlashPages:
        strings[field] = StringWithFormat(kPageSlashPagesFormat, page, pageCount);
        break;
      case kHeaderTime:
        strings[field] = locale.toString(printDate_.time(), QLocale::ShortFormat);
        break;
      default:
        break;
    }
  }
  return strings;
}

void CADocument::fillSheetFinished(bool success, const CAFillInfo& info) {
  if (success) fillUsingInfo(info);
}

// ---------------------------------------------------------------------------------------------
// Autosave

void CADocument::noteEdit() {
  setDirty(true);
  dirtySinceAutoSave_ = true;
  everEdited_ = true;
  lastEditTime_ = ModelNow();
}

void CADocument::enableAutosave() {
  if (!ModelPreferences().autoSave) {
    autosaveTimer_.reset();
    return;
  }
  if (autosaveTimer_) return;
  auto timer = std::make_unique<AutosaveTimer>(this, [](CADocument* document) { document->autosaveTimerFired(true); });
  timer->setInterval(kAutosaveTickMilliseconds);
  timer->begin();
  autosaveTimer_ = std::move(timer);
}

void CADocument::releaseAutoSave() {
  autosaveTimer_.reset();
  if (!autosavePath_.isEmpty()) RemovePackage(autosavePath_);
  autosavePath_.clear();
}

void CADocument::autosaveTimerFired(bool fromTimer) {
  if (autosaving_ || opening_ || isLocked() || !dirty() || !dirtySinceAutoSave_ || autosaveFailed_ ||
      autosaveRecoveryDoc_)
    return;
  if (controller_ && controller_->showsSheet()) return;
  if (!ModelPreferences().autoSave) return;
  // Without a support folder there is nowhere to keep a copy: nothing is tried, and nothing
  // stops a later autosave once the folder can be made.
  if (AutosaveFolder().isEmpty()) return;
  const double now = ModelNow();
  if (fromTimer && now - lastEditTime_ < kAutosaveQuietSeconds) return;
  if (now - autosaveTime_ < kAutosaveIntervalSeconds) return;
  forceAutosave();
}

void CADocument::forceAutosave() {
  if (autosaveFailed_) return;
  const QString folder = AutosaveFolder();
  if (folder.isEmpty()) return;
  FLError error;
  bool saved = false;
  QString fresh;
  const auto& writers = FileFormatServices().writers;
  const auto writer = writers.find(kFileTypeNative);
  if (writer == writers.end() || !writer->second) {
    error = FLError::withStatus(kNotAvailableCode,
                                StringWithFormat(kNotAvailableFormat, WrittenTypeName(kFileTypeNative)));
  } else {
    fresh = stringByAppendingFile(folder, guidString(), QLatin1String(kAutosaveExtension));
    autosaving_ = true;
    try {
      saved = writer->second(*this, fresh, false, &error);
    } catch (const std::exception& exception) {
      LogException(exception, QLatin1String(kAutosaveExceptionText));
      error = FLError::withStatus(kUnknownFormatCode, QLatin1String(kAutosaveExceptionText));
    }
    autosaving_ = false;
  }
  if (!saved) {
    LogString(kAutosaveFailedFormat, DisplayName(*this), error.reason);
    if (!fresh.isEmpty()) RemovePackage(fresh);
    autosaveFailed_ = true;
    return;
  }
  // The new copy is complete: only now may the older ones go.
  const QString named = stringByAppendingFile(folder, guid(), QLatin1String(kAutosaveExtension));
  RemovePackage(named);
  if (!autosavePath_.isEmpty() && autosavePath_ != named) RemovePackage(autosavePath_);
  autosavePath_ = QDir().rename(fresh, named) ? named : fresh;
  dirtySinceAutoSave_ = false;
  autosaveTime_ = ModelNow();
}
