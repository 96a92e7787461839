#include "framlet/foundation/flFonts.h"

#include "ImageTestSupport.h"
#include "framlet/foundation/FLKernel.h"

#include <QFontInfo>

#include <gtest/gtest.h>

namespace {

// Installed by the project's dependencies: DejaVu, URW base35 (Nimbus) and Liberation.

TEST(FontsTest, NameComponentsSplitWordsAndCamelCase) {
  const std::pair<const char*, QStringList> cases[] = {
      {"HelveticaNeue-Bold", {"helvetica", "neue", "bold"}},
      {"ABCDef", {"abc", "def"}},
      {"  Times New Roman", {"times", "new", "roman"}},
      {"NimbusSans-Regular", {"nimbus", "sans", "regular"}},
      {"URWGothic-Book", {"urw", "gothic", "book"}},
      {"C059-BdIta", {"c059", "bd", "ita"}},
      {"DejaVu Sans", {"deja", "vu", "sans"}},
      {"ALLCAPS", {"allcaps"}},
      {"--", {}},
      {"", {}},
  };
  for (const auto& [name, words] : cases) EXPECT_EQ(FontNameComponents(QLatin1String(name)), words) << name;
}

TEST(FontsTest, ComponentScoresFavourSharedWords) {
  struct Case {
    QStringList requested;
    QStringList candidate;
    int score;
  };
  const Case cases[] = {
      {{"helvetica", "neue", "bold"}, {"helvetica", "neue", "bold"}, 15},
      {{"helvetica", "neue", "bold"}, {"helvetica", "neue"}, 9},        // -1 + 5 + 5
      {{"helvetica", "neue", "bold"}, {"helvetica", "neue", "light"}, 10},
      {{"helvetica", "neue", "bold"}, {"helv", "ne", "b", "x"}, 2},     // -1 + 1 + 1 + 1
      {{"nimbus", "sans"}, {"sans", "nimbus"}, 10},                     // order does not matter
      {{"arial"}, {"liberation", "sans"}, -1},
      {{}, {}, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MatchFontNameComponents(c.requested, c.candidate), c.score) << c.candidate.join('+').toStdString();
}

TEST(FontsTest, ExistsByPostScriptOrFamilyNameIgnoringCase) {
  const std::pair<const char*, bool> cases[] = {
      {"DejaVuSans", true},          {"dejavusans-bold", true},  {"DejaVu Sans", true},
      {"dejavu sans mono", true},    {"NimbusSans-Regular", true}, {"Nimbus Sans", true},
      {"LiberationSerif-Bold", true}, {"Liberation Serif", true}, {"NoSuchFontAnywhere", false},
      {"DejaVu", false},             {"", false},
  };
  for (const auto& [name, exists] : cases) EXPECT_EQ(FontExists(QLatin1String(name)), exists) << name;
}

TEST(FontsTest, MapsExactFamilyAndPartialNames) {
  struct Case {
    const char* requested;
    const char* mapped;
  };
  const Case cases[] = {
      {"NimbusSans-Regular", "NimbusSans-Regular"},      // an installed name maps to itself
      {"LiberationSerif-Bold", "LiberationSerif-Bold"},
      {"liberationserif-bold", "LiberationSerif-Bold"},  // spelled as installed
      {"Liberation Serif", "LiberationSerif"},           // a family gives its regular face
      {"DejaVu Sans", "DejaVuSans"},
      {"NimbusSans-Heavy", "NimbusSans-Regular"},        // no such face: the family's first
      {"LiberationMono-Semibold", "LiberationMono"},
      {"Nimbus", "NimbusMonoPS-Regular"},                // the first family containing the name
  };
  for (const Case& c : cases) {
    bool substituted = true;
    EXPECT_EQ(MapFontName(QLatin1String(c.requested), &substituted), QLatin1String(c.mapped)) << c.requested;
    EXPECT_FALSE(substituted) << c.requested;
  }
}

TEST(FontsTest, UnknownNamesTakeTheUserFont) {
  for (const char* name : {"Zzqx Unknown", "", "-"}) {
    bool substituted = false;
    EXPECT_EQ(MapFontName(QLatin1String(name), &substituted), UserFontName()) << name;
    EXPECT_TRUE(substituted) << name;
  }
  EXPECT_EQ(MapFontName(QStringLiteral("Zzqx Unknown")), UserFontName());
}

TEST(FontsTest, FamilyMappingReportsWhenNothingFits) {
  bool substituted = false;
  EXPECT_EQ(MapFontNameFromFamily(QStringLiteral("NoSuchFamily-Bold"), &substituted), QString());
  EXPECT_TRUE(substituted);
  EXPECT_EQ(MapFontNameFromFamily(QStringLiteral("LiberationSerif-Black"), &substituted), QStringLiteral("LiberationSerif"));
  EXPECT_FALSE(substituted);
}

TEST(FontsTest, FontsMadeByNameAreTheNamedFaces) {
  auto bold = FontWithName(QStringLiteral("LiberationSerif-Bold"), 12);
  ASSERT_TRUE(bold);
  const QFontInfo info(*bold);
  EXPECT_EQ(info.family(), QStringLiteral("Liberation Serif"));
  EXPECT_TRUE(info.bold());
  EXPECT_FALSE(info.italic());
  EXPECT_DOUBLE_EQ(bold->pointSizeF(), 12);
  EXPECT_EQ(FontPostScriptName(*bold), QStringLiteral("LiberationSerif-Bold"));

  auto italic = FontWithName(QStringLiteral("NimbusSans-Italic"), 9);
  ASSERT_TRUE(italic);
  EXPECT_EQ(FontPostScriptName(*italic), QStringLiteral("NimbusSans-Italic"));
  EXPECT_FALSE(FontWithName(QStringLiteral("NoSuchFontAnywhere"), 12));

  const auto face = FontFaceForName(QStringLiteral("dejavu sans mono"));
  ASSERT_TRUE(face);
  EXPECT_EQ(face->postScriptName, QStringLiteral("DejaVuSansMono"));
  EXPECT_EQ(face->family, QStringLiteral("DejaVu Sans Mono"));
}

TEST(FontsTest, FamiliesAreSortedAndMembersStartRegular) {
  const QStringList families = AvailableFontFamilies();
  ASSERT_FALSE(families.isEmpty());
  for (qsizetype i = 1; i < families.size(); ++i)
    EXPECT_LE(families[i - 1].compare(families[i], Qt::CaseInsensitive), 0);
  const QList<FLFontFace> members = AvailableMembersOfFontFamily(QStringLiteral("Liberation Sans"));
  ASSERT_EQ(members.size(), 4);
  EXPECT_EQ(members.first().postScriptName, QStringLiteral("LiberationSans"));
  EXPECT_EQ(members.last().postScriptName, QStringLiteral("LiberationSans-BoldItalic"));
}

class DelegateWithFont : public FLApplicationDelegate {
 public:
  explicit DelegateWithFont(QString name) : name_(std::move(name)) {}
  std::optional<QString> defaultFontName() const override { return name_; }

 private:
  QString name_;
};

TEST(FontsTest, UserFontIsTheDelegatesWhenItExists) {
  const QString fallback = DefaultUserFontName();
  ASSERT_FALSE(fallback.isEmpty());
  EXPECT_TRUE(FontExists(fallback));
  EXPECT_EQ(UserFontName(), fallback);

  FLApplicationDelegate* previous = ApplicationDelegate();
  DelegateWithFont mono(QStringLiteral("LiberationMono"));
  SetApplicationDelegate(&mono);
  EXPECT_EQ(UserFontName(), QStringLiteral("LiberationMono"));
  EXPECT_EQ(FontPostScriptName(UserFont(10)), QStringLiteral("LiberationMono"));
  bool substituted = false;
  EXPECT_EQ(MapFontName(QStringLiteral("Zzqx"), &substituted), QStringLiteral("LiberationMono"));

  DelegateWithFont missing(QStringLiteral("NoSuchFontAnywhere"));
  SetApplicationDelegate(&missing);
  EXPECT_EQ(UserFontName(), fallback);
  EXPECT_EQ(FontPostScriptName(UserFont(10)), FontPostScriptName(DefaultUserFontOfSize(10)));
  SetApplicationDelegate(previous);
}

TEST(FontsTest, FontListIndexesAreStable) {
  const uint16_t helvetica = IndexOfFont(QStringLiteral("Helvetica"));
  EXPECT_EQ(IndexOfFont(QString()), helvetica);  // an empty name counts as Helvetica
  const uint32_t before = FontNameCount();
  const uint16_t first = IndexOfFont(QStringLiteral("FontListTest-One"));
  const uint16_t second = IndexOfFont(QStringLiteral("FontListTest-Two"));
  EXPECT_EQ(first, before);
  EXPECT_EQ(second, before + 1);
  EXPECT_EQ(IndexOfFont(QStringLiteral("FontListTest-One")), first);
  EXPECT_EQ(FontNameCount(), before + 2);
  EXPECT_EQ(FontNameAtIndex(second), QStringLiteral("FontListTest-Two"));
  EXPECT_EQ(FontNameAtIndex(FontNameCount()), QString());
  EXPECT_NE(IndexOfFont(QStringLiteral("fontlisttest-one")), first);  // names are exact
}

}  // namespace
