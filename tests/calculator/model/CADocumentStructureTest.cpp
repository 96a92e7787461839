// Structural edits: cells, rows and columns shifted by insert and delete, the reference table
// following moved cells, formulas following through reference adjustment, and cells and
// formats copied in from another document.
#include "calculator/model/CAReferenceTable.h"
#include "UndoTestSupport.h"

#include <algorithm>

namespace {

class StructureTest : public EditTest {
 protected:
  // The cells of the sheet as "A1=text", rows then columns.
  QStringList cells() const {
    QStringList list;
    document.enumerateCellsUsingBlock([&](CACell& c, size_t, bool&) {
      list.append(FormatGridPoint(c.gridPoint()) + QLatin1Char('=') + c.formula() +
                  (c.number() && c.valueType() != kValueFormula ? c.number()->description() : QString()));
    });
    return list;
  }
  std::vector<int64_t> rowYs() const {
    std::vector<int64_t> ys;
    for (const auto& r : document.rows()) ys.push_back(r->gridY());
    return ys;
  }
  std::vector<int64_t> columnXs() const {
    std::vector<int64_t> xs;
    for (const auto& c : document.columns()) xs.push_back(c->gridX());
    return xs;
  }
  // Every cell stands in the row of its y, and its entry notes its x.
  void expectConsistentRows() const {
    for (const auto& r : document.rows())
      for (const CACellEntry& entry : r->cells())
        if (const CACell* c = entry.cell()) {
          EXPECT_EQ(c->gridPoint().y, r->gridY()) << FormatGridPoint(c->gridPoint()).toStdString();
          EXPECT_EQ(c->gridPoint().x, entry.x()) << FormatGridPoint(c->gridPoint()).toStdString();
        }
  }
  std::vector<GridPoint> referrersOf(const char* at) {
    std::vector<GridPoint> referrers;
    document.referenceTable().referrersOf(A1(at), referrers);
    std::sort(referrers.begin(), referrers.end(),
              [](const GridPoint& a, const GridPoint& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    referrers.erase(std::unique(referrers.begin(), referrers.end()), referrers.end());
    return referrers;
  }
};

TEST_F(StructureTest, DeletingAColumnClosesTheGapAndRenumbersTheColumnsRightOfIt) {
  for (const char* at : {"A1", "B1", "C1"}) enter(at, at);
  document.columnImperative(1)->setDigitCount(5);
  document.columnImperative(2)->setDigitCount(7);
  selectColumns(1, 1);
  document.deleteColumn(GridPoint{-1, 0});
  EXPECT_EQ(cells(), (QStringList{"A1=A1", "B1=C1"}));
  ASSERT_EQ(columnXs(), (std::vector<int64_t>{1}));
  EXPECT_EQ(document.column(1)->digitCount(), 7);
}

TEST_F(StructureTest, InsertingRowsCopiesOnlyTheFormatsOfTheSelectedRows) {
  enter("A3", "three");
  enter("A4", "four");
  CAFormat bold;
  bold.setBold(true);
  document.rowImperative(2)->setFormat(bold);
  selectRows(2, 3);
  document.insertRow(GridPoint{0, 2});
  EXPECT_EQ(rowYs(), (std::vector<int64_t>{2, 4, 5}));
  EXPECT_TRUE(document.row(2)->format()->bold());
  EXPECT_TRUE(document.row(4)->format()->bold());
  EXPECT_EQ(document.row(5)->format(), nullptr);
  EXPECT_EQ(cells(), (QStringList{"A5=three", "A6=four"}));
  expectConsistentRows();
}

TEST_F(StructureTest, CellShiftsMoveOnlyTheCellsOfTheSelectedBlock) {
  struct Case {
    const char* name;
    const char* from;
    const char* to;
    std::function<void(CADocument&)> edit;
    QStringList expected;
  };
  const std::vector<Case> cases = {
      {"delete vertical", "B2", "B3", [](CADocument& d) { d.deleteCellVertical(GridPoint{0, -2}); },
       {"A1=a1", "B1=b1", "A2=a2", "B2=b4", "A3=a3", "A4=a4", "C4=c4"}},
      {"insert vertical", "B2", "B3", [](CADocument& d) { d.insertCellVertical(GridPoint{0, 2}); },
       {"A1=a1", "B1=b1", "A2=a2", "A3=a3", "A4=a4", "B4=b2", "C4=c4", "B5=b3", "B6=b4"}},
      {"delete horizontal", "A2", "B3", [](CADocument& d) { d.deleteCellHorizontal(GridPoint{-2, 0}); },
       {"A1=a1", "B1=b1", "A4=a4", "B4=b4", "C4=c4"}},
      {"insert horizontal", "A4", "A4", [](CADocument& d) { d.insertCellHorizontal(GridPoint{1, 0}); },
       {"A1=a1", "B1=b1", "A2=a2", "B2=b2", "A3=a3", "B3=b3", "B4=a4", "C4=b4", "D4=c4"}},
  };
  for (const Case& c : cases) {
    CADocument sheet;
    for (const char* at : {"A1", "B1", "A2", "B2", "A3", "B3", "A4", "B4", "C4"}) {
      const QString name = QString::fromLatin1(at);
      sheet.cellAtGridPointImperative(A1(at))->setFormula(name.toLower());
    }
    sheet.setSelectionRange(GridRange{A1(c.from), A1(c.to)});
    c.edit(sheet);
    QStringList list;
    sheet.enumerateCellsUsingBlock([&](CACell& cell, size_t, bool&) {
      list.append(FormatGridPoint(cell.gridPoint()) + QLatin1Char('=') + cell.formula());
      EXPECT_EQ(cell.gridPoint().y, sheet.row(cell.gridPoint().y)->gridY());
    });
    EXPECT_EQ(list, c.expected) << c.name;
  }
}

TEST_F(StructureTest, AMovedFormulaIsRegisteredAtItsNewPointAtOnce) {
  enter("A1", "1");
  enter("B1", "=A1*2");
  select("A1", "A1");
  document.insertCellHorizontal(GridPoint{1, 0});
  // Only the cell moved: its formula still names A1 until the references are adjusted.
  EXPECT_EQ(text("C1"), QStringLiteral("=A1*2"));
  EXPECT_EQ(referrersOf("A1"), (std::vector<GridPoint>{A1("C1")}));
  document.adjustExpressionsBy(GridPoint{1, 0});
  EXPECT_EQ(text("C1"), QStringLiteral("=B1*2"));
  EXPECT_EQ(referrersOf("B1"), (std::vector<GridPoint>{A1("C1")}));
  EXPECT_TRUE(referrersOf("A1").empty());
}

// Cells inserted over the first rows of a column of amounts whose shares stand beside them: the
// total keeps to the column the moved amounts went to, and never takes in the shares that read
// it.
TEST_F(StructureTest, CellsInsertedOverPartOfARangeLeaveTheTotalOutOfItsReaders) {
  for (int y = 4; y <= 8; ++y) {
    enter(qPrintable(QStringLiteral("B%1").arg(y)), qPrintable(QString::number(y * 10)));
    enter(qPrintable(QStringLiteral("C%1").arg(y)), qPrintable(QStringLiteral("=B%1/B$9").arg(y)));
  }
  enter("B9", "=SUM(B4:B8)");
  select("B4", "C5");
  expectUndoAndRedo([&] { document.insert(kEditCellsHorizontal); });
  EXPECT_EQ(text("B9"), QStringLiteral("=SUM(D4:D8)"));
  EXPECT_EQ(value("B9"), QStringLiteral("90"));
  EXPECT_EQ(text("E4"), QStringLiteral("=D4/B$9"));
  EXPECT_EQ(value("E4"), QStringLiteral("4/9"));
  EXPECT_EQ(value("C8"), QStringLiteral("8/9"));
}

TEST_F(StructureTest, TransferCellsReplacesTheBlockRowByRow) {
  CADocument source;
  source.cellAtGridPointImperative(A1("A1"))->setFormula(QStringLiteral("s1"));
  source.cellAtGridPointImperative(A1("B1"))->setFormula(QStringLiteral("s2"));
  source.cellAtGridPointImperative(A1("A2"))->setFormula(QStringLiteral("=A1"));
  source.setSelectionRange(GridRange{A1("A1"), A1("B2")});

  enter("C3", "old C3");
  enter("D3", "old D3");
  enter("D4", "old D4");
  enter("E4", "outside");
  enter("C5", "below");
  select("C3", "C3");
  document.transferCells(source, false, true);
  EXPECT_EQ(cells(), (QStringList{"C3=s1", "D3=s2", "C4==C3", "E4=outside", "C5=below"}));
  EXPECT_EQ(document.selectionRange(), (GridRange{A1("C3"), A1("D4")}));
  EXPECT_EQ(referrersOf("C3"), (std::vector<GridPoint>{A1("C4")}));

  // Without adjustment the formula keeps naming what it named.
  document.transferCells(source, false, false);
  EXPECT_EQ(text("C4"), QStringLiteral("=A1"));
}

// Lone numbers of the source come in as the sheet keeps them, with no cell (a paste of millions
// of them would otherwise take several times what it read), and what names them sees them.
TEST_F(StructureTest, TransferredLoneNumbersStayPlainAndAreSeenByTheirReaders) {
  CADocument source;
  // Numbers as a reading keeps them, and a text and a formula in cells.
  for (const auto& [at, text] : {std::pair{"A1", "1"}, {"B1", "7"}, {"C1", "12"}, {"B2", "40"}}) {
    const std::optional<CANumber> number = CANumber::withValidatedString(QString::fromUtf8(text), true);
    ASSERT_TRUE(number.has_value());
    std::optional<CACellEntry> entry = CACellEntry::plainNumber(A1(at).x, *number);
    ASSERT_TRUE(entry.has_value());
    source.rowImperative(A1(at).y)->mutableCells().push_back(std::move(*entry));
  }
  source.cellAtGridPointImperative(A1("A2"))->setFormula(QStringLiteral("word"));
  source.cellAtGridPointImperative(A1("C2"))->setFormula(QStringLiteral("=A1"));
  source.setSelectionRange(GridRange{A1("A1"), A1("C2")});

  enter("A1", "=SUM(C3:E4)");
  enter("D3", "old");  // a cell there takes the number in
  // A number kept plainly there gives its place to the number, kept so too.
  std::optional<CACellEntry> kept = CACellEntry::plainNumber(A1("E3").x, CANumber(99));
  ASSERT_TRUE(kept.has_value());
  document.rowImperative(A1("E3").y)->mutableCells().push_back(std::move(*kept));
  document.evaluate();
  select("C3", "C3");
  document.transferCells(source, false, true);
  document.evaluate();
  const struct {
    const char* at;
    bool plain;
    const char* value;
  } cases[] = {
      {"C3", false, "1"},  // the active cell is made a cell
      {"D3", false, "7"}, {"E3", true, "12"}, {"D4", true, "40"}, {"A1", false, "61"},  // E4 (=C3) counted too
  };
  for (const auto& c : cases) {
    const GridPoint point = A1(c.at);
    ASSERT_NE(document.row(point.y), nullptr) << c.at;
    const CACellEntry* entry = document.row(point.y)->entryAt(point.x);
    ASSERT_NE(entry, nullptr) << c.at;
    EXPECT_EQ(entry->isPlain(), c.plain) << c.at;
    EXPECT_EQ(value(c.at), QString::fromUtf8(c.value)) << c.at;
  }
  EXPECT_EQ(text("C4"), QStringLiteral("word"));
  EXPECT_EQ(text("E4"), QStringLiteral("=C3"));
}

}  // namespace
