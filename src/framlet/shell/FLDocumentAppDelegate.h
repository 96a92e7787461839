// The framework's application delegate: the whole life of the process as the desktop sees it.
// It runs the launch (reopening the last run's documents, then those handed over meanwhile, else
// an untitled one), is the one road by which documents open, and quits in two phases: clean
// windows close at once, modified ones ask one at a time, and the reopen list is stored last.
// Everything particular to an application is reached through the hooks a subclass overrides.
#pragma once

#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLDocumentWC.h"
#include "framlet/shell/FLWindowPlacer.h"

#include <QObject>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <vector>

class QWidget;

// The Help menu's item that opens the help window.
inline constexpr const char* kShowAppHelpAction = "showAppHelp:";
// What printing from the command line says of a document that did not print.
inline constexpr const char* kCantPrintFormat = "%1 could not be printed.";
// The user-defaults key of Open Recent's documents: their paths, most recent first.
inline constexpr const char* kRecentDocumentsKey = "ov.fl.recentDocuments";

class FLDocumentAppDelegate : public QObject, public FLApplicationDelegate {
  Q_OBJECT

 public:
  enum class TerminateReply { Now, Later };

  // Registers itself as the application's delegate (SetApplicationDelegate); the kernel must not
  // exist yet, so that it finds the delegate.
  FLDocumentAppDelegate();
  ~FLDocumentAppDelegate() override;

  // The delegate of the running application, or null.
  static FLDocumentAppDelegate* sharedDelegate();

  // ---- Launch
  void applicationWillFinishLaunching();
  // Opens the help window where the reader left it.
  void showAppHelp();
  bool showNonContextualHelp() override;
  void applicationDidFinishLaunching();
  bool launching() const { return launching_; }
  // The Linux habit: the application ends with its last window. Not while the launch is still
  // opening its windows: a document that could not be opened closed its window, and the
  // untitled one that takes its place comes after the alert that said why.
  void lastWindowClosed();
  // During launch the documents handed over; during the quit the reopen candidates, front first.
  const QStringList& openFilePaths() const { return openFilePaths_; }

  // ---- Opening
  // The one road by which a document opens: a path or a file URL's text. "/" is refused.
  bool openFile(const QString& pathOrUrl, bool newBatch);
  // In reverse order of the list.
  void openFiles(const QStringList& paths);
  bool applicationOpenFile(const QString& path) { return openFile(path, true); }
  // Another launch handed these over: opens them; with none, answers as a click on the
  // application's icon does.
  void handleOpenRequest(const QStringList& paths);
  bool applicationOpenUntitledFile();
  // The tab bar's "+": an untitled document joins the tabs of that window.
  void newWindowForTab(QWidget* tabbedWindow);
  bool applicationShouldOpenUntitledFile() const;
  // The application was started again with nothing to open.
  bool applicationShouldHandleReopen(bool hasVisibleWindows);

  // Prints the documents in order, opening those that are not open (and closing them again);
  // one that cannot be opened is skipped. Success when all printed.
  FLPrintReply applicationPrintFiles(const QStringList& paths, const QVariantMap& settings, bool showPanels);
  // "--print": the launch's own set-up without reopening anything, then the documents printed
  // without panels and closed again, each whatever became of the others. Alerts and failures
  // are written to standard error instead of waiting for an answer. 0 when all printed without
  // an alert (the process's exit code).
  int printFromCommandLine(const QStringList& paths, const QVariantMap& settings = {});

  // The window showing this file, however its path is spelt (through a link, with "." or "..",
  // a hard link or a bind mount): see IsSameFile. Searched from the newest; null for an empty
  // path.
  QWidget* windowForFile(const QString& path) const;
  FLDocumentWC* frontmostController() const;
  FLDocumentWC* controllerOfWindow(const QWidget* window) const;
  bool shouldBringWindowForward(const QWidget* window) const;
  // Puts the document first in Open Recent (kept across launches) and notes it in the desktop's
  // list of recently used files.
  void recordRecentFile(const QString& path);
  // Most recent first, at most ten.
  const QList<QUrl>& recentDocumentUrls() const { return recentDocumentUrls_; }
  // Open Recent's "Clear Menu": the desktop's list is the user's and stays.
  void clearRecentDocuments();

  // Takes a new document window's controller for the window's lifetime.
  FLDocumentWC* adoptController(std::unique_ptr<FLDocumentWC> controller);
  std::vector<FLDocumentWC*> controllers() const;
  // Closes the window after telling its controller (controller null: the window's own).
  void closeWindow(QWidget* window, FLDocumentWC* controller);

  // ---- Reopen list: text archives of file locators, frontmost window first.
  virtual QStringList filesToReopen() const;
  void saveFilesToReopen(const QStringList& archives);

  // ---- Quitting
  // The Quit command: asks, then quits now or when the last save alert has been answered.
  void terminate();
  virtual TerminateReply applicationShouldTerminate();
  void closeNextDirtyWindow();
  // The answer to a quit that waited: YES quits, NO leaves the application running.
  void replyToApplicationShouldTerminate(bool terminate);
  void applicationWillTerminate();
  bool terminating() const { return terminating_; }
  // While a quit waits on a document's save question, the question's window comes back in front
  // of every document window that comes forward (a document handed over meanwhile included),
  // and Quit chosen again shows it.
  void bringQuitQuestionForward();
  // A window closes during the quit after its document was saved: it is reopened next time.
  void noteClosingDuringQuit(FLDocumentWC* controller);

  // ---- Hooks
  virtual void preliminaryInit() {}
  virtual void initOnLaunch() {}
  virtual void initAfterLaunch() {}
  // The user-defaults key of the reopen list; empty: no list is kept.
  virtual QString reopenFilesKey() const { return {}; }
  // Opens one document in a new (or reused) window; null when it failed and the user was told.
  virtual FLDocumentWC* openFileWithTabIdentifier(const QString& path, const QString& tabIdentifier);
  virtual FLDocumentWC* openUntitledWithTabIdentifier(const QString& tabIdentifier);
  virtual bool shouldOpenAfterLaunch(const QString& /*path*/) { return true; }
  virtual bool shouldRecordInRecents(const QUrl& /*url*/) { return true; }
  virtual void normalize() {}
  // The last document window has closed: what acts on documents alone (a find panel) goes too,
  // so that no window is left that has nothing to act on.
  virtual void lastDocumentClosed() {}
  virtual void prepareToQuit() {}
  virtual bool saveWorkspace() { return true; }
  // The line the About window shows under the name; empty: the maker's own.
  virtual QString aboutString() const { return {}; }
  // Whether a document inside the maker's support folder may still be reopened.
  virtual bool rememberShoeboxFile(const QString& /*path*/) { return false; }

 protected:
  // The modifiers held when the launch reopens documents; tests pretend.
  virtual Qt::KeyboardModifiers launchModifiers() const;
  // Ends the process's event loop once the quit is settled; tests only note it.
  virtual void quitApplication();
  // Delays of the ordering front, in milliseconds.
  virtual int delayedOpenOrderFrontDelay() const { return 800; }

  bool openedWindowsAtLaunch() const { return openedWindowsAtLaunch_; }
  void setOpenedWindowsAtLaunch(bool opened) { openedWindowsAtLaunch_ = opened; }

 private:
  void controllerClosed(FLDocumentWC* controller);
  // Front to back, with the document windows that are not shown yet at the back.
  QList<QWidget*> documentOrderedWindows() const;
  void finishTermination();
  // The document window whose save question the quit waits on; null when none.
  QWidget* quitQuestionWindow() const;
  void documentWindowCameForward();
  void storeRecentDocuments();

  QStringList openFilePaths_;
  bool launching_ = true;
  // From the end of initOnLaunch until the launch's windows are open.
  bool openingLaunchWindows_ = false;
  bool openingDelayedFile_ = false;
  bool openedWindowsAtLaunch_ = false;
  bool terminating_ = false;
  bool terminated_ = false;
  bool watchingActivation_ = false;
  QList<QUrl> recentDocumentUrls_;
  std::vector<std::unique_ptr<FLDocumentWC>> controllers_;
  // Every window the application shows lands on its screen.
  FLWindowPlacer windowPlacer_;
};

// Whether two paths name one file: the same text, the same canonical path, or the same device
// and inode (a hard link, a bind mount). A path that names nothing yet matches only its own
// text; an empty path matches nothing.
bool IsSameFile(const QString& first, const QString& second);
// Whether a path lies in a folder or is the folder, comparing whole path components.
bool IsPathInFolder(const QString& path, const QString& folder);
// The modifiers that skip reopening the last run's documents: Control, Option and Command.
inline constexpr Qt::KeyboardModifiers kSkipReopenModifiers = Qt::MetaModifier | Qt::AltModifier | Qt::ControlModifier;
