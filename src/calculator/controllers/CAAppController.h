// The spreadsheet's half of the launch, open and quit sequence that the framework's application
// delegate runs: the registered defaults and preferences, the locale's separators, the type
// lists, the XML key table, the function classes and recent functions, the support folder,
// autosave recovery, opening documents into windows, and what is stored at quit.
#pragma once

#include "framlet/shell/FLDocumentAppDelegate.h"

#include <QString>
#include <QStringList>

#include <memory>

class CAApplication;
class CAPrefController;
class CAWindowController;
class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;
class UserDefaults;

inline constexpr const char* kAppAboutString = "A one-sheet spreadsheet with exact numbers, plus three calculators.";
inline constexpr const char* kAutosaveTitleFormat = "Autosave of %@ [Locked]";
inline constexpr const char* kCantOpenFileMessage = "Can't open file.";
inline constexpr const char* kCantOpenFileFormat = "The file \"%@\" can't be opened. %@";

// Calculator windows, as bits of "numlet.calculatorMask".
inline constexpr int kStandardCalculatorMask = 1;
inline constexpr int kProgrammerCalculatorMask = 2;
inline constexpr int kConverterCalculatorMask = 4;

// The types the save panel offers and the open panel accepts, in their order.
const QStringList& SaveTypes();
const QStringList& OpenTypes();
// The clipboard's types, richest first: the cell archive, files, URLs, RTFD, RTF, the text
// types, then the picture types.
const QStringList& ClipboardTypes();

// An autosaved copy found in the support folder.
struct CAAutosaveEntry {
  QString name;         // the package's file name
  QString path;         // the document's path when it was autosaved, or "untitled"
  QString packagePath;  // where the package lies
};

// The menus of a document window's menu bar, by object name.
inline constexpr const char* kCAFileMenuName = "fileMenu";
inline constexpr const char* kCAEditMenuName = "editMenu";
inline constexpr const char* kCAFormatMenuName = "formatMenu";
inline constexpr const char* kCAViewMenuName = "viewMenu";
inline constexpr const char* kCAWindowMenuName = "windowMenu";
inline constexpr const char* kCAHelpMenuName = "helpMenu";
// Submenus: the View menu's zoom steps, the Edit menu's find options, the Format menu's units.
inline constexpr const char* kCAZoomToMenuName = "zoomToMenu";
inline constexpr const char* kCAFindOptionsMenuName = "findOptionsMenu";
inline constexpr const char* kCAUnitsMenuName = "unitsMenu";

class CAAppController : public FLDocumentAppDelegate {
  Q_OBJECT

 public:
  // The preferences live in `defaults` (the application's own domain in the application).
  explicit CAAppController(UserDefaults& defaults);
  ~CAAppController() override;

  // The application's controller; null before main() made it. (Made and destroyed by main()
  // rather than held in a function-local static: it owns windows, which must go before the
  // application object.)
  static CAAppController* sharedInstance();

  // ---- Hooks of the launch, open and quit
  void preliminaryInit() override;
  void initOnLaunch() override;
  QString reopenFilesKey() const override;
  QStringList filesToReopen() const override;
  FLDocumentWC* openFileWithTabIdentifier(const QString& path, const QString& tabIdentifier) override;
  FLDocumentWC* openUntitledWithTabIdentifier(const QString& tabIdentifier) override;
  bool saveWorkspace() override;
  void normalize() override;
  // The find panel searches documents: it goes with the last of them.
  void lastDocumentClosed() override;
  TerminateReply applicationShouldTerminate() override;
  void prepareToQuit() override;
  QString aboutString() const override { return QString::fromLatin1(kAppAboutString); }
  std::optional<QString> defaultFontName() const override;
  std::optional<int> currentDistanceUnit() const override;

  CAPrefController* prefController() const { return prefController_.get(); }
  UserDefaults& defaults() const { return defaults_; }

  // ---- Autosave recovery
  void checkAutosave();
  // The autosaved copies in the folder. One whose path cannot be read is still offered, as
  // "untitled", when its document is whole; else it is logged and deleted. Links are neither
  // offered nor followed: only the link itself goes.
  static QList<CAAutosaveEntry> findAutosaves(const QString& folder);
  const QStringList& oldAutosaveFiles() const { return oldAutosaveFiles_; }
  // A recovered copy whose window closed unread (its password withheld) stays for the next
  // launch instead of going at quit.
  void keepAutosaveCopy(const QString& package);
  // Before a window goes without the user closing it: when no other window would be left, a
  // new untitled one is opened, since the last window's closing ends the application.
  void openUntitledIfLastWindow(QWidget* closing);

  // ---- Calculators: one window of each kind at most, brought to the front (with the delay
  // flag, a new one shows half a second later); false for a mask other than 1, 2 or 4.
  virtual bool openCalculatorForMask(int mask, bool delay);
  // The calculators open now, as "numlet.calculatorMask" bits.
  virtual int openCalculatorMask() const;
  // The menu commands.
  void openCalculator(int mask);
  void openStandardCalculator() { openCalculator(kStandardCalculatorMask); }
  void openProgrammerCalculator() { openCalculator(kProgrammerCalculatorMask); }
  void openConverter() { openCalculator(kConverterCalculatorMask); }

  // ---- Application commands
  void installMenus(QMainWindow* window);
  // The application's menus (File, Window, Help) in a window that is no document's, a
  // calculator's: New, Open and Quit are reached from every window of the application.
  void installApplicationMenus(QWidget* window);
  // Lists the open document windows at the foot of a window's Window menu.
  void listWindows(QMenu* menu, QWidget* owner);
  // The submenus of tagged commands (units, find options and scope), once the window's own
  // items are in the menus they join.
  void installSubmenus(QMainWindow* window);
  bool validateMenuItem(QAction* item) const;
  void newUntitledDocument();
  void openDocument();
  void showPreferences();
  void stopSpeaking();
  void closeMainWindow();
  // Undo and Redo of the main window's document.
  void undoEdit();
  void redoEdit();
  void setMeasurementUnits(int unitCode);
  void setSearchOption(int bit);
  void setSearchScope(int scope);

  static bool appIsActive();

  // Menu item states.
  bool noModalWindow() const;
  bool alwaysEnabled() const { return true; }
  bool speaking() const;

 protected:
  // The seam where document windows are made: the window controller of the sheet.
  virtual std::unique_ptr<CAWindowController> newWindowController();
  // Asks whether to open the autosaved copies (the recovery dialog).
  virtual bool shouldOpenAutosaves(const QList<CAAutosaveEntry>& autosaves);

 private:
  CAWindowController* adoptWindowController(std::unique_ptr<CAWindowController> controller);
  // The menus of the application in a window's bar; a document window's get its own items too.
  void installMenus(QMenuBar* bar, QWidget* window, bool document);
  void loadRecentFunctions();
  void saveRecentFunctions();

  UserDefaults& defaults_;
  std::unique_ptr<CAApplication> application_;
  std::unique_ptr<CAPrefController> prefController_;
  QStringList oldAutosaveFiles_;
  bool recoveringAutosaves_ = false;
  QString autosaveOverride_;
  QString autosaveOriginalPath_;  // the recorded path of the copy being opened
};
