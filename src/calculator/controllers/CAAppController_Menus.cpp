// The application-wide commands and the menus that carry them in every document window.
#include "calculator/controllers/CAAppController.h"

#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "framlet/shell/FLActionHandler.h"
#include "framlet/shell/FLSpeechManager.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/NotificationCenter.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

namespace {

constexpr const char* kNewUntitledAction = "newUntitledDocument:";
constexpr const char* kOpenDocumentAction = "openDocument:";
constexpr const char* kCloseAction = "performClose:";
constexpr const char* kShowPreferencesAction = "showPreferences:";
constexpr const char* kStopSpeakingAction = "stopSpeaking:";
constexpr const char* kTerminateAction = "terminate:";

QString Tr(const char* text) { return QApplication::translate("CAAppController", text); }

QAction* AddAction(QMenu* menu, const char* title, const char* name, const QKeySequence& shortcut = {}) {
  QAction* action = menu->addAction(Tr(title));
  action->setObjectName(QLatin1String(name));
  action->setShortcut(shortcut);
  return action;
}

}  // namespace

void CAAppController::installMenus(QMainWindow* window) {
  QMenuBar* bar = window->menuBar();
  QMenu* file = bar->addMenu(Tr("&File"));
  connect(AddAction(file, "New", kNewUntitledAction, QKeySequence::New), &QAction::triggered, this,
          &CAAppController::newUntitledDocument);
  connect(AddAction(file, "Open…", kOpenDocumentAction, QKeySequence::Open), &QAction::triggered, this,
          &CAAppController::openDocument);
  connect(AddAction(file, "Close", kCloseAction, QKeySequence::Close), &QAction::triggered, window,
          [window] { window->close(); });
  file->addSeparator();
  connect(AddAction(file, "Settings…", kShowPreferencesAction, QKeySequence::Preferences), &QAction::triggered, this,
          &CAAppController::showPreferences);
  file->addSeparator();
  connect(AddAction(file, "Quit", kTerminateAction, QKeySequence::Quit), &QAction::triggered, this,
          &FLDocumentAppDelegate::terminate);

  FLActionHandler& handler = FLActionHandler::sharedInstance();
  QMenu* windows = bar->addMenu(Tr("&Window"));
  connect(AddAction(windows, "Next Window", kNextWindowAction, QKeySequence(Qt::CTRL | Qt::Key_QuoteLeft)),
          &QAction::triggered, &handler, &FLActionHandler::nextWindow);
  connect(AddAction(windows, "Stop Speaking", kStopSpeakingAction), &QAction::triggered, this,
          &CAAppController::stopSpeaking);

  QMenu* help = bar->addMenu(Tr("&Help"));
  connect(AddAction(help, "About Tamsel Calculator", kShowAboutAction), &QAction::triggered, &handler,
          &FLActionHandler::showAbout);
  connect(AddAction(help, "Visit the Website", kVisitWebsiteAction), &QAction::triggered, &handler,
          &FLActionHandler::visitWebsite);
  connect(AddAction(help, "Copy Logs", kCopyLogsAction), &QAction::triggered, &handler, &FLActionHandler::copyLogs);
  connect(AddAction(help, "Mail Logs…", kEmailLogsAction), &QAction::triggered, &handler, &FLActionHandler::emailLogs);

  for (QMenu* menu : {file, windows, help}) {
    connect(menu, &QMenu::aboutToShow, menu, [this, menu] {
      for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) action->setEnabled(validateMenuItem(action));
      }
    });
  }
}

bool CAAppController::validateMenuItem(QAction* item) const {
  if (!item) return false;
  const QString name = item->objectName();
  const bool modal = HasModalWindow();
  if (name == QLatin1String(kNewUntitledAction) || name == QLatin1String(kShowPreferencesAction) ||
      name == QLatin1String(kOpenDocumentAction)) {
    return !modal;
  }
  if (name == QLatin1String(kStopSpeakingAction)) return FLSpeechManager::sharedInstance().isSpeaking();
  FLActionHandler& handler = FLActionHandler::sharedInstance();
  if (name == QLatin1String(kNextWindowAction) || name == QLatin1String(kShowAboutAction) ||
      name == QLatin1String(kVisitWebsiteAction) || name == QLatin1String(kCopyLogsAction) ||
      name == QLatin1String(kEmailLogsAction)) {
    return handler.validateMenuItem(item);
  }
  return true;
}

void CAAppController::newUntitledDocument() { applicationOpenUntitledFile(); }

void CAAppController::openDocument() {
  QStringList patterns;
  for (const QString& type : OpenTypes()) patterns.append(QStringLiteral("*.") + type);
  auto* panel = new QFileDialog(MainWindow(), Tr("Select a file to open"));
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->setFileMode(QFileDialog::ExistingFiles);
  panel->setNameFilters({Tr("Documents (%1)").arg(patterns.join(QLatin1Char(' '))), Tr("All files (*)")});
  connect(panel, &QFileDialog::filesSelected, this, [this](const QStringList& paths) {
    QTimer::singleShot(0, this, [this, paths] { openFiles(paths); });
  });
  panel->open();
}

void CAAppController::showPreferences() {
  if (prefController_) prefController_->showPreferences();
}

void CAAppController::stopSpeaking() { FLSpeechManager::sharedInstance().stopSpeaking(); }

void CAAppController::setMeasurementUnits(int unitCode) {
  if (!prefController_) return;
  prefController_->setValue(CAIntPreference::defaultUnits, unitCode);
  NotificationCenter::defaultCenter().post(QLatin1String(kUnitChangeNotification));
}

void CAAppController::setSearchOption(int bit) {
  if (!prefController_ || bit < 0 || bit > 62) return;
  const int64_t mask = prefController_->value(CAIntPreference::searchOptionMask) ^ (int64_t(1) << bit);
  prefController_->setValue(CAIntPreference::searchOptionMask, mask);
  NotificationCenter::defaultCenter().post(QLatin1String(kSearchChangedNotification), this);
}

void CAAppController::setSearchScope(int scope) {
  if (!prefController_) return;
  prefController_->setValue(CAIntPreference::searchScope, scope);
  NotificationCenter::defaultCenter().post(QLatin1String(kSearchChangedNotification), this);
}
