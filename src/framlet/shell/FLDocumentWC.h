// The framework's document window controller: one document shown in one top-level window. It
// asks about unsaved changes when the window closes or the application quits, runs the save
// panel with its format accessory, the revert alert and printing, and tears the window down
// exactly once. The application delegate reaches documents only through it.
#pragma once

#include "framlet/shell/FLAlertController.h"

#include <QFileDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>

class FLDocument;
class FLDocumentAppDelegate;
class FLDocumentSaveFormatVC;
class QPrinter;
class QWidget;

// How printing went: printed, cancelled by the user, failed, or still running in a panel that
// answers later.
enum class FLPrintReply { Success, Cancelled, Failure, ReplyLater };

// Codes of the "Save changes to %@?" alert's buttons.
enum FLSaveAlertCode : int { kSaveAlertSave = 0, kSaveAlertCancel = 1, kSaveAlertDontSave = 2 };

// Why the save panel runs.
enum FLSaveContext : int {
  kSaveContextClosing = 0,   // the window closes after the save
  kSaveContextCopy = 1,      // a copy: the document keeps its path
  kSaveContextNewName = 2,   // Save As
  kSaveContextQuitting = 3,  // the window closes and the quit goes on
};

inline constexpr const char* kSaveChangesFormat = "Save changes to %@?";
inline constexpr const char* kSecondarySaveMessage = "Your changes will be lost if you don't save them.";
inline constexpr const char* kSavePanelMessage = "Select a location and a name for the document";
inline constexpr const char* kRevertFormat = "Revert changes to \"%@\"?";
inline constexpr const char* kRevertInformation =
    "The document will be reset to the most recently saved version. Your current changes will be lost.";
inline constexpr const char* kPrintJobTitleFormat = "%@ \u2014 %@";
inline constexpr const char* kChangedElsewhereFormat =
    "\"%@\" has been changed by another program since you opened or saved it. Do you want to save over it?";

class FLDocumentWC : public QObject {
  Q_OBJECT

 public:
  FLDocumentWC();
  ~FLDocumentWC() override;

  virtual FLDocument* document() const = 0;
  // The top-level window, owned by the controller; null before it is made.
  virtual QWidget* window() const = 0;

  // Follows the window's closing; a subclass calls it once the window exists.
  void watchWindow();

  // The extensions the save panel offers, in order; set once at launch.
  static void setSaveTypes(const QStringList& types);
  static const QStringList& saveTypes();
  // The format of the last confirmed save panel, in any window.
  static qsizetype lastFormatIndex();
  static void setLastFormatIndex(qsizetype index);

  // Whether the window may close now. A clean document closes. A modified one shows the save
  // alert on its window and answers NO, or, while `quitting` runs the quit, YES: the alert's end
  // then closes the window and asks the delegate for the next modified one, or cancels the quit.
  virtual bool windowShouldClose(FLDocumentAppDelegate* quitting);
  // Calls windowWillClose once, however often the window is told it goes.
  void sendWindowWillClose();
  // The Save command: in place when the document has a path (and forceSaveAs is NO), else
  // through the save panel (false meanwhile). A file that another program has changed since
  // the document read or wrote it is saved over only once the user says so (false meanwhile).
  virtual bool saveDocument();
  // Save As and Save a Copy.
  void saveDocumentAs() { showSavePanel(kSaveContextNewName, false); }
  void saveDocumentTo() { showSavePanel(kSaveContextCopy, false); }
  // Prints the document with the given settings, showing the print panel when asked.
  virtual FLPrintReply printWithInfo(const QVariantMap& settings, bool showPanel);
  // Closes the window without asking.
  void closeWindow();

  void showSaveAlert(int context);
  void saveAlertEnded(int code, int context);
  void showSavePanel(int context, bool forceOriginalFolder);
  // The save panel was confirmed with a path (empty: cancelled). False when the save failed and
  // the panel, still up, waits for another folder or name.
  bool savePanelEnded(const QString& path, int context);
  void showRevertAlert();
  void revertAlertEnded(int code);

  // The document's file name, or "Untitled".
  QString displayName() const;
  const QString& filePath() const;
  // The window has closed for good; the controller is about to go.
  bool isClosed() const { return closed_; }
  // Whether a quit waits on this window's save alert or save panel.
  bool asksForQuit() const { return !quitDelegate_.isNull() && (saveAlert_ || savePanel_); }
  // The save alert and the save panel while they are up.
  QMessageBox* saveAlert() const;
  QFileDialog* savePanel() const;
  FLDocumentSaveFormatVC* formatVC() const { return formatVC_.get(); }
  bool keepHidden() const { return keepHidden_; }
  void setKeepHidden(bool hidden) { keepHidden_ = hidden; }

  // ---- Hooks
  virtual std::unique_ptr<FLDocumentSaveFormatVC> saveFormatVC();
  virtual QString preferredExtension() const { return {}; }
  virtual bool forceSaveAs() const { return false; }
  virtual bool canSaveToFormat(const QString& extension) const;
  virtual QString defaultFileName() const;
  virtual QString nameForSave() const { return displayName(); }
  // What the save panel proposes for a document without a file: a name, which goes into the
  // panel's usual folder, or a whole path, whose folder the panel opens when it exists. The
  // window's title by default.
  virtual QString untitledSaveProposal() const;
  virtual QString secondarySaveMessage() const;
  // What printing draws; null: nothing to print.
  virtual QWidget* printView() { return nullptr; }
  // Draws the document on the printer; the base renders printView.
  virtual bool printToPrinter(QPrinter& printer);
  virtual void modifyPrintInfo(QPrinter& /*printer*/) {}
  // A new page of options for the print panel, which takes it over; null: none.
  virtual QWidget* printOptionsVC() { return nullptr; }
  virtual void printOperationWasRun() {}
  virtual QString printJobTitle() const;

 signals:
  // The window closed; the owner lets go of the controller on a later turn of the event loop.
  void windowClosed(FLDocumentWC* controller);

 protected:
  // The window is about to close: the controller lets go of its document. Runs once.
  virtual void windowWillClose();
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void replyNoToQuit(int context);
  void closeAfterSave(int context);
  // Asks whether to save over a file changed by another program; Save Anyway saves in place and
  // goes on as the context says, Cancel leaves the file and cancels a close or quit.
  void askToSaveOverChangedFile(int context);

  bool closeApproved_ = false;
  bool willCloseSent_ = false;
  bool closed_ = false;
  bool keepHidden_ = false;
  QPointer<FLAlertController> saveAlert_;
  QPointer<QFileDialog> savePanel_;
  int savePanelContext_ = kSaveContextNewName;  // why the panel that is up runs
  std::unique_ptr<FLDocumentSaveFormatVC> formatVC_;
  QPointer<FLDocumentAppDelegate> quitDelegate_;
};
