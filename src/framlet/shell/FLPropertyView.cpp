#include "framlet/shell/FLPropertyView.h"

#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLDisclosureCell.h"
#include "framlet/shell/FLPropertyViewDelegate.h"
#include "framlet/shell/FLViewController.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "platform/Appearance.h"
#include "platform/NotificationCenter.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace {

FLPropertyHeaderGradients& SharedGradients() {
  static FLPropertyHeaderGradients gradients = PropertyHeaderGradients(AccentColor(kNoKolor), g_darkMode);
  return gradients;
}

void RebuildGradients() { SharedGradients() = PropertyHeaderGradients(AccentColor(kNoKolor), g_darkMode); }

}  // namespace

FLPropertyHeaderGradients PropertyHeaderGradients(const QColor& accent, bool dark) {
  if (accent.isValid()) {
    if (dark) return {accent, GrayColor(6), GrayColor(6), accent};
    const Kolor kolor = KolorIsColor(KolorFromColorCore(accent)) ? KolorFromColorCore(accent) : kNoKolor;
    const auto lighter = [kolor](int shift) { return uint8_t(std::min(255u, ((kolor >> shift) & 0xFF) + 64)); };
    const QColor light = ColorFromKolor(MakeKolor(lighter(0), lighter(8), lighter(16), uint8_t(kolor >> 24)));
    return {GrayColor(1), light, light, GrayColor(1)};
  }
  const QColor grey = QColor::fromRgb(230, 230, 230);
  if (dark) return {grey, ColorFromKolor(0x64878787), Qt::white, ColorFromKolor(0x64B4B4B4)};
  return {grey, ColorFromKolor(0x64E27C7C), Qt::white, ColorFromKolor(0x642BCDF3)};
}

FLPropertyView::FLPropertyView(QWidget* parent) : FLView(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kDarkModeNotification), nullptr,
                                                  [this](const Notification&) {
                                                    RebuildGradients();
                                                    update();
                                                  });
}

FLPropertyView::~FLPropertyView() {
  if (animation_) animation_->stop();
  NotificationCenter::defaultCenter().removeObserver(this);
}

QScrollArea* FLPropertyView::enclosingScrollArea() const {
  QWidget* viewport = parentWidget();
  return viewport ? qobject_cast<QScrollArea*>(viewport->parentWidget()) : nullptr;
}

QSizeF FLPropertyView::workingSize() const {
  const QScrollArea* scroll = enclosingScrollArea();
  if (stretchLastView_ || !scroll) return size();
  const int scroller = scroll->verticalScrollBar()->sizeHint().width();
  return QSizeF(scroll->width() - 2 * scroll->frameWidth() - scroller, scroll->viewport()->height());
}

void FLPropertyView::showEvent(QShowEvent* event) {
  FLView::showEvent(event);
  if (window() != observedWindow_) {
    moveToWindow();
  } else if (reloadPending_) {
    reloadProperties();
  }
}

void FLPropertyView::moveToWindow() {
  auto& center = NotificationCenter::defaultCenter();
  center.removeObserver(this, QLatin1String(kReloadPropertiesNotification));
  center.removeObserver(this, QLatin1String(kRepositionPropertiesNotification));
  observedWindow_ = window();
  center.addObserver(this, QLatin1String(kReloadPropertiesNotification), observedWindow_.data(),
                     [this](const Notification&) { reloadProperties(); });
  center.addObserver(this, QLatin1String(kRepositionPropertiesNotification), observedWindow_.data(),
                     [this](const Notification&) { repositionSubviews(); });
  QScrollArea* scroll = enclosingScrollArea();
  stretchLastView_ = !scroll;
  if (scroll) {
    QPalette palette = scroll->viewport()->palette();
    palette.setColor(QPalette::Window, g_formatPanelBackground);
    scroll->viewport()->setPalette(palette);
    scroll->viewport()->installEventFilter(this);
  }
  if (delegate_) delegate_->didMoveToWindow(this, observedWindow_);
  reloadProperties();
}

bool FLPropertyView::eventFilter(QObject* watched, QEvent* event) {
  // The scroll area's viewport changed size: the levels take its new width.
  if (event->type() == QEvent::Resize && enclosingScrollArea() && watched == enclosingScrollArea()->viewport() &&
      !stretchLastView_ && !reloadingProps_) {
    const QSizeF working = workingSize();
    resize(int(working.width()), std::max(height(), levels_.empty() ? int(working.height()) : 0));
  }
  return FLView::eventFilter(watched, event);
}

std::vector<FLPropertyLevelState> FLPropertyView::levelStates() const {
  std::vector<FLPropertyLevelState> states;
  states.reserve(levels_.size());
  for (const Level& level : levels_) states.push_back(level.state);
  return states;
}

void FLPropertyView::discardLevels() {
  // The old panes may still be on the call stack (a pane's edit can lead to a reload).
  for (Level& level : levels_) {
    if (level.subview) {
      level.subview->hide();
      level.subview->deleteLater();
    }
    if (level.controller) level.controller->deleteLater();
  }
  levels_.clear();
}

void FLPropertyView::reloadProperties() {
  if (!isVisible() || !delegate_) {
    reloadPending_ = delegate_ != nullptr;  // carried out when the view shows
    return;
  }
  reloadPending_ = false;
  if (!initialized_) drawTopLine_ = delegate_->shouldDrawTopLine(this);
  if (reloadingProps_) return;
  reloadingProps_ = true;
  if (animation_) animation_->stop();
  animationPosition_ = -1;
  pressedLevel_ = -1;
  isPressed_ = false;
  ClosePanels();
  discardLevels();

  const QSizeF working = workingSize();
  const double width = working.width();
  const int64_t count = std::max<int64_t>(0, delegate_->numberOfLevelsInPropertyView(this));
  double y = 0;
  for (int64_t i = 0; i < count; ++i) {
    Level level;
    level.controller = delegate_->controllerForLevel(this, i);
    if (level.controller) level.controller->setParent(this);
    QWidget* subview = level.controller ? level.controller->view() : nullptr;
    if (!subview) subview = new QWidget;
    level.subview = subview;
    QString name = delegate_->nameForLevel(this, i);
    if (name.isNull()) {
      name = subview->toolTip();
      subview->setToolTip(QString());
    }
    FLAssert(!name.isEmpty(), "No name provided by delegate or subview tooltip");
    level.name = name;
    level.state.height = subview->height();
    if (!delegate_->mayCloseLevel(this, i)) {
      level.state.stayOpen = true;
      level.state.opened = true;
    } else {
      level.state.opened = delegate_->shouldOpenLevel(this, i);
    }
    subview->setParent(this);
    if (level.state.opened) {
      if (i == count - 1 && stretchLastView_) {
        level.state.height =
            std::max(0.0, FLPropertyLayout::stretchedHeight(working.height(), y + kFLPropertyHeaderHeight));
      }
      subview->setGeometry(0, int(y + kFLPropertyHeaderHeight), int(width), int(level.state.height));
    } else {
      subview->setGeometry(0, int(y + kFLPropertyHeaderHeight), int(width), 0);
      fadeFloatingScrollViews(subview, false, true);
    }
    subview->show();
    y += kFLPropertyHeaderHeight + subview->height();
    levels_.push_back(std::move(level));
  }
  if (stretchLastView_) {
    stretchLastView();
  } else if (count > 0) {
    resize(int(width), int(y + kFLPropertyBottomMargin));
  } else {
    resize(working.toSize());
  }
  update();
  initialized_ = true;
  reloadingProps_ = false;
}

void FLPropertyView::repositionSubviews() {
  if (!isVisible() || !delegate_ || reloadingProps_ || levels_.empty()) return;
  if (stretchLastView_) {
    LogAssert("Unimplemented code", __func__, __FILE__, __LINE__);
    return;
  }
  double y = 0;
  for (Level& level : levels_) {
    y += kFLPropertyHeaderHeight;
    if (!level.state.opened || !level.subview) continue;
    level.state.height = level.subview->height();
    level.subview->move(level.subview->x(), int(y));
    y += level.state.height;
  }
  resize(int(workingSize().width()), int(y + kFLPropertyBottomMargin));
  update();
}

void FLPropertyView::stretchLastView() {
  if (levels_.empty()) return;
  Level& last = levels_.back();
  if (!last.state.opened || !last.subview) return;
  last.state.height = std::max(0.0, FLPropertyLayout::stretchedHeight(height(), last.subview->y()));
  last.subview->resize(last.subview->width(), int(last.state.height));
}

void FLPropertyView::resizeEvent(QResizeEvent* event) {
  FLView::resizeEvent(event);
  for (Level& level : levels_) {
    if (level.subview) level.subview->resize(width(), level.subview->height());
  }
  if (stretchLastView_ && !reloadingProps_ && !isAnimating()) stretchLastView();
}

bool FLPropertyView::isLevelOpen(int64_t level) const {
  return level >= 0 && level < levelCount() && levels_[size_t(level)].state.opened;
}

QString FLPropertyView::levelName(int64_t level) const {
  return level >= 0 && level < levelCount() ? levels_[size_t(level)].name : QString();
}

FLViewController* FLPropertyView::levelController(int64_t level) const {
  return level >= 0 && level < levelCount() ? levels_[size_t(level)].controller.data() : nullptr;
}

QWidget* FLPropertyView::levelSubview(int64_t level) const {
  return level >= 0 && level < levelCount() ? levels_[size_t(level)].subview.data() : nullptr;
}

int64_t FLPropertyView::levelForPoint(const QPointF& point, QRectF* headerRect) const {
  return FLPropertyLayout::levelForPoint(levelStates(), rect(), point, headerRect);
}

double FLPropertyView::bottomOfLastSubview() const {
  if (levels_.empty() || !levels_.back().subview) return 0;
  return levels_.back().subview->geometry().bottom() + 1;
}

// ---- Opening and closing --------------------------------------------------------------------

void FLPropertyView::toggleLevelOpen(int64_t level) {
  if (level < 0 || level >= levelCount() || isAnimating()) return;
  if (!stretchLastView_) {
    const QSizeF working = workingSize();
    resize(int(working.width()), int(std::max(working.height(), bottomOfLastSubview() + kFLPropertyBottomMargin)));
  }
  Level& entry = levels_[size_t(level)];
  const bool wasOpen = entry.state.opened;
  fadeFloatingScrollViews(entry.subview, !wasOpen, true);
  const bool slowed = QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier;
  const double seconds = FLPropertyLayout::animationDuration(entry.state.height, slowed);
  pressedLevel_ = level;
  auto* animation = new FLDisclosureAnimation(this, this);
  animation->setDuration(std::max(1, int(std::lround(seconds * 1000))));
  animation->setEasingCurve(QEasingCurve::Linear);
  connect(animation, &QAbstractAnimation::finished, this, [this, level] { finishToggle(level); });
  animation_ = animation;
  animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void FLPropertyView::finishToggle(int64_t level) {
  animationPosition_ = -1;
  pressedLevel_ = -1;
  if (level >= levelCount()) return;  // reloaded meanwhile
  Level& entry = levels_[size_t(level)];
  const bool wasOpen = entry.state.opened;
  entry.state.opened = !wasOpen;
  // The last frame may have fallen short of the full height.
  const std::vector<QRectF> frames = FLPropertyLayout::paneFrames(levelStates(), 0, 0, width());
  for (size_t i = 0; i < levels_.size(); ++i) {
    if (levels_[i].subview) levels_[i].subview->setGeometry(frames[i].toRect());
  }
  fadeFloatingScrollViews(entry.subview, !wasOpen, false);
  if (stretchLastView_) {
    stretchLastView();
  } else {
    resize(width(), int(bottomOfLastSubview() + kFLPropertyBottomMargin));
  }
  update();
  if (!delegate_) return;
  if (wasOpen) {
    delegate_->didCloseLevel(this, level);
  } else {
    delegate_->didOpenLevel(this, level);
  }
}

void FLPropertyView::setDisclosurePosition(double progress) {
  if (pressedLevel_ < 0 || pressedLevel_ >= levelCount()) return;
  animationPosition_ = levels_[size_t(pressedLevel_)].state.opened ? 1 - progress : progress;
  const std::vector<QRectF> frames = FLPropertyLayout::paneFrames(levelStates(), 0, 0, width(), animationState());
  for (size_t i = 0; i < levels_.size(); ++i) {
    if (levels_[i].subview) levels_[i].subview->setGeometry(frames[i].toRect());
  }
  repaint();
}

void FLPropertyView::fadeFloatingScrollViews(QWidget* subview, bool opening, bool beforeAnimation) {
  if (!subview || (!opening && !beforeAnimation)) return;
  hideScrollViewsIn(subview, beforeAnimation);
}

void FLPropertyView::hideScrollViewsIn(QWidget* view, bool hidden) {
  const QList<QWidget*> children = view->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    QWidget* child = *it;
    if (qobject_cast<QAbstractScrollArea*>(child) || qobject_cast<QSlider*>(child)) {
      child->setHidden(hidden);
    } else if (delegate_ && delegate_->mayCheckSubview(this, child)) {
      hideScrollViewsIn(child, hidden);
    }
  }
}

// ---- Mouse and keys -------------------------------------------------------------------------

void FLPropertyView::redisplayPressedHeader() {
  update(QRect(0, int(std::floor(topOfPressedHeader_)), width(), int(kFLPropertyHeaderHeight) + 1));
}

void FLPropertyView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || isAnimating()) return;
  QRectF header;
  pressedLevel_ = levelForPoint(event->position(), &header);
  if (pressedLevel_ < 0) return;
  topOfPressedHeader_ = header.top();
  isPressed_ = true;
  redisplayPressedHeader();
}

void FLPropertyView::mouseMoveEvent(QMouseEvent* event) {
  if (pressedLevel_ < 0 || isAnimating()) return;
  const QRectF header(0, topOfPressedHeader_, width(), kFLPropertyHeaderHeight);
  const bool inside = header.contains(event->position());
  if (inside == isPressed_) return;
  isPressed_ = inside;
  redisplayPressedHeader();
}

void FLPropertyView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || isAnimating()) return;
  const int64_t level = pressedLevel_;
  const bool toggle = level >= 0 && isPressed_;
  isPressed_ = false;
  pressedLevel_ = -1;
  if (toggle) {
    toggleLevelOpen(level);
  } else if (level >= 0) {
    redisplayPressedHeader();
  }
}

void FLPropertyView::leaveEvent(QEvent* event) {
  FLView::leaveEvent(event);
  if (pressedLevel_ < 0 || isAnimating() || !isPressed_) return;
  isPressed_ = false;
  redisplayPressedHeader();
}

void FLPropertyView::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    cancelOperation();
    return;
  }
  FLView::keyPressEvent(event);
}

void FLPropertyView::cancelOperation() {
  QWidget* focus = QApplication::focusWidget();
  if (!focus || focus == this || !isAncestorOf(focus)) return;
  for (QWidget* view = focus; view && view != this; view = view->parentWidget()) {
    if (auto* field = qobject_cast<QLineEdit*>(view)) {
      while (field->isUndoAvailable()) field->undo();
      return;
    }
  }
}

void FLPropertyView::changeEvent(QEvent* event) {
  FLView::changeEvent(event);
  if (event->type() == QEvent::ActivationChange) update();
}

// ---- Drawing --------------------------------------------------------------------------------

void FLPropertyView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paint(painter);
}

void FLPropertyView::paint(QPainter& painter) const {
  const QRectF bounds = rect();
  painter.fillRect(bounds, g_formatPanelBackground);
  if (levels_.empty()) {
    QString message = delegate_ ? delegate_->emptyMessage() : QString();
    if (message.isNull()) message = QStringLiteral("No Selection");
    QFont font = g_systemFont;
    font.setPointSizeF(24);
    painter.setFont(font);
    painter.setPen(GrayColor(g_darkMode ? 5 : 1));
    painter.drawText(bounds, Qt::AlignCenter, message);
    return;
  }
  const FLPropertyHeaderGradients& gradients = SharedGradients();
  const bool active = isActiveWindow();
  const QSizeF triangle = FLDisclosureCell::bestSize();
  painter.setFont(g_smallSystemFont);
  const QFontMetricsF metrics(g_smallSystemFont);
  const double textTop = std::floor(kFLPropertyHeaderHeight - metrics.height()) / 2;
  const std::vector<FLPropertyLevelState> states = levelStates();
  const FLPropertyAnimationState animation = animationState();
  QPainterPath lines;
  double y = bounds.top();
  for (size_t i = 0; i < levels_.size(); ++i) {
    const Level& level = levels_[i];
    if (i > 0 || drawTopLine_) {
      lines.moveTo(bounds.left(), y + 0.5);
      lines.lineTo(bounds.right(), y + 0.5);
    } else {
      y -= 1;
    }
    const QRectF header(bounds.left(), y + 1, bounds.width(), kFLPropertyHeaderHeight - 1);
    if (active) {
      const bool pressed = int64_t(i) == pressedLevel_ && isPressed_;
      QLinearGradient fill(header.topLeft(), header.bottomLeft());
      fill.setColorAt(0, pressed ? gradients.pressedTop : gradients.normalTop);
      fill.setColorAt(1, pressed ? gradients.pressedBottom : gradients.normalBottom);
      painter.fillRect(header, fill);
    } else {
      painter.fillRect(header, GrayColor(g_darkMode ? 5 : 2));
    }
    if (!level.state.stayOpen) {
      const double value = int64_t(i) == animation.level && animation.position >= 0 ? animation.position
                                                                                       : (level.state.opened ? 1 : 0);
      const QRectF frame(bounds.left() + 4, y + std::floor((kFLPropertyHeaderHeight - triangle.height()) / 2),
                         triangle.width(), triangle.height());
      FLDisclosureCell::drawInteriorWithFrame(painter, frame, value);
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QPointF(bounds.left() + triangle.width() + 8, y + textTop + metrics.ascent()), level.name);
    y += kFLPropertyHeaderHeight + FLPropertyLayout::visibleHeight(states, int64_t(i), animation);
  }
  lines.moveTo(bounds.left(), y + 1.5);
  lines.lineTo(bounds.right(), y + 1.5);
  lines.moveTo(bounds.left(), y + 3.5);
  lines.lineTo(bounds.right(), y + 3.5);
  painter.setPen(QPen(GrayColor(g_darkMode ? 5 : 3), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(lines);
}
