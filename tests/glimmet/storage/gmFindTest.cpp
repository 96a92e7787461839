#include "StorageTestSupport.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmFind.h"
#include "glimmet/storage/gmKnots.h"

#include <gtest/gtest.h>

namespace {

struct FindFixture : ::testing::Test {
  int beeps = 0;
  void SetUp() override {
    g_findSettings = GMFindSettings();
    SetFindHost({nullptr, [this] { ++beeps; }});
    SetVariableTextHook([](GlimmetDoc*, const KnotInfo&) { return QStringLiteral("Chapter One"); });
  }
  void TearDown() override {
    SetFindHost({});
    SetVariableTextHook(nullptr);
    g_findSettings = GMFindSettings();
  }
  // The match as body offsets, or (-1, 0).
  static std::pair<int, int> Find(GlimmetDoc* doc, int32_t type, const QString& string, int32_t options,
                                  bool fromStart, bool forward) {
    g_findSettings.type = type;
    g_findSettings.string = string;
    g_findSettings.options = options;
    DocRange match;
    if (!FindNext(doc, fromStart, forward, &match)) return {-1, 0};
    return {int(match.first) - int(kBody), int(match.length())};
  }
  // Inserts a variable knot of the kind, referring to the bookmark name, before the body offset.
  static int InsertVariable(GlimmetDoc* doc, int at, uint32_t kind, uint64_t name) {
    DocRange range{doc, kBody + uint32_t(at), kBody + uint32_t(at)};
    const KinkData data{kind, name};
    EXPECT_TRUE(InsertKnotCore(&range, kKnotVar, 0, 0, nullptr, 1, &data, false));
    return int(range.first - kBody);
  }
};

TEST_F(FindFixture, Text) {
  //                                          0         1          2
  //                                          0123456789012345678 9012345678
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("Alpha beta alphabet\nbeta ALPHA"));
  constexpr int32_t W = kFindWholeWord, I = kFindIgnoreCase, R = kFindWrap;
  const struct {
    int sel0, sel1;
    const char* string;
    int32_t options;
    bool fromStart, forward;
    int at, length;
  } cases[] = {
      {0, 0, "alpha", 0, true, true, 11, 5},          // case matters: "Alpha" is no match
      {0, 0, "alpha", I, true, true, 0, 5},
      {0, 5, "alpha", I | W, false, true, 25, 5},     // not inside "alphabet"
      {0, 0, "alpha", W, true, true, -1, 0},
      {29, 29, "beta", 0, false, false, 20, 4},
      {20, 24, "beta", 0, false, false, 6, 4},
      {21, 21, "beta", 0, false, true, -1, 0},        // without wrap nothing after the selection
      {21, 21, "beta", R, false, true, 6, 4},         // with it, the first before
      {0, 0, "ALPHA", R, false, false, 25, 5},        // backwards round the end
      {0, 0, "t\nbeta", 0, true, true, 18, 6},        // across a paragraph mark
      {0, 0, "\x03", 0, true, true, -1, 0},           // a special code, not text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.string << " options " << c.options << " at " << c.sel0);
    Select(doc.get(), kBody + c.sel0, kBody + c.sel1);
    EXPECT_EQ(Find(doc.get(), kFindText, QString::fromLatin1(c.string), c.options, c.fromStart, c.forward),
              std::make_pair(c.at, c.length));
  }
  bool cancel = true;
  g_findSettings.string = QStringLiteral("beta");
  DocRange match;
  EXPECT_FALSE(FindNext(doc.get(), true, true, &match, &cancel));

  // A search from the match moves on to the next one.
  g_findSettings.options = 0;
  Select(doc.get(), kBody, kBody);
  EXPECT_TRUE(PerformFind(doc.get(), false, true));
  EXPECT_EQ(CurrentPane(doc.get())->selFirst, int32_t(kBody + 6));
  EXPECT_TRUE(PerformFind(doc.get(), false, true));
  EXPECT_EQ(CurrentPane(doc.get())->selFirst, int32_t(kBody + 20));
  EXPECT_FALSE(PerformFind(doc.get(), false, true));
}

TEST_F(FindFixture, TablesLinksAndVariables) {
  GlimmetDocPtr doc = DocFromRtf(QStringLiteral(
      "{\\rtf1 Before\\par\\trowd\\cellx1000\\cellx3000\\pard\\intbl A\\cell B\\par b2\\cell\\row"
      "\\pard After {\\field{\\*\\fldinst{HYPERLINK \"http://x.org/\"}}{\\fldrslt link}} end\\par}"));
  const int variableAt = InsertVariable(doc.get(), int(BodyText(doc.get()).indexOf(u'A')), 4, 0);
  const QString text = BodyText(doc.get());
  auto cpOf = [&](const char* s) { return int(text.indexOf(QLatin1StringView(s))); };
  const int linkAt = cpOf("link") - 1;
  const int end = doc->userLength - int(kBody);
  const struct { const char* string; int32_t options; bool forward; int at, length; } cases[] = {
      {"b2", 0, true, cpOf("b2"), 2},
      {"B", kFindWholeWord, true, cpOf("B\n"), 1},  // the cell text, not the "B" of "Before"
      {"A", kFindWholeWord, false, cpOf("A\n"), 1},
      {"x.org", 0, true, -1, 0},                      // a link is found by its text only
      {"link end", 0, true, cpOf("link"), 23},  // over the link's address
      {"one", kFindIgnoreCase | kFindWholeWord, true, variableAt, 1},  // the variable as a whole
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.string);
    Select(doc.get(), c.forward ? kBody : kBody + end, c.forward ? kBody : kBody + end);
    EXPECT_EQ(Find(doc.get(), kFindText, QString::fromLatin1(c.string), c.options, false, c.forward),
              std::make_pair(c.at, c.length));
  }
  // Selecting a match that starts in a link selects the link.
  Select(doc.get(), kBody, kBody);
  g_findSettings.string = QStringLiteral("ink");
  g_findSettings.options = 0;
  ASSERT_TRUE(PerformFind(doc.get(), false, true));
  EXPECT_EQ(CurrentPane(doc.get())->selFirst - int32_t(kBody), linkAt);
  EXPECT_EQ(CurrentPane(doc.get())->selLimit - int32_t(kBody), cpOf(" end"));
}

TEST_F(FindFixture, SpecialItems) {
  GlimmetDocPtr doc = DocFromRtf(
      "{\\rtf1 a{\\pict\\pngblip " + PngHexOfSize(2, 2) +
      "}b{\\field{\\*\\fldinst{HYPERLINK \"http://x.org/\"}}{\\fldrslt link}}c{\\glmtcheck1}d\\par"
      "{\\b bold}\\par\\pard\\qc centred\\par\\pard e}");
  const QString text = BodyText(doc.get());
  // A reference (kind 7) to a bookmark that does not exist, before "e".
  const int variable = InsertVariable(doc.get(), int(text.lastIndexOf(u'e')), 7, 9);
  const int picture = 1, link = 3, checkbox = 24;
  const int end = doc->userLength - int(kBody);
  g_findSettings.props = CharsAt(doc.get(), kBody + uint32_t(text.indexOf(QStringLiteral("bold"))));
  const struct { int32_t type; int sel; bool fromStart, forward; int at, length; } cases[] = {
      {kFindPicture, 0, true, true, picture, 1},
      {kFindPicture, end, false, false, picture, 1},
      {kFindLink, 0, true, true, link, 20},            // the whole link knot
      {kFindLink, link + 20, false, true, variable, 1},  // a reference counts as a link
      {kFindCheckbox, 0, true, true, checkbox, 1},
      {kFindVariable, 0, true, true, variable, 1},
      {kFindDivider, 0, true, true, -1, 0},
      {kFindCharProps, 0, true, true, int(text.indexOf(QStringLiteral("bold"))), 4},
      {kFindParaProps, 0, true, true, -1, 0},       // "bold"'s record is no paragraph's
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " from " << c.sel);
    Select(doc.get(), kBody + c.sel, kBody + c.sel);
    EXPECT_EQ(Find(doc.get(), c.type, QString(), 0, c.fromStart, c.forward), std::make_pair(c.at, c.length));
  }
  g_findSettings.props = ParaAt(doc.get(), kBody + uint32_t(text.indexOf(QStringLiteral("centred"))));
  EXPECT_EQ(Find(doc.get(), kFindParaProps, QString(), 0, true, true),
            std::make_pair(int(text.indexOf(QStringLiteral("centred"))), 8));

  Select(doc.get(), kBody, kBody);
  EXPECT_TRUE(FindBrokenLink(doc.get(), true, false));
  EXPECT_EQ(CurrentPane(doc.get())->selFirst - int32_t(kBody), variable);
  EXPECT_FALSE(FindBrokenLink(doc.get(), true, false));  // none after it, and no wrap
  EXPECT_EQ(beeps, 1);
  g_findSettings.options = kFindWrap;
  EXPECT_TRUE(FindBrokenLink(doc.get(), true, false));
}

TEST_F(FindFixture, AReferenceWithAFormatToABookmarkThatExistsIsNotBroken) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("ab"));
  DocRange at{doc.get(), kBody + 1, kBody + 1};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotBookmark, 0, 0, nullptr, 0, nullptr, false));
  ASSERT_TRUE(ReplaceRangeSimpleWithString({doc.get(), at.first + 1, at.first + 1}, nullptr,
                                           QStringLiteral("0F1E2D3C-0000-4000-8000-000000000001")));
  IdentifyBookmarks(doc.get());
  const uint32_t guidIndex = GuidIndexForGuid(doc.get(), QStringLiteral("0F1E2D3C-0000-4000-8000-000000000001"));
  ASSERT_NE(guidIndex, kGMNone);
  const int end = doc->userLength - int(kBody) - 1;
  // Kinds 0 and 7 referring to the bookmark, with formats 0 and 2; then one to nothing.
  InsertVariable(doc.get(), end, 0, KnotEntry::VariableValue(guidIndex, 2));
  InsertVariable(doc.get(), end + 1, 7, KnotEntry::VariableValue(guidIndex, 0));
  const int broken = InsertVariable(doc.get(), end + 2, 7, KnotEntry::VariableValue(guidIndex + 5, 2));
  Select(doc.get(), kBody, kBody);
  ASSERT_TRUE(FindBrokenLink(doc.get(), true, false));
  EXPECT_EQ(CurrentPane(doc.get())->selFirst - int32_t(kBody), broken);
}

}  // namespace
