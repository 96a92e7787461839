#include "framlet/help/FLGlimmetHelpWC.h"

#include "framlet/help/FLGlimmetHelpView.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmFind.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmStyles.h"
#include "glimmet/storage/gmOpenNative.h"
#include "platform/BundleInfo.h"
#include "platform/UserDefaults.h"
#include "support/PrivateUserFolders.h"
#include "support/TestData.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QImage>
#include <QMainWindow>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

PrivateUserFolders g_folders;

class HelpWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GlimmetXmlDecoderExists()) CreateGlimmetXmlDecoder();
    if (!g_prefDoc) CreatePreferenceDocument();
    SetBundleResourceFolders({TestDataPath(QStringLiteral("../../resources"))});
    FLGlimmetHelpWC::setBeepHook([this] { ++beeps_; });
    for (const char* key : {kFLHelpTopicKey, kFLHelpPositionKey, kFLHelpZoomKey})
      UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(key));
  }
  void TearDown() override {
    for (FLGlimmetHelpWC* window : FLGlimmetHelpWC::helpWindows()) window->window()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    FLGlimmetHelpWC::setBeepHook(nullptr);
    SetBundleResourceFolders({});
  }
  static FLGlimmetHelpWC* help() {
    const auto windows = FLGlimmetHelpWC::helpWindows();
    return windows.empty() ? nullptr : windows.back();
  }
  static QString selected() { return help()->textView()->selectedPlainText(); }
  static void closeAll() {
    for (FLGlimmetHelpWC* window : FLGlimmetHelpWC::helpWindows()) window->window()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  int beeps_ = 0;
};

TEST_F(HelpWindowTest, OpensAtTheCallersTopicAndReusesItsWindow) {
  FLGlimmetHelpWC::displayHelp(39);
  ASSERT_NE(help(), nullptr);
  EXPECT_EQ(help()->currentTopic(), 39);
  EXPECT_TRUE(help()->window()->windowTitle().endsWith(QStringLiteral(" Help — Find and replace")));
  FLGlimmetHelpWC::displayHelp(kFLHelpNotGiven);
  EXPECT_EQ(FLGlimmetHelpWC::helpWindows().size(), 1u);
  EXPECT_EQ(help()->currentTopic(), 39);
  FLGlimmetHelpWC::displayHelp(31);
  EXPECT_EQ(FLGlimmetHelpWC::helpWindows().size(), 1u);
  EXPECT_EQ(help()->currentTopic(), 31);
  help()->jumpToTopic(help()->topicTree().chapterCount(), kFLHelpNotGiven, true);
  EXPECT_EQ(beeps_, 1);
  EXPECT_EQ(help()->currentTopic(), 31);
}

TEST_F(HelpWindowTest, AFunctionsBookmarkSelectsItsSentence) {
  struct Case {
    int64_t topic, bookmark;
    const char* starts;
  };
  const Case cases[] = {{9, 1, "DAY("}, {10, 0, "PMT("}, {15, 14, "TANH("}, {9, 99, ""}};
  for (const Case& c : cases) {
    FLGlimmetHelpWC::displayHelp(c.topic, c.bookmark);
    if (*c.starts) {
      EXPECT_TRUE(selected().startsWith(QLatin1String(c.starts))) << c.topic << " " << selected().toStdString();
      EXPECT_TRUE(selected().endsWith(u'.')) << selected().toStdString();
    } else {
      EXPECT_TRUE(selected().isEmpty());
      EXPECT_EQ(help()->textView()->selectedCps().first, help()->textView()->firstCp());
    }
  }
}

TEST_F(HelpWindowTest, HistoryGoesBackAndForwardAndForgetsWhatFollowsANewPlace) {
  FLGlimmetHelpWC::displayHelp(2);
  help()->jumpNextChapter();
  help()->jumpNextChapter();
  EXPECT_EQ(help()->currentTopic(), 4);
  help()->navigate(true);
  EXPECT_EQ(help()->currentTopic(), 3);
  EXPECT_TRUE(help()->history().canGoForward());
  help()->jumpToTopic(20, kFLHelpNotGiven, true);
  EXPECT_FALSE(help()->history().canGoForward());
  help()->navigate(true);
  EXPECT_EQ(help()->currentTopic(), 3);
  help()->navigate(true);
  help()->navigate(true);
  EXPECT_EQ(help()->currentTopic(), 2);
  EXPECT_FALSE(help()->history().canGoBack());
  EXPECT_FALSE(help()->validateAction(QStringLiteral("navigateBack:")));
}

TEST_F(HelpWindowTest, TheOutlineJumpsToTheEntryChosenAndFollowsTheTopic) {
  FLGlimmetHelpWC::displayHelp(0);
  QTreeWidget* outline = help()->topicList();
  QTreeWidgetItem* logs = nullptr;
  for (int i = 0; i < outline->topLevelItemCount(); ++i)
    if (outline->topLevelItem(i)->text(0) == QLatin1String("Support")) logs = outline->topLevelItem(i)->child(0);
  ASSERT_NE(logs, nullptr);
  ASSERT_EQ(logs->childCount(), 1);
  outline->setCurrentItem(logs->child(0));
  EXPECT_EQ(help()->currentTopic(), 44);
  help()->jumpToTopic(33, kFLHelpNotGiven, true);
  ASSERT_NE(outline->currentItem(), nullptr);
  EXPECT_EQ(outline->currentItem()->text(0), QStringLiteral("Unit converter"));
  EXPECT_TRUE(outline->currentItem()->parent()->isExpanded());
}

TEST_F(HelpWindowTest, TheSearchFindsSuccessiveMatchesWithItsOptions) {
  FLGlimmetHelpWC::displayHelp(0);
  GlimmetDoc* doc = help()->doc();
  const uint32_t body = FLHelpChapterBodyStart(doc, 0);
  const QString text = TextOfRange({doc, body, FLHelpChapterLimit(doc, 0)});
  const auto at = [&](const char* context) { return body + uint32_t(text.indexOf(QLatin1String(context))); };
  ASSERT_EQ(help()->searchOptionMask(), kFLHelpIgnoreCase | kFLHelpFromStart);
  // Each step toggles an option (-1: none), searches the field's text, then finds on.
  struct Case {
    int option;
    std::vector<const char*> hits;
  };
  const Case cases[] = {
      {-1, {"Calculator is", "calculators", "calculator,", "calculator and"}},
      {0, {"Calculator is", "calculator,", "calculator and"}},  // whole words
      {1, {"calculator,", "calculator and"}},                   // case matters
  };
  for (const Case& c : cases) {
    if (c.option >= 0) help()->setSearchOption(c.option);
    help()->quickSearch(QStringLiteral("calculator"));
    for (size_t i = 0; i < c.hits.size(); ++i) {
      if (i > 0) { EXPECT_TRUE(help()->findNext(true)); }
      EXPECT_EQ(help()->textView()->selectedCps().first, at(c.hits[i])) << c.option << " " << c.hits[i];
      EXPECT_EQ(selected().toLower(), QStringLiteral("calculator"));
    }
  }
  // Not past the last match, unless wrapping; and backwards.
  EXPECT_FALSE(help()->findNext(true));
  EXPECT_EQ(beeps_, 1);
  help()->setSearchOption(2);
  EXPECT_TRUE(help()->findNext(true));
  EXPECT_EQ(help()->textView()->selectedCps().first, at("calculator,"));
  EXPECT_TRUE(help()->findNext(false));
  EXPECT_EQ(help()->textView()->selectedCps().first, at("calculator and"));
  EXPECT_TRUE(help()->validateAction(QStringLiteral("findPrevious:")));
  help()->quickSearch(QStringLiteral("no such words anywhere"));
  EXPECT_EQ(help()->textView()->selectedCps().first, at("calculator and"));
}

TEST_F(HelpWindowTest, ASpecialFindTypeFindsItsItemInAnotherTopic) {
  FLGlimmetHelpWC::displayHelp(0);
  GlimmetDoc* doc = help()->doc();
  const uint32_t cp = FLHelpChapterBodyStart(doc, 3) + 4;
  DocRange range{doc, cp, cp};
  const KinkData data{0, 0};
  ASSERT_TRUE(InsertKnotCore(&range, kKnotVar, 0, 0, nullptr, 1, &data, false));
  help()->quickSearch(QStringLiteral("^v"));
  EXPECT_EQ(g_findSettings.type, kFindVariable);
  EXPECT_EQ(help()->currentTopic(), 3);
  EXPECT_EQ(help()->textView()->selectedCps().first, range.first);
  EXPECT_EQ(help()->textView()->selectedCps().limit, range.first + 1);
  help()->navigate(true);
  EXPECT_EQ(help()->currentTopic(), 0);
  // Not from the start, and nothing after it: the variable stays the only one.
  help()->navigate(false);
  EXPECT_FALSE(help()->findNext(true));
  EXPECT_EQ(help()->textView()->selectedCps().first, range.first);
}

// A new search covers the whole help, not only the topic shown: a word of another topic is found
// there, and a search nothing answers beeps and leaves the reader where they were.
TEST_F(HelpWindowTest, AQuickSearchFindsAWordOfAnotherTopicAndBeepsWhenNothingHasIt) {
  FLGlimmetHelpWC::displayHelp(13);
  ASSERT_EQ(help()->currentTopic(), 13);
  GlimmetDoc* doc = help()->doc();
  const QString whole = TextOfRange({doc, 0, uint32_t(doc->userLength)});
  const qsizetype at = whole.indexOf(QLatin1String("enciphered"));
  ASSERT_GE(at, 0);
  const auto topic = int64_t(FLHelpChapterOfCp(doc, uint32_t(at)));
  ASSERT_NE(topic, 13);

  help()->quickSearch(QStringLiteral("enciphered"));
  EXPECT_EQ(help()->currentTopic(), topic);
  EXPECT_EQ(selected(), QStringLiteral("enciphered"));
  EXPECT_EQ(help()->textView()->selectedCps().first, uint32_t(at));
  EXPECT_EQ(beeps_, 0);

  FLGlimmetHelpWC::displayHelp(13);
  help()->quickSearch(QStringLiteral("no such words anywhere"));
  EXPECT_EQ(beeps_, 1);
  EXPECT_EQ(help()->currentTopic(), 13);
}

TEST_F(HelpWindowTest, TheApplicationsHelpRemembersItsPlaceAndZoom) {
  FLGlimmetHelpWC::displayHelp(32);
  help()->zoomIn();
  EXPECT_EQ(UserDefaults::standardUserDefaults().integerForKey(QLatin1String(kFLHelpZoomKey)), 125);
  closeAll();
  EXPECT_EQ(UserDefaults::standardUserDefaults().integerForKey(QLatin1String(kFLHelpTopicKey)), 32);
  FLGlimmetHelpWC::displayHelp(kFLHelpNotGiven);
  EXPECT_EQ(help()->currentTopic(), 32);
  EXPECT_DOUBLE_EQ(help()->zoom(), 1.25);
}

TEST_F(HelpWindowTest, AStoredZoomIsKeptWithinTheZoomSteps) {
  const struct { int64_t stored; double shown; } cases[] = {{1, 0.5}, {1000000, 4.0}, {-5, 1.0}, {175, 1.75}};
  for (const auto& c : cases) {
    UserDefaults::standardUserDefaults().setInteger(c.stored, QLatin1String(kFLHelpZoomKey));
    FLGlimmetHelpWC::displayHelp(32);
    EXPECT_DOUBLE_EQ(help()->zoom(), c.shown) << c.stored;
    closeAll();
  }
}

// The opening topic bears the application's name, which the title gives once.
TEST_F(HelpWindowTest, TheTitleNamesTheApplicationOnceAndThenTheTopic) {
  const auto restore = qScopeGuard([name = QCoreApplication::applicationName()] {
    QCoreApplication::setApplicationName(name);
  });
  QCoreApplication::setApplicationName(QStringLiteral("Tamsel Calculator"));
  const struct {
    int32_t topic;
    const char* title;
  } cases[] = {
      {0, "Tamsel Calculator Help"},
      {39, "Tamsel Calculator Help — Find and replace"},
      {1, "Tamsel Calculator Help — Documents"},
  };
  for (const auto& c : cases) {
    FLGlimmetHelpWC::displayHelp(c.topic);
    ASSERT_NE(help(), nullptr);
    EXPECT_EQ(help()->window()->windowTitle().toStdString(), c.title);
  }
}

TEST_F(HelpWindowTest, AFileShownAsHelpLeavesTheHelpSettingsAlone) {
  QTemporaryDir folder;
  const QString copy = folder.filePath(QStringLiteral("Other.glimmet"));
  ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("../../resources/Help.glimmet")), copy));
  FLGlimmetHelpWC* shown = FLGlimmetHelpWC::displayFileAsHelp(copy);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->currentTopic(), 0);
  EXPECT_EQ(shown->window()->windowTitle(), QStringLiteral("Other — Tamsel Calculator"));
  EXPECT_EQ(FLGlimmetHelpWC::displayFileAsHelp(copy), shown);
  shown->jumpToTopic(5, kFLHelpNotGiven, true);
  shown->zoomIn();
  closeAll();
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  EXPECT_FALSE(defaults.objectForKey(QLatin1String(kFLHelpTopicKey)).isValid());
  EXPECT_FALSE(defaults.objectForKey(QLatin1String(kFLHelpZoomKey)).isValid());
  EXPECT_EQ(FLGlimmetHelpWC::displayFileAsHelp(folder.filePath(QStringLiteral("missing.glimmet"))), nullptr);
}

TEST_F(HelpWindowTest, TheHelpViewDrawsTheChapterShown) {
  FLGlimmetHelpWC::displayHelp(31);
  help()->window()->resize(800, 600);
  QCoreApplication::processEvents();
  const QImage image = help()->textView()->grab().toImage();
  if (qEnvironmentVariableIsSet("TAMSEL_SAVE_HELP_IMAGE"))
    help()->window()->grab().save(qEnvironmentVariable("TAMSEL_SAVE_HELP_IMAGE"));
  int dark = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 100;
  EXPECT_GT(dark, 500);  // lines of text
}

}  // namespace
