// Delimited text, DIF, workbooks and Pockwell documents are read under one meter of the heap:
// a file of cells past the budget an open may take is refused, naming what reading it would
// take, where a smaller one of the same shape opens; the meter stops the reading in whichever
// stage it stands, and the line reader a paste uses stops under whatever meter is current.
#include "ExcelTestSupport.h"
#include "ImportAlertRecorder.h"
#include "MeteredPasteTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/caDocumentServices.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/ModelTestSupport.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/FLError.h"
#include "support/SanitizedHeap.h"
#include "support/TestFiles.h"

#include <QMimeData>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include <sys/resource.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace xls;

namespace {

constexpr int64_t kBudget = int64_t(4) << 20;

QByteArray Repeated(const char* piece, int count) { return QByteArray(piece).repeated(count); }

QByteArray DifOfTexts(int count) {
  return "TABLE\n0,1\n\"\"\nVECTORS\n0,1\n\"\"\nTUPLES\n0,1\n\"\"\nDATA\n0,0\n\"\"\n-1,0\nBOT\n" +
         Repeated("1,0\n\"x\"\n", count) + "-1,0\nEOD\n";
}

// Rows of 200 cells of the text "x", written in the cells' own records.
QByteArray WorkbookOfLabels(int count) {
  QByteArray sheet;
  for (int i = 0; i < count; ++i) sheet += Label(uint16_t(i / 200), uint16_t(i % 200), QStringLiteral("x"));
  return MakeWorkbook({}, {sheet});
}

// A table of `count` shared strings, in continuations at string boundaries, and one cell of them.
QByteArray WorkbookOfSharedStrings(int count) {
  constexpr int kStringsARecord = 2000;
  Bytes first;
  first.u32(uint32_t(count)).u32(uint32_t(count));
  QByteArray globals;
  for (int i = 0; i < count; i += kStringsARecord) {
    Bytes body;
    for (int k = i; k < std::min(count, i + kStringsARecord); ++k) body.latin1(QString::number(k % 10));
    globals += i == 0 ? Record(0xFC, first.data + body.data) : Record(0x3C, body.data);
  }
  return MakeWorkbook(globals, {LabelSst(0, 0, 0, 1)});
}

// A Pockwell document of one row of `count` cells (at most 65,535), each the same text of 200
// letters, which each cell keeps a copy of.
QByteArray PockwellOfTexts(int count) {
  constexpr qsizetype kHeader = 372, kCellRecord = 36, kSections = 332, kText = 200;
  QByteArray data(kHeader + kCellRecord * count + 1 + kText, '\0');
  const auto put16 = [&](qsizetype at, uint32_t value) { qToLittleEndian<uint16_t>(uint16_t(value), data.data() + at); };
  const auto put32 = [&](qsizetype at, uint32_t value) { qToLittleEndian<uint32_t>(value, data.data() + at); };
  put16(0, 2);   // version
  put16(2, 1);   // byte order
  put16(12, 1);  // strings
  put16(14, 0);  // the first row's first cell
  put32(kSections, uint32_t(kHeader));
  put32(kSections + 4, uint32_t(kCellRecord * count));
  put32(kSections + 16, uint32_t(kHeader + kCellRecord * count));
  put32(kSections + 20, uint32_t(1 + kText));
  for (int i = 0; i < count; ++i) {
    const qsizetype at = kHeader + kCellRecord * i;
    put16(at, uint32_t(i));
    put16(at + 4, i + 1 < count ? uint32_t(i + 1) : 0xFFFF);
    put16(at + 6, 0xFFFF);
  }
  data[kHeader + kCellRecord * count] = char(kText);
  for (qsizetype k = 0; k < kText; ++k) data[kHeader + kCellRecord * count + 1 + k] = 'x';
  return data;
}

struct Shape {
  const char* name;
  const char* file;
  std::function<QByteArray(int)> bytes;
  int ordinary;  // cells (or their measure) of a file that opens
  int hostile;   // of one past the budget
};

const Shape kShapes[] = {
    {"lines of a letter", "lines.csv", [](int n) { return Repeated("x\n", n); }, 300, 400000},
    {"one row of letters", "row.csv", [](int n) { return Repeated("x,", n); }, 300, 300000},
    {"tab-separated letters", "tabs.txt", [](int n) { return Repeated("x\tx\n", n / 2); }, 300, 300000},
    // One cell, held again as it is made: the cell's characters count, not the cell alone.
    {"one long field", "field.csv", [](int n) { return QByteArray(5 * qsizetype(n), 'x'); }, 300, 300000},
    {"DIF texts", "texts.dif", DifOfTexts, 300, 300000},
    {"workbook labels", "labels.xls", WorkbookOfLabels, 300, 300000},
    {"workbook shared strings", "strings.xls", WorkbookOfSharedStrings, 300, 1000000},
    {"Pockwell texts", "Sheet", PockwellOfTexts, 300, 65000},
};

class FileMeterTest : public ::testing::Test {
 protected:
  FileMeterTest() : previousBudget_(SetPageReadingBudget(kBudget)) {}
  ~FileMeterTest() override { SetPageReadingBudget(previousBudget_); }

  // The cells the open of the file makes, or "refused: " and the reason.
  std::string open(const char* name, const QByteArray& bytes) {
    const QString path = folder.filePath(QLatin1String(name));
    EXPECT_TRUE(WriteFileBytes(path, bytes));
#if defined(__GLIBC__)
    // Where the heap is counted as resident memory, what earlier tests freed goes back first: the
    // open's cells would fill it unseen.
    malloc_trim(0);
#endif
    CADocument document;
    FLError error;
    if (document.openFile(path, &error) == 0) return "refused: " + error.reason.toStdString();
    int64_t cells = 0;
    for (const std::unique_ptr<CARow>& row : document.rows()) cells += int64_t(row->cells().size());
    return std::to_string(cells) + " cells";
  }

  ModelEnvironment environment;
  QTemporaryDir folder;
  ImportAlertRecorder alerts;

 private:
  int64_t previousBudget_;
};

// The memory a refusal names, in bytes; 0 where it names none.
double NamedCost(const std::string& refusal) {
  static const QRegularExpression named(QStringLiteral("about ([0-9.]+) (GB|MB) of memory\\.$"));
  const QRegularExpressionMatch match = named.match(QString::fromStdString(refusal));
  if (!match.hasMatch()) return 0;
  return match.captured(1).toDouble() * (match.captured(2) == QLatin1String("GB") ? 1e9 : 1e6);
}

TEST_F(FileMeterTest, AFileOfCellsPastTheBudgetIsRefusedWithWhatItWouldTake) {
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    const std::string ordinary = open(shape.file, shape.bytes(shape.ordinary));
    EXPECT_EQ(ordinary.rfind("refused", 0), std::string::npos) << ordinary;
    const std::string refused = open(shape.file, shape.bytes(shape.hostile));
    EXPECT_EQ(refused.rfind("refused: The file is too large to open: reading it would take about ", 0), 0u)
        << refused;
    EXPECT_GT(NamedCost(refused), double(kBudget)) << refused;
  }
  EXPECT_TRUE(alerts.shown.isEmpty()) << alerts.shown.join(QLatin1Char('\n')).toStdString();
}

// The heap's count passes the budget at one read or another: the text, its lines, the cells, the
// workbook's records and strings. Each open is refused there; past its last read the file opens.
int g_readsBeforeGrowth = 0;
int64_t HeapGrowingAfterSomeReads() {
  if (g_readsBeforeGrowth-- > 0) return 0;
  return int64_t(1) << 30;
}

TEST_F(FileMeterTest, TheMeterStopsEachReaderWhereverItStands) {
  constexpr int kCells = 20000;
  SetPageReadingBudget(int64_t(1) << 28);
  const FLReadingMeter::HeapCount previous = FLReadingMeter::SetHeapCountForTests(HeapGrowingAfterSomeReads);
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    const QByteArray bytes = shape.bytes(kCells);
    g_readsBeforeGrowth = 1 << 20;
    const std::string whole = open(shape.file, bytes);
    const int reads = (1 << 20) - g_readsBeforeGrowth;
    EXPECT_EQ(whole.rfind("refused", 0), std::string::npos) << whole;
    EXPECT_GT(reads, 3);
    // The first read is where the growth is counted from.
    for (int k = 1; k < reads; ++k) {
      SCOPED_TRACE(k);
      g_readsBeforeGrowth = k;
      EXPECT_EQ(open(shape.file, bytes).rfind("refused: The file is too large to open", 0), 0u);
    }
    g_readsBeforeGrowth = reads;
    EXPECT_EQ(open(shape.file, bytes), whole);
  }
  FLReadingMeter::SetHeapCountForTests(previous);
}

// The line reader a paste of plain text goes through charges whatever meter the command made:
// past it, no further cell is made.
TEST_F(FileMeterTest, PastedLinesStopUnderTheCurrentMeter) {
  const QString text = QString::fromLatin1(Repeated("x\tx\n", 20000));
  const FLReadingMeter::HeapCount previous = FLReadingMeter::SetHeapCountForTests(HeapGrowingAfterSomeReads);
  const struct {
    const char* name;
    int readsBeforeGrowth;
    bool stopped;
  } cases[] = {{"within the budget", 1 << 20, false}, {"past it at once", 1, true}, {"past it later", 4, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_readsBeforeGrowth = c.readsBeforeGrowth;
    CADocument document;
    FLReadingMeter meter(int64_t(1) << 28);
    LoadStringLines(TextLines(text), document);
    int64_t cells = 0;
    for (const std::unique_ptr<CARow>& row : document.rows()) cells += int64_t(row->cells().size());
    EXPECT_EQ(meter.passed(), c.stopped);
    if (c.stopped) {
      EXPECT_LT(cells, 40000);
    } else {
      EXPECT_EQ(cells, 40000);
    }
  }
  FLReadingMeter::SetHeapCountForTests(previous);
}

class TextPasteMeterTest : public MeteredPasteTest {
 protected:
  TextPasteMeterTest() {
    InstallFileFormatServices();
    previousBudget_ = SetPageReadingBudget(kBudget);
    previousHeap_ = FLReadingMeter::SetHeapCountForTests(HeapGrownByReads);
  }
  ~TextPasteMeterTest() override {
    FLReadingMeter::SetHeapCountForTests(previousHeap_);
    SetPageReadingBudget(previousBudget_);
    SetFileFormatServices(CAFileFormatServices());
  }

 private:
  int64_t previousBudget_ = 0;
  FLReadingMeter::HeapCount previousHeap_ = nullptr;
};

// Plain text on the clipboard past what a paste may take is refused as a text too large, naming
// what it took, as an open names a file's size, not as a command that ran out of memory; the
// sheet and its undo are as they were. A small text of the same shape pastes.
TEST_F(TextPasteMeterTest, PlainTextPastTheBudgetIsRefusedNamingItsSize) {
  const struct {
    const char* name;
    QByteArray text;
    bool refused;
  } cases[] = {
      {"a few tab-separated letters", Repeated("x\tx\n", 3), false},
      {"many tab-separated letters", Repeated("x\tx\n", 200000), true},
      {"one row of many fields", Repeated("x\t", 400000), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QMimeData data;
    data.setText(QString::fromLatin1(c.text));
    const std::string got = pasteOrRefusal(data, kPasteTextTooLargeMessage);
    if (!c.refused) {
      EXPECT_EQ(got.rfind("refused", 0), std::string::npos) << got;
      continue;
    }
    ASSERT_EQ(got.rfind("refused: The text is too large to paste", 0), 0u) << got;
    EXPECT_GT(NamedCost(got.substr(9)), 0) << got;
  }
}

// Under a real limit on the address space (ulimit -v), with the process's own heap count: a text
// too large to paste is refused without touching the sheet, and refused again alike when pasted
// a second time in the same process, where the first attempt's freed heap is there to be reused.
// Run in a child of its own, so that the limit ends with it.
class LimitedPasteTest : public MeteredPasteTest {
 protected:
  LimitedPasteTest() { InstallFileFormatServices(); }
  ~LimitedPasteTest() override { SetFileFormatServices(CAFileFormatServices()); }

  // In the child: 0 when both pastes were refused alike and left the sheet as it was.
  int pasteTwiceUnderLimit() {
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0;
    if (!(statm >> pages)) return 10;
    const int64_t size = pages * int64_t(sysconf(_SC_PAGESIZE));
    const rlimit limit{rlim_t(size + (int64_t(400) << 20)), rlim_t(size + (int64_t(400) << 20))};
    if (setrlimit(RLIMIT_AS, &limit) != 0) return 11;
    const int64_t previousBudget = SetPageReadingBudget(int64_t(1) << 40);
    QMimeData data;
    data.setText(QString::fromLatin1(Repeated("x\tx\n", 3000000)));
    select("B2", "B2");
    const std::string before = xml();
    const size_t rows = document.rows().size();
    std::string first, second;
    for (std::string* told : {&first, &second}) {
      const qsizetype shown = alerts.shown.size();
      if (document.paste(&data, false)) return 12;
      if (xml() != before || document.rows().size() != rows) return 13;
      if (alerts.shown.size() != shown + 1) return 14;
      *told = alerts.shown.back().toStdString();
    }
    SetPageReadingBudget(previousBudget);
    // Both say the same: too large (naming about the same size), or short of memory.
    const auto kind = [](const std::string& alert) { return alert.substr(0, alert.find("about")); };
    return kind(first) == kind(second) ? 0 : 15;
  }
};

TEST_F(LimitedPasteTest, APasteRefusedUnderAnAddressSpaceLimitIsRefusedAgainAlike) {
#ifdef TAMSEL_TEST_SANITIZED_HEAP
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space for its shadow memory: no limit on "
                  "the address space leaves it room to run";
#else
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(std::_Exit(pasteTwiceUnderLimit()), testing::ExitedWithCode(0), "");
#endif
}

}  // namespace

