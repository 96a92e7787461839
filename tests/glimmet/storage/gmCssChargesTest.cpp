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

}  // namespace
