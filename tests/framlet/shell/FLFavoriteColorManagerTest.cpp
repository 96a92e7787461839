#include "framlet/shell/FLFavoriteColorManager.h"

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/LogCapture.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr Kolor kRed = MakeKolor(255, 0, 0), kGreen = MakeKolor(0, 128, 0), kBlue = MakeKolor(0, 0, 255, 50);
constexpr const char* kKey = "test.favoriteColors";

class FakePane : public FLFavoriteColorDelegate {
 public:
  // Gives the manager this pane and a popup button of its own.
  explicit FakePane(FLFavoriteColorManager& manager) {
    manager.setDelegate(this);
    manager.setPopupButton(&button);
  }
  Kolor kolorForPopup(QToolButton*) override { return current; }
  Kolor defaultKolorForPopup(QToolButton*) override { return defaultKolor; }
  void changeKolor(Kolor kolor, QToolButton*) override { chosen.push_back(kolor); }

  Kolor current = kRed, defaultKolor = kGreen;
  std::vector<Kolor> chosen;
  QToolButton button;
};

std::vector<Kolor> FavoriteList() {
  std::vector<Kolor> list;
  for (int i = 0; i < FLFavoriteColorManager::kolorCount(); ++i) list.push_back(FLFavoriteColorManager::kolorAtIndex(i));
  return list;
}

class FavoriteColorsTest : public testing::Test {
 protected:
  void SetUp() override {
    UserDefaults::standardUserDefaults().removeObjectForKey(QString::fromLatin1(kKey));
    FLFavoriteColorManager::resetFavorites();
    FLFavoriteColorManager::loadColors(QString::fromLatin1(kKey));
    observer = NotificationCenter::defaultCenter().addObserver(QString::fromLatin1(kFavoriteColorNotification), nullptr,
                                                               [this](const Notification&) { ++posts; });
  }
  void TearDown() override { FLFavoriteColorManager::resetFavorites(); }

  int posts = 0;
  NotificationObserver observer;
};

TEST_F(FavoriteColorsTest, ReAddingMovesAColourToTheEndOrFront) {
  FLFavoriteColorManager::addKolor(kRed, true);
  FLFavoriteColorManager::addKolor(kGreen, true);
  FLFavoriteColorManager::addKolor(kRed, true);
  EXPECT_EQ(FavoriteList(), (std::vector<Kolor>{kGreen, kRed}));
  FLFavoriteColorManager::addKolor(kBlue, false);
  FLFavoriteColorManager::addKolor(kRed, false);
  EXPECT_EQ(FavoriteList(), (std::vector<Kolor>{kRed, kBlue, kGreen}));
  EXPECT_EQ(posts, 5);
  EXPECT_EQ(FLFavoriteColorManager::placeOfKolor(kGreen), kFavoriteFirstColorItem + 2);
}

TEST_F(FavoriteColorsTest, BlackWhiteAndNoColourAreNeverAdded) {
  for (Kolor kolor : {g_blackKolor, kWhiteKolor, kNoKolor, Kolor(0), Kolor(0x65000000)})
    FLFavoriteColorManager::addKolor(kolor, true);
  EXPECT_EQ(FLFavoriteColorManager::kolorCount(), 0);
  EXPECT_EQ(posts, 0);
  FLFavoriteColorManager::deleteKolor(kRed);  // not a favourite
  EXPECT_EQ(posts, 0);
}

TEST_F(FavoriteColorsTest, SavingWritesTextsAndAnEmptyListRemovesTheKey) {
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  FLFavoriteColorManager::addKolor(kRed, true);
  FLFavoriteColorManager::addKolor(kBlue, true);
  FLFavoriteColorManager::saveColors();
  EXPECT_EQ(defaults.stringArrayForKey(QString::fromLatin1(kKey)),
            (QStringList{NewKolorString(kRed), NewKolorString(kBlue)}));

  FLFavoriteColorManager::resetFavorites();
  FLFavoriteColorManager::loadColors(QString::fromLatin1(kKey));
  EXPECT_EQ(FavoriteList(), (std::vector<Kolor>{kRed, kBlue}));
  FLFavoriteColorManager::loadColors(QStringLiteral("another.key"));  // once per process
  EXPECT_EQ(FLFavoriteColorManager::kolorCount(), 2);

  FLFavoriteColorManager::deleteKolor(kRed);
  FLFavoriteColorManager::deleteKolor(kBlue);
  FLFavoriteColorManager::saveColors();
  EXPECT_FALSE(defaults.objectForKey(QString::fromLatin1(kKey)).isValid());
}

TEST_F(FavoriteColorsTest, CommandsOfTheMenu) {
  FLFavoriteColorManager manager;
  FakePane pane(manager);
  ASSERT_EQ(manager.menu()->actions().size(), 12);

  manager.handleColorCommand(kFavoritePasteItem);  // nothing copied yet: the default colour
  EXPECT_EQ(pane.chosen, (std::vector<Kolor>{kGreen}));
  EXPECT_EQ(FLFavoriteColorManager::copiedKolor(), kGreen);

  pane.current = kBlue;
  manager.handleColorCommand(kFavoriteCopyItem);
  manager.handleColorCommand(kFavoritePasteItem);
  manager.handleColorCommand(kFavoriteBlackItem);
  manager.handleColorCommand(kFavoriteTransparentItem);
  manager.handleColorCommand(kFavoriteAddItem);
  manager.handleColorCommand(kFavoriteFirstColorItem);
  EXPECT_EQ(pane.chosen, (std::vector<Kolor>{kGreen, kBlue, g_blackKolor, kNoKolor, kBlue}));

  LogCapture log;
  manager.handleColorCommand(kFavoriteTitleItem);
  manager.handleColorCommand(kFavoriteValueItem);
  EXPECT_EQ(log.assertMessages(), (QStringList{"Unexpected values command", "Unexpected values command"}));
  EXPECT_EQ(pane.chosen.size(), 5u);
}

TEST_F(FavoriteColorsTest, AnotherPanesMenuShowsANewFavouriteWhenItOpens) {
  FLFavoriteColorManager first, second;
  FakePane firstPane(first), secondPane(second);
  second.menuWillOpen();
  EXPECT_EQ(second.menu()->actions().size(), 12);

  firstPane.current = kBlue;
  first.handleColorCommand(kFavoriteAddItem);
  second.menuWillOpen();
  const QList<QAction*> items = second.menu()->actions();
  ASSERT_EQ(items.size(), 14);
  EXPECT_TRUE(items[12]->isSeparator());
  EXPECT_EQ(items[13]->text(), ColorDisplayString(kBlue, 1));
  EXPECT_FALSE(items[13]->icon().isNull());
}

TEST(FavoriteSwatchTest, CrossForNoColourEmptyForWhiteFilledOtherwise) {
  EXPECT_EQ(FLFavoriteColorManager::swatchImage(kRed).pixelColor(7, 7), QColor(255, 0, 0));
  EXPECT_EQ(FLFavoriteColorManager::swatchImage(kWhiteKolor).pixelColor(7, 7).alpha(), 0);
  EXPECT_GT(FLFavoriteColorManager::swatchImage(kNoKolor).pixelColor(7, 7).alpha(), 0);  // the cross
}

}  // namespace
