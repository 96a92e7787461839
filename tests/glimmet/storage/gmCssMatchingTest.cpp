// Selector matching over a page's elements asked in the order the page opens them: what an
// element's ancestors answer is worked out once for the elements inside them, and must never
// be taken for another element's; the selector tests matching makes are counted and bounded.
#include "glimmet/storage/gmCss.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>

namespace {

// Elements written as selectors are ("div.a.b#i"), each inside the one given; their views point
// into texts kept alive with them.
struct Tree {
  std::deque<QString> texts;
  std::deque<GMCssElement> elements;

  const GMCssElement* add(const GMCssElement* parent, const QString& written) {
    GMCssElement& e = elements.emplace_back();
    Fill(&e, written, &texts);
    e.parent = parent;
    return &e;
  }

  static void Fill(GMCssElement* e, const QString& written, std::deque<QString>* texts) {
    const auto until = [&](qsizetype from) {
      qsizetype end = from;
      while (end < written.size() && written[end] != u'.' && written[end] != u'#') ++end;
      return end;
    };
    qsizetype i = until(0);
    e->name = QStringView(texts->emplace_back(written.left(i)));
    while (i < written.size()) {
      const qsizetype end = until(i + 1);
      const QStringView part(texts->emplace_back(written.mid(i + 1, end - i - 1)));
      if (written[i] == u'#')
        e->id = part;
      else
        e->classes.push_back(part);
      i = end;
    }
  }
};

// The numbers N of the rules "...{margin-left:Npx}" that match the element, in ascending order.
QString RulesMatched(const GMStyleSheets& sheets, const GMCssElement& element) {
  std::vector<const GMCssDeclaration*> found;
  if (!sheets.match(element, &found)) return QStringLiteral("(refused)");
  std::vector<int> numbers;
  for (const GMCssDeclaration* d : found) numbers.push_back(QStringView(d->value).chopped(2).toInt());
  std::sort(numbers.begin(), numbers.end());
  QStringList parts;
  for (int n : numbers) parts.append(QString::number(n));
  return parts.join(u',');
}

QString Numbered(const QStringList& selectors) {
  QString sheet;
  for (qsizetype k = 0; k < selectors.size(); ++k)
    sheet += selectors[k] + QStringLiteral("{margin-left:%1px}").arg(k + 1);
  return sheet;
}

// Descendant and child combinators in runs, over a page whose branches share ancestors: each
// paragraph gets the rules its own ancestors satisfy, whatever was matched before it.
TEST(GMCssMatching, RunsOfCombinatorsMatchEachElementsOwnAncestors) {
  GMStyleSheets sheets(nullptr);
  ASSERT_TRUE(sheets.addSheet(Numbered({".a p", ".a > p", "div > div p", "div div > p", "#i .b p",
                                        "div.b > span > p", "body > div > p", ".z p", "html div p",
                                        "div#i > div.b p"}),
                              QUrl()));
  Tree tree;
  const GMCssElement* html = tree.add(nullptr, QStringLiteral("html"));
  const GMCssElement* body = tree.add(html, QStringLiteral("body.a"));
  const GMCssElement* divI = tree.add(body, QStringLiteral("div#i"));
  const GMCssElement* divB = tree.add(divI, QStringLiteral("div.b"));
  const GMCssElement* span = tree.add(divB, QStringLiteral("span"));
  const GMCssElement* other = tree.add(html, QStringLiteral("div.b"));
  // In the order a page opens them.
  const struct {
    const GMCssElement* parent;
    const char* expected;
  } cases[] = {
      {divB, "1,3,4,5,9,10"},
      {span, "1,3,5,6,9,10"},
      {divB, "1,3,4,5,9,10"},  // a sibling asks what its parent answered before
      {divI, "1,7,9"},
      {body, "1,2"},
      {other, "9"},
      {span, "1,3,5,6,9,10"},  // back in a branch closed before
  };
  for (const auto& c : cases) {
    const GMCssElement* p = tree.add(c.parent, QStringLiteral("p"));
    EXPECT_EQ(RulesMatched(sheets, *p).toStdString(), c.expected);
  }
  // Rules added once elements were matched are asked as the others are.
  ASSERT_TRUE(sheets.addSheet(QStringLiteral("x{margin-left:1px}span p{margin-left:11px}html>div p{margin-left:12px}"),
                              QUrl()));
  EXPECT_EQ(RulesMatched(sheets, *tree.add(span, QStringLiteral("p"))).toStdString(), "1,3,5,6,9,10,11");
  EXPECT_EQ(RulesMatched(sheets, *tree.add(other, QStringLiteral("p"))).toStdString(), "9,12");
}

// The reader keeps its open elements in place and makes an element by copying its parent's
// entry: an element made where a closed one was, or copied from one, is another element.
TEST(GMCssMatching, AnElementMadeAgainOrCopiedIsAnother) {
  GMStyleSheets sheets(nullptr);
  ASSERT_TRUE(sheets.addSheet(Numbered({".a p", ".a > p", "div > div > p"}), QUrl()));
  std::deque<QString> texts;
  GMCssElement root;
  Tree::Fill(&root, QStringLiteral("body"), &texts);
  const struct {
    const char* first;   // made in the slot, a paragraph matched inside it, then closed
    const char* second;  // made in the same slot
    const char* expected;
  } reused[] = {
      {"div.a", "div", ""},
      {"div", "div.a", "1,2"},
      {"div.a", "div.a", "1,2"},
  };
  for (const auto& c : reused) {
    std::optional<GMCssElement> slot;
    slot.emplace();
    Tree::Fill(&*slot, QLatin1String(c.first), &texts);
    slot->parent = &root;
    GMCssElement p;
    Tree::Fill(&p, QStringLiteral("p"), &texts);
    p.parent = &*slot;
    RulesMatched(sheets, p);
    slot.reset();
    slot.emplace();
    Tree::Fill(&*slot, QLatin1String(c.second), &texts);
    slot->parent = &root;
    EXPECT_EQ(RulesMatched(sheets, p).toStdString(), c.expected) << c.first << " then " << c.second;
  }

  // A copy of a div.a given the div as its parent and no class.
  GMCssElement div;
  Tree::Fill(&div, QStringLiteral("div.a"), &texts);
  div.parent = &root;
  GMCssElement p;
  Tree::Fill(&p, QStringLiteral("p"), &texts);
  p.parent = &div;
  EXPECT_EQ(RulesMatched(sheets, p).toStdString(), "1,2");
  GMCssElement copy = div;
  copy.classes.clear();
  copy.parent = &div;
  p.parent = &copy;
  EXPECT_EQ(RulesMatched(sheets, p).toStdString(), "1,3");
  GMCssElement assigned;
  assigned = div;
  assigned.classes.clear();
  assigned.parent = &copy;
  p.parent = &assigned;
  EXPECT_EQ(RulesMatched(sheets, p).toStdString(), "1,3");
}

// Pages whose matching grew with the elements times what is above them: one element of 100,000
// classes over thousands of paragraphs, hundreds of long descendant or child rules over
// paragraphs 200 elements deep. Each further paragraph costs a few tests a rule that can match
// it, however many classes or ancestors are above it; and it gets its style.
TEST(GMCssMatching, SelectorTestsGrowWithTheElementsAlone) {
  const auto longRules = [](const char* joint) {
    QString sheet;
    for (int k = 1; k <= 250; ++k)
      sheet += QStringLiteral("div%1p{margin-left:%2px}")
                   .arg((QLatin1String(joint) + QStringLiteral("div")).repeated(k - 1) + QLatin1String(joint),
                        QString::number(k));
    return sheet;
  };
  QString manyClasses;
  for (int k = 0; k < 100000; ++k) manyClasses += QStringLiteral(".c%1").arg(k);
  const struct {
    QString sheet;
    QString holder;  // the element that holds the paragraphs, under `depth` divs
    int depth;
    int64_t mostPerParagraph;
    const char* expected;
  } cases[] = {
      {QStringLiteral(".q p{margin-left:7px}"), QStringLiteral("div") + manyClasses + QStringLiteral(".q"), 0, 8, "7"},
      {QStringLiteral(".q > p{margin-left:7px}"), QStringLiteral("div.q") + manyClasses, 0, 8, "7"},
      {QStringLiteral(".c99999 .q p{margin-left:7px}"), QStringLiteral("div.q") + manyClasses, 3, 8, ""},
      {longRules(" "), QStringLiteral("div"), 199, 4 * 250, nullptr},
      {longRules(">"), QStringLiteral("div"), 199, 4 * 250, nullptr},
  };
  for (const auto& c : cases) {
    QString expected = QLatin1String(c.expected);
    if (!c.expected) {
      QStringList all;
      for (int k = 1; k <= c.depth + 1; ++k) all.append(QString::number(k));
      expected = all.join(u',');
    }
    const auto testsFor = [&](int paragraphs) {
      int64_t tests = 0;
      GMStyleSheets sheets(nullptr);
      sheets.setSteps([&](int64_t n) {
        tests += n;
        return true;
      });
      EXPECT_TRUE(sheets.addSheet(c.sheet, QUrl()));
      Tree tree;
      const GMCssElement* at = tree.add(nullptr, QStringLiteral("body"));
      for (int k = 0; k < c.depth; ++k) at = tree.add(at, QStringLiteral("div"));
      at = tree.add(at, c.holder);
      for (int k = 0; k < paragraphs; ++k) {
        const QString matched = RulesMatched(sheets, *tree.add(at, QStringLiteral("p")));
        if (k == 0 || k == paragraphs - 1) {
          EXPECT_EQ(matched, expected) << c.sheet.left(40).toStdString();
        }
      }
      return tests;
    };
    const int64_t few = testsFor(200), many = testsFor(400);
    EXPECT_GT(many, few);
    EXPECT_LE(many - few, 200 * c.mostPerParagraph) << c.sheet.left(40).toStdString();
  }
}

// The count's NO stops the matching, as the budget's does, and nothing is asked after it.
TEST(GMCssMatching, TheCountOfTestsStopsTheMatching) {
  QString sheet;
  for (int k = 0; k < 300; ++k) sheet += QStringLiteral(".x%1 div p{margin-left:1px}").arg(k);
  const struct {
    int64_t most;
    bool matched;
  } cases[] = {{100, false}, {20000, false}, {int64_t(1) << 40, true}};
  for (const auto& c : cases) {
    int64_t tests = 0;
    int refusals = 0, asked = 0;
    int64_t charged = 0;
    GMStyleSheets sheets([&](int64_t bytes) {
      charged += bytes;
      return true;
    });
    ASSERT_TRUE(sheets.addSheet(sheet, QUrl()));
    const int64_t chargedBySheet = charged;
    sheets.setSteps([&](int64_t n) {
      ++asked;
      tests += n;
      refusals += tests > c.most;
      return tests <= c.most;
    });
    bool matched = true;
    for (int round = 0; round < 40 && matched; ++round) {
      Tree tree;
      const GMCssElement* at = tree.add(nullptr, QStringLiteral("body"));
      for (int k = 0; k < 100; ++k) at = tree.add(at, QStringLiteral("div.x1"));
      matched = RulesMatched(sheets, *tree.add(at, QStringLiteral("p"))) != u"(refused)";
    }
    EXPECT_EQ(matched, c.matched) << c.most;
    EXPECT_EQ(sheets.exhausted(), !c.matched) << c.most;
    EXPECT_LE(refusals, 1) << c.most;
    EXPECT_GT(asked, 0) << c.most;
    // Counted, the tests are not charged to the budget as well: it is charged for what the
    // matches hold.
    EXPECT_LT(charged - chargedBySheet, tests) << c.most;
    const int before = asked;
    Tree tree;
    RulesMatched(sheets, *tree.add(tree.add(nullptr, QStringLiteral("div.x1")), QStringLiteral("p")));
    if (!c.matched) {
      EXPECT_EQ(asked, before);
    }
  }
}

}  // namespace

namespace {

// Rules that give an element one declaration many times give it once, at its last place in the
// cascade: what it comes to is what applying every one of them comes to.
TEST(GMCssMatching, ADeclarationGivenManyTimesIsGivenOnceAtItsLastPlace) {
  const struct {
    const char* sheet;
    const char* element;
    const char* expected;
  } cases[] = {
      {"p{color:red} .a{color:blue} p.a{color:red}", "p.a", "color=blue|color=red"},
      {"div p{color:red} p{color:red} * p{color:red} p.a{color: red}", "div p.a", "color=red"},
      {"p{margin:2px} p.a{margin-left:1px} .a{margin-left:1px}", "p.a", "margin=2px|margin-left=1px"},
      {"p{color:red!important} .a{color:red}", "p.a", "color=red|color=red!"},
      {"p{color:red;margin:1px} p{color:blue} .a{color:red}", "p.a", "margin=1px|color=blue|color=red"},
      {"p{color:red} p{color:red}", "p", "color=red"},
  };
  for (const auto& c : cases) {
    GMStyleSheets sheets(nullptr);
    ASSERT_TRUE(sheets.addSheet(QString::fromLatin1(c.sheet), QUrl()));
    Tree tree;
    const GMCssElement* at = nullptr;
    for (const QString& part : QString::fromLatin1(c.element).split(u' ')) at = tree.add(at, part);
    std::vector<const GMCssDeclaration*> found;
    ASSERT_TRUE(sheets.match(*at, &found));
    QStringList parts;
    for (const GMCssDeclaration* d : found)
      parts.append(d->property + u'=' + d->value + QLatin1String(d->important ? "!" : ""));
    EXPECT_EQ(parts.join(u'|').toStdString(), c.expected) << c.sheet;
  }
}

}  // namespace
