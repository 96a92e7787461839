#include "framlet/shell/FLPopoverBaseVC.h"

#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLPopoverDependent.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <functional>

namespace {

int g_popoverCount = 0;
std::optional<FLPopoverCloseEvent> g_lastCloseEvent;
uint64_t g_lastCloseGeneration = 0;

// The popup window: closes on a click outside it or on Escape, as Qt popups do, and tells its
// controller which event closed it.
class FLPopoverWindow : public QFrame {
 public:
  using CloseHandler = std::function<void(const std::optional<FLPopoverCloseEvent>&)>;

  FLPopoverWindow(QWidget* parent, CloseHandler handler) : QFrame(parent, Qt::Popup), handler_(std::move(handler)) {
    setFrameShape(QFrame::StyledPanel);
    setAttribute(Qt::WA_DeleteOnClose, false);
  }

  void detach() { handler_ = nullptr; }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (!rect().contains(event->position().toPoint())) {
      closingEvent_ = FLPopoverCloseEvent{event->type(), event->globalPosition(), 0, event->timestamp()};
    }
    QFrame::mousePressEvent(event);
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) {
      closingEvent_ = FLPopoverCloseEvent{event->type(), QPointF(), event->key(), event->timestamp()};
    }
    QFrame::keyPressEvent(event);
  }
  void closeEvent(QCloseEvent* event) override {
    QFrame::closeEvent(event);
    if (handler_) {
      CloseHandler handler = std::move(handler_);
      handler_ = nullptr;
      handler(closingEvent_);
    }
  }

 private:
  CloseHandler handler_;
  std::optional<FLPopoverCloseEvent> closingEvent_;
};

}  // namespace

FLPopoverBaseVC::FLPopoverBaseVC(QObject* parent) : QObject(parent), registered_(true) {
  NotificationCenter::defaultCenter().addObserver(this, QString::fromLatin1(kClosePopoversNotification), nullptr,
                                                  [this](const Notification&) { closePopover(); });
  ++g_popoverCount;
  forgetLastCloseEvent();
}

FLPopoverBaseVC::~FLPopoverBaseVC() {
  if (popover_) {
    static_cast<FLPopoverWindow*>(popover_.data())->detach();
    delete popover_.data();
  }
  if (registered_) unregister();
}

void FLPopoverBaseVC::unregister() {
  registered_ = false;
  if (g_popoverCount <= 0) {
    LogAssert("Too many popover closes", __func__, __FILE__, __LINE__);
    return;
  }
  --g_popoverCount;
}

void FLPopoverBaseVC::showPopover(QWidget* content, QWidget* anchorView, const QRect& anchorRect) {
  if (popover_) closePopover();
  auto* window = new FLPopoverWindow(anchorView, [this](const std::optional<FLPopoverCloseEvent>& event) {
    popoverWillClose(event);
  });
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(content);
  window->adjustSize();
  const QPoint below = anchorView ? anchorView->mapToGlobal(anchorRect.bottomLeft()) : anchorRect.bottomLeft();
  window->move(below);
  popover_ = window;
  window->show();
}

void FLPopoverBaseVC::closePopover() {
  if (popover_) popover_->close();
}

void FLPopoverBaseVC::popoverWillClose(const std::optional<FLPopoverCloseEvent>& closingEvent) {
  g_lastCloseEvent = closingEvent;
  const uint64_t generation = ++g_lastCloseGeneration;
  // Kept for the rest of this event only.
  QTimer::singleShot(0, qApp, [generation] {
    if (generation == g_lastCloseGeneration) g_lastCloseEvent.reset();
  });
  if (dependent_) dependent_->popoverWillClose();
  NotificationCenter::defaultCenter().removeObserver(this);
  if (popover_) popover_->deleteLater();
  popover_ = nullptr;
  if (registered_) unregister();
  deleteLater();
}

void FLPopoverBaseVC::forgetLastCloseEvent() {
  ++g_lastCloseGeneration;
  g_lastCloseEvent.reset();
}

void FLPopoverBaseVC::closePopovers() {
  if (g_popoverCount > 0) NotificationCenter::defaultCenter().post(QString::fromLatin1(kClosePopoversNotification));
}

bool FLPopoverBaseVC::arePopoversRegistered() { return g_popoverCount > 0; }
int FLPopoverBaseVC::registeredCount() { return g_popoverCount; }
std::optional<FLPopoverCloseEvent> FLPopoverBaseVC::lastCloseEvent() { return g_lastCloseEvent; }
