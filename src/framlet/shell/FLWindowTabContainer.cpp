#include "framlet/shell/FLWindowTabContainer.h"

#include "framlet/shell/FLDocumentAppDelegate.h"
#include "framlet/shell/FLWindowTabManager.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPointer>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr const char* kContainerProperty = "flTabContainer";
constexpr int kDissolveRetryMilliseconds = 100;

// The tab's text: the window's title with the modified mark in place of its placeholder.
QString TabText(const QWidget* window) {
  QString title = window->windowTitle();
  title.replace(QLatin1String("[*]"), window->isWindowModified() ? QStringLiteral("*") : QString());
  return title;
}

}  // namespace

FLWindowTabContainer::FLWindowTabContainer(const QRect& frame) : QWidget(nullptr, Qt::Window) {
  setObjectName(QStringLiteral("FLWindowTabContainer"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  strip_ = new QWidget(this);
  strip_->setFixedHeight(kTabBarHeight);
  auto* stripLayout = new QHBoxLayout(strip_);
  stripLayout->setContentsMargins(0, 0, 2, 0);
  stripLayout->setSpacing(2);
  tabBar_ = new QTabBar(strip_);
  tabBar_->setObjectName(QStringLiteral("windowTabs"));
  tabBar_->setDocumentMode(true);
  tabBar_->setExpanding(true);
  tabBar_->setTabsClosable(true);
  tabBar_->setElideMode(Qt::ElideMiddle);
  tabBar_->setFocusPolicy(Qt::NoFocus);
  newTabButton_ = new QToolButton(strip_);
  newTabButton_->setObjectName(QStringLiteral("newTabButton"));
  newTabButton_->setText(QStringLiteral("+"));
  newTabButton_->setToolTip(QApplication::translate("FLWindowTabContainer", "New Tab"));
  newTabButton_->setAutoRaise(true);
  newTabButton_->setFocusPolicy(Qt::NoFocus);
  stripLayout->addWidget(tabBar_, 1);
  stripLayout->addWidget(newTabButton_);

  stack_ = new QStackedWidget(this);
  layout->addWidget(strip_);
  layout->addWidget(stack_, 1);
  setGeometry(frame);

  connect(tabBar_, &QTabBar::currentChanged, this, &FLWindowTabContainer::selectedTabChanged);
  connect(tabBar_, &QTabBar::tabCloseRequested, this, [this](int index) {
    if (QWidget* window = windows_.value(index)) closeWindow(window);
  });
  connect(newTabButton_, &QToolButton::clicked, this, &FLWindowTabContainer::newTab);
}

// Windows still inside belong to their controllers, which delete them.
FLWindowTabContainer::~FLWindowTabContainer() {
  for (QWidget* child : stack_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    child->removeEventFilter(this);
    child->setProperty(kContainerProperty, QVariant());
    child->hide();
    child->setParent(nullptr);
  }
}

FLWindowTabContainer* FLWindowTabContainer::containerOf(const QWidget* window) {
  if (!window || window->isWindow()) return nullptr;
  auto* container = qobject_cast<FLWindowTabContainer*>(window->property(kContainerProperty).value<QObject*>());
  return container && container->windows_.contains(window) ? container : nullptr;
}

QRect FLWindowTabContainer::contentFrame(const QWidget* window) {
  if (!window) return {};
  const FLWindowTabContainer* container = containerOf(window);
  if (!container) return window->geometry();
  QRect frame = container->geometry();
  frame.setHeight(std::max(0, frame.height() - kTabBarHeight));
  return frame;
}

void FLWindowTabContainer::setWindowFrame(QWidget* window, const QRect& frame) {
  if (!window || !frame.isValid()) return;
  if (FLWindowTabContainer* container = containerOf(window)) {
    container->setGeometry(frame);
  } else {
    window->setGeometry(frame);
  }
}

void FLWindowTabContainer::tabWindow(QWidget* existing, QWidget* window, bool after) {
  if (!existing || !window || existing == window) return;
  if (FLWindowTabContainer* previous = containerOf(window)) previous->removeWindow(window);
  FLWindowTabContainer* container = containerOf(existing);
  if (!container) {
    const bool shown = existing->isVisible();
    container = new FLWindowTabContainer(existing->geometry());
    container->insertWindow(existing, 0);
    if (shown) container->show();
  }
  const int at = int(container->windows_.indexOf(existing));
  container->insertWindow(window, after ? at + 1 : at);
  container->selectWindow(window);
  // Selecting may have been no change of tab.
  container->giveKeysTo(window);
}

void FLWindowTabContainer::windowClosed(QWidget* window) {
  if (FLWindowTabContainer* container = containerOf(window)) container->removeWindow(window);
}

void FLWindowTabContainer::insertWindow(QWidget* window, int index) {
  index = std::clamp(index, 0, int(windows_.size()));
  flags_.insert(index, window->windowFlags());
  // Taken before the window moves in: moving it lets go of its focus.
  keyViews_.insert(index, window->focusWidget());
  windows_.insert(index, window);
  window->setProperty(kContainerProperty, QVariant::fromValue<QObject*>(this));
  window->setParent(stack_, Qt::Widget);
  stack_->insertWidget(index, window);
  window->installEventFilter(this);
  connect(window, &QObject::destroyed, this, &FLWindowTabContainer::forgetWindow, Qt::UniqueConnection);
  tabBar_->insertTab(index, TabText(window));
  tabBar_->setTabToolTip(index, window->windowFilePath());
}

bool FLWindowTabContainer::closeWindow(QWidget* window) {
  const QPointer<QWidget> guarded(window);
  if (!window->close()) return false;
  if (guarded) removeWindow(guarded);
  return true;
}

void FLWindowTabContainer::removeWindow(QWidget* window) {
  const qsizetype index = windows_.indexOf(window);
  if (index < 0) return;
  windows_.removeAt(index);
  flags_.removeAt(index);
  keyViews_.removeAt(index);
  window->removeEventFilter(this);
  disconnect(window, &QObject::destroyed, this, &FLWindowTabContainer::forgetWindow);
  window->setProperty(kContainerProperty, QVariant());
  stack_->removeWidget(window);
  tabBar_->removeTab(int(index));
  dissolveLater();
}

void FLWindowTabContainer::forgetWindow(const QObject* window) {
  for (qsizetype i = 0; i < windows_.size(); ++i) {
    if (static_cast<const QObject*>(windows_[i]) != window) continue;
    windows_.removeAt(i);
    flags_.removeAt(i);
    keyViews_.removeAt(i);
    tabBar_->removeTab(int(i));
    dissolveLater();
    return;
  }
}

void FLWindowTabContainer::dissolveLater() {
  if (windows_.isEmpty()) hide();
  if (dissolveQueued_ || windows_.size() > 1) return;
  dissolveQueued_ = true;
  // Not inside the closing window's own events.
  QTimer::singleShot(0, this, &FLWindowTabContainer::dissolve);
}

void FLWindowTabContainer::dissolve() {
  dissolveQueued_ = false;
  if (windows_.size() > 1) return;
  // Not under a sheet or an alert, which hang on the window being taken out.
  if (windows_.size() == 1 && QApplication::activeModalWidget()) {
    dissolveQueued_ = true;
    QTimer::singleShot(kDissolveRetryMilliseconds, this, &FLWindowTabContainer::dissolve);
    return;
  }
  if (windows_.size() == 1) {
    QWidget* last = windows_.takeFirst();
    const Qt::WindowFlags flags = flags_.takeFirst();
    const QPointer<QWidget> keyView = keyViews_.takeFirst();
    const bool shown = isVisible();
    const bool active = isActiveWindow();
    last->removeEventFilter(this);
    disconnect(last, &QObject::destroyed, this, &FLWindowTabContainer::forgetWindow);
    last->setProperty(kContainerProperty, QVariant());
    stack_->removeWidget(last);
    tabBar_->removeTab(0);
    // The view with the keys stays the one to have them once the window stands alone.
    QPointer<QWidget> focus = last->focusWidget();
    if (!focus || !last->isAncestorOf(focus)) focus = keyView;
    last->setParent(nullptr, flags);
    last->setGeometry(geometry());
    if (focus && last->isAncestorOf(focus)) focus->setFocus(Qt::OtherFocusReason);
    if (shown) last->show();
    if (active) last->activateWindow();
  }
  hide();
  deleteLater();
}

QWidget* FLWindowTabContainer::selectedWindow() const { return windows_.value(tabBar_->currentIndex()); }

void FLWindowTabContainer::selectWindow(QWidget* window) {
  const qsizetype index = windows_.indexOf(window);
  if (index >= 0) tabBar_->setCurrentIndex(int(index));
}

void FLWindowTabContainer::selectedTabChanged(int index) {
  QWidget* window = windows_.value(index);
  if (!window) return;
  // The tab being left remembers where its keys were, for when it is chosen again.
  if (QWidget* leaving = stack_->currentWidget(); leaving && leaving != window) {
    const qsizetype at = windows_.indexOf(leaving);
    QWidget* focus = leaving->focusWidget();
    if (at >= 0 && focus && leaving->isAncestorOf(focus)) keyViews_[at] = focus;
  }
  stack_->setCurrentWidget(window);
  updateTab(window);
  giveKeysTo(window);
}

void FLWindowTabContainer::giveKeysTo(QWidget* window) {
  const qsizetype at = windows_.indexOf(window);
  if (at < 0 || window != selectedWindow()) return;
  QWidget* view = keyViews_[at];
  if (!view || !window->isAncestorOf(view) || !view->isEnabled()) return;
  // In a container behind others this only marks the view, which takes the keys as the container
  // comes front.
  view->setFocus(Qt::OtherFocusReason);
}

void FLWindowTabContainer::updateTab(QWidget* window) {
  const qsizetype index = windows_.indexOf(window);
  if (index < 0) return;
  tabBar_->setTabText(int(index), TabText(window));
  tabBar_->setTabToolTip(int(index), window->windowFilePath());
  if (window != selectedWindow()) return;
  setWindowTitle(window->windowTitle());
  setWindowFilePath(window->windowFilePath());
  setWindowModified(window->isWindowModified());
}

bool FLWindowTabContainer::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::ModifiedChange) {
    if (auto* window = qobject_cast<QWidget*>(watched)) updateTab(window);
  }
  return QWidget::eventFilter(watched, event);
}

void FLWindowTabContainer::closeEvent(QCloseEvent* event) {
  if (closingAll_) return;
  closingAll_ = true;
  const QList<QWidget*> windows = windows_;
  for (QWidget* window : windows) {
    if (windows_.contains(window) && !closeWindow(window)) {
      event->ignore();
      closingAll_ = false;
      return;
    }
  }
  closingAll_ = false;
  event->accept();
}

void FLWindowTabContainer::newTab() {
  if (FLDocumentAppDelegate* delegate = FLDocumentAppDelegate::sharedDelegate())
    delegate->newWindowForTab(selectedWindow());
}
