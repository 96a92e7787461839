// The application-wide commands and the menus that carry them in every document window.
#include "calculator/controllers/CAAppController.h"

#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/CAOpenPanel.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "framlet/shell/FLActionHandler.h"
#include "framlet/shell/FLRecentDocumentsMenu.h"
#include "framlet/shell/FLSpeechManager.h"
#include "framlet/shell/FLUndoManager.h"
#include "framlet/shell/flMeasures.h"
#include "framlet/shell/flPanelFolders.h"
#include "framlet/shell/flWindowOrder.h"
#include "calculator/model/CACell.h"
#include "calculator/model/caModelServices.h"
#include "platform/NotificationCenter.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>

#include <span>

namespace {

constexpr const char* kNewUntitledAction = "newUntitledDocument:";
constexpr const char* kOpenDocumentAction = "openDocument:";
constexpr const char* kCloseAction = "performClose:";
constexpr const char* kShowPreferencesAction = "showPreferences:";
constexpr const char* kStopSpeakingAction = "stopSpeaking:";
// openCalculator: with the tag of each calculator's mask.
constexpr const char* kOpenStandardCalculatorAction = "openCalculator:1";
constexpr const char* kOpenProgrammerCalculatorAction = "openCalculator:2";
constexpr const char* kOpenConverterAction = "openCalculator:4";
constexpr const char* kTerminateAction = "terminate:";

enum CAAppMenu { kFileMenu, kEditMenu, kFormatMenu, kViewMenu, kWindowMenu, kHelpMenu, kMenuCount };
constexpr const char* kMenuTitles[kMenuCount] = {"&File", "&Edit", "F&ormat", "&View", "&Window", "&Help"};
// The menus' object names, by which document windows add their own items.
constexpr const char* kMenuNames[kMenuCount] = {kCAFileMenuName,   kCAEditMenuName,   kCAFormatMenuName,
                                                kCAViewMenuName, kCAWindowMenuName, kCAHelpMenuName};

// The application's commands: where each goes, what it does and when it is enabled. A null
// perform is the shared action handler's action of that name, validated by the handler.
struct CAAppActionEntry {
  const char* name;
  const char* title;
  CAAppMenu menu;
  bool separatorBefore;
  // The shortcut: a standard one, else a key combination (0: none). Not a QKeySequence, which
  // needs the application object before it can be made.
  QKeySequence::StandardKey standardShortcut;
  int shortcut;
  void (CAAppController::*perform)();
  bool (CAAppController::*isEnabled)() const;
};

const CAAppActionEntry kAppActions[] = {
    {kNewUntitledAction, "New", kFileMenu, false, QKeySequence::New, 0, &CAAppController::newUntitledDocument,
     &CAAppController::noModalWindow},
    {kOpenDocumentAction, "Open…", kFileMenu, false, QKeySequence::Open, 0, &CAAppController::openDocument,
     &CAAppController::noModalWindow},
    {kCloseAction, "Close", kFileMenu, false, QKeySequence::Close, 0, &CAAppController::closeMainWindow,
     &CAAppController::noModalWindow},
    {kShowPreferencesAction, "Settings…", kFileMenu, true, QKeySequence::Preferences, 0,
     &CAAppController::showPreferences, &CAAppController::noModalWindow},
    // Not the standard key, which some desktops leave without one.
    {kTerminateAction, "Quit", kFileMenu, true, QKeySequence::UnknownKey, int(Qt::CTRL) | int(Qt::Key_Q),
     &CAAppController::terminate, &CAAppController::alwaysEnabled},
    // Enabled and titled by the main window's undo stack.
    {kFLUndoEditAction, "Undo", kEditMenu, false, QKeySequence::Undo, 0, &CAAppController::undoEdit, nullptr},
    {kFLRedoEditAction, "Redo", kEditMenu, false, QKeySequence::UnknownKey,
     int(Qt::CTRL) | int(Qt::SHIFT) | int(Qt::Key_Z), &CAAppController::redoEdit, nullptr},
    {kNextWindowAction, "Next Window", kWindowMenu, false, QKeySequence::UnknownKey,
     int(Qt::CTRL) | int(Qt::Key_QuoteLeft), nullptr,
     nullptr},
    {kStopSpeakingAction, "Stop Speaking", kWindowMenu, false, QKeySequence::UnknownKey, 0, &CAAppController::stopSpeaking,
     &CAAppController::speaking},
    {kOpenStandardCalculatorAction, "Calculator", kWindowMenu, true, QKeySequence::UnknownKey, 0,
     &CAAppController::openStandardCalculator, &CAAppController::noModalWindow},
    {kOpenProgrammerCalculatorAction, "Programmer's Calculator", kWindowMenu, false, QKeySequence::UnknownKey, 0,
     &CAAppController::openProgrammerCalculator, &CAAppController::noModalWindow},
    {kOpenConverterAction, "Unit Converter", kWindowMenu, false, QKeySequence::UnknownKey, 0,
     &CAAppController::openConverter, &CAAppController::noModalWindow},
    {kShowAppHelpAction, "Tamsel Calculator Help", kHelpMenu, false, QKeySequence::HelpContents, 0,
     &CAAppController::showAppHelp, &CAAppController::alwaysEnabled},
    {kShowAboutAction, "About Tamsel Calculator", kHelpMenu, false, QKeySequence::UnknownKey, 0, nullptr, nullptr},
    {kVisitWebsiteAction, "Visit the Website", kHelpMenu, false, QKeySequence::UnknownKey, 0, nullptr, nullptr},
    {kCheckUpdatesAction, "Check for Updates…", kHelpMenu, true, QKeySequence::UnknownKey, 0, nullptr, nullptr},
    {kCheckNewsUpdatesAction, "Check for Orvandel News…", kHelpMenu, false, QKeySequence::UnknownKey, 0, nullptr,
     nullptr},
    {kCopyLogsAction, "Copy Logs", kHelpMenu, true, QKeySequence::UnknownKey, 0, nullptr, nullptr},
    {kEmailLogsAction, "Mail Logs…", kHelpMenu, false, QKeySequence::UnknownKey, 0, nullptr, nullptr},
};

// The commands that carry a value in their tag, each in a submenu: the distance unit, the find
// options (a bit of the option mask each) and the find scope.
enum CATaggedCommand { kUnitCommand, kSearchOptionCommand, kSearchScopeCommand };
struct CAAppTaggedEntry {
  CATaggedCommand command;
  const char* title;
  int tag;
};
struct CAAppSubmenu {
  const char* objectName;
  const char* title;
  CAAppMenu menu;
  const char* before;  // the item of the menu it goes before; null: at the end
  std::span<const CAAppTaggedEntry> items;
};
constexpr const char* kCommandNames[] = {"setMeasurementUnits:", "setSearchOption:", "setSearchScope:"};

constexpr CAAppTaggedEntry kFindOptionItems[] = {
    {kSearchOptionCommand, "Ignore Case", 1},
    {kSearchOptionCommand, "Whole Words", 0},
    {kSearchOptionCommand, "Wrap Around", 2},
    {kSearchOptionCommand, "Search from the Start", 3},
    {kSearchScopeCommand, "Search Formulas", kFindEntered},
    {kSearchScopeCommand, "Search Values", kFindShown},
    {kSearchScopeCommand, "Search Formulas and Values", kFindBoth},
};
constexpr CAAppTaggedEntry kUnitItems[] = {
    {kUnitCommand, "Inches", kFLUnitInches},           {kUnitCommand, "Centimeters", kFLUnitCentimetres},
    {kUnitCommand, "Millimeters", kFLUnitMillimetres}, {kUnitCommand, "Points", kFLUnitPoints},
    {kUnitCommand, "Picas", kFLUnitPicas},
};

const CAAppSubmenu kAppSubmenus[] = {
    {kCAFindOptionsMenuName, "Find Options", kEditMenu, "startSpeaking:", kFindOptionItems},
    {kCAUnitsMenuName, "Units", kFormatMenu, nullptr, kUnitItems},
};

QString Tr(const char* text) { return QApplication::translate("CAAppController", text); }

// The tagged command an item stands for, from its object name ("setSearchScope:2").
bool TaggedCommandOf(const QAction* item, CATaggedCommand* command, int* tag) {
  const QString name = item ? item->objectName() : QString();
  for (int c = 0; c < int(std::size(kCommandNames)); ++c) {
    const QLatin1String prefix(kCommandNames[c]);
    if (!name.startsWith(prefix)) continue;
    bool ok = false;
    *tag = name.mid(prefix.size()).toInt(&ok);
    *command = CATaggedCommand(c);
    return ok;
  }
  return false;
}

CAWindowController* MainWindowController(const CAAppController& app) {
  return dynamic_cast<CAWindowController*>(app.controllerOfWindow(MainWindow()));
}

bool IsUndoOrRedo(const CAAppActionEntry& entry) {
  return entry.perform == &CAAppController::undoEdit || entry.perform == &CAAppController::redoEdit;
}

const CAAppActionEntry* EntryNamed(const QString& name) {
  for (const CAAppActionEntry& entry : kAppActions) {
    if (name == QLatin1String(entry.name)) return &entry;
  }
  return nullptr;
}

}  // namespace

void CAAppController::installMenus(QMainWindow* window) { installMenus(window->menuBar(), window, true); }

void CAAppController::installApplicationMenus(QWidget* window) {
  QLayout* layout = window ? window->layout() : nullptr;
  if (!layout) return;
  auto* bar = new QMenuBar(window);
  installMenus(bar, window, false);
  layout->setMenuBar(bar);
}

void CAAppController::installMenus(QMenuBar* bar, QWidget* window, bool document) {
  // A window that is no document's has nothing to edit, format or view: the application's own
  // menus only.
  const auto shown = [document](int m) { return document || m == kFileMenu || m == kWindowMenu || m == kHelpMenu; };
  QMenu* menus[kMenuCount] = {};
  for (int m = 0; m < kMenuCount; ++m) {
    if (!shown(m)) continue;
    menus[m] = bar->addMenu(Tr(kMenuTitles[m]));
    menus[m]->setObjectName(QLatin1String(kMenuNames[m]));
  }
  for (const CAAppActionEntry& entry : kAppActions) {
    QMenu* menu = menus[entry.menu];
    if (!menu) continue;
    if (entry.separatorBefore) menu->addSeparator();
    QAction* action = menu->addAction(Tr(entry.title));
    action->setObjectName(QLatin1String(entry.name));
    action->setShortcut(entry.standardShortcut != QKeySequence::UnknownKey ? QKeySequence(entry.standardShortcut)
                                                                           : QKeySequence(entry.shortcut));
    const QString name = action->objectName();
    // A shortcut reaches the command without the menu being shown: it is validated as it comes.
    if (entry.perform) {
      connect(action, &QAction::triggered, this, [this, action, perform = entry.perform] {
        if (validateMenuItem(action)) {
          (this->*perform)();
        } else {
          WorkspaceBeep();
        }
      });
    } else {
      connect(action, &QAction::triggered, this, [this, action, name] {
        if (validateMenuItem(action)) {
          FLActionHandler::sharedInstance().perform(name);
        } else {
          WorkspaceBeep();
        }
      });
    }
    if (entry.perform == &CAAppController::openDocument) menu->addMenu(new FLRecentDocumentsMenu(this, menu));
  }
  for (QMenu* menu : menus) {
    if (!menu) continue;
    connect(menu, &QMenu::aboutToShow, menu, [this, menu] {
      // The window's own items in the menu are the window's to validate.
      for (QAction* action : menu->actions()) {
        if (!action->isSeparator() && EntryNamed(action->objectName())) action->setEnabled(validateMenuItem(action));
      }
    });
    // What the shown menu greyed out (New and Open while a dialog was up) must not stay dead for
    // its shortcut. Undo and Redo are kept current by the window as its undo stack changes.
    connect(menu, &QMenu::aboutToHide, menu, [menu] {
      for (QAction* action : menu->actions()) {
        const CAAppActionEntry* entry = action->isSeparator() ? nullptr : EntryNamed(action->objectName());
        if (entry && !IsUndoOrRedo(*entry)) action->setEnabled(true);
      }
    });
  }
  QMenu* windowMenu = menus[kWindowMenu];
  connect(windowMenu, &QMenu::aboutToShow, windowMenu, [this, windowMenu, window] { listWindows(windowMenu, window); });
}

void CAAppController::listWindows(QMenu* menu, QWidget* owner) {
  // The open document windows at the foot of the menu, as the desktop lists them: the window the
  // menu belongs to checked, choosing another brings it to the front.
  constexpr const char* kWindowListItem = "windowListItem";
  for (QAction* action : menu->actions()) {
    if (!action->property(kWindowListItem).toBool()) continue;
    menu->removeAction(action);
    action->deleteLater();
  }
  bool first = true;
  for (FLDocumentWC* controller : controllers()) {
    QWidget* shown = controller->window();
    if (!shown || controller->isClosed()) continue;
    if (first) menu->addSeparator()->setProperty(kWindowListItem, true);
    first = false;
    QAction* item = menu->addAction(shown->windowTitle().remove(QLatin1String("[*]")));
    item->setProperty(kWindowListItem, true);
    item->setCheckable(true);
    item->setChecked(shown == owner);
    connect(item, &QAction::triggered, this, [shown = QPointer<QWidget>(shown)] {
      if (shown) MakeKeyAndOrderFront(shown);
    });
  }
}

void CAAppController::installSubmenus(QMainWindow* window) {
  for (const CAAppSubmenu& place : kAppSubmenus) {
    QMenu* menu = window->menuBar()->findChild<QMenu*>(QLatin1String(kMenuNames[place.menu]));
    if (!menu || menu->findChild<QMenu*>(QLatin1String(place.objectName))) continue;
    auto* submenu = new QMenu(Tr(place.title), menu);
    submenu->setObjectName(QLatin1String(place.objectName));
    QAction* before = place.before ? menu->findChild<QAction*>(QLatin1String(place.before)) : nullptr;
    // It stays with the group above the item, before the separator that opens the item's group.
    const QList<QAction*> items = menu->actions();
    const qsizetype at = before ? items.indexOf(before) : -1;
    if (at > 0 && items[at - 1]->isSeparator()) before = items[at - 1];
    menu->insertMenu(before, submenu);
    // The unit and the scope are one choice each; the option bits are independent.
    auto* choice = new QActionGroup(submenu);
    for (const CAAppTaggedEntry& entry : place.items) {
      QAction* item = submenu->addAction(Tr(entry.title));
      item->setObjectName(QLatin1String(kCommandNames[entry.command]) + QString::number(entry.tag));
      item->setCheckable(true);
      if (entry.command != kSearchOptionCommand) choice->addAction(item);
      connect(item, &QAction::triggered, this, [this, command = entry.command, tag = entry.tag] {
        switch (command) {
          case kUnitCommand:
            if (noModalWindow()) setMeasurementUnits(tag);
            break;
          case kSearchOptionCommand:
            setSearchOption(tag);
            break;
          case kSearchScopeCommand:
            setSearchScope(tag);
            break;
        }
      });
    }
    connect(submenu, &QMenu::aboutToShow, submenu, [this, submenu] {
      for (QAction* item : submenu->actions()) item->setEnabled(validateMenuItem(item));
    });
  }
}

bool CAAppController::validateMenuItem(QAction* item) const {
  CATaggedCommand command = kUnitCommand;
  int tag = 0;
  if (TaggedCommandOf(item, &command, &tag)) {
    const CAPrefController* preferences = prefController_.get();
    if (!preferences) return false;
    switch (command) {
      case kUnitCommand:
        item->setChecked(preferences->value(CAIntPreference::defaultUnits) == tag);
        return noModalWindow();
      case kSearchOptionCommand:
        item->setChecked((preferences->value(CAIntPreference::searchOptionMask) >> tag) & 1);
        return true;
      case kSearchScopeCommand:
        item->setChecked(preferences->value(CAIntPreference::searchScope) == tag);
        return true;
    }
  }
  const CAAppActionEntry* entry = item ? EntryNamed(item->objectName()) : nullptr;
  if (!entry) return true;
  if (IsUndoOrRedo(*entry)) {
    CAWindowController* front = MainWindowController(*this);
    if (front) return front->undoManager()->validateMenuItem(item);
    item->setText(Tr(entry->title));
    return false;
  }
  if (!entry->isEnabled) return FLActionHandler::sharedInstance().validateMenuItem(item);
  return (this->*entry->isEnabled)();
}

bool CAAppController::noModalWindow() const { return !HasModalWindow(); }

bool CAAppController::speaking() const { return FLSpeechManager::sharedInstance().isSpeaking(); }

void CAAppController::closeMainWindow() {
  if (QWidget* window = MainWindow()) window->close();
}

void CAAppController::undoEdit() {
  if (CAWindowController* front = MainWindowController(*this)) front->undoEdit();
}

void CAAppController::redoEdit() {
  if (CAWindowController* front = MainWindowController(*this)) front->redoEdit();
}

void CAAppController::newUntitledDocument() { applicationOpenUntitledFile(); }

void CAAppController::openDocument() {
  QStringList patterns;
  for (const QString& type : OpenTypes()) patterns.append(QStringLiteral("*.") + type);
  auto* panel = new CAOpenPanel(MainWindow(), Tr("Select a file to open"));
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->setDirectory(PanelStartFolder());
  panel->setNameFilters({Tr("Documents (%1)").arg(patterns.join(QLatin1Char(' '))), Tr("All files (*)")});
  connect(panel, &QFileDialog::filesSelected, this, [this](const QStringList& paths) {
    if (!paths.isEmpty()) NotePanelFolder(QFileInfo(paths.first()).absolutePath());
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
