// What style sheets are charged against what they hold: each rule, each selector of a long list
// and each rule of a linked sheet at no less than it takes once read (bench/benchHtmlReader,
// BM_UnitCost: 835 to 890 bytes, the page's text included), and every sheet and block of rules
// is a point where the budget is looked at.
#include "glimmet/storage/gmCss.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

QString Repeated(int count, const std::function<QString(int)>& piece) {
  QString text;
  for (int k = 0; k < count; ++k) text += piece(k);
  return text;
}

TEST(GMCssCharges, RulesAreChargedAtWhatTheyHold) {
  constexpr int kPieces = 20000;
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  {
    QFile sheet(folder.filePath(QStringLiteral("linked.css")));
    ASSERT_TRUE(sheet.open(QIODevice::WriteOnly));
    sheet.write(Repeated(kPieces, [](int k) { return QStringLiteral("p.c%1{margin-left:3px}\n").arg(k); }).toUtf8());
  }
  const QUrl base = QUrl::fromLocalFile(folder.filePath(QStringLiteral("page.html")));
  const struct {
    const char* shape;
    QString sheet;  // a <style> element's text
    const char* linked;
    int64_t leastPerPiece;
  } cases[] = {
      {"rules of a class",
       Repeated(kPieces, [](int k) { return QStringLiteral("p.c%1{margin-left:3px}").arg(k); }), nullptr, 1000},
      {"rules naming an ancestor",
       Repeated(kPieces, [](int k) { return QStringLiteral(".c%1 p{color:red}").arg(k); }), nullptr, 1000},
      {"selectors of one list",
       Repeated(kPieces, [](int k) { return QStringLiteral("p.c%1,").arg(k); }) + QStringLiteral("p{color:red}"),
       nullptr, 950},
      {"rules of a linked sheet", QString(), "linked.css", 950},
  };
  for (const auto& c : cases) {
    int64_t charged = 0;
    int calls = 0;
    GMStyleSheets sheets([&](int64_t bytes) {
      charged += bytes;
      ++calls;
      return true;
    });
    if (!c.sheet.isEmpty()) {
      ASSERT_TRUE(sheets.addSheet(c.sheet, base));
    }
    if (c.linked) {
      ASSERT_TRUE(sheets.addLinkedSheet(QUrl(QLatin1String(c.linked)), base));
    }
    EXPECT_GE(charged, c.leastPerPiece * kPieces) << c.shape;
    EXPECT_LE(charged, 2 * c.leastPerPiece * kPieces) << c.shape;
    EXPECT_GT(calls, kPieces / 4) << c.shape;
  }

  // An empty sheet, an empty block, and a sheet of nothing the rich text carries are each looked
  // at: the budget refuses them as it refuses any other.
  for (const char* sheet : {"", "@media screen{}", "p{x-unknown:1}", "@media screen{@media all{}}"}) {
    int calls = 0;
    GMStyleSheets sheets([&](int64_t) {
      ++calls;
      return false;
    });
    EXPECT_FALSE(sheets.addSheet(QString::fromLatin1(sheet), QUrl())) << sheet;
    EXPECT_EQ(calls, 1) << sheet;
  }
}

// A selector list is priced as it is read, before any of its rules is made: one past the budget
// is refused having made none of them, whatever part of it the budget would have taken.
TEST(GMCssCharges, ListPastTheBudgetMakesNoRule) {
  constexpr int kSelectors = 20000;
  const QString list =
      Repeated(kSelectors, [](int k) { return QStringLiteral("p.c%1,").arg(k); }) + QStringLiteral("p{color:red}");
  // The same selector written many times, and the same rule written in other ways, make one rule.
  const QString repeated =
      Repeated(kSelectors, [](int k) { return k % 2 ? QStringLiteral("P.c1,") : QStringLiteral("p.c1,"); }) + QStringLiteral("p{color:red}");
  const QString voided = Repeated(kSelectors, [](int k) { return QStringLiteral("p.c%1,").arg(k); }) +
                         QStringLiteral("p..x{color:red}");
  const struct {
    const char* shape;
    QString sheet;
    int64_t budget;
    bool refused;
    bool rulesMade;
  } cases[] = {
      {"a list past the budget", list, 8 << 20, true, false},
      {"a list past the budget by one rule", list, 0, true, false},
      {"a list within the budget", list, 64 << 20, false, true},
      {"one selector repeated", repeated, 8 << 20, false, true},
      {"a list one malformed selector voids", voided, 64 << 20, false, false},
  };
  // What the list costs with no bound, less one rule's worth: the budget of the case marked 0.
  int64_t whole = 0;
  {
    GMStyleSheets sheets([&](int64_t bytes) {
      whole += bytes;
      return true;
    });
    ASSERT_TRUE(sheets.addSheet(list, QUrl()));
  }
  for (const auto& c : cases) {
    const int64_t budget = c.budget ? c.budget : whole - 1000;
    int64_t charged = 0;
    GMStyleSheets sheets([&](int64_t bytes) {
      charged += bytes;
      return charged <= budget;
    });
    EXPECT_EQ(sheets.addSheet(c.sheet, QUrl()), !c.refused) << c.shape;
    EXPECT_EQ(sheets.exhausted(), c.refused) << c.shape;
    EXPECT_EQ(!sheets.empty(), c.rulesMade) << c.shape;
    if (c.rulesMade) {
      GMCssElement p;
      p.name = u"p";
      const QString name = QStringLiteral("c1");
      p.classes.push_back(name);
      std::vector<const GMCssDeclaration*> found;
      EXPECT_TRUE(sheets.match(p, &found)) << c.shape;
      EXPECT_EQ(found.size(), 1u) << c.shape;
    }
  }
}

}  // namespace
