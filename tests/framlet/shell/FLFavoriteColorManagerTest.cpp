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

constexpr Kolor kRed = MakeKolor(255, 0, 0);
constexpr Kolor kGreen = MakeKolor(0, 128, 0);
constexpr Kolor kBlue = MakeKolor(0, 0, 255, 50);
constexpr const char* kKey = "test.favoriteColors";

class FakePane : public FLFavoriteColorDelegate {
 public:
  Kolor kolorForPopup(QToolButton*) override { return current; }
  Kolor defaultKolorForPopup(QToolButton*) override { return defaultKolor; }
  void changeKolor(Kolor kolor, QToolButton*) override { chosen.push_back(kolor); }

  Kolor current = kRed;
  Kolor defaultKolor = kGreen;
  std::vector<Kolor> chosen;
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
  for (Kolor kolor : {g_blackKolor, kWhiteKolor, kNoKolor, Kolor(0), Kolor(0x65000000)}) {
    FLFavoriteColorManager::addKolor(kolor, true);
  }
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
  QToolButton button;
  FakePane pane;
  FLFavoriteColorManager manager;
  manager.setDelegate(&pane);
  manager.setPopupButton(&button);
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
  QToolButton firstButton;
  QToolButton secondButton;
  FakePane firstPane;
  FakePane secondPane;
  FLFavoriteColorManager first;
  FLFavoriteColorManager second;
  first.setDelegate(&firstPane);
  first.setPopupButton(&firstButton);
  second.setDelegate(&secondPane);
  second.setPopupButton(&secondButton);
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
  const QImage none = FLFavoriteColorManager::swatchImage(kNoKolor);
  const QImage white = FLFavoriteColorManager::swatchImage(kWhiteKolor);
  const QImage red = FLFavoriteColorManager::swatchImage(kRed);
  ASSERT_EQ(red.size(), QSize(15, 15));
  EXPECT_EQ(red.pixelColor(7, 7), QColor(255, 0, 0));
  EXPECT_EQ(white.pixelColor(7, 7).alpha(), 0);
  EXPECT_GT(none.pixelColor(7, 7).alpha(), 0);   // the cross passes the centre
  EXPECT_EQ(none.pixelColor(7, 3).alpha(), 0);   // but not above it
  EXPECT_EQ(red.pixelColor(0, 7), QColor(Qt::gray));
  EXPECT_EQ(white.pixelColor(14, 7), QColor(Qt::gray));
}

}  // namespace
