#include "calculator/controllers/CAAppController.h"

#include "calculator/controllers/CAApplication.h"
#include "calculator/controllers/CAAutosaveRestorer.h"
#include "calculator/controllers/CAFindDialog.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caCalculatorWindows.h"
#include "calculator/controllers/caFunctionGroups.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caPackageReader.h"
#include "calculator/model/caColumnLabels.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caXmlTags.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flDates.h"
#include "framlet/foundation/flFormatString.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLSpeechManager.h"
#include "framlet/shell/FLWindowTabManager.h"
#include "framlet/shell/flDocumentPackages.h"
#include "framlet/shell/flWindowOrder.h"
#include "glimmet/storage/gmOpenNative.h"
#include "glimmet/storage/gmStyles.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/UserDefaults.h"
#include "platform/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QTimer>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

CAAppController* g_appController = nullptr;
bool g_appIsActive = false;

// What the desktop knows a document package as (resources/com.orvandel.calculator.xml).
constexpr const char* kNativeMimeType = "application/x-numlet";

// Whether an autosave copy's "document.xml" was written to its end: the writer closes the root
// element last, so a copy cut short by a crash or a full disk lacks it. Only a regular file is
// looked at, and only its last bytes: the check runs at every launch, whatever the sheet's size.
bool HoldsWholeDocument(const QString& package) {
  const std::optional<QString> xml = PackageEntryPath(package, QLatin1String(kDocumentXmlName));
  if (!xml) return false;
  const int fd = ::open(QFile::encodeName(*xml).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  bool whole = false;
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 && info.st_size <= kMaxDocumentXmlSize) {
    char tail[64];
    const off_t from = std::max<off_t>(0, info.st_size - off_t(sizeof tail));
    const ssize_t got = ::pread(fd, tail, size_t(info.st_size - from), from);
    const QByteArray closing = "</" + QByteArray(XmlName(kXmlSpreadsheet).data()) + '>';
    whole = got > 0 && QByteArray(tail, qsizetype(got)).trimmed().endsWith(closing);
  }
  ::close(fd);
  return whole;
}

}  // namespace

const QStringList& SaveTypes() {
  static const QStringList types{QStringLiteral("Numlet"), QStringLiteral("csv"), QStringLiteral("dif"),
                                 QStringLiteral("pdf"),    QStringLiteral("rtf"), QStringLiteral("rtfd"),
                                 QStringLiteral("txt"),    QStringLiteral("html")};
  return types;
}

const QStringList& OpenTypes() {
  // Pockwell files carry no extension of their own: content sniffing finds them.
  static const QStringList types{QStringLiteral("Numlet"), QStringLiteral("xls"),  QStringLiteral("csv"),
                                 QStringLiteral("dif"),    QStringLiteral("rtf"),  QStringLiteral("rtfd"),
                                 QStringLiteral("html"),   QStringLiteral("htm"),  QStringLiteral("text"),
                                 QStringLiteral("txt")};
  return types;
}

const QStringList& ClipboardTypes() {
  static const QStringList types = [] {
    QStringList list;
    for (const QString& type : CADocument::clipboardTypes()) {
      const QString mime = MimeTypeForPasteboardType(type);
      if (!mime.isEmpty() && !list.contains(mime)) list.append(mime);
    }
    return list;
  }();
  return types;
}

CAAppController::CAAppController(UserDefaults& defaults)
    : defaults_(defaults), application_(std::make_unique<CAApplication>()) {
  g_appController = this;
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [](Qt::ApplicationState state) {
    const bool wasActive = g_appIsActive;
    g_appIsActive = state == Qt::ApplicationActive;
    // Documents autosave when the user turns to another program.
    if (wasActive && !g_appIsActive)
      NotificationCenter::defaultCenter().post(QLatin1String(kApplicationDidResignActiveNotification));
  });
}

CAAppController::~CAAppController() {
  if (g_appController == this) {
    g_appController = nullptr;
    // The model's hooks lead here, or to what was set up with this controller: none outlives it.
    SetModelHooks(CAModelHooks());
  }
  DestroyPreferenceDocument();
}

CAAppController* CAAppController::sharedInstance() { return g_appController; }

bool CAAppController::appIsActive() { return g_appIsActive; }

// ---- Launch ----------------------------------------------------------------------------------

void CAAppController::preliminaryInit() {
  defaults_.registerDefaults({{QLatin1String(kProgrammerBaseKey), 2},
                              {QLatin1String(kProgrammerWordSizeKey), 32},
                              {QLatin1String(kProgrammerDigitsKey), 2}});
  const QLocale locale;
  prefController_ = std::make_unique<CAPrefController>(defaults_, locale.measurementSystem() == QLocale::MetricSystem);
  prefController_->installProviders();
  // A document reverts by opening its file again in a window of its own.
  CAModelHooks hooks;
  hooks.openDocument = [this](const QString& path) { return applicationOpenFile(path); };
  hooks.windowForFile = [this](const QString& path) { return windowForFile(path) != nullptr; };
  SetModelHooks(hooks);
  prefController_->observeSleep();
  SetNumberTextLocale(locale);
  g_requireDayIndexYear = true;
}

void CAAppController::initOnLaunch() {
  // The text engine that carries rich text between cells and RTF, HTML and the clipboard: its
  // tables take the spreadsheet's configuration, and its documents their styles from the
  // preference document.
  g_glimmetConfig.tableOption = 1;
  CreatePreferenceDocument();

  SetAlphabeticalFunctionGroups(MakeAlphabeticalFunctionGroups());
  FLDocumentWC::setSaveTypes(SaveTypes());
  // The Open and Save panels show and choose these folders as documents.
  SetDocumentPackageKinds(
      {{QLatin1String(kPackageExtension), QCoreApplication::translate("QFileDialog", "Tamsel Calculator document"),
        QLatin1String(kNativeMimeType)},
       {QStringLiteral("rtfd"), QCoreApplication::translate("QFileDialog", "RTFD document"),
        MimeTypeForPasteboardType(QLatin1String(kPasteboardRtfdType))}});
  if (prefController_) {
    FLWindowTabManager::sharedInstance().setTabOverride(int(prefController_->value(CAIntPreference::tabOverride)));
  }

  InstallFileFormatServices();
  FLXmlDecoder::setSharedKeyDecoder(std::make_shared<FLXmlKeyTable>());
  FLXmlDecoder::addDecoderKeys(SpreadsheetXmlTags());
  if (!GlimmetXmlDecoderExists()) CreateGlimmetXmlDecoder();

  const int64_t mask = defaults_.integerForKey(QLatin1String(kCalculatorMaskKey));
  for (int bit : {kStandardCalculatorMask, kProgrammerCalculatorMask, kConverterCalculatorMask}) {
    if ((mask & bit) && openCalculatorForMask(bit, true)) setOpenedWindowsAtLaunch(true);
  }

  loadRecentFunctions();
  g_maxColumn = ColumnForLabel(QLatin1String(kLargestColumnLabel));

  const QString support = CalculatorSupportFolder();
  if (!support.isEmpty() && !QDir().mkpath(support)) {
    LogString("Can't create support folder %@: %@", support, QStringLiteral("the folder could not be made"));
  }
  FLKernel::sharedInstance().loadToolTemplates();
  QTimer::singleShot(0, this, &CAAppController::checkAutosave);
}

void CAAppController::loadRecentFunctions() {
  g_recentFunctionCount = 0;
  for (const QString& name : defaults_.stringArrayForKey(QLatin1String(kRecentFunctionsKey))) {
    if (g_recentFunctionCount >= kMaxRecentFunctions) break;
    const int32_t row = FunctionFromName(name);
    if (row > 0) g_recentFunctions[g_recentFunctionCount++] = row;
  }
}

void CAAppController::saveRecentFunctions() {
  QStringList names;
  for (int32_t i = 0; i < g_recentFunctionCount; ++i) {
    const int32_t row = g_recentFunctions[i];
    if (row > 0 && row <= kFunctionCount) names.append(QString::fromLatin1(g_functionInfo[row].name));
  }
  if (names.isEmpty()) {
    defaults_.removeObjectForKey(QLatin1String(kRecentFunctionsKey));
  } else {
    defaults_.setObject(names, QLatin1String(kRecentFunctionsKey));
  }
}

bool CAAppController::openCalculatorForMask(int mask, bool delay) {
  return OpenCalculatorForMask(mask, delay, defaults_) != nullptr;
}

int CAAppController::openCalculatorMask() const { return OpenCalculatorMask(); }

void CAAppController::openCalculator(int mask) { openCalculatorForMask(mask, false); }

std::optional<QString> CAAppController::defaultFontName() const {
  if (!prefController_) return std::nullopt;
  return prefController_->defaultFont().family();
}

std::optional<int> CAAppController::currentDistanceUnit() const {
  if (!prefController_) return std::nullopt;
  return int(prefController_->value(CAIntPreference::defaultUnits));
}

// ---- Opening ---------------------------------------------------------------------------------

QString CAAppController::reopenFilesKey() const { return QString::fromLatin1(kOpenFilesKey); }

QStringList CAAppController::filesToReopen() const {
  if (prefController_ && !prefController_->value(CABoolPreference::saveWorkspace)) return {};
  return FLDocumentAppDelegate::filesToReopen();
}

bool CAAppController::saveWorkspace() {
  return !prefController_ || prefController_->value(CABoolPreference::saveWorkspace);
}

std::unique_ptr<CAWindowController> CAAppController::newWindowController() {
  return std::make_unique<CAWindowController>();
}

CAWindowController* CAAppController::adoptWindowController(std::unique_ptr<CAWindowController> controller) {
  CAWindowController* adopted = controller.get();
  adoptController(std::move(controller));
  return adopted;
}

FLDocumentWC* CAAppController::openUntitledWithTabIdentifier(const QString& tabIdentifier) {
  std::unique_ptr<CAWindowController> made = newWindowController();
  if (!made) return nullptr;
  CAWindowController* controller = adoptWindowController(std::move(made));
  FLWindowTabManager::sharedInstance().setTabIdentifier(tabIdentifier, controller->window());
  controller->prepareToShow();
  MakeKeyAndOrderFront(controller->window());
  return controller;
}

FLDocumentWC* CAAppController::openFileWithTabIdentifier(const QString& path, const QString& tabIdentifier) {
  auto* controller = dynamic_cast<CAWindowController*>(controllerOfWindow(MainWindow()));
  if (controller) {
    const CADocument* front = controller->document();
    // Only an untouched new untitled document gives way to the file: a recovered copy has no
    // path and no edits either, but it holds the work it was recovered for.
    if (front->dirty() || controller->everEdited() || !front->filePath().isEmpty() || front->autosaveRecoveryDoc())
      controller = nullptr;
  }
  const bool reused = controller != nullptr;
  if (!controller) {
    std::unique_ptr<CAWindowController> made = newWindowController();
    if (!made) return nullptr;
    controller = adoptWindowController(std::move(made));
    FLWindowTabManager::sharedInstance().setTabIdentifier(tabIdentifier, controller->window());
  }
  CADocument* document = controller->document();

  // One meter over the whole open: the reading (whose own meter stops a file too large to read)
  // and the first layout of its texts, whose overflow placeholders are cells too.
  FLReadingMeter meter(FileReadingBudget());
  FLError error;
  const int32_t type = document->openFile(path, &error);
  if (type == 0) {
    // The window closes, whatever the reader left in its document. When it was the reused
    // untitled one and the only window, a fresh untitled one takes its place first, since the
    // last window's closing would end the application.
    if (reused && controllers().size() == 1) openUntitledWithTabIdentifier(QString());
    closeWindow(controller->window(), controller);
    FLAlert::sharedInstance().giveAlertMessage(QString::fromLatin1(kCantOpenFileMessage),
                                               FormatString(kCantOpenFileFormat, QFileInfo(path).fileName(), error.reason));
    return nullptr;
  }
  if (type != 4) document->setFilePath(path);
  if (!autosaveOverride_.isEmpty()) {
    // The placeholder lets the window show that the copy is unsaved.
    controller->setTitleOverride(autosaveOverride_ + QLatin1String("[*]"));
    controller->setRecoveredFromPath(autosaveOriginalPath_);
    document->setLocked(true);
    document->setAutosaveRecoveryDoc(true);
    document->setRecoveredPackagePath(path);
    document->setFilePath(QString());
    // Its work is kept nowhere but in the autosave copy, which goes at quit: closing or quitting
    // must ask to save it like any unsaved change.
    document->setDirty(true);
  }
  controller->synchronizeWindowTitle();

  document->setOpening(true);
  document->evaluate();
  controller->prepareToShow();
  QWidget* window = controller->window();
  QTimer::singleShot(500, window, [window] {
    MakeKeyAndOrderFront(window);
    // A password prompt up on another window stays in front: this window's turn comes after.
    if (QWidget* asking = CAWindowController::windowShowingPasswordPrompt(); asking && asking != window)
      MakeKeyAndOrderFront(asking);
  });
  document->setOpening(false);
  NotificationCenter::defaultCenter().post(QLatin1String(kSelectionChangeNotification), document);
  return controller;
}

// ---- Autosave recovery -----------------------------------------------------------------------

QList<CAAutosaveEntry> CAAppController::findAutosaves(const QString& folder) {
  QList<CAAutosaveEntry> found;
  if (folder.isEmpty()) return found;
  const QFileInfoList entries =
      QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
  for (const QFileInfo& entry : entries) {
    if (entry.suffix() != QLatin1String(kAutosaveExtension)) continue;
    const QString package = entry.absoluteFilePath();
    // The copies are folders the autosave made. A link is never one of them and is never
    // followed: what it leads to is the user's, neither offered nor swept.
    const bool isPackage = entry.isDir() && !entry.isSymLink();
    // A path is short; anything longer, or no regular file, is no path file of ours.
    constexpr int64_t kLongestPathFile = 65536;
    FLError error;
    std::optional<QByteArray> pathText =
        isPackage ? ReadRegularFile(QDir(package).filePath(QLatin1String(kAutosavePathFileName)), kLongestPathFile,
                                    &error)
                  : std::nullopt;
    // The path only names the copy; the work is in the document, which is offered whenever it
    // is whole.
    if (pathText && pathText->trimmed().isEmpty()) pathText.reset();
    if (!pathText && isPackage && HoldsWholeDocument(package)) pathText = QByteArray(kUntitledPathText);
    if (!pathText) {
      LogString("Can't read autosaved file %@: %@", package,
                isPackage ? error.reason : QStringLiteral("not a package"));
      RemovePackage(package);
      continue;
    }
    found.append({entry.fileName(), QString::fromUtf8(*pathText), package});
  }
  return found;
}

bool CAAppController::shouldOpenAutosaves(const QList<CAAutosaveEntry>& autosaves) {
  return CAAutosaveRestorer::shouldOpenAutosaves(autosaves);
}

void CAAppController::checkAutosave() {
  const QList<CAAutosaveEntry> autosaves = findAutosaves(CalculatorSupportFolder());
  if (autosaves.isEmpty()) return;
  const bool open = shouldOpenAutosaves(autosaves);
  if (open) oldAutosaveFiles_.clear();
  for (const CAAutosaveEntry& autosave : autosaves) {
    autosaveOverride_ = FormatString(kAutosaveTitleFormat, QFileInfo(autosave.path).completeBaseName());
    autosaveOriginalPath_ = autosave.path;
    if (open && applicationOpenFile(autosave.packagePath)) {
      oldAutosaveFiles_.append(autosave.packagePath);
    } else {
      RemovePackage(autosave.packagePath);
    }
  }
  autosaveOverride_.clear();
  autosaveOriginalPath_.clear();
}

void CAAppController::keepAutosaveCopy(const QString& package) { oldAutosaveFiles_.removeAll(package); }

void CAAppController::openUntitledIfLastWindow(QWidget* closing) {
  if (launching() || terminating()) return;
  const QList<QWidget*> windows = OrderedWindows();
  // Its own sheets and dialogs go with it.
  const auto goesWith = [closing](const QWidget* window) {
    for (; window; window = window->parentWidget()) {
      if (window == closing) return true;
    }
    return false;
  };
  const bool othersLeft = std::any_of(windows.begin(), windows.end(), [&](const QWidget* window) { return !goesWith(window); });
  if (!othersLeft) openUntitledWithTabIdentifier(QString());
}

// ---- Quitting --------------------------------------------------------------------------------

void CAAppController::normalize() { NotificationCenter::defaultCenter().post(QLatin1String(kNormalizeNotification)); }

void CAAppController::lastDocumentClosed() {
  if (CAFindDialog::exists()) CAFindDialog::sharedInstance().close();
}

FLDocumentAppDelegate::TerminateReply CAAppController::applicationShouldTerminate() {
  defaults_.setInteger(openCalculatorMask(), QLatin1String(kCalculatorMaskKey));
  // The clean documents close now, for good: their cells need not be freed one by one.
  for (QWidget* window : OrderedWindows()) {
    auto* controller = dynamic_cast<CAWindowController*>(controllerOfWindow(window));
    CADocument* document = controller ? controller->document() : nullptr;
    if (document && !document->dirty()) document->keepCellsUntilExit();
  }
  return FLDocumentAppDelegate::applicationShouldTerminate();
}

void CAAppController::prepareToQuit() {
  for (const QString& package : oldAutosaveFiles_) RemovePackage(package);
  oldAutosaveFiles_.clear();
  if (prefController_) prefController_->savePreferences();
  saveRecentFunctions();
  NotificationCenter::defaultCenter().post(QLatin1String(kQuittingNotification));
  // Autosave copies are for recovery after a crash: a quit lets every document's copy go.
  NotificationCenter::defaultCenter().post(QLatin1String(kApplicationWillTerminateNotification));
  // The synthesizer is a Qt object: it goes before the application object does.
  FLSpeechManager::sharedInstance().setKeepSpeaker(false);
  FLSpeechManager::sharedInstance().stopSpeaking();
}
