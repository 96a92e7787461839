// Names a page could choose, knowing the seed the style sheets hash with, to fall on one place of
// their table of names: under that seed the places a look-up passes over are counted as steps,
// so that a page of them meets the bound its size allows; under any other seed they spread.
#include "glimmet/storage/gmCss.h"

#include <QString>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// The place a name takes in a table of `size` places under the seed set now.
size_t PlaceOf(const QString& name, size_t size) {
  const size_t hash = CssNameHash(name);
  uint32_t folded = uint32_t(hash ^ (uint64_t(hash) >> 32));
  if (folded == 0) folded = 1;
  return folded & (size - 1);
}

class SeedScope {
 public:
  explicit SeedScope(size_t seed) : previous_(SetCssHashSeed(seed)) {}
  ~SeedScope() { SetCssHashSeed(previous_); }
  SeedScope(const SeedScope&) = delete;
  SeedScope& operator=(const SeedScope&) = delete;

 private:
  size_t previous_;
};

TEST(GMCssSeed, NamesChosenToCollideCostStepsUnderTheirSeedAndSpreadUnderAnother) {
  constexpr size_t kNames = 600;
  constexpr size_t kSlots = 2048;  // the table of 600 names
  constexpr size_t kChosenSeed = 0x5EED, kOtherSeed = 0xC0FFEE123457;
  // What an attacker who knew the seed would write: names that all take one place.
  std::vector<QString> names;
  {
    SeedScope chosen(kChosenSeed);
    for (int k = 0; names.size() < kNames; ++k) {
      const QString name = QStringLiteral("n%1").arg(k);
      if (PlaceOf(name, kSlots) == 7) names.push_back(name);
    }
  }
  {
    SeedScope other(kOtherSeed);
    size_t together = 0;
    for (const QString& name : names) together += PlaceOf(name, kSlots) == PlaceOf(names.front(), kSlots);
    EXPECT_LT(together, kNames / 20) << "another seed places them apart";
  }

  const struct {
    const char* kind;
    const char* rule;  // of each name
    bool id;           // the elements name it as their id, else as a class
  } cases[] = {
      {"classes", ".%1{color:red}", false},
      {"ids", "#%1{color:red}", true},
      {"classes of a type", "p.%1 span{color:red}", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const auto steps = [&](size_t seed) {
      SeedScope scope(seed);
      int64_t counted = 0;
      GMStyleSheets sheets([](int64_t) { return true; });
      sheets.setSteps([&counted](int64_t n) {
        counted += n;
        return true;
      });
      QString sheet;
      for (const QString& name : names) sheet += QString::fromLatin1(c.rule).arg(name);
      EXPECT_TRUE(sheets.addSheet(sheet, QUrl()));
      for (const QString& name : names) {
        GMCssElement element;
        element.name = u"p";
        if (c.id) element.id = name;
        else element.classes.push_back(name);
        std::vector<const GMCssDeclaration*> found;
        EXPECT_TRUE(sheets.match(element, &found));
      }
      return counted;
    };
    const int64_t crowded = steps(kChosenSeed);
    const int64_t spread = steps(kOtherSeed);
    // Each name added or looked up passes over those before it in the one place they share.
    EXPECT_GT(crowded, int64_t(kNames * kNames / 2));
    EXPECT_LT(spread, int64_t(kNames * kNames / 20));
  }
}

}  // namespace
