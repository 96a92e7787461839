// The pull-down menu of a colour control: black, white, transparent and the default colour, a
// copied colour shared by every control, the current colour's value in three notations, and the
// process-wide list of favourite colours, which the user adds to and deletes from.
#pragma once

#include "framlet/foundation/Kolor.h"
#include "framlet/shell/FLFavoriteColorDelegate.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QToolButton>

#include <optional>

class QAction;
#include <QMenu>

// Posted with no object after every change of the favourites.
inline constexpr const char* kFavoriteColorNotification = "ovfl.favoriteColor";

// Menu item indexes.
enum FLFavoriteColorItem : int {
  kFavoriteTitleItem = 0,
  kFavoriteAddItem = 1,
  kFavoriteDeleteItem = 2,
  kFavoriteValueItem = 3,
  kFavoriteCopyItem = 5,
  kFavoritePasteItem = 6,
  kFavoriteBlackItem = 8,
  kFavoriteWhiteItem = 9,
  kFavoriteTransparentItem = 10,
  kFavoriteDefaultItem = 11,
  kFavoriteFirstColorItem = 13,
};

class FLFavoriteColorManager : public QObject {
  Q_OBJECT

 public:
  explicit FLFavoriteColorManager(QObject* parent = nullptr);

  QToolButton* popupButton() const { return popupButton_; }
  // Builds the menu on the button (once).
  void setPopupButton(QToolButton* button);
  FLFavoriteColorDelegate* delegate() const { return delegate_; }
  void setDelegate(FLFavoriteColorDelegate* delegate) { delegate_ = delegate; }

  QMenu* menu() const { return menu_; }
  // Runs before the menu shows: rebuilds the favourites when they changed, refreshes swatches.
  void menuWillOpen();
  void valueMenuWillOpen();
  // The command of the menu item at the index.
  void handleColorCommand(int index);

  // ---- The favourites, one list per process ------------------------------------------------
  // Once per process: fills the list from the colour texts stored under the key.
  static void loadColors(const QString& defaultsKey);
  // Writes the list under the key it was loaded from; an empty list removes the key.
  static void saveColors();
  static Kolor kolorAtIndex(int index);
  static int kolorCount();
  // Adds a colour (moving it when already there) at the end or the front. Black, white and no
  // colour are never added.
  static void addKolor(Kolor kolor, bool atEnd);
  static void deleteKolor(Kolor kolor);
  // The menu item a colour stands at: 8 black, 9 white, 10 no colour, 13 + p a favourite, 1 else.
  static int placeOfKolor(Kolor kolor);
  // The colour "Paste Color" gives, when one was copied.
  static std::optional<Kolor> copiedKolor();
  // Forgets the list, its key and the copied colour (the list can be loaded again).
  static void resetFavorites();

  // A 15 x 15 point swatch: a cross for no colour, empty for white, else filled; grey outline.
  static QImage swatchImage(Kolor kolor, qreal devicePixelRatio = 1.0);

 private:
  void setupMenus();
  void setupFavoriteColors();
  void setSwatch(QAction* action, Kolor kolor, bool fresh);
  Kolor currentKolor() const;
  Kolor defaultKolor() const;

  QPointer<QToolButton> popupButton_;
  FLFavoriteColorDelegate* delegate_ = nullptr;
  QPointer<QMenu> menu_;       // owned by the button
  QPointer<QMenu> valueMenu_;  // owned by menu_
  bool setupComplete_ = false;
  bool needColors_ = true;
};
