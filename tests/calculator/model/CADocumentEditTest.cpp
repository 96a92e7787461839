// The edit commands: each is one undo step whose undo gives back the whole document as it was
// and whose redo repeats it; a refused step changes nothing; formulas follow inserted, deleted
// and moved cells both ways.
#include "calculator/model/CAPicture.h"
#include "UndoTestSupport.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <QImage>
#include <QTemporaryDir>

#include <memory>

namespace {

// A document in its own window, for tables of commands that each start afresh.
struct Scratch {
  Scratch() { document.setController(&window); }
  ~Scratch() { document.setController(nullptr); }
  CADocument document;
  UndoWindow window{document};
};

// A1 1, B1 2, C1 =A1+B1, A2 text, B3 =SUM(A1:B1), C4 4 (bold), D6 =C4*B1; column B 6 digits,
// row 3 italic; everything evaluated.
void FillSample(CADocument& document) {
  const auto put = [&](const char* at, const char* text) {
    document.cellAtGridPointImperative(A1(at))->setFormula(QString::fromUtf8(text));
  };
  put("A1", "1");
  put("B1", "2");
  put("C1", "=A1+B1");
  put("A2", "text");
  put("B3", "=SUM(A1:B1)");
  put("C4", "4");
  put("D6", "=C4*B1");
  CAFormat bold;
  bold.setBold(true);
  ASSERT_NE(document.cellAtGridPoint(A1("C4")), nullptr);
  document.cellAtGridPoint(A1("C4"))->setFormat(bold);
  document.columnImperative(1)->setDigitCount(6);
  CAFormat italic;
  italic.setItalic(true);
  document.rowImperative(2)->setFormat(italic);
  document.evaluate();
}

struct CommandCase {
  const char* name;
  GridRange selection;
  std::function<void(CADocument&)> command;
  uint32_t action;
  uint32_t descriptor;
};


CAFillInfo Fill(int32_t direction) {
  CAFillInfo info;
  info.direction = direction;
  info.kind = kFillAdd;
  info.step = CANumber(1);
  return info;
}

const std::vector<CommandCase>& Commands() {
  static const std::vector<CommandCase> cases = {
      {"insert cells right", Range("A1", "B2"), [](CADocument& d) { d.insert(kEditCellsHorizontal); }, 7, 17},
      {"insert cells down", Range("B1", "C2"), [](CADocument& d) { d.insert(kEditCellsVertical); }, 7, 17},
      {"insert columns", Columns(1, 2), [](CADocument& d) { d.insert(kEditFromSelection); }, 7, 17},
      {"insert rows", Rows(1, 2), [](CADocument& d) { d.insert(kEditFromSelection); }, 7, 17},
      {"delete cells left", Range("A1", "A3"), [](CADocument& d) { d.deleteSelection(kEditCellsHorizontal); }, 0, 6},
      {"delete cells up", Range("A1", "B2"), [](CADocument& d) { d.deleteSelection(kEditCellsVertical); }, 0, 6},
      {"delete columns", Columns(0, 0), [](CADocument& d) { d.deleteSelection(kEditFromSelection); }, 7, 6},
      {"delete rows", Rows(0, 1), [](CADocument& d) { d.deleteSelection(kEditFromSelection); }, 7, 6},
      {"clear all", Range("A1", "C4"), [](CADocument& d) { d.clear(kClearAll); }, 0, 3},
      {"clear contents", Range("B1", "C4"), [](CADocument& d) { d.clear(kClearContents); }, 0, 3},
      {"clear formats", Range("A1", "C4"), [](CADocument& d) { d.clear(kClearFormats); }, 5, 3},
      {"clear rows", Rows(2, 3), [](CADocument& d) { d.clear(kClearAll); }, 7, 3},
      {"checkboxes", Range("B2", "E7"), [](CADocument& d) { d.insertCheckboxes(); }, 0, 17},
      {"link", Range("E9", "E9"),
       [](CADocument& d) { d.insertLink(QStringLiteral("http://example.com/"), QStringLiteral("Example")); }, 0, 17},
      {"fill down", Range("A1", "C5"), [](CADocument& d) { d.fillUsingInfo(Fill(0)); }, 0, 11},
      {"fill right", Range("A1", "E2"), [](CADocument& d) { d.fillUsingInfo(Fill(1)); }, 0, 11},
      {"fill whole rows", Rows(0, 3), [](CADocument& d) { d.fillUsingInfo(Fill(0)); }, 0, 11},
      {"move columns left", Columns(2, 3), [](CADocument& d) { d.moveSelectedColumnsTo(0); }, 7, 9},
      {"move columns right", Columns(0, 1), [](CADocument& d) { d.moveSelectedColumnsTo(2.7); }, 7, 9},
      {"move rows down", Rows(0, 1), [](CADocument& d) { d.moveSelectedRowsTo(4); }, 7, 10},
      {"move rows up", Rows(3, 5), [](CADocument& d) { d.moveSelectedRowsTo(1); }, 7, 10},
  };
  return cases;
}

// Each command is first refused by the undo stack, which must leave the document as it was, and
// then run as one step whose undo and redo give back the whole document.
TEST(EditCommandsTest, EachCommandIsOneStepThatUndoesAndRedoesTheWholeDocumentOrNothingWhenRefused) {
  ModelEnvironment environment;
  for (const CommandCase& c : Commands()) {
    SCOPED_TRACE(c.name);
    Scratch sheet;
    FillSample(sheet.document);
    sheet.document.setSelectionRange(c.selection);
    const std::string before = DocumentXml(sheet.document).toStdString();
    sheet.window.archiver.refuse = true;
    c.command(sheet.document);
    EXPECT_EQ(DocumentXml(sheet.document).toStdString(), before);
    EXPECT_EQ(sheet.window.archiver.actions.size(), 1u);
    EXPECT_FALSE(sheet.window.manager.isUndoAvailable());
    sheet.window.archiver.refuse = false;
    c.command(sheet.document);
    const std::string after = DocumentXml(sheet.document).toStdString();
    ASSERT_NE(before, after);
    ASSERT_EQ(sheet.window.manager.inUseCount(), 1u);
    EXPECT_EQ(sheet.window.archiver.actions, (std::vector<uint32_t>{c.action, c.action}));
    EXPECT_EQ(sheet.window.archiver.descriptors, (std::vector<uint32_t>{c.descriptor, c.descriptor}));
    for (int round = 0; round < 2; ++round) {
      sheet.window.manager.undo();
      EXPECT_EQ(DocumentXml(sheet.document).toStdString(), before) << "undo " << round;
      sheet.window.manager.redo();
      EXPECT_EQ(DocumentXml(sheet.document).toStdString(), after) << "redo " << round;
    }
    // The reference table is right after the replays: a changed input reaches its formulas.
    sheet.window.manager.undo();
    sheet.document.cellAtGridPointImperative(A1("A1"))->setFormula(QStringLiteral("100"));
    sheet.document.evaluate();
    EXPECT_EQ(NumberIn(sheet.document.cellAtGridPoint(A1("C1"))).description(), QStringLiteral("102"));
    EXPECT_EQ(NumberIn(sheet.document.cellAtGridPoint(A1("B3"))).description(), QStringLiteral("102"));
  }
}

class EditCommandTest : public EditTest {};

TEST_F(EditCommandTest, MovingRows2And3To5RewritesReferencesBothWays) {
  for (int y = 2; y <= 6; ++y) document.cellAtGridPointImperative(GridPoint{0, y})->setFormula(QString::number(y * 10));
  enter("B1", "=A6");  // row 5
  enter("B2", "=A3");  // row 2
  enter("C3", "=A7");  // in a moved row, naming row 6
  document.rowImperative(3)->setMinimumHeight(254000);
  selectRows(2, 3);
  expectUndoAndRedo([&] { document.moveSelectedRowsTo(5); });
  // Rows 2-3 are now rows 5-6, rows 4-6 rows 2-4.
  EXPECT_EQ(value("A6"), QStringLiteral("20"));
  EXPECT_EQ(value("A3"), QStringLiteral("40"));
  EXPECT_EQ(document.row(6)->minimumHeight(), 254000);
  EXPECT_EQ(text("B1"), QStringLiteral("=A4"));
  EXPECT_EQ(text("B2"), QStringLiteral("=A6"));
  EXPECT_EQ(text("C6"), QStringLiteral("=A5"));
  EXPECT_EQ(value("C6"), QStringLiteral("60"));
  EXPECT_EQ(document.selectionRange(), Rows(5, 6));

  // Back again by moving, not by undo: the references come back the same way.
  selectRows(5, 6);
  document.moveSelectedRowsTo(2);
  EXPECT_EQ(text("B1"), QStringLiteral("=A6"));
  EXPECT_EQ(text("B2"), QStringLiteral("=A3"));
  EXPECT_EQ(text("C3"), QStringLiteral("=A7"));
  EXPECT_EQ(value("A3"), QStringLiteral("20"));
}

TEST_F(EditCommandTest, APictureGoesIntoTheActiveCell) {
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("dot.png"));
  QImage image(3, 2, QImage::Format_ARGB32);
  image.fill(Qt::red);
  ASSERT_TRUE(image.save(path));
  select("B2", "B2");
  expectUndoAndRedo([&] { document.insertPicture(path); });
  EXPECT_EQ(cell("B2")->valueType(), kValuePicture);
  EXPECT_EQ(window.archiver.descriptors.back(), uint32_t(kUndoInsert));

  // A refused step leaves no picture behind.
  const qsizetype pictures = document.pictures().size();
  window.archiver.refuse = true;
  select("C3", "C3");
  document.insertPicture(path);
  EXPECT_EQ(document.pictures().size(), pictures);
}

// A series from a date, or from a formula that shows one, counts in days as "+" does with a date;
// a date series takes the date a formula shows. A date times a number names no date.
TEST(EditCommandsTest, AFillSeriesFromADateCountsInDates) {
  ModelEnvironment environment;
  struct Case {
    const char* first;  // B1; A1 holds 31 January 2024
    int32_t kind;
    int32_t unit;
    int64_t step;
    const char* filled;  // B2 and B3 as "type value", "-" for no value
  };
  const Case cases[] = {
      {"2024-01-31", kFillAdd, kFillDays, 7, "date 20240207, date 20240214"},
      {"2024-01-01", kFillAdd, kFillDays, -1, "date 20231231, date 20231230"},
      {"=DATE(2024,1,31)", kFillAdd, kFillDays, 7, "date 20240207, date 20240214"},
      {"3000-12-30", kFillAdd, kFillDays, 1, "date 30001231, -"},
      {"2024-01-31", kFillMultiply, kFillDays, 3, "-, -"},
      {"=A1+1", kFillMultiply, kFillDays, 3, "-, -"},
      {"=DATE(2024,1,31)", kFillDate, kFillDays, 1, "date 20240201, date 20240202"},
      {"=A1+1", kFillDate, kFillDays, 1, "date 20240202, date 20240203"},
      {"=A1+1", kFillDate, kFillMonths, 1, "date 20240301, date 20240401"},
      {"=A1*1", kFillDate, kFillDays, 1, "-, -"},
      {"10", kFillAdd, kFillDays, 7, "# 17, # 24"},
      {"=A1*1", kFillAdd, kFillDays, 7, "# 20240138, # 20240145"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " kind " + std::to_string(c.kind));
    Scratch sheet;
    CADocument& document = sheet.document;
    document.cellAtGridPointImperative(A1("A1"))->setFormula(QStringLiteral("2024-01-31"));
    document.cellAtGridPointImperative(A1("B1"))->setFormula(QString::fromLatin1(c.first));
    document.cellAtGridPointImperative(A1("B3"))->setFormula(QStringLiteral("old"));
    document.evaluate();
    ASSERT_NE(document.cellAtGridPoint(A1("A1")), nullptr);
    ASSERT_EQ(document.cellAtGridPoint(A1("A1"))->valueType(), kValueDate);
    document.setSelectionRange(Range("B1", "B3"));
    CAFillInfo info;
    info.kind = c.kind;
    info.dateUnit = c.unit;
    info.step = CANumber(c.step);
    document.fillUsingInfo(info);
    QStringList filled;
    for (const char* at : {"B2", "B3"}) {
      const CACell* cell = document.cellAtGridPoint(A1(at));
      filled.append(cell && cell->number() ? QString::fromLatin1(g_valueStrings[cell->valueType()]) +
                                                 QLatin1Char(' ') + NumberIn(cell).description()
                                           : QStringLiteral("-"));
    }
    EXPECT_EQ(filled.join(QStringLiteral(", ")).toStdString(), c.filled);
  }
}

// A date filled by months or years is the line's first date plus that many steps, clamped to
// the end of a shorter month in that cell alone: the 29 February after 31 January does not make
// every later month the 29th. Days still count on from the neighbour. Hand-counted calendars.
TEST(EditCommandsTest, ADateFilledByMonthsOrYearsCountsFromTheFirstCellOfItsLine) {
  ModelEnvironment environment;
  struct Case {
    const char* first;  // typed into the first cell of the line
    int32_t direction;
    int32_t unit;
    int64_t step;
    const char* filled;  // the six cells after the first, in filling order ("-" for none)
  };
  const Case cases[] = {
      {"2024-01-31", kFillDown, kFillMonths, 1, "20240229 20240331 20240430 20240531 20240630 20240731"},
      {"2024-02-29", kFillDown, kFillYears, 1, "20250228 20260228 20270228 20280229 20290228 20300228"},
      {"2024-01-31", kFillDown, kFillMonths, 2, "20240331 20240531 20240731 20240930 20241130 20250131"},
      {"2024-01-31", kFillDown, kFillMonths, 12, "20250131 20260131 20270131 20280131 20290131 20300131"},
      {"2024-08-31", kFillRight, kFillMonths, -1, "20240731 20240630 20240531 20240430 20240331 20240229"},
      {"2024-05-31", kFillUp, kFillMonths, 1, "20240630 20240731 20240831 20240930 20241031 20241130"},
      {"2028-02-29", kFillLeft, kFillYears, -4, "20240229 20200229 20160229 20120229 20080229 20040229"},
      {"=DATE(2024,1,31)", kFillDown, kFillMonths, 1, "20240229 20240331 20240430 20240531 20240630 20240731"},
      // Past the last year a date can have, the cells are left empty.
      {"3000-10-31", kFillDown, kFillMonths, 1, "30001130 30001231 - - - -"},
      // Days (and weeks, seven of them) count on from the neighbour, as before.
      {"2024-01-31", kFillDown, kFillDays, 7, "20240207 20240214 20240221 20240228 20240306 20240313"},
      {"2024-02-27", kFillDown, kFillDays, 1, "20240228 20240229 20240301 20240302 20240303 20240304"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " direction " + std::to_string(c.direction) + " unit " +
                 std::to_string(c.unit) + " step " + std::to_string(c.step));
    Scratch sheet;
    CADocument& document = sheet.document;
    const bool down = c.direction == kFillDown || c.direction == kFillUp;
    // The line runs from (1, 1) over seven cells; its first cell is where the fill starts from.
    const GridPoint start{1, 1};
    const GridPoint end = down ? GridPoint{1, 7} : GridPoint{7, 1};
    const GridPoint first = c.direction == kFillDown || c.direction == kFillRight ? start : end;
    document.cellAtGridPointImperative(first)->setFormula(QString::fromLatin1(c.first));
    document.evaluate();
    document.setSelectionRange(GridRange{start, end});
    CAFillInfo info;
    info.direction = c.direction;
    info.kind = kFillDate;
    info.dateUnit = c.unit;
    info.step = CANumber(c.step);
    document.fillUsingInfo(info);
    QStringList filled;
    for (int64_t k = 1; k <= 6; ++k) {
      const int64_t sign = first == start ? 1 : -1;
      const GridPoint at = down ? GridPoint{1, first.y + sign * k} : GridPoint{first.x + sign * k, 1};
      const CACell* cell = document.cellAtGridPoint(at);
      if (cell && cell->number()) {
        EXPECT_EQ(cell->valueType(), kValueDate) << k;
        filled.append(NumberIn(cell).description());
      } else {
        filled.append(QStringLiteral("-"));
      }
    }
    EXPECT_EQ(filled.join(QLatin1Char(' ')).toStdString(), c.filled);
  }
}

// A change of format or width, and its undo, lays the texts out and runs no formula: RAND and
// TODAY keep their values, and the long text spreads as a fresh layout spreads it.
TEST_F(EditCommandTest, AChangeOfFormatOrWidthAndItsUndoRunNoFormula) {
  ModelEnvironment environment;
  enter("A1", "a text long enough to overflow well into the cells on its right");
  enter("A5", "=RAND()");
  enter("B5", "=TODAY()");
  document.evaluate();
  const auto values = [&] { return NumberIn(cell("A5")).description() + NumberIn(cell("B5")).description(); };
  const auto formatStep = [&](int32_t descriptor) {
    ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionFormats, descriptor, document.selectionRange(), kDomainCell));
  };
  CAFormat bold;
  bold.setBold(true);
  const struct {
    const char* what;
    std::function<void()> change;
  } steps[] = {
      {"Bold",
       [&] {
         select("A1", "A1");
         formatStep(kUndoFont);
         document.toggleValueForMask(kFormatBold, kDomainCell);
       }},
      {"Bold undone", [&] { window.manager.undo(); }},
      {"a format applied",
       [&] {
         select("A1", "B2");
         formatStep(kUndoPasteStyle);
         document.applyFormat(bold, kKeepColumnWidths, 0);
       }},
      {"the formats cleared", [&] { document.clearFormatFromSelection(); }},
      {"the format undone", [&] { window.manager.undo(); }},
      {"a column narrowed",
       [&] {
         ASSERT_TRUE(document.setUndo(kFLNewUndoID, kUndoActionColumns, kUndoColumnWidth, document.selectionRange(),
                                      kDomainColumn));
         CAColumn* column = document.columnImperative(1);
         column->setDigitCount(-1);
         column->setWidth(12700 * 8);
         document.layOutLongText();
       }},
      {"the width undone", [&] { window.manager.undo(); }},
  };
  const QString was = values();
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    const uint64_t runs = CACell::formulaRuns();
    step.change();
    EXPECT_EQ(CACell::formulaRuns(), runs);
    EXPECT_EQ(values(), was);
    ASSERT_NE(cell("A1"), nullptr);
    const uint64_t spread = cell("A1")->extraColumns();
    EXPECT_GE(spread, 1u);
    cell("A1")->setNeedRecalc(true);
    document.layOutLongText();
    EXPECT_EQ(cell("A1")->extraColumns(), spread);
  }
}

TEST(EditCommandsTest, WholeLineCommandsReachOnlyAsFarAsTheirOwnLines) {
  ModelEnvironment environment;
  Scratch sheet;
  CADocument& document = sheet.document;
  document.cellAtGridPointImperative(A1("A1"))->setFormula(QStringLiteral("1"));
  document.cellAtGridPointImperative(A1("C2"))->setFormula(QStringLiteral("2"));
  // One cell far to the right and far down, in other lines.
  document.cellAtGridPointImperative({LastGridColumn(), 9})->setFormula(QStringLiteral("3"));
  document.cellAtGridPointImperative({0, 5000000})->setFormula(QStringLiteral("4"));
  const auto cellCount = [&] {
    size_t count = 0;
    for (const std::unique_ptr<CARow>& row : document.rows()) count += row->cells().size();
    return count;
  };

  document.setSelectionRange(Rows(0, 1));
  document.insertCheckboxes();
  EXPECT_EQ(cellCount(), 4u + 4u);  // A1:C2, six points of which two held numbers
  ASSERT_NE(document.cellAtGridPoint(A1("C1")), nullptr);
  EXPECT_EQ(document.cellAtGridPoint(A1("C1"))->valueType(), kValueCheckbox);

  // A whole row that runs to the last column, or a whole column five million rows down, is refused rather than filled with millions of cells.
  document.setSelectionRange(Rows(9, 9));
  document.insertCheckboxes();
  EXPECT_EQ(document.cellAtGridPoint(A1("A10")), nullptr);
  document.setSelectionRange(Columns(0, 0));
  document.fillUsingInfo(Fill(0));
  EXPECT_EQ(cellCount(), 8u);
  EXPECT_EQ(document.cellAtGridPoint(A1("A3")), nullptr);
}

TEST(EditCommandsTest, MovesAndInsertionsStayOnTheGrid) {
  ModelEnvironment environment;
  Scratch sheet;
  CADocument& document = sheet.document;
  document.cellAtGridPointImperative(A1("B1"))->setFormula(QStringLiteral("7"));
  // Two columns moved so that the last would land past "ZZZZZ": refused.
  document.setSelectionRange(Columns(1, 2));
  document.moveSelectedColumnsTo(double(LastGridColumn()));
  EXPECT_NE(document.cellAtGridPoint(A1("B1")), nullptr);
  EXPECT_EQ(sheet.window.manager.inUseCount(), 0u);
  // To the last place that holds them both: allowed.
  document.moveSelectedColumnsTo(double(LastGridColumn() - 1));
  ASSERT_NE(document.cellAtGridPoint({LastGridColumn() - 1, 0}), nullptr);
  // Rows likewise stop at the last row.
  document.setSelectionRange(Rows(0, 0));
  document.moveSelectedRowsTo(double(kLastGridRow) + 1);
  EXPECT_NE(document.cellAtGridPoint({LastGridColumn() - 1, 0}), nullptr);
  // A column inserted in front would push the cell past "ZZZZZ" only when two are inserted.
  document.setSelectionRange(Columns(0, 1));
  document.insert(kEditFromSelection);
  EXPECT_NE(document.cellAtGridPoint({LastGridColumn() - 1, 0}), nullptr);
  document.setSelectionRange(Columns(0, 0));
  document.insert(kEditFromSelection);
  EXPECT_NE(document.cellAtGridPoint({LastGridColumn(), 0}), nullptr);
}

// The sample and a block of numbers (whole, fraction, real, large real) that read back as plain
// entries, with formulas over them, written as the document's XML.
QString PlainNumbersSample() {
  Scratch sheet;
  FillSample(sheet.document);
  const CANumber numbers[] = {CANumber(-7), CANumber::withNumerator(1, 7), CANumber::withRealResult(1.5L),
                              CANumber::withRealResult(1e300L), CANumber(5), CANumber::withNumerator(-9, 4)};
  for (int64_t i = 0; i < 6; ++i)
    sheet.document.cellAtGridPointImperative(GridPoint{4 + i % 3, 1 + i / 3})->setNumberValue(numbers[i]);
  sheet.document.cellAtGridPointImperative(A1("H2"))->setFormula(QStringLiteral("=SUM(E2:G3)"));
  sheet.document.cellAtGridPointImperative(A1("H3"))->setFormula(QStringLiteral("=E2*F3+A1"));
  sheet.document.evaluate();
  return DocumentXml(sheet.document);
}

void Load(CADocument& document, const QString& xml) {
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(xml);
  ASSERT_TRUE(decoder);
  document.loadFromXml(*decoder);
  document.recalcEverything();
  document.evaluate();
}

// How many entries are plain; every cell's entry must note the cell's own column.
size_t PlainEntries(const CADocument& document) {
  size_t count = 0;
  for (const std::unique_ptr<CARow>& row : document.rows()) {
    for (const CACellEntry& entry : row->cells()) {
      count += entry.isPlain() ? 1 : 0;
      if (const CACell* cell = entry.cell()) {
        EXPECT_EQ(cell->gridPoint(), (GridPoint{entry.x(), row->gridY()}));
      }
    }
  }
  return count;
}

// A sheet read from its XML keeps its lone numbers as plain entries; every command, its undo and
// a later change of an input must give what they give on the same sheet made all of cells.
TEST(EditCommandsTest, EachCommandActsOnPlainNumbersAsOnCells) {
  ModelEnvironment environment;
  const QString xml = PlainNumbersSample();
  std::vector<CommandCase> commands = Commands();
  const auto selectionCase = [](const char* name, GridRange range, std::function<void(CADocument&)> command) {
    return CommandCase{name, range, std::move(command), 0, 0};
  };
  commands.push_back(selectionCase("type over a plain number", Range("E2", "E2"), [](CADocument& d) {
    d.cellAtGridPointImperative(A1("E2"))->setFormula(QStringLiteral("40"));
  }));
  commands.push_back(selectionCase("replace in every cell", Range("A1", "A1"), [](CADocument& d) {
    d.replace(QStringLiteral("5"), QStringLiteral("8"), true);
  }));
  commands.push_back(selectionCase("sort rows by column E", Rows(0, 5), [](CADocument& d) {
    d.setSortKey1(GridPoint{4, 0});
    d.sort();
  }));
  commands.push_back(selectionCase("delete columns of numbers", Columns(4, 4),
                                   [](CADocument& d) { d.deleteSelection(kEditFromSelection); }));
  commands.push_back(selectionCase("clear numbers", Range("E2", "F3"), [](CADocument& d) { d.clear(kClearAll); }));
  for (const CommandCase& c : commands) {
    SCOPED_TRACE(c.name);
    Scratch cells;
    Scratch plain;
    Load(cells.document, xml);
    Load(plain.document, xml);
    for (const std::unique_ptr<CARow>& row : cells.document.rows())
      for (size_t i = 0; i < row->cells().size(); ++i) row->cellAtIndex(i, &cells.document);
    ASSERT_EQ(PlainEntries(cells.document), 0u);
    ASSERT_GE(PlainEntries(plain.document), 6u);
    ASSERT_EQ(DocumentXml(plain.document).toStdString(), DocumentXml(cells.document).toStdString());
    for (Scratch* sheet : {&cells, &plain}) {
      sheet->document.setSelectionRange(c.selection);
      c.command(sheet->document);
      sheet->document.evaluate();
    }
    EXPECT_EQ(DocumentXml(plain.document).toStdString(), DocumentXml(cells.document).toStdString());
    PlainEntries(cells.document);
    PlainEntries(plain.document);
    for (Scratch* sheet : {&cells, &plain}) {
      if (sheet->window.manager.isUndoAvailable()) sheet->window.manager.undo();
      sheet->document.evaluate();
    }
    EXPECT_EQ(DocumentXml(plain.document).toStdString(), DocumentXml(cells.document).toStdString()) << "undone";
    for (Scratch* sheet : {&cells, &plain}) {
      sheet->document.cellAtGridPointImperative(A1("A1"))->setFormula(QStringLiteral("100"));
      sheet->document.evaluate();
    }
    EXPECT_EQ(DocumentXml(plain.document).toStdString(), DocumentXml(cells.document).toStdString()) << "changed";
  }
}

// A ledger with a running balance: amounts in C2..C81 (quarters), D = SUM(C$2:Ck) beside each,
// and the total of the amounts below them. Each edit above the totals must evaluate each
// formula at most once, and leave every balance right.
TEST_F(EditCommandTest, EachEditAboveRunningTotalsEvaluatesEveryFormulaAtMostOnce) {
  constexpr int64_t kFirst = 1;  // row 2
  constexpr int64_t kItems = 80;
  constexpr int64_t kTotalRow = kFirst + kItems;
  const auto quarters = [](int64_t k) { return (k * 37) % 101 - 20; };
  const auto put = [&](int64_t x, int64_t y, const QString& text) {
    document.cellAtGridPointImperative({x, y})->setFormula(text);
  };
  put(0, 0, QStringLiteral("Item"));
  put(2, 0, QStringLiteral("Amount"));
  put(3, 0, QStringLiteral("Balance"));
  for (int64_t y = kFirst; y < kTotalRow; ++y) {
    put(0, y, QStringLiteral("item %1").arg(y));
    put(2, y, CANumber::withNumerator(quarters(y), 4).description());
    put(3, y, QStringLiteral("=SUM(C$2:C%1)").arg(y + 1));
  }
  put(2, kTotalRow, QStringLiteral("=SUM(C2:C%1)").arg(kTotalRow));
  document.evaluate();
  const uint64_t formulas = kItems + 1;

  // Every balance is the sum of the amounts down to its row, in quarters; the total too.
  const auto balancesAreRight = [&](int64_t lastItemRow) {
    int64_t sum = 0;
    for (int64_t y = kFirst; y <= lastItemRow; ++y) {
      const CACell* amount = document.cellAtGridPoint({2, y});
      if (amount && amount->number()) {
        CANumber times4 = *amount->number();
        times4.multiply(CANumber(4));
        sum += times4.integerValue();
      }
      const CACell* balance = document.cellAtGridPoint({3, y});
      if (!balance && !amount) continue;  // an inserted row
      if (!balance || !balance->number() || !(*balance->number() == CANumber::withNumerator(sum, 4))) return false;
    }
    const CACell* total = document.cellAtGridPoint({2, lastItemRow + 1});
    return total && total->number() && *total->number() == CANumber::withNumerator(sum, 4);
  };
  ASSERT_TRUE(balancesAreRight(kTotalRow - 1));

  const auto sortByAmount = [&](bool reverse) {
    CAModelPreferences preferences;
    preferences.sortWholeDoc = false;
    preferences.sortReverse = reverse;
    environment.set(preferences);
    document.setSortKey1({2, kFirst});
    select("A2", "D81");
    document.sort();
  };
  struct Edit {
    const char* name;
    std::function<void()> run;
    int64_t lastItemRow;  // where the items end afterwards
  };
  const Edit edits[] = {
      {"typing in C2",
       [&] {
         document.setSelectionPoint({2, kFirst});
         ASSERT_TRUE(document.setCellUndo(kUndoFormula, kUndoRangeActiveCell));
         document.cellAtGridPointImperative({2, kFirst})->setFormula(QStringLiteral("1000"));
         document.evaluate();
       },
       kTotalRow - 1},
      {"undo of the typing", [&] { window.manager.undo(); }, kTotalRow - 1},
      {"redo of the typing", [&] { window.manager.redo(); }, kTotalRow - 1},
      {"sort", [&] { sortByAmount(false); }, kTotalRow - 1},
      {"sort the other way", [&] { sortByAmount(true); }, kTotalRow - 1},
      {"undo of the sort", [&] { window.manager.undo(); }, kTotalRow - 1},
      {"insert rows",
       [&] {
         selectRows(3, 3);
         document.insert(kEditRows);
       },
       kTotalRow},
      {"undo of the insertion", [&] { window.manager.undo(); }, kTotalRow - 1},
      {"clear", [&] { select("C5", "C5"); document.clear(kClearContents); }, kTotalRow - 1},
  };
  for (const Edit& edit : edits) {
    const uint64_t before = CACell::formulaRuns();
    edit.run();
    EXPECT_LE(CACell::formulaRuns() - before, formulas) << edit.name;
    EXPECT_TRUE(balancesAreRight(edit.lastItemRow)) << edit.name;
  }
}

}  // namespace
