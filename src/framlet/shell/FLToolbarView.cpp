#include "framlet/shell/FLToolbarView.h"

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flDrawing.h"
#include "framlet/shell/FLDragPasteboard.h"
#include "framlet/shell/FLToolbarDelegate.h"
#include "framlet/shell/FLToolbarEditView.h"
#include "framlet/shell/FLToolbarSegments.h"
#include "framlet/shell/FLToolbarSegmentsDelegate.h"
#include "framlet/shell/flToolbarCustomizing.h"
#include "framlet/shell/flToolbarGeometry.h"
#include "platform/Appearance.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHash>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QToolTip>

#include <cmath>

namespace {

uint64_t g_sequenceID = 0;

constexpr const char* kMoreToolImage = "MoreTool";
constexpr const char* kChevronText = ">>";

QFont SmallSystemFont() {
  QFont font = QApplication::font();
  font.setPointSizeF(std::max(font.pointSizeF() - 2, 6.0));
  return font;
}

double TextWidth(const char* text) {
  if (!text || !*text) return 0;
  return std::ceil(QFontMetricsF(SmallSystemFont()).horizontalAdvance(QString::fromUtf8(text)));
}

// Grey levels of the roles (background, bottom line, label, highlighted label, preference
// selection) by [active][dark].
constexpr int kRoleGreys[2][2][5] = {
    {{236, 171, 80, 0, 220}, {20, 0, 175, 255, 68}},
    {{240, 200, 80, 0, 220}, {48, 0, 175, 255, 68}},
};

QColor RoleColor(bool active, bool dark, int role) {
  const int grey = kRoleGreys[active ? 1 : 0][dark ? 1 : 0][role];
  return QColor(grey, grey, grey);
}

// A stand-in picture for a tool whose image the application does not carry: a rounded square
// with the name's first letter.
FLToolbarView::ImageDrawer& ToolImageDrawer() {
  static FLToolbarView::ImageDrawer drawer = nullptr;
  return drawer;
}

// The pictures of a space, a flexible space and a search field while a toolbar is customised:
// a dashed outline, with arrows for the flexible one; the field as a rounded box.
QImage DrawnCustomizingImage(const QString& name) {
  const bool field = name == QLatin1String("SearchField");
  QImage image(field ? 240 : 32, field ? 26 : 32, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  if (field) {
    painter.setPen(QPen(QColor(150, 150, 150), 1));
    painter.setBrush(QColor(252, 252, 252));
    painter.drawRoundedRect(QRectF(0.5, 2.5, 239, 21), 10, 10);
    painter.setPen(QColor(140, 140, 140));
    painter.drawText(QRectF(24, 2, 200, 22), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Search"));
    return image;
  }
  painter.setPen(QPen(QColor(130, 130, 130), 1, Qt::DashLine));
  painter.drawRect(QRectF(2.5, 8.5, 27, 15));
  if (name == QLatin1String("FlexSpaceTool")) {
    painter.setPen(QPen(QColor(90, 90, 90), 1.2));
    painter.drawLine(QPointF(7, 16), QPointF(25, 16));
    painter.drawPolyline(QPolygonF{{10, 13}, {7, 16}, {10, 19}});
    painter.drawPolyline(QPolygonF{{22, 13}, {25, 16}, {22, 19}});
  }
  return image;
}

QImage DrawnToolImage(const QString& name) {
  if (name == QLatin1String("FlexSpaceTool") || name == QLatin1String("SpaceTool") || name == QLatin1String("SearchField"))
    return DrawnCustomizingImage(name);
  QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(90, 90, 90), 1.5));
  painter.setBrush(QColor(250, 250, 250));
  painter.drawRoundedRect(QRectF(4.5, 4.5, 23, 23), 5, 5);
  QFont font = QApplication::font();
  font.setBold(true);
  font.setPixelSize(14);
  painter.setFont(font);
  painter.drawText(QRectF(4, 4, 24, 24), Qt::AlignCenter, name.left(1));
  return image;
}

// The "on" look of a tool that toggles a view (Formulas, Only Used) when the application carries
// no picture of its own for it: its ordinary picture on a shaded, outlined plate.
QImage DrawnAlternateImage(const QImage& image) {
  QImage alternate(image.size(), QImage::Format_ARGB32_Premultiplied);
  alternate.setDevicePixelRatio(image.devicePixelRatio());
  alternate.fill(Qt::transparent);
  QPainter painter(&alternate);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF plate = QRectF(QPointF(0, 0), image.deviceIndependentSize()).adjusted(0.5, 0.5, -0.5, -0.5);
  painter.setPen(QPen(QColor(60, 60, 60, 200), 1));
  painter.setBrush(QColor(0, 0, 0, 70));
  painter.drawRoundedRect(plate, 6, 6);
  painter.drawImage(QPointF(0, 0), image);
  return alternate;
}

}  // namespace

FLToolbarView::FLToolbarView(QWidget* parent) : FLView(parent), layout_(tools_, FLToolbarLayoutState{}) {
  setObjectName(QStringLiteral("FLToolbarView"));
  setAcceptDrops(true);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(false);
}

FLToolbarView::~FLToolbarView() { NotificationCenter::defaultCenter().removeObserver(this); }

void FLToolbarView::setImageDrawer(ImageDrawer drawer) { ToolImageDrawer() = drawer; }

QFont FLToolbarView::labelFont() { return SmallSystemFont(); }

FLToolbarSegments* FLToolbarView::segmentsWithTag(uint64_t barTag) const {
  for (const FLToolbarTool& tool : tools_) {
    auto* segments = qobject_cast<FLToolbarSegments*>(tool.view.data());
    if (segments && segments->barTag() == barTag) return segments;
  }
  return nullptr;
}

QImage FLToolbarView::imageNamed(const QString& name, bool alternate) {
  static QHash<QString, QImage> images;
  if (name.isEmpty()) {
    LogAssert("No image name", __func__, __FILE__, __LINE__);
    return {};
  }
  const QString key = alternate ? name + QLatin1Char('*') : name;
  auto found = images.find(key);
  if (found != images.end()) return *found;
  QImage image;
  if (std::unique_ptr<FLImage> loaded = FLImage::imageNamed(key)) image = loaded->bitmap();
  if (image.isNull() && !alternate && ToolImageDrawer()) image = ToolImageDrawer()(name);
  if (image.isNull() && !alternate) image = DrawnToolImage(name);
  if (image.isNull() && alternate) {
    const QImage plain = imageNamed(name, false);
    if (!plain.isNull()) image = DrawnAlternateImage(plain);
  }
  if (image.isNull()) {
    LogAssert("Can't load image", __func__, __FILE__, __LINE__);
    return {};
  }
  images.insert(key, image);
  return image;
}

void FLToolbarView::setUp(FLToolbarDelegate* delegate, QWidget* containerView) {
  delegate_ = delegate;
  containerView_ = containerView;
  if (!delegate_) {
    LogAssert("Window controller not FLToolbarDelegate", __func__, __FILE__, __LINE__);
    return;
  }
  const QString guid = delegate_->toolbarGuid();
  displayMode_ = kFLToolbarIconAndText;
  isShown_ = true;
  prefKey_ = ToolbarConfigKey(guid);
  NotificationCenter& center = NotificationCenter::defaultCenter();
  center.removeObserver(this);
  // Every toolbar of the GUID follows a mode change or a new tool set made in any of them.
  center.addObserver(this, QLatin1String(kFLToolbarCustomizeNotification), nullptr, [this, guid](const Notification& note) {
    if (note.userInfo.value(QStringLiteral("guid")).toString() == guid) customized(note);
  });
  canCustomize_ = delegate_->canCustomize();
  isPreferences_ = delegate_->isPreferences();
  QStringList identifiers;
  if (isPreferences_) {
    canCustomize_ = false;
  } else {
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const QVariant stored = defaults.objectForKey(prefKey_);
    if (stored.isValid()) {
      const FLToolbarConfig config = ReadToolbarConfig(stored.toMap(), canCustomize_);
      displayMode_ = config.displayMode;
      isShown_ = config.isShown;
      identifiers = config.itemIdentifiers;
    } else {
      updateDisplayPrefs();
    }
  }
  if (identifiers.isEmpty()) identifiers = delegate_->defaultToolbarItems();
  if (identifiers.isEmpty()) LogAssert("No default toolbar items", __func__, __FILE__, __LINE__);
  tools_.clear();
  // Stored settings may name tools this version doesn't have (or hold anything at all, when edited
  // by hand): they are dropped with one line in the log, not an assertion each.
  const FLToolbarItem* items = delegate_->toolbarItems();
  QSet<QString> known;
  for (uint64_t i = 0; i < delegate_->numberOfToolbarItems(); ++i)
    if (items[i].guid) known.insert(QLatin1String(items[i].guid));
  int64_t unknown = 0;
  for (const QString& guidOfTool : identifiers) {
    if (!known.contains(guidOfTool)) {
      ++unknown;
      continue;
    }
    FLToolbarTool tool;
    if (setupItem(tool, guidOfTool)) tools_.push_back(tool);
  }
  if (unknown > 0) LogString("Toolbar settings name %lld unknown tools; they are left out", qlonglong(unknown));
  clickIndex_ = kFLToolNotFound;
  updateLayout();
  enforceHeight();
}

bool FLToolbarView::setupItem(FLToolbarTool& tool, const QString& guid) {
  const FLToolbarItem* items = delegate_->toolbarItems();
  const FLToolbarItem* item = nullptr;
  for (uint64_t i = 0; i < delegate_->numberOfToolbarItems(); ++i) {
    if (items[i].guid && guid == QLatin1String(items[i].guid)) {
      item = &items[i];
      break;
    }
  }
  if (!item) {
    LogAssert("Item not found", __func__, __FILE__, __LINE__);
    return false;
  }
  tool = FLToolbarTool{};
  tool.item = item;
  tool.action = item->actionName ? QString::fromLatin1(item->actionName) : QString();
  tool.isEnabled = true;
  tool.sequenceID = ++g_sequenceID;
  tool.labelWidth = TextWidth(item->label);
  tool.paletteLabelWidth = TextWidth(item->paletteLabel);
  return item->width == 0 ? setupIconItem(tool) : setupViewItem(tool);
}

bool FLToolbarView::setupIconItem(FLToolbarTool& tool) {
  const QString guid = QLatin1String(tool.item->guid);
  tool.toolType = kFLToolIcon;
  if (guid == QLatin1String(kFLToolbarFlexibleSpaceItem)) {
    tool.toolType = kFLToolFlexibleSpace;
  } else if (guid == QLatin1String(kFLToolbarSpaceItem)) {
    tool.toolType = kFLToolSpace;
  } else {
    const QString name = guid == QLatin1String(kFLToolbarPrintItem) ? QStringLiteral("PrintTool")
                                                                      : QString::fromLatin1(tool.item->imageName);
    tool.image = imageNamed(name);
    if (tool.image.isNull()) return false;
  }
  const double top = ToolbarModeMetrics(displayMode_).top;
  if (tool.isSpace()) {
    tool.rect = QRectF(0, 4, 32, 32);
  } else {
    QRectF rect(QPointF(0, 0), tool.image.deviceIndependentSize());
    CenterRectangle(rect, QRectF(0, top, 32, 32));
    tool.rect = rect;
  }
  return true;
}

bool FLToolbarView::setupViewItem(FLToolbarTool& tool) {
  const FLToolbarItem& item = *tool.item;
  const QString className = QLatin1String(item.imageName);
  QWidget* view = nullptr;
  QSizeF size(item.width, item.height);
  if (className == QLatin1String(kFLToolbarSegmentsClass)) {
    if (size.height() > 32) LogAssert("View too tall", __func__, __FILE__, __LINE__);
    auto* segmentsDelegate = dynamic_cast<FLToolbarSegmentsDelegate*>(delegate_);
    if (!segmentsDelegate) {
      LogAssert("Window controller not FLToolbarSegmentsDelegate", __func__, __FILE__, __LINE__);
      return false;
    }
    auto* segments = new FLToolbarSegments(this);
    segments->setDelegate(segmentsDelegate);
    segments->setBarTag(uint64_t(item.tag));
    segments->setSelectStyle(item.selectStyle);
    segments->setRoundEndcaps(item.viewOption);
    view = segments;
  } else if (className == QLatin1String(kFLSearchFieldClass)) {
    if (!item.actionName) {
      LogAssert("No action for search field", __func__, __FILE__, __LINE__);
      return false;
    }
    auto* field = new QLineEdit(this);
    field->setPlaceholderText(QStringLiteral("Search"));
    field->setClearButtonEnabled(true);
    size = QSizeF(240, 26);
    const QString action = tool.action;
    auto send = [this, action] {
      if (delegate_) delegate_->sendToolbarAction(action, this);
    };
    if (item.viewOption && !item.sendsWholeSearch)
      connect(field, &QLineEdit::textEdited, this, send);
    else
      connect(field, &QLineEdit::returnPressed, this, send);
    view = field;
  } else if (className == QLatin1String(kFLPopUpButtonClass)) {
    auto* popUp = new QComboBox(this);
    size.setHeight(25);
    if (QMenu* menu = delegate_->menuForPopup(item, this)) {
      for (QAction* entry : menu->actions()) {
        if (entry->isSeparator())
          popUp->insertSeparator(popUp->count());
        else
          popUp->addItem(entry->text(), entry->data());
      }
    }
    if (!tool.action.isEmpty()) {
      const QString action = tool.action;
      connect(popUp, &QComboBox::activated, this, [this, action] {
        if (delegate_) delegate_->sendToolbarAction(action, this);
      });
    }
    view = popUp;
  } else {
    view = delegate_->viewForItem(item, this);
    if (!view) {
      LogAssert("Can't create view", __func__, __FILE__, __LINE__);
      return false;
    }
    view->setParent(this);
    size = view->size();
  }
  view->setObjectName(QLatin1String(item.guid));
  if (item.toolTip) view->setToolTip(QString::fromUtf8(item.toolTip));
  view->resize(size.toSize());
  view->hide();
  const double top = ToolbarModeMetrics(displayMode_).top;
  tool.rect = QRectF(0, std::floor((32 - size.height()) / 2) + top, size.width(), size.height());
  tool.toolType = kFLToolView;
  tool.view = view;
  return true;
}

FLToolbarLayoutState FLToolbarView::layoutState() const {
  FLToolbarLayoutState state;
  state.displayMode = displayMode_;
  state.layoutWidth = layoutWidth_;
  state.customizing = customizing_;
  state.preferences = isPreferences_;
  const QWidget* top = window();
  state.canZoom = top && top != this && !top->isMaximized();
  if (displayMode_ == kFLToolbarTextOnly) {
    const QFontMetricsF metrics(SmallSystemFont());
    state.chevronSize = QSizeF(std::ceil(metrics.horizontalAdvance(QLatin1String(kChevronText))), metrics.height());
  } else {
    state.chevronSize = QSizeF(32, 32);
  }
  return state;
}

void FLToolbarView::updateLayout() {
  layoutWidth_ = 0;
  update();
}

void FLToolbarView::layoutIfNeeded() {
  if (layoutWidth_ == width()) return;
  layoutWidth_ = width();
  // Icons sit at the mode's top; the rects keep their sizes.
  const double top = ToolbarModeMetrics(displayMode_).top;
  for (FLToolbarTool& tool : tools_) {
    if (tool.toolType == kFLToolIcon) tool.rect.moveTop(top + std::floor((32 - tool.rect.height()) / 2));
    if (tool.toolType == kFLToolView) tool.rect.moveTop(std::floor((32 - tool.rect.height()) / 2) + top);
  }
  layout_.setState(layoutState());
  layout_.layout();
  placeViews();
  if (!firstLayoutDone_) {
    firstLayoutDone_ = true;
    if (delegate_) delegate_->setupCompleteForToolbar(this);
  }
}

void FLToolbarView::placeViews() {
  const size_t visible = layout_.visibleCount();
  for (size_t i = 0; i < tools_.size(); ++i) {
    FLToolbarTool& tool = tools_[i];
    if (!tool.view) continue;
    const bool show = i < visible && displayMode_ != kFLToolbarTextOnly && !customizing_;
    if (show) tool.view->setGeometry(tool.rect.toRect());
    tool.view->setVisible(show);
  }
}

int FLToolbarView::barHeight() const { return isShown_ ? int(ToolbarModeMetrics(displayMode_).height) : 0; }

QSize FLToolbarView::sizeHint() const { return QSize(400, barHeight()); }

void FLToolbarView::enforceHeight() {
  const int h = barHeight();
  setFixedHeight(std::max(h, 1));
  FLView::setVisible(h > 0);
  if (delegate_ && containerView_) delegate_->toolbarResizedContainer(containerView_);
}

void FLToolbarView::updateDisplayPrefs() {
  if (isPreferences_) return;
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  defaults.setObject(ToolbarConfigWithDisplay(defaults.dictionaryForKey(prefKey_), displayMode_, isShown_), prefKey_);
}

void FLToolbarView::updateDisplayMode(int mode, bool notify) {
  displayMode_ = (mode < kFLToolbarIconAndText || mode > kFLToolbarTextOnly) ? kFLToolbarIconAndText : mode;
  updateDisplayPrefs();
  for (FLToolbarTool& tool : tools_) tool.rect.moveTop(0);
  enforceHeight();
  updateLayout();
  if (notify && delegate_) {
    NotificationCenter::defaultCenter().post(
        QLatin1String(kFLToolbarCustomizeNotification), nullptr,
        QVariantMap{{QStringLiteral("guid"), delegate_->toolbarGuid()}, {QStringLiteral("sender"), QVariant::fromValue<QObject*>(this)}});
  }
}

void FLToolbarView::setDisplayMode(int mode) {
  if (mode != displayMode_) updateDisplayMode(mode, false);
}

void FLToolbarView::changeDisplayMode(int mode) { updateDisplayMode(mode, true); }

void FLToolbarView::setVisible(bool visible) {
  if (visible != isShown_) toggleToolbar();
}

void FLToolbarView::toggleToolbar() {
  isShown_ = !isShown_;
  updateDisplayPrefs();
  enforceHeight();
  updateLayout();
  if (isShown_ && delegate_) delegate_->toolbarBecameVisible(this);
}

int64_t FLToolbarView::tag() const {
  if (clickIndex_ == kFLToolNotFound || size_t(clickIndex_) >= tools_.size()) return -1;
  const FLToolbarTool& tool = tools_[size_t(clickIndex_)];
  return tool.toolType == kFLToolIcon ? tool.item->tag : -1;
}

int64_t FLToolbarView::selectedTag() const {
  if (!isPreferences_) return tag();
  if (prefSelection_ == kFLToolNotFound || size_t(prefSelection_) >= tools_.size()) return -1;
  return tools_[size_t(prefSelection_)].item->tag;
}

void FLToolbarView::selectTag(int64_t tagToSelect) {
  if (!isPreferences_) {
    LogAssert("Illegal call", __func__, __FILE__, __LINE__);
    return;
  }
  for (size_t i = 0; i < tools_.size(); ++i) {
    if (tools_[i].item->tag != tagToSelect) continue;
    if (prefSelection_ != int64_t(i)) {
      prefSelection_ = int64_t(i);
      update();
    }
    return;
  }
}

int64_t FLToolbarView::toolForGuid(const QString& guid) const {
  for (size_t i = 0; i < tools_.size(); ++i)
    if (guid == QLatin1String(tools_[i].item->guid)) return int64_t(i);
  return kFLToolNotFound;
}

int64_t FLToolbarView::toolForAction(const QString& action) const {
  for (size_t i = 0; i < tools_.size(); ++i)
    if (!action.isEmpty() && tools_[i].action == action) return int64_t(i);
  return kFLToolNotFound;
}

QWidget* FLToolbarView::viewForGuid(const QString& guid) const {
  const int64_t index = toolForGuid(guid);
  if (index == kFLToolNotFound) return nullptr;
  if (!tools_[size_t(index)].view) LogAssert("Tool is not a view", __func__, __FILE__, __LINE__);
  return tools_[size_t(index)].view;
}

QWidget* FLToolbarView::viewForAction(const QString& action) const {
  const int64_t index = toolForAction(action);
  if (index == kFLToolNotFound) return nullptr;
  if (!tools_[size_t(index)].view) LogAssert("Tool is not a view", __func__, __FILE__, __LINE__);
  return tools_[size_t(index)].view;
}

bool FLToolbarView::isViewToolVisible(const QWidget* view) const {
  const size_t visible = layout_.visibleCount();
  for (size_t i = 0; i < visible && i < tools_.size(); ++i)
    if (tools_[i].view == view) return true;
  return false;
}

void FLToolbarView::setEnabled(bool enabled, const QString& action) {
  const int64_t index = toolForAction(action);
  if (index != kFLToolNotFound) setEnabled(enabled, size_t(index));
}

void FLToolbarView::setEnabledForGuid(bool enabled, const QString& guid) {
  const int64_t index = toolForGuid(guid);
  if (index != kFLToolNotFound) setEnabled(enabled, size_t(index));
}

void FLToolbarView::setEnabled(bool enabled, size_t index) {
  if (index >= tools_.size() || tools_[index].isEnabled == enabled) return;
  FLToolbarTool& tool = tools_[index];
  tool.isEnabled = enabled;
  if (auto* segments = qobject_cast<FLToolbarSegments*>(tool.view.data()))
    segments->setEnabled(enabled);
  else if (tool.view)
    tool.view->setEnabled(enabled);
  else
    update(layout_.toolColumn(index, height()).toAlignedRect());
}

void FLToolbarView::setAlternate(bool alternate, const QString& action) {
  const int64_t index = toolForAction(action);
  if (index == kFLToolNotFound) return;
  FLToolbarTool& tool = tools_[size_t(index)];
  if (tool.toolType != kFLToolIcon) {
    LogAssert("Can't set alternate for this tool", __func__, __FILE__, __LINE__);
    return;
  }
  if (alternate && tool.alternateImage.isNull()) {
    tool.alternateImage = imageNamed(QLatin1String(tool.item->imageName), true);
    if (tool.alternateImage.isNull()) {
      LogAssert("Can't load alternate tool image", __func__, __FILE__, __LINE__);
      return;
    }
  }
  if (tool.useAlternate == alternate) return;
  tool.useAlternate = alternate;
  update(layout_.toolColumn(size_t(index), height()).toAlignedRect());
}

void FLToolbarView::addModeItemsToMenu(QMenu* menu) {
  for (int mode = kFLToolbarIconAndText; mode <= kFLToolbarTextOnly; ++mode) {
    QAction* item = menu->addAction(QString::fromLatin1(ToolbarModeMetrics(mode).title));
    item->setData(mode);
  }
}

QMenu* FLToolbarView::menuForEvent() {
  if (!delegate_ || isPreferences_ || customizing_ || delegate_->toolbarGuid() == QLatin1String(kFLHelpToolbarGuid))
    return nullptr;
  // None while a sheet or dialog holds the window.
  if (QApplication::activeModalWidget()) return nullptr;
  auto* menu = new QMenu(this);
  for (int mode = kFLToolbarIconAndText; mode <= kFLToolbarTextOnly; ++mode) {
    QAction* item = menu->addAction(QString::fromLatin1(ToolbarModeMetrics(mode).title));
    item->setCheckable(true);
    item->setChecked(mode == displayMode_);
    connect(item, &QAction::triggered, this, [this, mode] { changeDisplayMode(mode); });
  }
  if (canCustomize_) {
    menu->addSeparator();
    connect(menu->addAction(isShown_ ? QStringLiteral("Hide Toolbar") : QStringLiteral("Show Toolbar")),
            &QAction::triggered, this, [this] { toggleToolbar(); });
    connect(menu->addAction(QStringLiteral("Customize Toolbar…")), &QAction::triggered, this,
            [this] { customizeToolbar(); });
  }
  return menu;
}

void FLToolbarView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = menuForEvent();
  if (!menu) return;
  connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
  menu->popup(event->globalPos());
}

bool FLToolbarView::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const int64_t index = layout_.toolIndexAtPoint(help->pos(), QFontMetricsF(SmallSystemFont()).height());
    if (index != kFLToolNotFound && tools_[size_t(index)].item->toolTip)
      QToolTip::showText(help->globalPos(), QString::fromUtf8(tools_[size_t(index)].item->toolTip), this);
    else
      QToolTip::hideText();
    return true;
  }
  if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate) update();
  return FLView::event(event);
}

void FLToolbarView::paintEvent(QPaintEvent* event) {
  if (!isShown_) return;
  layoutIfNeeded();
  QPainter painter(this);
  const bool active = window() && window()->isActiveWindow();
  const bool dark = Appearance::IsDarkPalette(palette());
  const QRect dirty = event->rect();
  painter.fillRect(dirty, RoleColor(active, dark, 0));
  painter.setPen(RoleColor(active, dark, 1));
  painter.drawLine(QPointF(dirty.left(), height() - 0.5), QPointF(dirty.right() + 1, height() - 0.5));
  const FLToolbarModeMetrics& metrics = ToolbarModeMetrics(displayMode_);
  const QFont font = SmallSystemFont();
  painter.setFont(font);
  const size_t visible = layout_.visibleCount();
  double runningX = metrics.spacing;
  int64_t drawn = 0;
  for (size_t i = 0; i < visible; ++i) {
    FLToolbarTool tool = tools_[i];
    const bool highlighted = highlightTool_ && clickIndex_ == int64_t(i);
    if (customizing_ && displayMode_ != kFLToolbarTextOnly) {
      // The dragged tool leaves its cell empty; the others wiggle, neighbours in opposite phase.
      if (dragToIndex_ == int64_t(i)) continue;
      if (active) tool.rect.translate(WiggleOffset(wiggleIndex_, drawn), 0);
      ++drawn;
      if (tool.toolType != kFLToolIcon) drawCustomizingItem(painter, tool, tool.rect);
    }
    if (isPreferences_ && prefSelection_ == int64_t(i))
      painter.fillRect(QRectF(tool.x - std::floor(metrics.spacing / 2), 0, std::max(tool.labelWidth, 32.0) + metrics.spacing,
                              height() - 1),
                       RoleColor(active, dark, 4));
    if (displayMode_ != kFLToolbarTextOnly && tool.toolType == kFLToolIcon) {
      painter.setOpacity(tool.isEnabled || customizing_ ? 1.0 : 0.5);
      if (highlighted) painter.setCompositionMode(dark ? QPainter::CompositionMode_Plus : QPainter::CompositionMode_Multiply);
      painter.drawImage(tool.rect, tool.useAlternate && !tool.alternateImage.isNull() ? tool.alternateImage : tool.image);
      painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
      painter.setOpacity(1.0);
    }
    bool hasLabel = false;
    const double label = layout_.labelWidth(tool, false, &hasLabel);
    QString text;
    if (hasLabel) text = QString::fromUtf8(tool.item->label ? tool.item->label : tool.item->paletteLabel);
    if (hasLabel && displayMode_ != kFLToolbarIconOnly) {
      QPointF origin = displayMode_ == kFLToolbarIconAndText
                           ? QPointF(tool.rect.x() + (tool.rect.width() - label) / 2, metrics.top + 34)
                           : QPointF(runningX, metrics.top);
      painter.setPen(RoleColor(active, dark, highlighted ? 3 : 2));
      painter.setOpacity(tool.isEnabled ? 1.0 : 0.5);
      painter.drawText(QRectF(origin, QSizeF(label + 2, QFontMetricsF(font).height())), Qt::AlignLeft | Qt::AlignTop, text);
      painter.setOpacity(1.0);
    }
    runningX += label + metrics.spacing;
  }
  const QRectF chevron = layout_.overflowRect();
  if (layout_.overflowIndex() != kFLToolNotFound && chevron.x() != 0) {
    const bool highlighted = highlightTool_ && clickIndex_ == layout_.overflowIndex();
    painter.setPen(RoleColor(active, dark, highlighted ? 3 : 2));
    if (displayMode_ == kFLToolbarTextOnly)
      painter.drawText(chevron, Qt::AlignLeft | Qt::AlignTop, QLatin1String(kChevronText));
    else
      painter.drawImage(chevron, imageNamed(QLatin1String(kMoreToolImage)));
  }
}

void FLToolbarView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPointF where(std::floor(event->position().x()), std::floor(event->position().y()));
  if (customizing_) {
    // A press on the chevron does nothing; one on a tool drags it.
    const int64_t index = layout_.toolIndexAtPoint(where, QFontMetricsF(SmallSystemFont()).height());
    if (index != kFLToolNotFound) beginToolDrag(size_t(index), where);
    return;
  }
  const QRectF chevron = layout_.overflowRect();
  if (layout_.overflowIndex() != kFLToolNotFound && chevron.x() != 0 && chevron.contains(where)) {
    clickIndex_ = layout_.overflowIndex();
    highlightTool_ = true;
    update(chevron.toAlignedRect());
    return;
  }
  const int64_t index = layout_.toolIndexAtPoint(where, QFontMetricsF(SmallSystemFont()).height());
  if (index == kFLToolNotFound) return;
  clickIndex_ = index;
  highlightTool_ = true;
  update(layout_.toolColumn(size_t(index), height()).toAlignedRect());
}

void FLToolbarView::mouseMoveEvent(QMouseEvent* event) {
  if (clickIndex_ == kFLToolNotFound) return;
  const QPointF where(std::floor(event->position().x()), std::floor(event->position().y()));
  bool over = false;
  if (clickIndex_ == layout_.overflowIndex())
    over = layout_.overflowRect().contains(where);
  else
    over = layout_.toolIndexAtPoint(where, QFontMetricsF(SmallSystemFont()).height()) == clickIndex_;
  if (over != highlightTool_) {
    highlightTool_ = over;
    update();
  }
}

void FLToolbarView::mouseReleaseEvent(QMouseEvent*) {
  const int64_t index = clickIndex_;
  if (index != kFLToolNotFound && highlightTool_) {
    if (index == layout_.overflowIndex()) {
      if (QWidget* top = window()) top->showMaximized();
    } else if (displayMode_ == kFLToolbarTextOnly && tools_[size_t(index)].toolType == kFLToolView) {
      changeDisplayMode(kFLToolbarIconAndText);
    } else {
      if (isPreferences_) prefSelection_ = index;
      sendAction(size_t(index));
    }
  }
  clickIndex_ = kFLToolNotFound;
  highlightTool_ = false;
  update();
}

void FLToolbarView::sendAction(size_t index) {
  const FLToolbarTool& tool = tools_[index];
  // The tag stays readable while the action runs; the click ends after it.
  if (!tool.action.isEmpty() && delegate_) delegate_->sendToolbarAction(tool.action, this);
}
