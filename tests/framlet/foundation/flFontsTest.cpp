#include "framlet/foundation/flFonts.h"

#include "ImageTestSupport.h"
#include "framlet/foundation/FLKernel.h"

#include <QFontInfo>

#include <gtest/gtest.h>

namespace {

// Installed by the project's dependencies: DejaVu, URW base35 (Nimbus) and Liberation.

TEST(FontsTest, MapsExactFamilyAndPartialNames) {
  struct Case { const char* requested; const char* mapped; };
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

}  // namespace
