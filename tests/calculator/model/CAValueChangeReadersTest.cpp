// Every way a cell's value changes reaches the cells that read it, directly, through a short
// range and through the long running and remaining balances whose folds the document keeps from
// one recalculation to the next: after the change, and after a value typed further down, every
// cell shows what a fresh open of the saved sheet shows.
#include "UndoTestSupport.h"

#include "calculator/model/CAFormat.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caRangeMemo.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "platform/Pasteboard.h"

#include <QMimeData>

#include <QCalendar>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kLedgerRows = 300;

// A cell's value as the comparison sees it.
std::string Describe(const CACell* cell) {
  if (!cell) return "no cell";
  std::string text = "type " + std::to_string(cell->valueType()) + " result " + std::to_string(cell->evalResult()) +
                     " of type " + std::to_string(cell->formulaResultType());
  return text + (cell->number() ? " " + cell->number()->description().toStdString() : std::string(" no number"));
}

// A sheet in a window that records undo steps.
struct Sheet {
  Sheet() { document.setController(&window); }
  ~Sheet() { document.setController(nullptr); }

  void put(const GridPoint& point, const QString& text) { document.cellAtGridPointImperative(point)->setFormula(text); }
  CACell& at(const char* point) { return *document.cellAtGridPointImperative(A1(point)); }
  void select(const char* from, const char* to) { document.setSelectionRange(Range(from, to)); }

  // Every cell as a fresh open of the saved sheet shows it, but for the one left out.
  void expectAsFreshOpen(const std::string& where, std::optional<GridPoint> leftOut = std::nullopt) {
    CADocument fresh;
    std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(DocumentXml(document));
    ASSERT_TRUE(decoder);
    fresh.loadFromXml(*decoder);
    fresh.recalcEverything();
    fresh.evaluate();
    int differing = 0;
    for (const std::unique_ptr<CARow>& row : fresh.rows()) {
      for (const CACellEntry& entry : row->cells()) {
        const GridPoint point{entry.x(), row->gridY()};
        const CACell* expected = fresh.cellAtGridPoint(point);
        const CACell* actual = document.cellAtGridPoint(point);
        if (!expected || point == leftOut) continue;
        const bool same = actual && actual->valueType() == expected->valueType() &&
                          actual->evalResult() == expected->evalResult() &&
                          actual->formulaResultType() == expected->formulaResultType() &&
                          actual->number().has_value() == expected->number().has_value() &&
                          (!actual->number() || (*actual->number() == *expected->number() &&
                                                 actual->number()->form() == expected->number()->form()));
        if (!same && ++differing <= 3)
          ADD_FAILURE() << where << ": " << FormatGridPoint(point).toStdString() << " "
                        << expected->formula().toStdString() << " shows " << Describe(actual)
                        << " where a fresh open shows " << Describe(expected);
      }
    }
    EXPECT_EQ(differing, 0) << where;
  }

  CADocument document;
  UndoWindow window{document};
};

// Column A holds the amounts; B1 reads A1, B2 sums A1:A2, B3 reads A150, B4 reads A1 as a date
// where it is one, B5 and B6 count A1:A2, column C holds the running balances and column D the
// remaining ones.
struct Ledger : Sheet {
  Ledger() {
    for (int k = 1; k <= kLedgerRows; ++k) {
      put({0, k - 1}, QString::number(k % 7 + 1));
      put({2, k - 1}, QStringLiteral("=SUM(A$1:A%1)").arg(k));
      put({3, k - 1}, QStringLiteral("=SUM(A%1:A$%2)").arg(k).arg(kLedgerRows));
    }
    put(A1("A1"), QStringLiteral("5"));
    put(A1("A2"), QStringLiteral("7"));
    put(A1("B1"), QStringLiteral("=A1*2"));
    put(A1("B2"), QStringLiteral("=SUM(A1:A2)"));
    put(A1("B3"), QStringLiteral("=A150+1"));
    put(A1("B4"), QStringLiteral("=A1+1"));
    put(A1("B5"), QStringLiteral("=COUNTA(A1:A2)"));
    put(A1("B6"), QStringLiteral("=COUNTBLANK(A1:A2)"));
    document.evaluate();
  }
};

class ValueChangeTest : public testing::Test {
 protected:
  // TODAY and the change of a number to a date read the calendar the kernel sets at launch.
  ValueChangeTest() : savedCalendar_(g_calendar) { g_calendar = &calendar_; }
  ~ValueChangeTest() override { g_calendar = savedCalendar_; }

  const QCalendar* savedCalendar_;
  QCalendar calendar_{QCalendar::System::Gregorian};
  ModelEnvironment environment;
};

struct Change {
  const char* name;
  const char* cell;     // the cell changed
  const char* entered;  // what it holds first: typed, or "#" and a number stored as such
  std::function<void(Ledger&, CACell&)> change;
  // Whether the cell itself shows what a fresh open does: a formula made by a change of type is
  // its "=" unparsed, which a fresh open parses.
  bool itselfAsOpened = true;
};

// The type pane's choice for the active cell, recorded as one step as the pane records it.
void ChangeType(Ledger& sheet, CACell& cell, int32_t type) {
  sheet.document.setActiveCellPoint(cell.gridPoint());
  cell.changeType(type, false, true);
}
std::function<void(Ledger&, CACell&)> ToType(int32_t type) {
  return [type](Ledger& sheet, CACell& cell) { ChangeType(sheet, cell, type); };
}

TEST_F(ValueChangeTest, EveryChangeOfAValueReachesItsReadersAsAFreshOpenShowsThem) {
  const Change changes[] = {
      {"a number made a date becomes today", "A1", "5", ToType(kValueDate)},
      {"a number in the middle made a date", "A150", "9", ToType(kValueDate)},
      {"a day index with a fraction becomes its day", "A1", "#20240315.5", ToType(kValueDate)},
      {"a day index made a date reads as a date", "A1", "#20240315", ToType(kValueDate)},
      {"a date made a number reads as a number", "A1", "2024-03-15", ToType(kValueNumber)},
      {"a number made a text", "A1", "5", ToType(kValueText)},
      {"a number made a formula", "A150", "9", ToType(kValueFormula), false},
      {"a number made a checkbox", "A1", "5", ToType(kValueCheckbox)},
      {"a number made a link", "A1", "5", ToType(kValueLink)},
      {"a number made a picture", "A1", "5", ToType(kValuePicture)},
      {"a text made a number", "A1", "words", ToType(kValueNumber)},
      {"a formula made a number", "A1", "=2+3", ToType(kValueNumber)},
      {"a formula made a date", "A150", "=2+3", ToType(kValueDate)},
      {"a date made a checkbox", "A1", "2024-03-15", ToType(kValueCheckbox)},
      {"a checkbox made a number", "A1", "5",
       [](Ledger& test, CACell& cell) {
         ChangeType(test, cell, kValueCheckbox);
         test.document.evaluate();
         ChangeType(test, cell, kValueNumber);
       }},
      {"a change of type undone", "A1", "5",
       [](Ledger& test, CACell& cell) {
         ChangeType(test, cell, kValueDate);
         test.window.manager.undo();
       }},
      {"a change of type undone and redone", "A150", "#20240315.5",
       [](Ledger& test, CACell& cell) {
         ChangeType(test, cell, kValueDate);
         test.window.manager.undo();
         test.window.manager.redo();
       }},
      {"a checkbox put in", "A1", "5",
       [](Ledger& test, CACell&) {
         test.select("A1", "A1");
         test.document.insertCheckboxes();
       }},
      {"a replacement", "A150", "9",
       [](Ledger& test, CACell&) {
         test.document.setActiveCellPoint(A1("A150"));
         test.document.replace(QStringLiteral("9"), QStringLiteral("4"), false);
       }},
      {"a link put in", "A1", "5",
       [](Ledger& test, CACell&) {
         test.document.setActiveCellPoint(A1("A1"));
         test.document.insertLink(QStringLiteral("https://example.org"), QStringLiteral("a place"));
       }},
      {"a series filled down", "A1", "2024-03-15",
       [](Ledger& test, CACell&) {
         test.select("A1", "A4");
         test.document.fillUsingInfo(CAFillInfo{kFillDown, kFillAdd, kFillDays, CANumber(3)});
       }},
      {"cells pasted", "A1", "5",
       [](Ledger& test, CACell&) {
         CADocument source;
         source.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("11"));
         source.cellAtGridPointImperative({0, 1})->setFormula(QStringLiteral("2024-03-15"));
         source.setSelectionRange(Range("A1", "A2"));
         QMimeData data;
         PasteboardSetData(data, QLatin1String(kPasteboardCellsType), DocumentXml(source).toUtf8());
         test.select("A1", "A1");
         EXPECT_TRUE(test.document.paste(&data, false));
       }},
      {"rows sorted", "A1", "5",
       [](Ledger& test, CACell&) {
         test.document.setSortKey1({0, 0});
         test.select("A1", "A100");
         test.document.sort();
       }},
      {"a row deleted", "A1", "5",
       [](Ledger& test, CACell&) {
         test.document.setSelectionRange(Rows(1, 1));
         test.document.deleteSelection(kEditRows);
       }},
      {"a row inserted", "A150", "9",
       [](Ledger& test, CACell&) {
         test.document.setSelectionRange(Rows(100, 100));
         test.document.insert(kEditRows);
       }},
      {"contents cleared", "A1", "5",
       [](Ledger& test, CACell&) {
         test.select("A1", "A1");
         test.document.clear(kClearContents);
       }},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.name);
    Ledger sheet;
    CACell& cell = sheet.at(c.cell);
    const QString entered = QString::fromLatin1(c.entered);
    if (entered.startsWith(QLatin1Char('#')))
      cell.setNumberValue(CANumber::withReal(entered.mid(1).toDouble()));
    else
      cell.setFormula(entered);
    sheet.document.evaluate();
    sheet.expectAsFreshOpen(std::string(c.name) + ", before");
    const std::optional<GridPoint> leftOut = c.itselfAsOpened ? std::nullopt : std::optional(A1(c.cell));
    c.change(sheet, cell);
    sheet.document.evaluate();
    sheet.expectAsFreshOpen(std::string(c.name) + ", after the change", leftOut);
    // Values typed below and above: the balances are folded again from the folds kept.
    sheet.at("A200").setFormula(QStringLiteral("3"));
    sheet.document.evaluate();
    sheet.expectAsFreshOpen(std::string(c.name) + ", after a value typed below", leftOut);
    sheet.at("A20").setFormula(QStringLiteral("4"));
    sheet.document.evaluate();
    sheet.expectAsFreshOpen(std::string(c.name) + ", after a value typed above", leftOut);
  }
}

}  // namespace

namespace {

// An infinite term met just past the bound of exact sums: the reciprocals of the first primes
// above 1009 pass it from the 26th on. The sum over them and 1E5000 shows the infinite error in
// either order, and so do the balances over them, whatever was typed in the column since.
TEST_F(ValueChangeTest, AnInfiniteTermJustPastTheBoundOfExactSumsGivesInfinityInEveryOrder) {
  std::vector<int> primes;
  for (int n = 1010; primes.size() < 30; ++n) {
    bool prime = true;
    for (int d = 2; d * d <= n && prime; ++d) prime = n % d != 0;
    if (prime) primes.push_back(n);
  }
  // Ordinary amounts above and below, so that the balances are long enough to be folded.
  constexpr int kAbove = 40;
  constexpr int kBelow = 30;
  for (const int count : {26, 28, 30}) {
    for (const bool reversed : {false, true}) {
      const std::string name = std::to_string(count) + (reversed ? " terms, 1E5000 first" : " terms, 1E5000 last");
      SCOPED_TRACE(name);
      Sheet sheet;
      std::vector<QString> terms;
      for (int i = 0; i < count; ++i) terms.push_back(QStringLiteral("=1/%1").arg(primes[size_t(i)]));
      terms.push_back(QStringLiteral("1E5000"));
      if (reversed) std::reverse(terms.begin(), terms.end());
      const int rows = kAbove + count + 1 + kBelow;
      for (int k = 1; k <= rows; ++k) {
        const int term = k - kAbove - 1;
        sheet.put({0, k - 1}, term >= 0 && term <= count ? terms[size_t(term)] : QString::number(k % 5 + 1));
        sheet.put({2, k - 1}, QStringLiteral("=SUM(A$1:A%1)").arg(k));
        sheet.put({3, k - 1}, QStringLiteral("=SUM(A%1:A$%2)").arg(k).arg(rows));
      }
      sheet.put({1, 0}, QStringLiteral("=SUM(A%1:A%2)").arg(kAbove + 1).arg(kAbove + count + 1));
      sheet.document.evaluate();
      const CACell* sum = sheet.document.cellAtGridPoint({1, 0});
      ASSERT_TRUE(sum);
      EXPECT_EQ(sum->evalResult(), kFormulaErrorInfinite) << Describe(sum);
      sheet.expectAsFreshOpen(name);
      // Typed values above the terms, between them and below, one after the other.
      const int edits[] = {5, kAbove + 3, rows - 2, 1, kAbove + count, kAbove + count + 2};
      for (const int row : edits) {
        sheet.put({0, row - 1}, QString::number(row % 3 + 2));
        sheet.document.evaluate();
        sheet.expectAsFreshOpen(name + ", after a value typed in row " + std::to_string(row));
      }
    }
  }
}

}  // namespace
