#include "framlet/shell/FLDocument.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flFormatString.h"
#include "framlet/foundation/flStringExtensions.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLDocumentAppDelegate.h"
#include "framlet/shell/FLDocumentWC.h"
#include "framlet/shell/flSafeSave.h"
#include "platform/FLError.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QBasicTimer>
#include <QTimerEvent>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstring>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool g_keepHtmlExtension = false;
FLWriteAccessProbe g_writeAccessProbe;

// Whether this user may change what is in the folder: add, remove and rename its entries.
bool MayChangeFolder(const QString& path) {
  if (g_writeAccessProbe) return g_writeAccessProbe(path);
  return ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}

// Anything at the path, a dangling link included.
bool ItemExists(const QString& path) { return QFileInfo::exists(path) || QFileInfo(path).isSymLink(); }

// Links are followed to what they finally name (a dangling one to the name it holds); anything
// else is the path itself.
QString LinkTarget(const QString& path) {
  QFileInfo info(path);
  for (int hops = 0; hops < 40 && info.isSymLink(); ++hops) info.setFile(info.symLinkTarget());
  return info.isSymLink() ? path : info.absoluteFilePath();
}

// What a save does once its file is in place, in order.
enum AfterSaveStep : unsigned {
  kAttachStep = 1,        // the subclass takes the new file (a save under a new name)
  kTitleStep = 2,         // the window's title and lock state
  kUnmarkStep = 4,        // the window no longer marked changed
  kRenameStep = 8,        // the rename notification
  kRecentStep = 16,       // the recent documents
  kStampStep = 32,        // the note of the file as the save left it
};

// How soon a step that ran out of memory is tried again.
constexpr int kAfterSaveRetryMilliseconds = 100;

std::vector<const FLDocument*>& LiveDocuments() {
  static std::vector<const FLDocument*> documents;
  return documents;
}

}  // namespace

// The timer that does a save's remaining steps again. It calls the document itself rather than
// through a connection, whose making can fail for memory inside Qt and leave its part behind.
class FLAfterSaveTimer final : public QObject {
 public:
  explicit FLAfterSaveTimer(FLDocument& document) : document_(document) {}
  void start() { timer_.start(kAfterSaveRetryMilliseconds, this); }

 protected:
  void timerEvent(QTimerEvent* event) override {
    if (event->timerId() != timer_.timerId()) {
      QObject::timerEvent(event);
      return;
    }
    timer_.stop();
    document_.finishSave();
  }

 private:
  FLDocument& document_;
  QBasicTimer timer_;
};

FLDocument::FLDocument()
    : fileStamp_(std::make_unique<FLFileStamp>()), afterSaveTimer_(std::make_unique<FLAfterSaveTimer>(*this)) {
  LiveDocuments().push_back(this);
}

FLDocument::~FLDocument() { std::erase(LiveDocuments(), this); }

void FLDocument::finishSave() {
  const auto step = [this](unsigned which, const auto& action) {
    if ((afterSave_ & which) == 0) return;
    try {
      action();
      afterSave_ &= ~which;
    } catch (const std::bad_alloc& exception) {
      LogException(exception, QStringLiteral("After the save"));
    }
  };
  step(kAttachStep, [this] {
    // Tried twice at most: later, the undo steps it would clear are the user's new edits.
    if (std::exchange(attachTried_, true)) afterSave_ &= ~kAttachStep;
    attachToSavedFile();
  });
  step(kTitleStep, [this] { setWindowTitle(); });
  step(kUnmarkStep, [this] {
    if (QWidget* window = windowController_ ? windowController_->window() : nullptr) window->setWindowModified(false);
  });
  step(kRenameStep, [this] { NotificationCenter::defaultCenter().post(QLatin1String(kDocumentRenameNotification), this); });
  step(kRecentStep, [this] {
    if (FLDocumentAppDelegate* delegate = FLDocumentAppDelegate::sharedDelegate()) delegate->recordRecentFile(filePath_);
  });
  step(kStampStep, [this] { noteFileStamp(); });
  if (afterSave_ == 0) return;
  try {
    afterSaveTimer_->start();
  } catch (const std::bad_alloc& exception) {
    // Tried again at the next save.
    LogException(exception, QStringLiteral("After the save"));
  }
}

void FLDocument::setKeepHtmlExtension(bool keep) { g_keepHtmlExtension = keep; }

bool FLDocument::keepHtmlExtension() { return g_keepHtmlExtension; }

bool FLDocument::saveCore(const QString& /*path*/, bool /*inPlace*/, FLError* /*error*/) { return false; }

QString FLDocument::untitledWindowName() const {
  const QString name = QApplication::translate("FLDocument", kUntitledWindowName);
  const auto taken = [this](int number) {
    return std::any_of(LiveDocuments().begin(), LiveDocuments().end(), [this, number](const FLDocument* other) {
      return other != this && other->filePath_.isEmpty() && other->untitledNumber_ == number;
    });
  };
  if (untitledNumber_ == 0 || taken(untitledNumber_)) {
    untitledNumber_ = 1;
    while (taken(untitledNumber_)) ++untitledNumber_;
  }
  return untitledNumber_ == 1 ? name : name + QLatin1Char(' ') + QString::number(untitledNumber_);
}

void FLDocument::setFilePath(const QString& path) {
  filePath_ = path;
  noteFileStamp();
}

void FLDocument::noteFileStamp() {
  // Until the file is noted again, nothing is taken for another program's change.
  fileStamp_->valid = false;
  *fileStamp_ = FileStampOf(filePath_);
}

bool FLDocument::fileChangedSinceNoted() const {
  if (filePath_.isEmpty() || !fileStamp_->valid) return false;
  const FLFileStamp now = FileStampOf(filePath_);
  return now.valid && !(now == *fileStamp_);
}

bool FLDocument::keepsBackupWhenSavingTo(const QString& path) const {
  return makeBackups() && (!savesEnciphered(path) || fileIsEnciphered(path));
}

bool FLDocument::save() {
  if (filePath_.isEmpty()) {
    FLAssert(false, "No file path");
    return false;
  }
  return saveTo(filePath_, true, false);
}

void FLDocument::giveSaveAlert(const QString& information) const {
  FLAlert::sharedInstance().giveAlertMessage(QApplication::translate("FLDocument", kSaveFailedMessage), information);
}

bool FLDocument::saveTo(const QString& path, bool inPlace, bool asCopy) {
  // A link is kept a link: what it leads to is saved over, beside its own backup.
  const bool throughLink = QFileInfo(path).isSymLink();
  const QString target = throughLink ? LinkTarget(path) : path;
  const QFileInfo targetInfo(target);
  const QString folder = targetInfo.absolutePath();
  QString name = targetInfo.fileName();
  QString extension = pathExtension(name);
  QString finalPath = QDir(folder).filePath(name);
  // Steps after the save not yet done from an earlier one are done before this one.
  if (afterSave_ != 0) finishSave();
  finalSavePath_ = finalPath;
  // However the save ends, even for memory, it is no longer in progress.
  struct SaveInProgress {
    QString& path;
    ~SaveInProgress() { path = QString(); }
  } const inProgress{finalSavePath_};
  // Nothing of the save stays: the alert says why.
  const auto refuse = [this](const QString& information) {
    giveSaveAlert(information);
    finalSavePath_.clear();
    return false;
  };
  // A folder whose name came to us as something else than text cannot be reached by that text.
  if (!ItemExists(folder) && NameIsUnreadable(folder))
    return refuse(FormatString(kCantSaveFormat, name, QApplication::translate("FLDocument", kUnreadableNameReason)));
  RemoveStaleTemporaries(finalPath);
  FLSaveTemporary temporary(finalPath, extension);
  // Without its lock file a temporary could be taken for debris while it is written.
  if (!temporary.claimed())
    return refuse(FormatString(kCantSaveFormat, name, QString::fromLocal8Bit(std::strerror(temporary.claimError()))));

  // An HTML page with pictures is a folder of the page's name. A save never replaces something
  // it did not make, so an unrelated item of that name sends the folder to a free name.
  QString displacedName;
  if (!g_keepHtmlExtension && extension.compare(QLatin1String("html"), Qt::CaseInsensitive) == 0) {
    asCopy = true;
    name = fileNameMinusExtension(name);
    extension.clear();
    finalPath = QDir(folder).filePath(name);
    if (QFileInfo::exists(finalPath) || QFileInfo(finalPath).isSymLink()) {
      displacedName = name;
      finalPath = UniquePathInFolder(folder, name, QString());
      name = QFileInfo(finalPath).fileName();
    }
    finalSavePath_ = finalPath;
    RemoveStaleTemporaries(finalPath);
  }
  // What the user made read-only is not replaced: the save would have to take the old version
  // apart, which its permissions forbid, or leave it behind.
  if (ItemExists(finalPath) && IsFileLocked(finalPath))
    return refuse(FormatString(kCantSaveFormat, name, QApplication::translate("FLDocument", kReadOnlyReason)));

  // What the save replaces, as it was asked to: another program's change made while the new
  // version is written must not be lost without a question.
  const FLFileStamp targetAtStart = FileStampOf(finalPath);
  const bool hadPath = !filePath_.isEmpty();
  FLFileAttributes attributes = hadPath ? GetFileAttributes(filePath_) : FLFileAttributes();

  forceSaveCopy_ = false;
  FLError error;
  if (!saveCore(temporary.path(), inPlace, &error)) {
    temporary.discard();
    return refuse(FormatString(kCantSaveFormat, name,
                               error.reason.isEmpty() ? QApplication::translate("FLDocument", kUnrecognizedErrorText)
                                                      : error.reason));
  }
  temporary.setWritten();
  // Looked at once more just before the swap: the question a save asks before it writes (see
  // FLDocumentWC) comes at the next save, as the change is left in place.
  if (const FLFileStamp now = FileStampOf(finalPath); now.valid && !(now == targetAtStart)) {
    temporary.discard();
    return refuse(FormatString(kCantSaveFormat, name, QApplication::translate("FLDocument", kChangedWhileSavingReason)));
  }

  // A backup of a version in clear beside a protected one would keep in clear what the password
  // protects: none is made, and an earlier one goes once the protected version is in place. A
  // protected version replaced is kept as any other.
  const bool enciphered = savesEnciphered(finalPath);
  const QString backupSuffix = extension.isEmpty() ? QStringLiteral("~") : QStringLiteral("~.") + extension;
  const QString backupBase = DistinctNameWithin(fileNameMinusExtension(name),
                                                kLongestFileName - int(QFile::encodeName(backupSuffix).size()));
  const QString backupPath = stringByAppendingFile(folder, FormatString(kBackupNameFormat, backupBase), extension);
  const QString backup = keepsBackupWhenSavingTo(finalPath) ? backupPath : QString();
  QString savedPath = finalPath;
  // Saved through a link, the document keeps the name it was given.
  const QString linkPath = throughLink ? QFileInfo(path).absoluteFilePath() : QString();
  QString reason;
  bool backupFailed = false;
  // The new version is only beside its name: the document is not saved, and the copy stays
  // where the alert says.
  bool keptElsewhere = false;
  if (!ReplaceItemAtPath(temporary, finalPath, backup, &reason, &backupFailed, &savedPath)) {
    if (backupFailed || ItemExists(finalPath) || !temporary.holdsWrittenItem()) {
      // The previous version is still in place (or the new one is gone); the new one is not kept.
      temporary.discard();
      return refuse(backupFailed ? FormatString(kCantRenameBackupFormat, name, backup, reason)
                                 : FormatString(kCantSaveFormat, name, reason));
    }
    // Neither version is at the name: the new one stays, under a name that no save takes for
    // its own leftovers.
    savedPath = KeepTemporaryVisible(temporary, finalPath);
    if (QFileInfo(savedPath).fileName() == QFileInfo(temporary.path()).fileName()) temporary.keep();
    giveSaveAlert(FormatString(kSavedUnderTemporaryNameFormat, name, QFileInfo(savedPath).fileName(), reason));
    keptElsewhere = true;
  }
  // From here on the file is in place and the save is done: what follows is done or done again
  // later, and never turns it into a failure.
  const auto tidy = [](const char* what, const auto& action) {
    try {
      action();
    } catch (const std::bad_alloc& exception) {
      LogException(exception, QLatin1String(what));
    }
  };
  tidy("Removing the unprotected backup", [&] {
    if (enciphered && backup.isEmpty() && savedPath == finalPath && ItemExists(backupPath)) {
      if (!RemoveItemAtPath(backupPath)) LogString("Can't remove the unprotected backup %@", backupPath);
    }
  });
  tidy("Setting the saved file's attributes", [&] {
    if (hadPath && (inPlace || modifyFinderAttributes(attributes))) {
      if (!SetFileAttributes(savedPath, attributes)) LogString("Can't set the attributes of %@", savedPath);
    }
  });
  if (!displacedName.isEmpty()) {
    tidy("Telling of the other name", [&] {
      FLAlert::sharedInstance().giveAlertMessage(QApplication::translate("FLDocument", kSavedUnderOtherNameMessage),
                                                 FormatString(kSavedUnderOtherNameFormat, displacedName, name));
    });
  }

  if (keptElsewhere) return false;

  if (!asCopy && !forceSaveCopy_) {
    filePath_ = savedPath == finalPath && throughLink ? linkPath : savedPath;
    dirty_ = false;
    // Saving in place keeps the undo history; only a new file starts it afresh.
    afterSave_ = kTitleStep | kUnmarkStep | kRenameStep | kRecentStep | kStampStep | (inPlace ? 0u : kAttachStep);
    attachTried_ = false;
    finishSave();
  }
  return true;
}

bool IsFileLocked(const QString& path) {
  const FLFileAttributes attributes = GetFileAttributes(path);
  if (!attributes.valid) return false;
  if (attributes.immutable) return true;
  if (!QFileInfo(path).isWritable()) return true;
  if ((attributes.permissions & 0400) == 0 || (attributes.permissions & 0200) == 0) return true;
  // A package with a folder that its owner, or this user, may not change cannot be taken apart
  // when a save replaces it, nor its backup later: it is as read-only as the package itself
  // would be. (A folder of another user's is not this user's to empty, whatever its owner may.)
  if (attributes.folder) {
    if (!MayChangeFolder(path)) return true;
    QDirIterator parts(path, QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                       QDirIterator::Subdirectories);
    while (parts.hasNext()) {
      const QString part = parts.next();
      struct stat info {};
      if (::lstat(QFile::encodeName(part).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) continue;
      if ((info.st_mode & 0300) != 0300 || !MayChangeFolder(part)) return true;
    }
  }
  return false;
}

void SetWriteAccessProbe(FLWriteAccessProbe probe) { g_writeAccessProbe = std::move(probe); }

QString FLDocument::windowTitle() const {
  QString title = filePath_.isEmpty() ? untitledWindowName() : QFileInfo(filePath_).fileName();
  title += windowTitleSuffix();
  if (!filePath_.isEmpty() && locked_) title += QString::fromUtf8(kLockedTitleSuffix);
  return title;
}

void FLDocument::setWindowTitle() {
  if (!filePath_.isEmpty()) locked_ = IsFileLocked(filePath_);
  QWidget* window = windowController_ ? windowController_->window() : nullptr;
  if (!window) return;
  // The placeholder after the name is where the desktop shows the unsaved-changes mark.
  QString title = windowTitle();
  const QString name = filePath_.isEmpty() ? untitledWindowName() : QFileInfo(filePath_).fileName();
  title.insert(title.startsWith(name) ? name.size() : title.size(), QLatin1String("[*]"));
  window->setWindowTitle(title);
  window->setWindowFilePath(filePath_);
}

bool FLDocument::loadNativeFile(const QString& path) {
  filePath_ = path;
  noteFileStamp();
  setWindowTitle();
  return true;
}

bool FLDocument::revert() {
  if (QWidget* window = windowController_ ? windowController_->window() : nullptr) {
    window->setWindowModified(false);
    window->update();
    for (QWidget* child : window->findChildren<QWidget*>()) child->update();
  }
  dirty_ = false;
  return true;
}
