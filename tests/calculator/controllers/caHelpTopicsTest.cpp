#include "calculator/controllers/caHelpTopics.h"

#include "calculator/controllers/CACalculatorConverter.h"
#include "calculator/controllers/CACalculatorProgram.h"
#include "calculator/controllers/CACalculatorStandard.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmOpenNative.h"
#include "glimmet/storage/gmProperties.h"
#include "platform/UserDefaults.h"
#include "support/TestData.h"

#include <QDialogButtonBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

int32_t RowNamed(const char* name) {
  for (int32_t row = 1; row <= kFunctionCount; ++row)
    if (std::string_view(g_functionInfo[row].name) == name) return row;
  return 0;
}

// The function browser's Help opens the chapter of the function's first class at the bookmark
// of its place there; a dialog's Help button opens its chapter.
TEST(HelpTopics, FunctionsAndDialogsOpenTheirChapters) {
  std::vector<std::pair<int64_t, int64_t>> opened;
  SetHelpHook([&](int64_t topic, int64_t bookmark) { opened.emplace_back(topic, bookmark); });
  const std::pair<const char*, std::pair<int64_t, int64_t>> cases[] = {
      {"DATE", {9, 0}}, {"PMT", {10, 0}}, {"SUMSQ", {11, 23}}, {"ABS", {13, 0}}, {"TANH", {15, 14}}, {"VP", {12, 8}}};
  for (const auto& [name, expected] : cases) {
    ASSERT_TRUE(GiveFunctionHelp(RowNamed(name))) << name;
    EXPECT_EQ(opened.back(), expected) << name;
  }
  EXPECT_FALSE(GiveFunctionHelp(0));
  QDialogButtonBox buttons;
  AddHelpButton(&buttons, kSortHelpTopic)->click();
  EXPECT_EQ(opened.back(), std::make_pair(kSortHelpTopic, kFLHelpNotGiven));
  // The calculators' Help buttons.
  UserDefaults defaults(QStringLiteral("test.helpTopics"));
  CACalculatorStandard standard(defaults);
  CACalculatorProgram programmer(defaults);
  CACalculatorConverter converter(defaults);
  const std::pair<QWidget*, int64_t> calculators[] = {{&standard, kStandardCalculatorHelpTopic},
                                                      {&programmer, kProgrammerCalculatorHelpTopic},
                                                      {&converter, kConverterHelpTopic}};
  for (const auto& [window, topic] : calculators) {
    auto* help = window->findChild<QPushButton*>(QStringLiteral("help"));
    ASSERT_NE(help, nullptr);
    help->click();
    EXPECT_EQ(opened.back().first, topic);
  }
  SetHelpHook(nullptr);
}

// The help file that ships with the application: its topics keep the numbers that the
// application opens, and each function chapter holds one bookmark per function of its class,
// in the browser's order, followed by the function's name.
TEST(HelpTopics, TheHelpFileKeepsItsChapterNumbersAndFunctionBookmarks) {
  if (!GlimmetXmlDecoderExists()) CreateGlimmetXmlDecoder();
  GlimmetDocPtr doc(NewGlimmetDoc(kDocHelp));
  QString error;
  ASSERT_TRUE(ReadNativeFile(TestDataPath(QStringLiteral("../../resources/Help.glimmet")), doc.get(), &error))
      << error.toStdString();
  IdentifyBookmarks(doc.get());
  const std::pair<uint32_t, const char*> chapters[] = {
      {8, "Functions"},           {9, "\tDate functions"},          {15, "\tTrigonometry functions"},
      {31, "\tStandard calculator"}, {32, "\tProgrammer's calculator"}, {33, "\tUnit converter"},
      {37, "\tAutosave recovery"}, {38, "\tFill series"},            {39, "\tFind and replace"},
      {40, "\tLinks"},             {41, "\tSort"},
  };
  for (const auto& [index, name] : chapters) EXPECT_EQ(ChapterName(doc.get(), index), QString::fromUtf8(name));
  for (int32_t functionClass = 1; functionClass < kFunctionClassCount; ++functionClass) {
    const uint32_t chapter = uint32_t(8 + functionClass);
    const uint32_t start = doc->chapterCps.cpAt(chapter);
    const uint32_t end = doc->chapterCps.cpAt(chapter + 1);
    const uint32_t first = doc->bookmarkCps.indexOfCpAfter(start);
    const CAFunctionClass& info = g_functionClasses[functionClass];
    for (int32_t i = 0; i < info.count; ++i) {
      ASSERT_LT(first + uint32_t(i), doc->bookmarkCps.count());
      const uint32_t cp = doc->bookmarkCps.cpAt(first + uint32_t(i));
      ASSERT_LT(cp, end) << info.name << " " << i;
      KnotInfo knot;
      ASSERT_TRUE(FetchKnot(doc.get(), cp, &knot, kKnotBookmark));
      const QString name = QString::fromLatin1(g_functionInfo[info.members[i]].name);
      EXPECT_EQ(TextOfRange({doc.get(), knot.limit, knot.limit + uint32_t(name.size()) + 1}), name + u'(');
    }
    EXPECT_TRUE(first + uint32_t(info.count) == doc->bookmarkCps.count() ||
                doc->bookmarkCps.cpAt(first + uint32_t(info.count)) >= end)
        << info.name;
  }
}

}  // namespace
