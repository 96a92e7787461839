#include "framlet/shell/FLDocumentAppDelegate.h"

#include "framlet/foundation/FLFileLocator.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flHelpHook.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLAppUpdater.h"
#include "framlet/shell/FLDocument.h"
#include "framlet/shell/FLDocumentWC.h"
#include "framlet/shell/FLNewsUpdater.h"
#include "framlet/shell/FLWindowTabManager.h"
#include "framlet/shell/flCommandLine.h"
#include "framlet/shell/flDocumentPackages.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "framlet/shell/flRecentlyUsed.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/BundleInfo.h"
#include "platform/UserDefaults.h"
#include "platform/UserFolders.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdio>

#include <sys/stat.h>

namespace {

FLDocumentAppDelegate* g_delegate = nullptr;

constexpr qsizetype kMaxRecentDocuments = 10;

// A window of its own that is no document's (a calculator, the help window, the settings) stays
// open until the quit is sure to go ahead: a quit cancelled at a save alert must not have closed
// it. Sheets and dialogs that belong to a window close at once, as they would stand in the way of
// the save alerts.
bool StaysUntilTheQuitIsSettled(const QWidget* window) { return !window->parentWidget() && !window->isModal(); }

}  // namespace

bool IsPathInFolder(const QString& path, const QString& folder) {
  if (path.isEmpty() || folder.isEmpty()) return false;
  const QString cleanPath = QDir::cleanPath(path);
  const QString cleanFolder = QDir::cleanPath(folder);
  if (cleanPath == cleanFolder) return true;
  return cleanPath.startsWith(cleanFolder.endsWith(QLatin1Char('/')) ? cleanFolder : cleanFolder + QLatin1Char('/'));
}

FLDocumentAppDelegate::FLDocumentAppDelegate() {
  g_delegate = this;
  SetApplicationDelegate(this);
  for (const QString& path : UserDefaults::standardUserDefaults().stringArrayForKey(QLatin1String(kRecentDocumentsKey))) {
    if (!path.isEmpty() && recentDocumentUrls_.size() < kMaxRecentDocuments) {
      recentDocumentUrls_.append(QUrl::fromLocalFile(path));
    }
  }
}

FLDocumentAppDelegate::~FLDocumentAppDelegate() {
  // Windows go before the delegate that their controllers may call.
  controllers_.clear();
  if (g_delegate == this) {
    g_delegate = nullptr;
    FLWindowTabManager::sharedInstance().setEnvironment({});
  }
  if (ApplicationDelegate() == this) SetApplicationDelegate(nullptr);
}

FLDocumentAppDelegate* FLDocumentAppDelegate::sharedDelegate() { return g_delegate; }

// ---- Launch ----------------------------------------------------------------------------------

void FLDocumentAppDelegate::applicationWillFinishLaunching() {
  FLKernel::sharedInstance();
  FLWindowTabManager::Environment environment;
  environment.isDocumentWindow = [this](QWidget* window) { return controllerOfWindow(window) != nullptr; };
  environment.documentPath = [this](QWidget* window) {
    const FLDocumentWC* controller = controllerOfWindow(window);
    return controller && controller->document() ? controller->document()->filePath() : QString();
  };
  environment.windowForFile = [this](const QString& path) { return windowForFile(path); };
  // A document window opened a moment ago is ordered front shortly after: documents opened
  // with it (several files handed over at once) take it for the main window, newest first.
  environment.orderedWindows = [this] {
    const QList<QWidget*> shown = OrderedWindows();
    QList<QWidget*> windows;
    for (auto it = controllers_.rbegin(); it != controllers_.rend(); ++it) {
      QWidget* window = (*it)->window();
      if (window && !(*it)->isClosed() && !(*it)->keepHidden() && !shown.contains(window)) windows.append(window);
    }
    return windows + shown;
  };
  environment.launching = [this] { return launching_; };
  FLWindowTabManager::sharedInstance().setEnvironment(std::move(environment));
  FLWindowTabManager::sharedInstance().loadTabbingPreference();
  preliminaryInit();
}

void FLDocumentAppDelegate::showAppHelp() { ShowHelp(kFLHelpNotGiven); }

bool FLDocumentAppDelegate::showNonContextualHelp() {
  showAppHelp();
  return true;
}

void FLDocumentAppDelegate::applicationDidFinishLaunching() {
  const QStringList reopen = filesToReopen();

  initOnLaunch();
  launching_ = false;
  openingLaunchWindows_ = true;
  FLWindowTabManager& tabs = FLWindowTabManager::sharedInstance();
  if (!reopen.isEmpty()) tabs.loadWindowTabDicts();

  if ((launchModifiers() & kSkipReopenModifiers) != kSkipReopenModifiers) {
    // Frontmost first in the list, so walking it backwards leaves the old front window in front.
    for (qsizetype i = reopen.size() - 1; i >= 0; --i) {
      std::optional<FLFileLocator> locator = FLFileLocator::withObject(reopen[i]);
      bool changed = false;
      if (!locator || !locator->verify(&changed) || locator->isInTrash()) continue;
      if (applicationOpenFile(locator->path())) openedWindowsAtLaunch_ = true;
    }
  }

  tabs.restoreFrontmostTabbedWindows();

  openingDelayedFile_ = true;
  const QStringList queued = openFilePaths_;
  for (const QString& path : queued) {
    if (applicationOpenFile(path)) openedWindowsAtLaunch_ = true;
  }
  openingDelayedFile_ = false;
  openFilePaths_.clear();

  if (!openedWindowsAtLaunch_) applicationOpenUntitledFile();
  openingLaunchWindows_ = false;

  FLAppUpdater::sharedInstance().startAutoCheck();
  FLNewsUpdater::sharedInstance().startAutoCheck();
  initAfterLaunch();
  ClosePanels();
}

void FLDocumentAppDelegate::lastWindowClosed() {
  if (launching_ || openingLaunchWindows_ || terminating_ || terminated_) return;
  terminate();
}

Qt::KeyboardModifiers FLDocumentAppDelegate::launchModifiers() const {
  return QGuiApplication::queryKeyboardModifiers();
}

// ---- Opening ---------------------------------------------------------------------------------

bool FLDocumentAppDelegate::openFile(const QString& pathOrUrl, bool /*newBatch*/) {
  QString path = pathOrUrl;
  const QUrl url(pathOrUrl);
  if (url.isLocalFile()) path = LocalPathOfFileUrl(url);
  // The document takes its name from the path's last step, which a trailing "/" leaves empty.
  path = CleanDocumentPath(path);
  if (path.isEmpty() || path == QLatin1String("/")) return false;

  if (launching_) {
    if (shouldOpenAfterLaunch(path)) openFilePaths_.append(path);
    return true;
  }

  if (QWidget* open = windowForFile(path)) {
    MakeKeyAndOrderFront(open);
    return true;
  }

  FLWindowTabManager& tabs = FLWindowTabManager::sharedInstance();
  QString tabIdentifier;
  const std::optional<QVariantMap> tabGroup = tabs.tabDictForFile(path, &tabIdentifier);
  FLDocumentWC* controller = openFileWithTabIdentifier(path, tabIdentifier);
  if (!controller || !controller->window()) return false;

  QWidget* window = controller->window();
  if (tabGroup) {
    tabs.assignWindow(window, path, tabIdentifier);
  } else if (!tabIdentifier.isEmpty()) {
    tabs.forceWindow(window, tabIdentifier);
  }
  QTimer::singleShot(openingDelayedFile_ ? delayedOpenOrderFrontDelay() : 0, window,
                     [window] { MakeKeyAndOrderFront(window); });
  recordRecentFile(path);
  return true;
}

void FLDocumentAppDelegate::openFiles(const QStringList& paths) {
  for (qsizetype i = paths.size() - 1; i >= 0; --i) openFile(paths[i], false);
}

void FLDocumentAppDelegate::handleOpenRequest(const QStringList& paths) {
  if (paths.isEmpty()) {
    applicationShouldHandleReopen(frontmostController() != nullptr);
    return;
  }
  // Each path as the desktop hands over a file it opens; the answers are not reported back.
  for (const QString& path : paths) applicationOpenFile(path);
}

bool FLDocumentAppDelegate::applicationOpenUntitledFile() {
  if (launching_) return false;
  const FLWindowTabManager& tabs = FLWindowTabManager::sharedInstance();
  QString tabIdentifier = tabs.windowTabIdentifier();
  if (tabIdentifier.isEmpty()) {
    bool join = false;
    tabIdentifier = tabs.mainWindowTabIdentifier(&join);
    if (!join) tabIdentifier.clear();
  }
  return openUntitledWithTabIdentifier(tabIdentifier) != nullptr;
}

void FLDocumentAppDelegate::newWindowForTab(QWidget* tabbedWindow) {
  FLWindowTabManager& tabs = FLWindowTabManager::sharedInstance();
  tabs.setWindowTabIdentifier(tabs.tabbingIdentifier(tabbedWindow));
  applicationOpenUntitledFile();
  tabs.setWindowTabIdentifier(QString());
}

bool FLDocumentAppDelegate::applicationShouldOpenUntitledFile() const { return !HasModalWindow(); }

bool FLDocumentAppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
  if (!hasVisibleWindows) {
    if (applicationShouldOpenUntitledFile()) applicationOpenUntitledFile();
  } else if (FLDocumentWC* front = frontmostController()) {
    MakeKeyAndOrderFront(front->window());
  }
  return true;
}

FLDocumentWC* FLDocumentAppDelegate::openFileWithTabIdentifier(const QString&, const QString&) { return nullptr; }

FLDocumentWC* FLDocumentAppDelegate::openUntitledWithTabIdentifier(const QString&) { return nullptr; }

int FLDocumentAppDelegate::printFromCommandLine(const QStringList& paths, const QVariantMap& settings) {
  // Nobody is there to answer an alert: it goes to standard error and is answered as refused,
  // and the document it came with counts as failed.
  int alerts = 0;
  const auto report = [](const QString& line) {
    std::fputs((line + u'\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
  };
  FLAlert& alert = FLAlert::sharedInstance();
  FLAlert::ModalRunner previous = alert.setModalRunner([&](const FLAlertRequest& request, bool*) {
    ++alerts;
    report(request.moreInfo.isEmpty() ? request.message : request.message + u' ' + request.moreInfo);
    return FLAlert::kCancelCode;
  });
  initOnLaunch();
  launching_ = false;
  bool failed = paths.isEmpty();
  for (const QString& path : paths) {
    const int alertsBefore = alerts;
    const bool printed = applicationPrintFiles({path}, settings, false) == FLPrintReply::Success;
    if (!printed) report(QString::fromLatin1(kCantPrintFormat).arg(path));
    failed = failed || !printed || alerts != alertsBefore;
  }
  alert.setModalRunner(std::move(previous));
  return failed ? 1 : 0;
}

FLPrintReply FLDocumentAppDelegate::applicationPrintFiles(const QStringList& paths, const QVariantMap& settings,
                                                          bool showPanels) {
  if (paths.isEmpty()) return FLPrintReply::Failure;
  bool printedOne = false;
  for (const QString& path : paths) {
    QWidget* window = windowForFile(path);
    bool openedForPrinting = false;
    if (window) {
      MakeKeyAndOrderFront(window);
    } else {
      if (!applicationOpenFile(path)) continue;
      window = windowForFile(path);
      openedForPrinting = true;
    }
    FLDocumentWC* controller = controllerOfWindow(window);
    if (!controller) continue;
    const FLPrintReply reply = controller->printWithInfo(settings, showPanels);
    // The controller answers when its panel ends.
    if (reply == FLPrintReply::ReplyLater) return reply;
    if (openedForPrinting) closeWindow(window, nullptr);
    if (reply != FLPrintReply::Success) return printedOne ? reply : FLPrintReply::Failure;
    printedOne = true;
  }
  return printedOne ? FLPrintReply::Success : FLPrintReply::Failure;
}

QWidget* FLDocumentAppDelegate::windowForFile(const QString& path) const {
  if (path.isEmpty()) return nullptr;
  for (auto it = controllers_.rbegin(); it != controllers_.rend(); ++it) {
    const FLDocument* document = (*it)->document();
    if (document && (*it)->window() && IsSameFile(document->filePath(), path)) return (*it)->window();
  }
  return nullptr;
}

bool IsSameFile(const QString& first, const QString& second) {
  if (first.isEmpty() || second.isEmpty()) return false;
  // A path that names nothing yet (a document about to be saved there, a file since removed) is
  // compared as written: two missing files have the same empty canonical path.
  if (CleanDocumentPath(first) == CleanDocumentPath(second)) return true;
  const QString canonical = QFileInfo(first).canonicalFilePath();
  if (!canonical.isEmpty() && canonical == QFileInfo(second).canonicalFilePath()) return true;
  // Another name of one item that no link leads to: a hard link, or the same folder mounted twice.
  struct stat one {}, two {};
  return ::stat(QFile::encodeName(first).constData(), &one) == 0 &&
         ::stat(QFile::encodeName(second).constData(), &two) == 0 && one.st_dev == two.st_dev &&
         one.st_ino == two.st_ino;
}

QList<QWidget*> FLDocumentAppDelegate::documentOrderedWindows() const {
  QList<QWidget*> windows = OrderedWindows();
  // Windows just opened and not yet ordered front go behind the others.
  for (const std::unique_ptr<FLDocumentWC>& controller : controllers_) {
    QWidget* window = controller->window();
    if (window && !controller->isClosed() && !windows.contains(window)) windows.append(window);
  }
  windows.removeIf([this](QWidget* window) {
    const FLDocumentWC* controller = controllerOfWindow(window);
    return controller && controller->isClosed();
  });
  return windows;
}

FLDocumentWC* FLDocumentAppDelegate::frontmostController() const {
  for (QWidget* window : OrderedWindows()) {
    if (FLDocumentWC* controller = controllerOfWindow(window)) return controller;
  }
  return nullptr;
}

FLDocumentWC* FLDocumentAppDelegate::controllerOfWindow(const QWidget* window) const {
  if (!window) return nullptr;
  for (const std::unique_ptr<FLDocumentWC>& controller : controllers_) {
    if (controller->window() == window) return controller.get();
  }
  return nullptr;
}

bool FLDocumentAppDelegate::shouldBringWindowForward(const QWidget* window) const {
  return controllerOfWindow(window) != nullptr;
}

void FLDocumentAppDelegate::recordRecentFile(const QString& path) {
  const QUrl url = QUrl::fromLocalFile(path);
  if (!shouldRecordInRecents(url)) return;
  const QFileInfo info(path);
  // A folder counts only when it is a document package (it has an extension).
  if (info.isDir() && info.suffix().isEmpty()) return;
  recentDocumentUrls_.removeAll(url);
  recentDocumentUrls_.prepend(url);
  while (recentDocumentUrls_.size() > kMaxRecentDocuments) recentDocumentUrls_.removeLast();
  storeRecentDocuments();

  // File managers and desktop search show it among the recent files, opened with this program.
  QString type = DocumentPackageMimeType(path);
  if (type.isEmpty()) type = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).name();
  const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  NoteRecentlyUsedFile(RecentlyUsedFilePath(), path, type,
                       {BundleName(), QStringLiteral("'%1 %u'").arg(program)});
}

void FLDocumentAppDelegate::clearRecentDocuments() {
  recentDocumentUrls_.clear();
  storeRecentDocuments();
}

void FLDocumentAppDelegate::storeRecentDocuments() {
  QStringList paths;
  for (const QUrl& url : recentDocumentUrls_) paths.append(url.toLocalFile());
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  if (paths.isEmpty()) {
    defaults.removeObjectForKey(QLatin1String(kRecentDocumentsKey));
  } else {
    defaults.setObject(paths, QLatin1String(kRecentDocumentsKey));
  }
}

FLDocumentWC* FLDocumentAppDelegate::adoptController(std::unique_ptr<FLDocumentWC> controller) {
  FLDocumentWC* adopted = controller.get();
  if (!adopted) return nullptr;
  connect(adopted, &FLDocumentWC::windowClosed, this, &FLDocumentAppDelegate::controllerClosed);
  controllers_.push_back(std::move(controller));
  return adopted;
}

std::vector<FLDocumentWC*> FLDocumentAppDelegate::controllers() const {
  std::vector<FLDocumentWC*> list;
  for (const std::unique_ptr<FLDocumentWC>& controller : controllers_) list.push_back(controller.get());
  return list;
}

void FLDocumentAppDelegate::controllerClosed(FLDocumentWC* controller) {
  // Not inside the window's own close: the controller and its window go on the next turn.
  QTimer::singleShot(0, this, [this, controller] {
    auto it = std::find_if(controllers_.begin(), controllers_.end(),
                           [controller](const std::unique_ptr<FLDocumentWC>& held) { return held.get() == controller; });
    if (it == controllers_.end()) return;
    std::unique_ptr<FLDocumentWC> closing = std::move(*it);
    controllers_.erase(it);
    FLWindowTabManager::sharedInstance().windowClosed(closing->window());
    closing.reset();
    if (controllers_.empty() && !terminating_) lastDocumentClosed();
    if (OrderedWindows().isEmpty()) lastWindowClosed();
  });
}

void FLDocumentAppDelegate::closeWindow(QWidget* window, FLDocumentWC* controller) {
  if (!window) return;
  if (!controller) controller = controllerOfWindow(window);
  if (!controller) {
    window->close();
    return;
  }
  controller->sendWindowWillClose();
  controller->closeWindow();
}

// ---- Reopen list -----------------------------------------------------------------------------

QStringList FLDocumentAppDelegate::filesToReopen() const {
  const QString key = reopenFilesKey();
  if (key.isEmpty()) return {};
  return UserDefaults::standardUserDefaults().stringArrayForKey(key);
}

void FLDocumentAppDelegate::saveFilesToReopen(const QStringList& archives) {
  const QString key = reopenFilesKey();
  if (key.isEmpty()) return;
  if (archives.isEmpty()) {
    UserDefaults::standardUserDefaults().removeObjectForKey(key);
  } else {
    UserDefaults::standardUserDefaults().setObject(archives, key);
  }
}

// ---- Quitting --------------------------------------------------------------------------------

void FLDocumentAppDelegate::terminate() {
  if (terminated_) return;
  if (terminating_) {
    bringQuitQuestionForward();
    return;
  }
  if (applicationShouldTerminate() == TerminateReply::Now) finishTermination();
}

QWidget* FLDocumentAppDelegate::quitQuestionWindow() const {
  if (!terminating_ || terminated_) return nullptr;
  for (const std::unique_ptr<FLDocumentWC>& controller : controllers_) {
    if (controller->asksForQuit() && controller->window()) return controller->window();
  }
  return nullptr;
}

void FLDocumentAppDelegate::bringQuitQuestionForward() {
  // The window brings its sheet with it, and the sheet takes the keys.
  if (QWidget* question = quitQuestionWindow()) MakeKeyAndOrderFront(question);
}

void FLDocumentAppDelegate::documentWindowCameForward() {
  QWidget* question = quitQuestionWindow();
  QWidget* active = QApplication::activeWindow();
  if (!question || !active) return;
  // The question's own window (its selected tab) and windows that are no document's (the sheet
  // itself, a calculator, a panel) may be in front.
  if (question->isVisible() && question->window() == active) return;
  const bool document = std::any_of(controllers_.begin(), controllers_.end(), [active](const auto& controller) {
    return controller->window() && !controller->isClosed() && controller->window()->window() == active;
  });
  if (!document) return;
  // Not inside the activation being handled.
  QTimer::singleShot(0, this, &FLDocumentAppDelegate::bringQuitQuestionForward);
}

FLDocumentAppDelegate::TerminateReply FLDocumentAppDelegate::applicationShouldTerminate() {
  terminating_ = true;
  normalize();
  openFilePaths_.clear();
  FLWindowTabManager::sharedInstance().prepareToSaveState();

  int dirtyCount = 0;
  QList<QWidget*> windows = documentOrderedWindows();
  std::reverse(windows.begin(), windows.end());
  for (QWidget* window : windows) {
    if (IsPanel(window)) continue;
    FLDocumentWC* controller = controllerOfWindow(window);
    if (!controller) {
      if (!StaysUntilTheQuitIsSettled(window)) closeWindow(window, nullptr);
      continue;
    }
    // Ends any typing in progress.
    if (QWidget* focus = window->focusWidget()) focus->clearFocus();
    const FLDocument* document = controller->document();
    if (document && !document->privateDocument() && !document->filePath().isEmpty()) {
      openFilePaths_.prepend(document->filePath());
    }
    if (document && document->dirty()) {
      ++dirtyCount;
    } else {
      if (document) FLWindowTabManager::sharedInstance().registerWindowTab(window, document->filePath());
      closeWindow(window, controller);
    }
  }
  if (dirtyCount == 0) return TerminateReply::Now;
  if (!watchingActivation_) {
    watchingActivation_ = true;
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &FLDocumentAppDelegate::documentWindowCameForward);
  }
  closeNextDirtyWindow();
  return TerminateReply::Later;
}

void FLDocumentAppDelegate::closeNextDirtyWindow() {
  if (!terminating_) return;
  for (QWidget* window : documentOrderedWindows()) {
    if (IsPanel(window) || window->isModal()) continue;
    FLDocumentWC* controller = controllerOfWindow(window);
    if (!controller) {
      if (!StaysUntilTheQuitIsSettled(window)) closeWindow(window, nullptr);
      continue;
    }
    // A document saved, or opened from another launch, while an earlier alert was up has nothing
    // to ask: it closes as the clean ones did at the start, and the walk goes on. (Its controller
    // would answer YES and do nothing else, leaving the quit waiting for good.)
    const FLDocument* document = controller->document();
    if (!document || !document->dirty()) {
      noteClosingDuringQuit(controller);
      closeWindow(window, controller);
      continue;
    }
    if (!controller->windowShouldClose(this)) replyToApplicationShouldTerminate(false);
    return;
  }
  replyToApplicationShouldTerminate(true);
}

void FLDocumentAppDelegate::noteClosingDuringQuit(FLDocumentWC* controller) {
  const FLDocument* document = controller ? controller->document() : nullptr;
  if (!terminating_ || !document || document->privateDocument() || document->filePath().isEmpty()) return;
  if (!openFilePaths_.contains(document->filePath())) openFilePaths_.prepend(document->filePath());
  // Saved or not, the window had its place among the tabs.
  FLWindowTabManager::sharedInstance().registerWindowTab(controller->window(), document->filePath());
}

void FLDocumentAppDelegate::replyToApplicationShouldTerminate(bool terminate) {
  if (!terminating_ || terminated_) return;
  if (terminate) {
    finishTermination();
  } else {
    terminating_ = false;
    openFilePaths_.clear();
  }
}

void FLDocumentAppDelegate::finishTermination() {
  terminated_ = true;
  for (QWidget* window : OrderedWindows()) {
    if (!IsPanel(window) && !controllerOfWindow(window) && StaysUntilTheQuitIsSettled(window)) {
      closeWindow(window, nullptr);
    }
  }
  applicationWillTerminate();
  quitApplication();
}

void FLDocumentAppDelegate::applicationWillTerminate() {
  prepareToQuit();
  const QString supportFolder = OrvandelSupportFolder();
  QStringList archives;
  if (saveWorkspace()) {
    for (const QString& path : openFilePaths_) {
      if (IsPathInFolder(path, supportFolder) && !rememberShoeboxFile(path)) continue;
      const QString archive = FLFileLocator(path).archive(false);
      if (!archive.isEmpty()) archives.append(archive);
    }
  }
  saveFilesToReopen(archives);
  FLWindowTabManager::sharedInstance().saveStateToPrefs();
  UserDefaults::standardUserDefaults().synchronize();
}

void FLDocumentAppDelegate::quitApplication() { QCoreApplication::quit(); }
