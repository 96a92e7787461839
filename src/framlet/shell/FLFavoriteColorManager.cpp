// The favourite-colour pull-down and the process-wide favourites.
#include "framlet/shell/FLFavoriteColorManager.h"

#include "framlet/foundation/flBase.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QMenu>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace {

constexpr int kSwatchSize = 15;
constexpr const char* kUnexpectedCommand = "Unexpected values command";
// The pull-down's title item: a single U+0005, never shown in the menu.
constexpr char16_t kTitleCharacter = 0x0005;

struct FavoriteState {
  std::vector<Kolor> colors;
  QString defaultsKey;
  bool loaded = false;
  Kolor copied = kNoKolor;
  bool hasCopied = false;
};

FavoriteState& Favorites() {
  static FavoriteState state;
  return state;
}

void PostFavoritesChanged() { NotificationCenter::defaultCenter().post(QString::fromLatin1(kFavoriteColorNotification)); }

}  // namespace

FLFavoriteColorManager::FLFavoriteColorManager(QObject* parent) : QObject(parent) {
  NotificationCenter::defaultCenter().addObserver(this, QString::fromLatin1(kFavoriteColorNotification), nullptr,
                                                  [this](const Notification&) { needColors_ = true; });
}

void FLFavoriteColorManager::setPopupButton(QToolButton* button) {
  popupButton_ = button;
  if (button && !setupComplete_) setupMenus();
}

void FLFavoriteColorManager::setupMenus() {
  menu_ = new QMenu(popupButton_);
  popupButton_->setMenu(menu_);
  popupButton_->setPopupMode(QToolButton::InstantPopup);
  connect(menu_, &QMenu::aboutToShow, this, &FLFavoriteColorManager::menuWillOpen);
  connect(menu_, &QMenu::triggered, this, [this](QAction* action) {
    const int index = int(menu_->actions().indexOf(action));
    if (index >= 0) handleColorCommand(index);
  });

  QAction* title = menu_->addAction(QString(QChar(kTitleCharacter)));
  title->setVisible(false);
  menu_->addAction(tr("Add to Favorites"));
  menu_->addAction(tr("Delete From Favorites"));
  valueMenu_ = new QMenu(tr("Color Value"), menu_);
  for (int i = 0; i < 3; ++i) {
    // The value items only show text; choosing one does nothing.
    valueMenu_->addAction(QString());
  }
  connect(valueMenu_, &QMenu::aboutToShow, this, &FLFavoriteColorManager::valueMenuWillOpen);
  menu_->addMenu(valueMenu_);
  menu_->addSeparator();
  menu_->addAction(tr("Copy Color"));
  menu_->addAction(tr("Paste Color"));
  menu_->addSeparator();
  menu_->addAction(tr("Black"));
  menu_->addAction(tr("White"));
  menu_->addAction(tr("Transparent"));
  menu_->addAction(tr("Default"));
  setupComplete_ = true;
  needColors_ = true;
}

void FLFavoriteColorManager::setupFavoriteColors() {
  if (!menu_) return;
  const QList<QAction*> actions = menu_->actions();
  for (qsizetype i = actions.size() - 1; i > kFavoriteDefaultItem; --i) {
    menu_->removeAction(actions[i]);
    actions[i]->deleteLater();
  }
  setSwatch(actions[kFavoriteBlackItem], g_blackKolor, false);
  setSwatch(actions[kFavoriteWhiteItem], kWhiteKolor, false);
  setSwatch(actions[kFavoriteTransparentItem], kNoKolor, false);
  setSwatch(actions[kFavoriteDefaultItem], defaultKolor(), false);
  const std::vector<Kolor>& colors = Favorites().colors;
  if (colors.empty()) return;
  menu_->addSeparator();
  for (Kolor kolor : colors) {
    QAction* item = menu_->addAction(ColorDisplayString(kolor, 1));
    setSwatch(item, kolor, false);
  }
}

void FLFavoriteColorManager::menuWillOpen() {
  if (!menu_) return;
  if (needColors_) {
    setupFavoriteColors();
    needColors_ = false;
  }
  const QList<QAction*> actions = menu_->actions();
  setSwatch(actions[kFavoriteCopyItem], currentKolor(), true);
  const FavoriteState& state = Favorites();
  setSwatch(actions[kFavoritePasteItem], state.hasCopied ? state.copied : defaultKolor(), true);
}

void FLFavoriteColorManager::valueMenuWillOpen() {
  if (!valueMenu_) return;
  const Kolor kolor = currentKolor();
  const QList<QAction*> actions = valueMenu_->actions();
  for (int style = 1; style <= 3 && style <= actions.size(); ++style) {
    actions[style - 1]->setText(ColorDisplayString(kolor, style));
  }
}

void FLFavoriteColorManager::handleColorCommand(int index) {
  FavoriteState& state = Favorites();
  std::optional<Kolor> chosen;
  switch (index) {
    case kFavoriteAddItem:
      addKolor(currentKolor(), true);
      return;
    case kFavoriteDeleteItem:
      deleteKolor(currentKolor());
      return;
    case kFavoriteCopyItem:
      state.copied = currentKolor();
      state.hasCopied = true;
      needColors_ = true;
      return;
    case kFavoritePasteItem:
      if (!state.hasCopied) {
        state.copied = defaultKolor();
        state.hasCopied = true;
      }
      chosen = state.copied;
      break;
    case kFavoriteBlackItem: chosen = g_blackKolor; break;
    case kFavoriteWhiteItem: chosen = kWhiteKolor; break;
    case kFavoriteTransparentItem: chosen = kNoKolor; break;
    case kFavoriteDefaultItem: chosen = defaultKolor(); break;
    default:
      if (index >= kFavoriteFirstColorItem && index - kFavoriteFirstColorItem < int(state.colors.size())) {
        chosen = state.colors[size_t(index - kFavoriteFirstColorItem)];
      } else {
        LogAssert(kUnexpectedCommand, __func__, __FILE__, __LINE__);
        return;
      }
  }
  if (delegate_) delegate_->changeKolor(*chosen, popupButton_);
}

Kolor FLFavoriteColorManager::currentKolor() const {
  return delegate_ ? delegate_->kolorForPopup(popupButton_) : kNoKolor;
}

Kolor FLFavoriteColorManager::defaultKolor() const {
  return delegate_ ? delegate_->defaultKolorForPopup(popupButton_) : kNoKolor;
}

void FLFavoriteColorManager::setSwatch(QAction* action, Kolor kolor, bool fresh) {
  if (!fresh && !action->icon().isNull()) return;
  const qreal ratio = popupButton_ ? popupButton_->devicePixelRatioF() : 1.0;
  action->setIcon(QIcon(QPixmap::fromImage(swatchImage(kolor, ratio))));
}

QImage FLFavoriteColorManager::swatchImage(Kolor kolor, qreal devicePixelRatio) {
  const int pixels = qRound(kSwatchSize * devicePixelRatio);
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(devicePixelRatio);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  const QRectF square(0, 0, kSwatchSize, kSwatchSize);
  const QRectF inside = square.adjusted(0.5, 0.5, -0.5, -0.5);
  if (!KolorIsColor(kolor)) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawLine(inside.topLeft(), inside.bottomRight());
    painter.drawLine(inside.bottomLeft(), inside.topRight());
  } else if (kolor != kWhiteKolor) {
    painter.fillRect(square, ColorFromKolor(kolor));
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(Qt::gray, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(0, 0, kSwatchSize - 1, kSwatchSize - 1));
  return image;
}

void FLFavoriteColorManager::loadColors(const QString& defaultsKey) {
  FavoriteState& state = Favorites();
  if (state.loaded) return;
  state.loaded = true;
  state.defaultsKey = defaultsKey;
  state.colors.clear();
  for (const QString& text : UserDefaults::standardUserDefaults().stringArrayForKey(defaultsKey)) {
    state.colors.push_back(KolorFromString(text));
  }
}

void FLFavoriteColorManager::saveColors() {
  const FavoriteState& state = Favorites();
  if (state.defaultsKey.isEmpty()) return;
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  if (state.colors.empty()) {
    defaults.removeObjectForKey(state.defaultsKey);
    return;
  }
  QStringList texts;
  for (Kolor kolor : state.colors) texts << NewKolorString(kolor);
  defaults.setObject(texts, state.defaultsKey);
}

Kolor FLFavoriteColorManager::kolorAtIndex(int index) {
  const std::vector<Kolor>& colors = Favorites().colors;
  if (index < 0 || index >= int(colors.size())) return kNoKolor;
  return colors[size_t(index)];
}

int FLFavoriteColorManager::kolorCount() { return int(Favorites().colors.size()); }

int FLFavoriteColorManager::placeOfKolor(Kolor kolor) {
  if (!KolorIsColor(kolor)) return kFavoriteTransparentItem;
  if (kolor == g_blackKolor) return kFavoriteBlackItem;
  if (kolor == kWhiteKolor) return kFavoriteWhiteItem;
  const std::vector<Kolor>& colors = Favorites().colors;
  const auto found = std::find(colors.begin(), colors.end(), kolor);
  if (found != colors.end()) return kFavoriteFirstColorItem + int(found - colors.begin());
  return kFavoriteAddItem;
}

void FLFavoriteColorManager::addKolor(Kolor kolor, bool atEnd) {
  const int place = placeOfKolor(kolor);
  if (place != kFavoriteAddItem && place < kFavoriteFirstColorItem) return;
  std::vector<Kolor>& colors = Favorites().colors;
  if (place >= kFavoriteFirstColorItem) colors.erase(colors.begin() + (place - kFavoriteFirstColorItem));
  if (atEnd) {
    colors.push_back(kolor);
  } else {
    colors.insert(colors.begin(), kolor);
  }
  PostFavoritesChanged();
}

void FLFavoriteColorManager::deleteKolor(Kolor kolor) {
  const int place = placeOfKolor(kolor);
  if (place < kFavoriteFirstColorItem) return;
  std::vector<Kolor>& colors = Favorites().colors;
  colors.erase(colors.begin() + (place - kFavoriteFirstColorItem));
  PostFavoritesChanged();
}

std::optional<Kolor> FLFavoriteColorManager::copiedKolor() {
  const FavoriteState& state = Favorites();
  return state.hasCopied ? std::optional<Kolor>(state.copied) : std::nullopt;
}

void FLFavoriteColorManager::resetFavorites() { Favorites() = FavoriteState(); }
