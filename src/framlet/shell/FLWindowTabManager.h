// The keeper of document windows' tab groups: whether a new document window joins the tabs of
// the main window (the application's own choice, or the user's tabbing habit), which group a
// reopened document goes back into, in the order and at the frame of the last run with the same
// tab in front, and the groups recorded at quit under "ov.fl.windowTabs".
//
// A window's tabbing identifier and group are kept here, keyed by the window: windows with the
// same identifier may be tabbed together, and a group is the ordered list of its windows.
#pragma once

#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

inline constexpr const char* kWindowTabsKey = "ov.fl.windowTabs";
inline constexpr const char* kTabRecordTab = "tab";
inline constexpr const char* kTabRecordGroup = "group";
inline constexpr const char* kTabRecordPaths = "paths";
inline constexpr const char* kTabRecordFrame = "frame";
inline constexpr const char* kTabRecordActive = "active";
// What a window grows by when it shows a tab bar.
inline constexpr int kTabBarHeight = 28;
inline constexpr int kRestoreFrontDelayMilliseconds = 750;
inline constexpr int kAllowTabbingDelayMilliseconds = 1000;

// The user's habit when the application makes no choice of its own.
enum class FLTabbingPreference { Manual, Always, InFullScreen };
// Where the habit is kept: shared by the maker's programs, "always", "fullscreen" or "manual";
// without it, tabs in full screen, as the desktop's document windows do by default.
inline constexpr const char* kTabbingModeKey = "ov.fl.tabbingMode";
// How a window may be tabbed.
enum class FLTabbingMode { Automatic, Preferred, Disallowed };

class FLWindowTabManager {
 public:
  static FLWindowTabManager& sharedInstance();
  FLWindowTabManager(const FLWindowTabManager&) = delete;
  FLWindowTabManager& operator=(const FLWindowTabManager&) = delete;

  // 0: follow the user's preference; 1: separate windows unless Alt is held; 2: tabs unless
  // Alt is held.
  int tabOverride() const { return tabOverride_; }
  void setTabOverride(int value) { tabOverride_ = value; }
  bool disableMerge() const { return disableMerge_; }
  void setDisableMerge(bool disable) { disableMerge_ = disable; }
  const QString& windowTabIdentifier() const { return windowTabIdentifier_; }
  void setWindowTabIdentifier(const QString& identifier) { windowTabIdentifier_ = identifier; }
  FLTabbingPreference tabbingPreference() const { return preference_; }
  void setTabbingPreference(FLTabbingPreference preference) { preference_ = preference; }
  // Reads the user's habit from the shared preferences (at launch).
  void loadTabbingPreference();
  // The groups read at launch or being collected at quit; null before either.
  const std::optional<QList<QVariantMap>>& windowTabDicts() const { return windowTabDicts_; }

  // ---- Environment (tests replace them)
  // Whether a window is a document window of the controller class, its document's path, the
  // document window showing a path, the windows front to back, Alt held, the launch running.
  struct Environment {
    std::function<bool(QWidget*)> isDocumentWindow;
    std::function<QString(QWidget*)> documentPath;
    std::function<QWidget*(const QString&)> windowForFile;
    std::function<QList<QWidget*>()> orderedWindows;
    std::function<bool()> altHeld;
    std::function<bool()> launching;
    std::function<void(QWidget*)> orderFront;
  };
  void setEnvironment(Environment environment);

  // ---- Deciding
  bool canTabWindows() const;
  bool shouldTabWithWindow(QWidget* window) const;
  // The main document window's identifier, and whether a new window should join it.
  QString mainWindowTabIdentifier(bool* join) const;
  // A new document window's tabbing: joins the group of `identifier`, or stands alone.
  void setTabIdentifier(const QString& identifier, QWidget* window);
  void forceWindow(QWidget* window, const QString& identifier);

  // ---- Windows and groups
  QString tabbingIdentifier(QWidget* window) const;
  FLTabbingMode tabbingMode(QWidget* window) const;
  void setTabbingMode(QWidget* window, FLTabbingMode mode);
  // The windows tabbed with the window, in tab order, the window included; empty when alone.
  QList<QWidget*> tabbedWindows(QWidget* window) const;
  // Adds the window as a tab after (or before) another.
  void addTabbedWindow(QWidget* existing, QWidget* window, bool after);
  // The window closed: it leaves its group.
  void windowClosed(QWidget* window);

  // ---- Launch
  void loadWindowTabDicts();
  // The record of the group the path was in, with its identifier (null until the group's first
  // window reopened); without a record, the main window's identifier when a new window joins it.
  std::optional<QVariantMap> tabDictForFile(const QString& path, QString* identifier);
  void assignWindow(QWidget* window, const QString& path, const QString& identifier);
  // The frame the path's group stored (its inner rectangle, the tab bar left out) while the
  // groups read at launch are being reopened; a frame of any size or place comes within the
  // reach of a window system's coordinates, and one that is no rectangle is none.
  std::optional<QRect> storedFrameForFile(const QString& path) const;
  void restoreFrontmostTabbedWindows();

  // ---- Quit
  void prepareToSaveState();
  void registerWindowTab(QWidget* window, const QString& path);
  void saveStateToPrefs();

  // Forgets everything (tests).
  void reset();

 private:
  FLWindowTabManager();
  struct Group;
  std::shared_ptr<Group> groupOf(QWidget* window) const;
  int recordIndexForPath(const QString& path) const;

  struct WindowState {
    QPointer<QWidget> window;
    QString identifier;
    FLTabbingMode mode = FLTabbingMode::Automatic;
    std::shared_ptr<Group> group;
  };
  WindowState* stateOf(QWidget* window);
  const WindowState* stateOf(QWidget* window) const;

  Environment environment_;
  std::optional<QList<QVariantMap>> windowTabDicts_;
  QList<WindowState> windows_;
  QString windowTabIdentifier_;
  int tabOverride_ = 0;
  bool disableMerge_ = false;
  FLTabbingPreference preference_ = FLTabbingPreference::Manual;
};
