#include "framlet/shell/FLToolbarEditView.h"

#include "framlet/shell/FLToolbarDelegate.h"
#include "framlet/shell/FLToolbarView.h"
#include "framlet/shell/flToolbarGeometry.h"
#include "platform/Appearance.h"
#include "platform/Pasteboard.h"

#include <QComboBox>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>

#include <cmath>

namespace {

constexpr double kDoneWidth = 96;
constexpr double kPopupWidth = 135;
constexpr double kPaletteRowHeight = 72;
constexpr int kFocusDelayMs = 100;

QString Tr(const char* text) { return QWidget::tr(text); }

QColor Grey(int level) { return QColor(level, level, level); }

}  // namespace

FLToolbarEditView::FLToolbarEditView(FLToolbarView* toolbar) : FLView(toolbar->parentWidget()), toolbar_(toolbar) {
  setObjectName(QStringLiteral("FLToolbarEditView"));
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::ArrowCursor);
  originalDisplayMode_ = displayMode_ = toolbar->originalDisplayMode();
  defaultRowHeight_ = std::ceil(QFontMetricsF(FLToolbarView::labelFont()).height()) + 46;

  if (FLToolbarDelegate* delegate = toolbar->delegate()) {
    const FLToolbarItem* items = delegate->toolbarItems();
    for (uint64_t i = 0; i < delegate->numberOfToolbarItems(); ++i) {
      FLToolbarTool tool;
      if (items[i].guid && toolbar->getCustomizingTool(tool, QLatin1String(items[i].guid))) tools_.push_back(tool);
    }
    for (const QString& guid : delegate->defaultToolbarItems()) {
      for (const FLToolbarTool& tool : tools_) {
        if (guid == QLatin1String(tool.item->guid)) {
          defaultTools_.push_back(tool);
          break;
        }
      }
    }
  }

  doneButton_ = new QPushButton(Tr("Done"), this);
  doneButton_->setObjectName(QStringLiteral("done"));
  doneButton_->setDefault(true);
  doneButton_->resize(int(kDoneWidth), doneButton_->sizeHint().height());
  connect(doneButton_, &QPushButton::clicked, this, &FLToolbarEditView::done);

  modePopup_ = new QComboBox(this);
  modePopup_->setObjectName(QStringLiteral("mode"));
  modePopup_->setToolTip(Tr("Change the toolbar display; takes effect when you click Done"));
  for (int mode = kFLToolbarIconAndText; mode <= kFLToolbarTextOnly; ++mode)
    modePopup_->addItem(Tr(ToolbarModeMetrics(mode).title), mode);
  modePopup_->setCurrentIndex(modePopup_->findData(displayMode_));
  modePopup_->resize(int(kPopupWidth), modePopup_->sizeHint().height());
  connect(modePopup_, &QComboBox::activated, this, [this](int index) { setMode(modePopup_->itemData(index).toInt()); });

  fitToContent();
  if (QWidget* content = parentWidget()) content->installEventFilter(this);
  if (QWidget* top = window()) top->installEventFilter(this);
  show();
  raise();
  QTimer::singleShot(kFocusDelayMs, this, [this] {
    if (!dismissed_) setFocus(Qt::OtherFocusReason);
  });
}

FLToolbarEditView::~FLToolbarEditView() { releaseTools(); }

bool FLToolbarEditView::isCustomizingOver(const QWidget* windowOrView) {
  const QWidget* top = windowOrView ? windowOrView->window() : nullptr;
  if (!top) return false;
  for (const FLToolbarEditView* palette : top->findChildren<FLToolbarEditView*>()) {
    if (!palette->dismissed_) return true;
  }
  return false;
}

void FLToolbarEditView::fitToContent() {
  QWidget* content = parentWidget();
  if (!content || !toolbar_) return;
  const int top = toolbar_->parentWidget() == content ? toolbar_->geometry().bottom() + 1 : 0;
  setGeometry(0, top, content->width(), std::max(content->height() - top, 0));
}

const FLPaletteLayout& FLToolbarEditView::layoutPanel() {
  if (layout_.layoutSize == QSizeF(size()) || !toolbar_) return layout_;
  std::vector<FLPaletteCell> cells;
  for (const FLToolbarTool& tool : tools_) cells.push_back({toolbar_->widthOfTool(tool, true), tool.rect.size()});
  std::vector<FLPaletteCell> defaults;
  for (const FLToolbarTool& tool : defaultTools_) defaults.push_back({toolbar_->widthOfTool(tool, true), tool.rect.size()});
  const QFontMetricsF metrics(font());
  FLPaletteMetrics palette;
  palette.textHeight = std::ceil(metrics.height());
  palette.defaultRowHeight = defaultRowHeight_;
  palette.doneSize = QSizeF(kDoneWidth, doneButton_->height());
  // Room for the longer of the two words, so the label never runs under the pop-up.
  palette.showLabelWidth = std::ceil(std::max(metrics.horizontalAdvance(Tr("Done")), metrics.horizontalAdvance(Tr("Show"))));
  palette.popupHeight = modePopup_->height();
  layout_ = LayoutPalette(QSizeF(size()), cells, defaults, palette);
  return layout_;
}

QRectF FLToolbarEditView::toolRectInView(size_t index) {
  const FLPaletteLayout& layout = layoutPanel();
  if (index >= layout.toolRects.size()) return {};
  const QPointF origin = layout.rects[kPalettePanel].topLeft() + layout.rects[kPaletteArea].topLeft();
  return layout.toolRects[index].translated(origin);
}

QRectF FLToolbarEditView::defaultBoxInView() {
  const FLPaletteLayout& layout = layoutPanel();
  return layout.rects[kPaletteDefaultBox].translated(layout.rects[kPalettePanel].topLeft());
}

void FLToolbarEditView::placeControls() {
  const FLPaletteLayout& layout = layoutPanel();
  const QPointF origin = layout.rects[kPalettePanel].topLeft();
  doneButton_->setGeometry(layout.rects[kPaletteDoneButton].translated(origin).toRect());
  modePopup_->setGeometry(layout.rects[kPaletteModePopup].translated(origin).toRect());
}

void FLToolbarEditView::done() {
  if (toolbar_ && !dismissed_) toolbar_->customizationComplete(displayMode_);
}

void FLToolbarEditView::setMode(int mode) { displayMode_ = mode; }

void FLToolbarEditView::releaseTools() {
  defaultTools_.clear();
  for (FLToolbarTool& tool : tools_) {
    if (toolbar_) toolbar_->releaseTool(&tool);
  }
  tools_.clear();
}

void FLToolbarEditView::dismiss() {
  if (dismissed_) return;
  dismissed_ = true;
  hide();
  if (QWidget* content = parentWidget()) content->removeEventFilter(this);
  if (QWidget* top = window()) top->removeEventFilter(this);
  releaseTools();
  setParent(nullptr);
  deleteLater();
}

bool FLToolbarEditView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) {
    fitToContent();
  } else if (watched == window() && event->type() == QEvent::Close) {
    // Closing the window ends customising as Done does; the close goes on.
    done();
  }
  return FLView::eventFilter(watched, event);
}

// ---- Drawing ------------------------------------------------------------------------------------

void FLToolbarEditView::drawTool(QPainter& painter, const FLToolbarTool& tool, const QRectF& rect, QPointF origin,
                                 int row, double topSpacing, double rowHeight) {
  const QImage picture = FLToolbarView::pictureOfTool(tool);
  const QRectF target = rect.translated(origin);
  if (!picture.isNull()) painter.drawImage(target, picture);
  const char* label = tool.paletteLabelWidth > 0 ? tool.item->paletteLabel : tool.item->label;
  if (!label || !*label) return;
  const QString text = QString::fromUtf8(label);
  const QFontMetricsF metrics(painter.font());
  const double width = std::ceil(metrics.horizontalAdvance(text));
  const double y = origin.y() + row * rowHeight + topSpacing + 34;
  painter.drawText(QRectF(target.center().x() - width / 2, y, width + 2, metrics.height()), Qt::AlignLeft | Qt::AlignTop,
                   text);
}

void FLToolbarEditView::paintEvent(QPaintEvent*) {
  const FLPaletteLayout& layout = layoutPanel();
  placeControls();
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const bool dark = Appearance::IsDarkPalette(palette());
  const QRectF panel = layout.rects[kPalettePanel];
  const QPointF origin = panel.topLeft();

  // A soft shadow, then the panel.
  for (int ring = 6; ring >= 1; --ring) {
    QColor shadow = dark ? QColor(0, 0, 0) : Grey(0xC0);
    shadow.setAlpha(14);
    painter.setPen(Qt::NoPen);
    painter.setBrush(shadow);
    painter.drawRoundedRect(panel.adjusted(-ring * 2, 0, ring * 2, ring * 2), 12 + ring, 12 + ring);
  }
  painter.setBrush(Grey(dark ? 30 : 236));
  painter.setPen(QPen(palette().color(QPalette::Mid), 1));
  painter.drawRoundedRect(panel.adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);

  painter.setPen(palette().color(QPalette::WindowText));
  painter.setFont(font());
  const auto drawText = [&](int index, const QString& text) {
    painter.drawText(layout.rects[index].translated(origin), Qt::AlignLeft | Qt::AlignTop, text);
  };
  drawText(kPaletteFirstText, Tr("Drag your favorite items into the toolbar…"));
  drawText(kPaletteSecondText, Tr("… or drag the default set into the toolbar."));
  drawText(kPaletteShowLabel, Tr("Show"));

  const QRectF separator = layout.rects[kPaletteSeparator].translated(origin);
  painter.setPen(QPen(Grey(dark ? 0x80 : 0xC0), 1));
  painter.drawLine(QPointF(separator.left(), separator.top() + 4.5), QPointF(separator.right(), separator.top() + 4.5));

  painter.setFont(FLToolbarView::labelFont());
  painter.setPen(palette().color(QPalette::WindowText));
  const QPointF area = origin + layout.rects[kPaletteArea].topLeft();
  for (size_t i = 0; i < tools_.size() && i < layout.toolRects.size(); ++i)
    drawTool(painter, tools_[i], layout.toolRects[i], area, layout.toolRows[i], 0, kPaletteRowHeight);

  const QRectF box = layout.rects[kPaletteDefaultBox].translated(origin);
  painter.setBrush(Grey(dark ? 39 : 230));
  painter.setPen(QPen(Grey(dark ? 70 : 222), 1));
  painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
  painter.setPen(palette().color(QPalette::WindowText));
  for (size_t i = 0; i < defaultTools_.size() && i < layout.defaultRects.size(); ++i)
    drawTool(painter, defaultTools_[i], layout.defaultRects[i], box.topLeft(), layout.defaultRows[i], 12, defaultRowHeight_);
}

QImage FLToolbarEditView::pictureOfDefaultSet() {
  const QRectF box = defaultBoxInView();
  QImage image(box.size().toSize().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  for (size_t i = 0; i < defaultTools_.size() && i < layout_.defaultRects.size(); ++i) {
    const QImage picture = FLToolbarView::pictureOfTool(defaultTools_[i]);
    if (!picture.isNull()) painter.drawImage(layout_.defaultRects[i], picture);
  }
  return image;
}

// ---- Input ---------------------------------------------------------------------------------------

void FLToolbarEditView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPointF point(std::floor(event->position().x()), std::floor(event->position().y()));
  const QRectF box = defaultBoxInView();
  if (box.contains(point)) {
    startDrag(QLatin1String(kFLToolbarDefaultSetDrag), pictureOfDefaultSet(), box, point);
    return;
  }
  for (size_t i = 0; i < tools_.size(); ++i) {
    const QRectF rect = toolRectInView(i);
    if (rect.contains(point)) {
      startDrag(QLatin1String(tools_[i].item->guid), FLToolbarView::pictureOfTool(tools_[i]), rect, point);
      return;
    }
  }
}

void FLToolbarEditView::startDrag(const QString& string, const QImage& picture, const QRectF& frame, QPointF point) {
  auto* data = new QMimeData;
  PasteboardSetData(*data, QLatin1String(kPasteboardToolbarDragType), string.toUtf8());
  auto* drag = new QDrag(this);
  drag->setMimeData(data);
  if (!picture.isNull()) drag->setPixmap(QPixmap::fromImage(picture));
  drag->setHotSpot((point - frame.topLeft()).toPoint());
  const QPointer<FLToolbarEditView> self(this);
  const QPointer<FLToolbarView> toolbar = toolbar_;
  const Qt::DropAction action = RunToolbarDrag(drag, Qt::CopyAction, this, string);
  // A tool taken from the palette and let go outside the bar goes away again.
  if (action == Qt::IgnoreAction && toolbar) toolbar->releaseTool(nullptr);
  if (self) update();
}

void FLToolbarEditView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      done();
      return;
    default:
      FLView::keyPressEvent(event);
  }
}

void FLToolbarEditView::wheelEvent(QWheelEvent* event) { event->accept(); }
