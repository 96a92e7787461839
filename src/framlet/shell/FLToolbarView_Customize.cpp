// Customising a toolbar in place: the icons wiggle, tools are dragged within the bar to reorder
// them, out of it to remove them and in from the palette to add them; Done stores the new set and
// display mode, and every toolbar of the same GUID takes them over.
#include "framlet/shell/FLToolbarView.h"

#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLDragPasteboard.h"
#include "framlet/shell/FLToolbarDelegate.h"
#include "framlet/shell/FLToolbarEditView.h"
#include "framlet/shell/flToolbarCustomizing.h"
#include "framlet/shell/flToolbarGeometry.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/UserDefaults.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QTimer>

#include <cmath>

namespace {

constexpr int kWiggleIntervalMs = 100;
constexpr const char* kFlexSpaceImage = "FlexSpaceTool";
constexpr const char* kSpaceImage = "SpaceTool";
constexpr const char* kSearchFieldImage = "SearchField";

bool IsSpaceGuid(const QString& guid) {
  return guid == QLatin1String(kFLToolbarSpaceItem) || guid == QLatin1String(kFLToolbarFlexibleSpaceItem);
}

QString GuidOf(const FLToolbarTool& tool) { return tool.item ? QString::fromLatin1(tool.item->guid) : QString(); }

}  // namespace

void FLToolbarView::customizeToolbar() {
  if (!delegate_ || !canCustomize_ || customizing_) return;
  if (!isShown_) toggleToolbar();
  originalDisplayMode_ = displayMode_;
  if (displayMode_ != kFLToolbarIconAndText) updateDisplayMode(kFLToolbarIconAndText, false);
  // Views are shown as pictures while the bar is customised.
  for (FLToolbarTool& tool : tools_) {
    if (tool.toolType == kFLToolView) createImageOfViewTool(tool);
  }
  delegate_->customizationWillBeginForToolbar(this);
  customizing_ = true;
  wiggleIndex_ = 0;
  dragFromIndex_ = dragToIndex_ = kFLToolNotFound;
  wiggleTimer_ = new QTimer(this);
  wiggleTimer_->setInterval(kWiggleIntervalMs);
  connect(wiggleTimer_, &QTimer::timeout, this, &FLToolbarView::wiggleTimerFired);
  wiggleTimer_->start();
  toolsetChanged_ = false;
  customizingView_ = new FLToolbarEditView(this);
  updateLayout();
  placeViews();
}

FLToolbarEditView* FLToolbarView::customizingView() const { return customizingView_; }

void FLToolbarView::wiggleTimerFired() {
  if (!customizing_) {
    if (wiggleTimer_) wiggleTimer_->stop();
    return;
  }
  ++wiggleIndex_;
  update();
}

bool FLToolbarView::createImageOfViewTool(FLToolbarTool& tool) {
  if (!tool.view) {
    LogAssert("Not a view tool", __func__, __FILE__, __LINE__);
    return false;
  }
  if (qobject_cast<QLineEdit*>(tool.view.data()) && tool.item &&
      QLatin1String(tool.item->imageName) == QLatin1String(kFLSearchFieldClass)) {
    tool.customizingImage = imageNamed(QLatin1String(kSearchFieldImage));
    if (tool.customizingImage.isNull()) LogAssert("Can't load search field image", __func__, __FILE__, __LINE__);
    return !tool.customizingImage.isNull();
  }
  tool.customizingImage = tool.view->grab().toImage();
  if (tool.customizingImage.isNull()) {
    LogAssert("Can't create customize image", __func__, __FILE__, __LINE__);
    return false;
  }
  return true;
}

QImage FLToolbarView::pictureOfTool(const FLToolbarTool& tool) {
  switch (tool.toolType) {
    case kFLToolFlexibleSpace:
      return imageNamed(QLatin1String(kFlexSpaceImage));
    case kFLToolSpace:
      return imageNamed(QLatin1String(kSpaceImage));
    case kFLToolView:
      return tool.customizingImage;
    default:
      return tool.image;
  }
}

void FLToolbarView::drawCustomizingItem(QPainter& painter, const FLToolbarTool& tool, const QRectF& rect) {
  if (tool.toolType != kFLToolFlexibleSpace && tool.toolType != kFLToolSpace && tool.toolType != kFLToolView) {
    LogAssert("Unknown tool type", __func__, __FILE__, __LINE__);
    return;
  }
  const QImage picture = pictureOfTool(tool);
  if (picture.isNull()) return;
  QRectF target = rect;
  if (tool.toolType != kFLToolView) target.setSize(QSizeF(32, 32));
  painter.setOpacity(1.0);
  painter.drawImage(target, picture);
}

bool FLToolbarView::getCustomizingTool(FLToolbarTool& tool, const QString& guid) {
  if (!IsSpaceGuid(guid)) {
    const int64_t index = toolForGuid(guid);
    if (index != kFLToolNotFound) {
      tool = tools_[size_t(index)];
      if (tool.toolType == kFLToolView && tool.customizingImage.isNull()) createImageOfViewTool(tool);
      return true;
    }
  }
  if (!delegate_ || !setupItem(tool, guid)) {
    tool = FLToolbarTool{};
    return false;
  }
  if (tool.toolType == kFLToolView) {
    if (!createImageOfViewTool(tool)) {
      releaseTool(&tool);
      return false;
    }
    tool.view->hide();
  }
  return true;
}

bool FLToolbarView::viewInUse(const QWidget* view, const FLToolbarTool* except) const {
  if (!view) return false;
  for (const FLToolbarTool& tool : tools_) {
    if (&tool != except && tool.view == view) return true;
  }
  return &draggingTool_ != except && draggingTool_.view == view;
}

void FLToolbarView::releaseTool(FLToolbarTool* tool) {
  FLToolbarTool& record = tool ? *tool : draggingTool_;
  if (record.view && !viewInUse(record.view, &record)) {
    record.view->hide();
    record.view->deleteLater();
  }
  record = FLToolbarTool{};
}

void FLToolbarView::setToolsFromGuids(const QStringList& guids) {
  std::vector<FLToolbarTool> old;
  old.swap(tools_);
  std::vector<FLToolbarTool> fresh;
  for (const QString& guid : guids) {
    // Repeated spaces take the old records one by one.
    auto reused = std::find_if(old.begin(), old.end(), [&guid](const FLToolbarTool& tool) { return GuidOf(tool) == guid; });
    if (reused != old.end()) {
      fresh.push_back(*reused);
      old.erase(reused);
      continue;
    }
    FLToolbarTool tool;
    const bool made = customizing_ ? getCustomizingTool(tool, guid) : setupItem(tool, guid);
    if (made) fresh.push_back(tool);
  }
  tools_ = std::move(fresh);
  for (FLToolbarTool& leftover : old) releaseTool(&leftover);
}

int64_t FLToolbarView::positionForWindowPoint(QPointF point) const {
  return ToolbarInsertionIndex(tools_, layout_.visibleCount(), point.x(), draggingTool_);
}

int64_t FLToolbarView::indexOfDraggingTool() const {
  return draggingTool_.item ? IndexOfSequence(tools_, draggingTool_.sequenceID) : kFLToolNotFound;
}

bool FLToolbarView::isDragSource(const QObject* source) const {
  return source && (source == this || source == customizingView_.data());
}

// ---- Drags of the bar's own tools ----------------------------------------------------------------

void FLToolbarView::beginToolDrag(size_t index, QPointF point) {
  if (index >= tools_.size()) return;
  draggingTool_ = tools_[index];
  const QString guid = GuidOf(draggingTool_);
  QRectF frame = draggingTool_.rect;
  if (draggingTool_.toolType == kFLToolFlexibleSpace) frame = QRectF(point.x() - 16, point.y() - 16, 32, 32);
  dragPasteboard_ = FLDragPasteboard::dragPasteboard();
  dragPasteboard_->setString(guid, QLatin1String(kPasteboardToolbarDragType));
  dragFromIndex_ = dragToIndex_ = int64_t(index);
  update();

  auto* data = new QMimeData;
  PasteboardSetData(*data, QLatin1String(kPasteboardToolbarDragType), guid.toUtf8());
  auto* drag = new QDrag(this);
  drag->setMimeData(data);
  const QImage picture = pictureOfTool(draggingTool_);
  if (!picture.isNull()) drag->setPixmap(QPixmap::fromImage(picture));
  drag->setHotSpot((point - frame.topLeft()).toPoint());
  const QPointer<FLToolbarView> self(this);
  const Qt::DropAction action = RunToolbarDrag(drag, Qt::MoveAction, this, guid);
  if (self) dragSessionEnded(action);
}

void FLToolbarView::dragSessionEnded(Qt::DropAction action) {
  // Dropped outside the bar: the tool is gone, unless the drag was called off over the bar.
  if (action == Qt::IgnoreAction)
    releaseTool(nullptr);
  else
    draggingTool_ = FLToolbarTool{};
  dragFromIndex_ = dragToIndex_ = kFLToolNotFound;
  dragPasteboard_.reset();
  updateLayout();
}

// ---- The bar as a drop target --------------------------------------------------------------------

Qt::DropAction FLToolbarView::draggingUpdated(QObject* source, const QString& string, QPointF point) {
  if (!customizing_ || !isDragSource(source)) return Qt::IgnoreAction;
  const bool fromBar = source == this;
  const Qt::DropAction operation = fromBar ? Qt::MoveAction : Qt::CopyAction;
  if (string == QLatin1String(kFLToolbarDefaultSetDrag)) return operation;
  if (!fromBar && !draggingTool_.item) {
    // A tool the bar shows already moves rather than appearing twice; spaces are always new.
    const int64_t existing = IsSpaceGuid(string) ? kFLToolNotFound : toolForGuid(string);
    if (existing != kFLToolNotFound) {
      draggingTool_ = tools_[size_t(existing)];
    } else if (!getCustomizingTool(draggingTool_, string)) {
      draggingTool_ = FLToolbarTool{};
      return Qt::IgnoreAction;
    }
  }
  if (!draggingTool_.item) return Qt::IgnoreAction;
  layoutIfNeeded();
  if (MoveDraggingTool(tools_, draggingTool_, positionForWindowPoint(point), dragToIndex_)) {
    toolsetChanged_ = true;
    updateLayout();
    layoutIfNeeded();
  }
  return operation;
}

void FLToolbarView::draggingExited(QObject* source) {
  if (!customizing_ || !isDragSource(source)) return;
  const int64_t index = indexOfDraggingTool();
  if (index == kFLToolNotFound) return;
  tools_.erase(tools_.begin() + index);
  toolsetChanged_ = true;
  dragToIndex_ = kFLToolNotFound;
  updateLayout();
}

bool FLToolbarView::performDrop(QObject* source, const QString& string) {
  if (!customizing_ || !isDragSource(source)) return false;
  if (source == this && dragToIndex_ == kFLToolNotFound) return false;
  toolsetChanged_ = true;
  if (string == QLatin1String(kFLToolbarDefaultSetDrag) && delegate_) setToolsFromGuids(delegate_->defaultToolbarItems());
  updateLayout();
  return true;
}

void FLToolbarView::concludeDrop() {
  dragFromIndex_ = dragToIndex_ = kFLToolNotFound;
  // The bar's array holds the tool now.
  draggingTool_ = FLToolbarTool{};
  update();
}

void FLToolbarView::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void FLToolbarView::dragMoveEvent(QDragMoveEvent* event) {
  const FLToolbarDragSession& session = CurrentToolbarDrag();
  Qt::DropAction action = Qt::IgnoreAction;
  if (event->mimeData() && PasteboardHasType(*event->mimeData(), QLatin1String(kPasteboardToolbarDragType)))
    action = draggingUpdated(session.source, session.string, event->position());
  if (action == Qt::IgnoreAction) {
    event->ignore();
    return;
  }
  event->setDropAction(action);
  event->accept();
}

void FLToolbarView::dragLeaveEvent(QDragLeaveEvent*) { draggingExited(CurrentToolbarDrag().source); }

void FLToolbarView::dropEvent(QDropEvent* event) {
  const FLToolbarDragSession& session = CurrentToolbarDrag();
  if (performDrop(session.source, session.string)) {
    event->setDropAction(session.source == this ? Qt::MoveAction : Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
  concludeDrop();
}

// ---- Ending, and following another toolbar's change ----------------------------------------------

void FLToolbarView::customizationComplete(int displayMode) {
  if (!customizing_) return;
  if (customizingView_) customizingView_->dismiss();
  customizingView_ = nullptr;
  customizing_ = false;
  if (wiggleTimer_) {
    wiggleTimer_->stop();
    wiggleTimer_->deleteLater();
    wiggleTimer_ = nullptr;
  }
  if (delegate_) delegate_->customizationDidEndForToolbar(this);
  for (FLToolbarTool& tool : tools_) tool.customizingImage = QImage();
  if (displayMode < kFLToolbarIconAndText || displayMode > kFLToolbarTextOnly) displayMode = kFLToolbarIconAndText;
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  if (toolsetChanged_) {
    QStringList guids;
    for (const FLToolbarTool& tool : tools_) guids.append(GuidOf(tool));
    QVariantMap stored = ToolbarConfigWithDisplay(defaults.dictionaryForKey(prefKey_), displayMode, true);
    stored.insert(QLatin1String(kFLToolbarItemIdentifiersKey), guids);
    defaults.setObject(stored, prefKey_);
  } else if (displayMode != displayMode_) {
    updateDisplayMode(displayMode, false);
  }
  updateLayout();
  layoutIfNeeded();
  if (delegate_) {
    Notification note{QLatin1String(kFLToolbarCustomizeNotification), nullptr,
                      QVariantMap{{QStringLiteral("guid"), delegate_->toolbarGuid()},
                                  {QStringLiteral("arrange"), toolsetChanged_}}};
    NotificationQueue::defaultQueue().enqueue(note, PostingStyle::ASAP, NotificationNoCoalescing);
  }
}

void FLToolbarView::customized(const Notification& note) {
  if (customizing_) return;
  const bool arrange = note.userInfo.value(QStringLiteral("arrange")).toBool();
  const bool fromThis = note.userInfo.value(QStringLiteral("sender")).value<QObject*>() == this;
  if (fromThis && !arrange) return;
  const FLToolbarConfig config =
      ReadToolbarConfig(UserDefaults::standardUserDefaults().dictionaryForKey(prefKey_), canCustomize_);
  if (!fromThis) {
    if (config.displayMode != displayMode_) updateDisplayMode(config.displayMode, false);
    if (config.isShown != isShown_) toggleToolbar();
    if (arrange && delegate_) {
      setToolsFromGuids(config.itemIdentifiers.isEmpty() ? delegate_->defaultToolbarItems() : config.itemIdentifiers);
      updateLayout();
      layoutIfNeeded();
    }
  }
  if (arrange && delegate_) delegate_->toolbarItemsChanged(this);
}
