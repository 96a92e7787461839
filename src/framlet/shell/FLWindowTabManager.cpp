#include "framlet/shell/FLWindowTabManager.h"

#include "framlet/foundation/flStringExtensions.h"
#include "framlet/shell/FLWindowTabContainer.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <algorithm>

struct FLWindowTabManager::Group {
  QList<QPointer<QWidget>> windows;
};

namespace {

QVariantList FrameList(const QRect& rect) { return {rect.x(), rect.y(), rect.width(), rect.height()}; }

// The settings file may have been edited by hand: each coordinate is read as whatever number it
// holds, and the rectangle brought within reach before any sum is taken with it.
QRect FrameFromList(const QVariant& value) {
  const QVariantList list = value.toList();
  if (list.size() != 4) return {};
  double numbers[4];
  for (int i = 0; i < 4; ++i) {
    bool ok = false;
    numbers[i] = list[i].toDouble(&ok);
    if (!ok) return {};
  }
  return WindowRectWithinReach(QRectF(numbers[0], numbers[1], numbers[2], numbers[3])).toRect();
}

qint64 GroupIdentity(const void* group) { return qint64(reinterpret_cast<quintptr>(group)); }

}  // namespace

FLWindowTabManager& FLWindowTabManager::sharedInstance() {
  static FLWindowTabManager manager;
  return manager;
}

FLWindowTabManager::FLWindowTabManager() { setEnvironment({}); }

void FLWindowTabManager::setEnvironment(Environment environment) {
  if (!environment.isDocumentWindow) environment.isDocumentWindow = [](QWidget*) { return true; };
  if (!environment.documentPath) environment.documentPath = [](QWidget*) { return QString(); };
  if (!environment.windowForFile) environment.windowForFile = [](const QString&) { return nullptr; };
  if (!environment.orderedWindows) environment.orderedWindows = [] { return OrderedWindows(); };
  if (!environment.altHeld) {
    environment.altHeld = [] { return (QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier) != 0; };
  }
  if (!environment.launching) environment.launching = [] { return false; };
  if (!environment.orderFront) environment.orderFront = [](QWidget* window) { MakeKeyAndOrderFront(window); };
  environment_ = std::move(environment);
}

void FLWindowTabManager::loadTabbingPreference() {
  const QString mode = UserDefaults::sharedDefaults().stringForKey(QLatin1String(kTabbingModeKey));
  if (mode == QLatin1String("always")) {
    preference_ = FLTabbingPreference::Always;
  } else if (mode == QLatin1String("manual")) {
    preference_ = FLTabbingPreference::Manual;
  } else {
    preference_ = FLTabbingPreference::InFullScreen;
  }
}

void FLWindowTabManager::reset() {
  windowTabDicts_.reset();
  windows_.clear();
  windowTabIdentifier_.clear();
  tabOverride_ = 0;
  disableMerge_ = false;
  preference_ = FLTabbingPreference::Manual;
  setEnvironment({});
}

// ---- Windows and groups ---------------------------------------------------------------------

FLWindowTabManager::WindowState* FLWindowTabManager::stateOf(QWidget* window) {
  windows_.removeIf([](const WindowState& state) { return state.window.isNull(); });
  for (WindowState& state : windows_) {
    if (state.window == window) return &state;
  }
  return nullptr;
}

const FLWindowTabManager::WindowState* FLWindowTabManager::stateOf(QWidget* window) const {
  for (const WindowState& state : windows_) {
    if (state.window && state.window == window) return &state;
  }
  return nullptr;
}

QString FLWindowTabManager::tabbingIdentifier(QWidget* window) const {
  const WindowState* state = stateOf(window);
  return state ? state->identifier : QString();
}

FLTabbingMode FLWindowTabManager::tabbingMode(QWidget* window) const {
  const WindowState* state = stateOf(window);
  return state ? state->mode : FLTabbingMode::Automatic;
}

void FLWindowTabManager::setTabbingMode(QWidget* window, FLTabbingMode mode) {
  if (WindowState* state = stateOf(window)) state->mode = mode;
}

std::shared_ptr<FLWindowTabManager::Group> FLWindowTabManager::groupOf(QWidget* window) const {
  const WindowState* state = stateOf(window);
  return state ? state->group : nullptr;
}

QList<QWidget*> FLWindowTabManager::tabbedWindows(QWidget* window) const {
  QList<QWidget*> list;
  const std::shared_ptr<Group> group = groupOf(window);
  if (!group) return list;
  for (const QPointer<QWidget>& member : group->windows) {
    if (member) list.append(member);
  }
  return list.size() > 1 ? list : QList<QWidget*>();
}

void FLWindowTabManager::addTabbedWindow(QWidget* existing, QWidget* window, bool after) {
  WindowState* existingState = stateOf(existing);
  if (!existingState || existing == window) return;
  if (!existingState->group) existingState->group = std::make_shared<Group>(Group{{existing}});
  windowClosed(window);
  WindowState* state = stateOf(window);
  if (!state) {
    windows_.append(WindowState{window, existingState->identifier, FLTabbingMode::Preferred, nullptr});
    state = &windows_.last();
    existingState = stateOf(existing);
  }
  state->identifier = existingState->identifier;
  state->group = existingState->group;
  QList<QPointer<QWidget>>& members = state->group->windows;
  const qsizetype at = members.indexOf(existing);
  members.insert(after ? at + 1 : at, window);
  // On screen the two share one window with a tab for each.
  FLWindowTabContainer::tabWindow(existing, window, after);
}

void FLWindowTabManager::windowClosed(QWidget* window) {
  WindowState* state = stateOf(window);
  if (!state || !state->group) return;
  state->group->windows.removeAll(window);
  state->group.reset();
}

// ---- Deciding -------------------------------------------------------------------------------

bool FLWindowTabManager::canTabWindows() const {
  if (tabOverride_ != 0) return tabOverride_ == 2;
  return preference_ == FLTabbingPreference::Always || preference_ == FLTabbingPreference::InFullScreen;
}

bool FLWindowTabManager::shouldTabWithWindow(QWidget* window) const {
  const bool alt = !environment_.launching() && environment_.altHeld();
  if (disableMerge_) return false;
  if (tabOverride_ != 0) return (tabOverride_ == 1 && alt) || (tabOverride_ == 2 && !alt);
  switch (preference_) {
    case FLTabbingPreference::Always: return !alt;
    case FLTabbingPreference::InFullScreen: return !alt && window && window->isFullScreen();
    case FLTabbingPreference::Manual: return alt;
  }
  return false;
}

QString FLWindowTabManager::mainWindowTabIdentifier(bool* join) const {
  if (join) *join = false;
  if (disableMerge_) return QString();
  for (QWidget* window : environment_.orderedWindows()) {
    if (!environment_.isDocumentWindow(window)) continue;
    if (join) *join = shouldTabWithWindow(window);
    return tabbingIdentifier(window);
  }
  return QString();
}

void FLWindowTabManager::setTabIdentifier(const QString& identifier, QWidget* window) {
  WindowState* state = stateOf(window);
  if (!state) {
    windows_.append(WindowState{window, QString(), FLTabbingMode::Automatic, nullptr});
    state = &windows_.last();
  }
  if (disableMerge_) {
    state->identifier = guidString();
    state->mode = FLTabbingMode::Disallowed;
    return;
  }
  if (!identifier.isEmpty()) {
    state->identifier = identifier;
    state->mode = FLTabbingMode::Preferred;
    // Joins the frontmost other window of that identifier, as its next tab.
    for (QWidget* other : environment_.orderedWindows()) {
      if (other != window && tabbingIdentifier(other) == identifier) {
        addTabbedWindow(other, window, true);
        break;
      }
    }
    return;
  }
  // Alone for now; tabbing may join it with others once it has opened.
  state->identifier = guidString();
  state->mode = FLTabbingMode::Disallowed;
  const QPointer<QWidget> guarded(window);
  QTimer::singleShot(kAllowTabbingDelayMilliseconds, qApp, [this, guarded] {
    if (guarded) setTabbingMode(guarded, FLTabbingMode::Automatic);
  });
}

void FLWindowTabManager::forceWindow(QWidget* window, const QString& identifier) {
  if (disableMerge_ || !canTabWindows()) return;
  // A window that joined the group as it was made keeps its place there.
  if (tabbingIdentifier(window) == identifier && !tabbedWindows(window).isEmpty()) return;
  for (QWidget* other : environment_.orderedWindows()) {
    if (other != window && tabbingIdentifier(other) == identifier) {
      addTabbedWindow(other, window, true);
      return;
    }
  }
}

// ---- Launch ---------------------------------------------------------------------------------

void FLWindowTabManager::loadWindowTabDicts() {
  QList<QVariantMap> records;
  const QVariant stored = UserDefaults::standardUserDefaults().objectForKey(QLatin1String(kWindowTabsKey));
  for (const QVariant& entry : stored.toList()) {
    QVariantMap record = entry.toMap();
    record.remove(QLatin1String(kTabRecordTab));
    record.remove(QLatin1String(kTabRecordGroup));
    records.append(record);
  }
  windowTabDicts_ = records;
}

int FLWindowTabManager::recordIndexForPath(const QString& path) const {
  if (!windowTabDicts_) return -1;
  for (qsizetype i = 0; i < windowTabDicts_->size(); ++i) {
    if ((*windowTabDicts_)[i].value(QLatin1String(kTabRecordPaths)).toStringList().contains(path)) return int(i);
  }
  return -1;
}

std::optional<QVariantMap> FLWindowTabManager::tabDictForFile(const QString& path, QString* identifier) {
  const int index = recordIndexForPath(path);
  if (index >= 0) {
    const QVariantMap& record = (*windowTabDicts_)[index];
    if (identifier) *identifier = record.value(QLatin1String(kTabRecordTab)).toString();
    return record;
  }
  bool join = false;
  const QString main = mainWindowTabIdentifier(&join);
  if (identifier) *identifier = join ? main : QString();
  return std::nullopt;
}

void FLWindowTabManager::assignWindow(QWidget* window, const QString& path, const QString& identifier) {
  const int index = recordIndexForPath(path);
  if (index < 0 || !window) return;
  QVariantMap& record = (*windowTabDicts_)[index];
  const QStringList paths = record.value(QLatin1String(kTabRecordPaths)).toStringList();
  if (!disableMerge_) {
    if (identifier.isEmpty()) {
      // The group's first window to reopen: the others follow its identifier.
      record.insert(QLatin1String(kTabRecordTab), tabbingIdentifier(window));
    } else if (canTabWindows()) {
      // The old tab order, whatever order the windows reopen in: after the nearest open tab
      // before this one, else before the nearest one after it.
      const qsizetype at = paths.indexOf(path);
      bool placed = false;
      for (qsizetype i = at - 1; i >= 0 && !placed; --i) {
        if (QWidget* open = environment_.windowForFile(paths[i]); open && open != window) {
          addTabbedWindow(open, window, true);
          placed = true;
        }
      }
      for (qsizetype i = at + 1; i < paths.size() && !placed; ++i) {
        if (QWidget* open = environment_.windowForFile(paths[i]); open && open != window) {
          addTabbedWindow(open, window, false);
          placed = true;
        }
      }
    }
  }
  if (std::optional<QRect> frame = storedFrameForFile(path)) {
    if (paths.size() >= 2 && !disableMerge_) frame->setHeight(frame->height() + kTabBarHeight);
    FLWindowTabContainer::setWindowFrame(window, *frame);
  }
}

std::optional<QRect> FLWindowTabManager::storedFrameForFile(const QString& path) const {
  const int index = recordIndexForPath(path);
  if (index < 0) return std::nullopt;
  const QRect frame = FrameFromList((*windowTabDicts_)[index].value(QLatin1String(kTabRecordFrame)));
  if (!frame.isValid()) return std::nullopt;
  return frame;
}

void FLWindowTabManager::restoreFrontmostTabbedWindows() {
  if (!windowTabDicts_) return;
  for (const QVariantMap& record : *windowTabDicts_) {
    QWidget* window = environment_.windowForFile(record.value(QLatin1String(kTabRecordActive)).toString());
    if (!window) continue;
    const QPointer<QWidget> guarded(window);
    const auto orderFront = environment_.orderFront;
    QTimer::singleShot(kRestoreFrontDelayMilliseconds, qApp, [guarded, orderFront] {
      if (guarded) orderFront(guarded);
    });
  }
  windowTabDicts_->clear();
}

// ---- Quit -----------------------------------------------------------------------------------

void FLWindowTabManager::prepareToSaveState() { windowTabDicts_ = QList<QVariantMap>(); }

void FLWindowTabManager::registerWindowTab(QWidget* window, const QString& path) {
  if (path.isEmpty() || !windowTabDicts_ || !window) return;
  const QString identifier = tabbingIdentifier(window);
  if (identifier.isEmpty()) return;
  const std::shared_ptr<Group> group = groupOf(window);
  const QList<QWidget*> tabs = tabbedWindows(window);
  const qint64 identity = group ? GroupIdentity(group.get()) : 0;
  for (qsizetype i = windowTabDicts_->size() - 1; i >= 0; --i) {
    QVariantMap& record = (*windowTabDicts_)[i];
    if (record.value(QLatin1String(kTabRecordTab)).toString() != identifier) continue;
    if (record.value(QLatin1String(kTabRecordGroup)).toLongLong() != identity) continue;
    QStringList paths = record.value(QLatin1String(kTabRecordPaths)).toStringList();
    if (!paths.contains(path)) paths.append(path);
    record.insert(QLatin1String(kTabRecordPaths), paths);
    return;
  }
  QVariantMap record;
  record.insert(QLatin1String(kTabRecordTab), identifier);
  if (identity != 0) record.insert(QLatin1String(kTabRecordGroup), identity);
  // The group's frontmost window gives the frame and the selected tab.
  QWidget* front = window;
  if (!tabs.isEmpty()) {
    for (QWidget* ordered : environment_.orderedWindows()) {
      if (tabs.contains(ordered) && environment_.isDocumentWindow(ordered)) {
        front = ordered;
        break;
      }
    }
  }
  record.insert(QLatin1String(kTabRecordFrame), FrameList(FLWindowTabContainer::contentFrame(front)));
  const QString activePath = front == window ? path : environment_.documentPath(front);
  if (!activePath.isEmpty()) record.insert(QLatin1String(kTabRecordActive), activePath);
  QStringList paths;
  if (tabs.isEmpty()) {
    paths.append(path);
  } else {
    for (QWidget* tab : tabs) {
      const QString tabPath = tab == window ? path : environment_.documentPath(tab);
      if (!tabPath.isEmpty()) paths.append(tabPath);
    }
  }
  record.insert(QLatin1String(kTabRecordPaths), paths);
  windowTabDicts_->append(record);
}

void FLWindowTabManager::saveStateToPrefs() {
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  if (!windowTabDicts_ || windowTabDicts_->isEmpty()) {
    defaults.removeObjectForKey(QLatin1String(kWindowTabsKey));
    return;
  }
  QVariantList list;
  for (const QVariantMap& record : *windowTabDicts_) list.append(record);
  defaults.setObject(list, QLatin1String(kWindowTabsKey));
}
