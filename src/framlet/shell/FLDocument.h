// The framework's document base: what every document window's document has whatever it holds
// (its window controller, the file it was read from or saved to, unsaved changes, read-only
// state), the safe save that writes beside the target and swaps the result in, and the hooks a
// document class fills in to write and read its content.
#pragma once

#include <QString>

#include <functional>
#include <memory>

class FLDocumentWC;
class FLAfterSaveTimer;
struct FLError;
struct FLFileAttributes;
struct FLFileStamp;

inline constexpr const char* kDocumentRenameNotification = "fldocument.rename";
inline constexpr const char* kSaveFailedMessage = "Save failed.";
inline constexpr const char* kCantSaveFormat = "I can't save the document to \"%@\". %@";
inline constexpr const char* kCantRenameBackupFormat =
    "I can't rename the old version of \"%@\" to the backup name \"%@\": %@";
inline constexpr const char* kSavedUnderTemporaryNameFormat =
    "I can't save \"%@\" to the requested name; it was saved with the name \"%@\": %@";
inline constexpr const char* kReadOnlyReason = "It is read-only.";
inline constexpr const char* kChangedWhileSavingReason = "Another program changed it while it was being saved.";
inline constexpr const char* kUnrecognizedErrorText = "An unrecognized error occurred.";
inline constexpr const char* kBackupNameFormat = "%@~";
inline constexpr const char* kLockedTitleSuffix = " \u2014 [Locked]";
inline constexpr const char* kUntitledWindowName = "Untitled";
inline constexpr const char* kSavedUnderOtherNameMessage = "Saved under another name.";
inline constexpr const char* kSavedUnderOtherNameFormat =
    "Something named \"%@\" is already there, so the document was saved as \"%@\".";

class FLDocument {
 public:
  FLDocument();
  virtual ~FLDocument();
  FLDocument(const FLDocument&) = delete;
  FLDocument& operator=(const FLDocument&) = delete;

  // Not owned; cleared by prepareToClose.
  FLDocumentWC* windowController() const { return windowController_; }
  void setWindowController(FLDocumentWC* controller) { windowController_ = controller; }

  // Null while the document is untitled.
  const QString& filePath() const { return filePath_; }
  // Notes the file as it is now: it was just read.
  void setFilePath(const QString& path);
  // Whether another program has changed the document's file since the document last read or
  // wrote it (a file gone is not a change that a save could lose).
  bool fileChangedSinceNoted() const;
  // The target of the save in progress, so that a writer that is handed the temporary path can
  // learn the final name; null outside a save.
  const QString& finalSavePath() const { return finalSavePath_; }
  // A writer that exports rather than writing the document itself sets it: the document then
  // keeps its path and its unsaved state.
  bool forceSaveCopy() const { return forceSaveCopy_; }
  void setForceSaveCopy(bool copy) { forceSaveCopy_ = copy; }

  bool dirty() const { return dirty_; }
  void setDirty(bool dirty) { dirty_ = dirty; }

  bool locked() const { return locked_; }
  void setLocked(bool locked) { locked_ = locked; }

  // A private document (a help copy, a template in the support folder) is never reopened at launch.
  virtual bool privateDocument() const { return false; }

  // ---- Saving
  // Saves in place; NO without a path.
  bool save();
  // The safe save: the subclass writes to a temporary path beside the target, the old version
  // becomes the "~" backup (or goes), the new one takes the target's name. A copy leaves the
  // document's path and unsaved state alone. Failures are told in the shared alert.
  bool saveTo(const QString& path, bool inPlace, bool asCopy);
  // The window's title from the path, the suffix and the lock state (which it updates).
  void setWindowTitle();
  // The title setWindowTitle gives the window.
  QString windowTitle() const;
  // Whether what a save does once its file is in place (the window's title and changed mark,
  // the rename notification, the recent list, the note of the file) is all done: a part that ran
  // out of memory is done again on a later turn of the event loop.
  bool saveFinished() const { return afterSave_ == 0; }

  // An ".html" target becomes a folder named without the extension unless this is set (the
  // spreadsheet sets it when a sheet saves as one plain page).
  static void setKeepHtmlExtension(bool keep);
  static bool keepHtmlExtension();

  // ---- Hooks
  // Before a save from the save panel (NO) or in place.
  virtual void prepareToSave(bool /*inPlace*/) {}
  // Whether a save under a new name carries the previous file's attributes over.
  virtual bool modifyFinderAttributes(FLFileAttributes& /*attributes*/) { return false; }
  // Writes the content to the path, which does not exist yet; the base cannot.
  virtual bool saveCore(const QString& path, bool inPlace, FLError* error);
  // The document was saved under a new name and now belongs to that file.
  virtual void attachToSavedFile() {}
  // Takes the path, updates the title.
  virtual bool loadNativeFile(const QString& path);
  // Back to the saved version: the base forgets the changes and redraws the window.
  virtual bool revert();
  // Whether the document may not be changed.
  virtual bool isLocked() const { return locked_; }
  // The window is going away: the document lets go of it.
  virtual void prepareToClose() { windowController_ = nullptr; }
  virtual bool makeBackups() const { return true; }
  // Whether a save to this path writes the document enciphered (with a password): no backup of
  // the item it replaces is kept then, unless that item is enciphered too.
  virtual bool savesEnciphered(const QString& /*path*/) const { return false; }
  // Whether the file at the path is a document enciphered with a password.
  virtual bool fileIsEnciphered(const QString& /*path*/) const { return false; }
  // Whether a save to the path keeps what it replaces as the "~" backup.
  bool keepsBackupWhenSavingTo(const QString& path) const;
  // Appended to the window's title; empty for none.
  virtual QString windowTitleSuffix() const { return {}; }
  // "Untitled" for the first untitled document open, then "Untitled 2", ...: the lowest number
  // no other open untitled document shows.
  virtual QString untitledWindowName() const;

 private:
  void giveSaveAlert(const QString& information) const;
  void noteFileStamp();
  // Runs the steps still to do after a save; those that run out of memory stay for the timer.
  void finishSave();
  friend class FLAfterSaveTimer;

  FLDocumentWC* windowController_ = nullptr;
  QString filePath_;
  // The file as the document last read or wrote it.
  std::unique_ptr<FLFileStamp> fileStamp_;
  QString finalSavePath_;
  bool forceSaveCopy_ = false;
  bool dirty_ = false;
  bool locked_ = false;
  // Given the first time the untitled name is asked for; 0 before.
  mutable int untitledNumber_ = 0;
  // The steps after a save still to do (bits of AfterSaveStep) and the timer that does them again,
  // made with the document so that starting it is all a failed step asks of memory.
  unsigned afterSave_ = 0;
  bool attachTried_ = false;
  std::unique_ptr<FLAfterSaveTimer> afterSaveTimer_;
};

// Whether the file may not be changed: immutable, not writable by us, or its owner lacks the
// read or write permission; a package also when one of its folders is not one whose entries
// its owner and this user may change.
bool IsFileLocked(const QString& path);
// Tests: answers in place of access(2) whether this user may change the entries of a folder of a
// package, for a test run by a user whom the mode bits do not stop.
using FLWriteAccessProbe = std::function<bool(const QString& folder)>;
void SetWriteAccessProbe(FLWriteAccessProbe probe);
