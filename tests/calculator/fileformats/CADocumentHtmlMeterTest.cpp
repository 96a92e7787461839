// Pages built to take more memory or work than their size suggests: each shape, opened or
// pasted, is refused whole with the size alert, within a budget scaled down to the pages' size;
// the heap meter stops an open or a paste in any of its stages with nothing of it left; a paste
// that runs out of memory is told and leaves the sheet as it was.
#include "MeteredPasteTestSupport.h"
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/UndoTestSupport.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caDocumentServices.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/FLError.h"
#include "platform/Pasteboard.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QMimeData>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <new>

namespace {

class HtmlMeterTest : public MeteredPasteTest {
 protected:
  HtmlMeterTest() {
    InstallFileFormatServices();
    previousBudget_ = SetPageReadingBudget(kBudget);
    previousLog_ = SetLogHandler([](const QString&) {});
  }
  ~HtmlMeterTest() override {
    SetLogHandler(previousLog_);
    SetPageReadingBudget(previousBudget_);
    SetFileFormatServices(CAFileFormatServices());
  }

  // The open of the page: its cells, or "refused: " and the reason.
  std::string open(const QByteArray& html) {
    const QString file = QDir(folder.path()).filePath(QStringLiteral("page.html"));
    EXPECT_TRUE(WriteFileBytes(file, html));
    CADocument opened;
    FLError error;
    if (opened.openFile(file, &error) != kFileTypeHtml) {
      EXPECT_EQ(error.code, kHtmlTooLargeCode) << error.reason.toStdString();
      return "refused: " + error.reason.toStdString();
    }
    return FilledCellSummary(opened);
  }

  // The paste of the page at A1: the sheet's cells, or "refused: " and the alert's reason.
  std::string paste(const QByteArray& html) {
    return pasteOrRefusal(kPasteboardHtmlType, html, kPastePageTooLargeMessage);
  }

  static constexpr int64_t kBudget = int64_t(1) << 20;
  QTemporaryDir folder;

 private:
  int64_t previousBudget_ = 0;
  FLLogHandler previousLog_;
};

// Each shape of page that once passed the budget or took minutes: a small page of the shape
// within the budget opens, and the same shape past it is refused, opened and pasted alike.
TEST_F(HtmlMeterTest, HostilePagesAreRefusedWholeOpenedOrPasted) {
  const auto many = [](const char* piece, int count) { return QByteArray(piece).repeated(count); };
  const auto classes = [](int count) { return "<p class=\"" + QByteArray("a ").repeated(count) + "\">x</p>"; };
  const auto bare = [](int count) { return "<p " + QByteArray("a ").repeated(count) + ">x</p>"; };
  const struct {
    const char* name;
    QByteArray small;    // opens
    QByteArray hostile;  // refused
    int64_t budget = kBudget;
  } cases[] = {
      {"an end tag's start and no name", many("</", 100), many("</", 100000)},
      {"one element of many classes", classes(100), classes(20000)},
      {"one tag of many bare attributes", bare(100), bare(20000)},
      {"empty tables", many("<table></table>", 50) + "x", many("<table></table>", 2000) + "x"},
      {"tables of one cell", many("<table><td>x</table>", 10), many("<table><td>x</table>", 500)},
      {"runs in other looks", many("<b>x</b><i>y</i>", 100), many("<b>x</b><i>y</i>", 10000)},
      // Within the budget, but past the work its size allows.
      {"rows of wide empty spans", "<table>" + many("<tr><td colspan=20>x</td></tr>", 20),
       "<table>" + many("<tr><td colspan=20000></td></tr>", 200), kReaderMemoryBudget},
      {"a few rows of wider empty spans", "<table>" + many("<tr><td colspan=20000></td></tr>", 20),
       "<table>" + many("<tr><td colspan=20000></td></tr>", 2000), kReaderMemoryBudget},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetPageReadingBudget(c.budget);
    const std::string opened = open(c.small);
    EXPECT_EQ(opened.rfind("refused", 0), std::string::npos) << opened;
    EXPECT_EQ(paste(c.small), opened);
    window.manager.undo();
    EXPECT_EQ(FilledCellSummary(document), "");

    const std::string refused = open(c.hostile);
    EXPECT_EQ(refused.rfind("refused: The page is too large to open", 0), 0u) << refused;
    // The paste names the same size in its own words, and pastes no plain text instead.
    std::string pasteRefused = refused;
    pasteRefused.replace(pasteRefused.find("to open"), std::string("to open").size(), "to paste");
    EXPECT_EQ(paste(c.hostile), pasteRefused);
    EXPECT_EQ(FilledCellSummary(document), "");
  }
}

// The heap's count passes the budget at one read or another, wherever the open or the paste
// stands then (reading the page, making the rich text, its import, the cells): each is refused
// with the size alert and leaves nothing; past its last read the page opens.
int g_readsBeforeGrowth = 0;
int64_t HeapGrowingAfterSomeReads() {
  static int64_t base = 0;
  if (g_readsBeforeGrowth-- > 0) return base;
  return base + (int64_t(1) << 30);
}

TEST_F(HtmlMeterTest, TheMeterStopsAnOpenOrAPasteInAnyOfItsStages) {
  // Paragraphs, a table and a long table of plain cells: every stage runs many pieces.
  QByteArray html = QByteArray("<p>word</p>").repeated(5000) + "<table>" +
                    QByteArray("<tr><td>a</td><td>b</td></tr>").repeated(1500) + "</table>";
  SetPageReadingBudget(int64_t(1) << 28);
  const FLReadingMeter::HeapCount previous = FLReadingMeter::SetHeapCountForTests(HeapGrowingAfterSomeReads);
  // How many times each reads the heap when it never grows.
  g_readsBeforeGrowth = 1 << 20;
  const std::string whole = open(html);
  const int openReads = (1 << 20) - g_readsBeforeGrowth;
  g_readsBeforeGrowth = 1 << 20;
  EXPECT_EQ(paste(html), whole);
  const int pasteReads = (1 << 20) - g_readsBeforeGrowth;
  window.manager.undo();
  // A paste stopped once its step is recorded (bringing the cells in) drops the step it undid,
  // as any command that records a step does.
  window.manager.killRedo();
  ASSERT_GT(openReads, 8);
  ASSERT_GT(pasteReads, 8);
  EXPECT_EQ(whole.rfind("refused", 0), std::string::npos);
  // The first read is where the growth is counted from.
  for (int k = 1; k < std::max(openReads, pasteReads); ++k) {
    SCOPED_TRACE(k);
    if (k < openReads) {
      g_readsBeforeGrowth = k;
      EXPECT_EQ(open(html).rfind("refused: The page is too large to open", 0), 0u);
    }
    if (k < pasteReads) {
      g_readsBeforeGrowth = k;
      EXPECT_EQ(paste(html).rfind("refused: The page is too large to paste", 0), 0u);
      EXPECT_EQ(FilledCellSummary(document), "");
    }
  }
  g_readsBeforeGrowth = openReads;
  EXPECT_EQ(open(html), whole);
  FLReadingMeter::SetHeapCountForTests(previous);
}

// A paste that runs out of memory, wherever it does (taking the clipboard's data, reading the
// page, making its cells), is told as any other command's is; the sheet and its undo steps stay.
class ThrowingData : public QMimeData {
 public:
  bool throwOnData = false;

 protected:
  QVariant retrieveData(const QString& type, QMetaType wanted) const override {
    if (throwOnData) throw std::bad_alloc();
    return QMimeData::retrieveData(type, wanted);
  }
};

int g_readsBeforeFailure = 0;
int64_t HeapFailingAfterSomeReads() {
  if (g_readsBeforeFailure-- <= 0) throw std::bad_alloc();
  return 0;
}

TEST_F(HtmlMeterTest, APasteThatRunsOutOfMemoryIsToldAndChangesNothing) {
  enter("B2", "kept");
  const QByteArray html = QByteArray("<p>word</p>").repeated(9000) + "<table>" +
                          QByteArray("<tr><td>a</td><td>b</td></tr>").repeated(3000) + "</table>";
  SetPageReadingBudget(int64_t(1) << 28);
  const struct {
    const char* name;
    bool throwOnData;
    int readsBeforeFailure;  // of the heap's count; -1: none fails
  } cases[] = {
      {"the clipboard's data", true, -1},
      {"as the reading begins", false, 0},
      {"while reading", false, 1},
      {"later on", false, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ThrowingData data;
    PasteboardSetData(data, QLatin1String(kPasteboardHtmlType), html);
    data.setText(QStringLiteral("plain"));
    data.throwOnData = c.throwOnData;
    select("A1", "A1");
    const std::string before = xml();
    const qsizetype told = window.alerts.size();
    const FLReadingMeter::HeapCount previous =
        c.readsBeforeFailure >= 0 ? FLReadingMeter::SetHeapCountForTests(HeapFailingAfterSomeReads) : nullptr;
    g_readsBeforeFailure = c.readsBeforeFailure;
    EXPECT_FALSE(document.paste(&data, false));
    if (c.readsBeforeFailure >= 0) FLReadingMeter::SetHeapCountForTests(previous);
    EXPECT_EQ(xml(), before);
    EXPECT_EQ(window.manager.inUseCount(), 0u);
    ASSERT_EQ(window.alerts.size(), told + 1);
    EXPECT_EQ(window.alerts.back(),
              QLatin1String(kCommandMemoryMessage) + QLatin1Char('|') + QLatin1String(kCommandMemoryInformation));
  }
  // The next paste of the page goes through.
  QMimeData data;
  PasteboardSetData(data, QLatin1String(kPasteboardHtmlType), "<p>after</p>");
  EXPECT_TRUE(document.paste(&data, false));
  EXPECT_EQ(text("A1"), QStringLiteral("after"));
  EXPECT_EQ(text("B2"), QStringLiteral("kept"));
}

}  // namespace

namespace {

// The page in a character set, with or without a byte-order mark.
QByteArray Encoded(const QString& page, QStringConverter::Encoding encoding, bool marked) {
  QStringEncoder encoder(encoding, marked ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
  return encoder.encode(page);
}

// A pasted page is read in the character set an open reads it in: the byte-order mark decides,
// else the set the page declares, else UTF-8; the paste's cells are the open's.
TEST_F(HtmlMeterTest, APastedPageIsDecodedAsAnOpenDecodesIt) {
  const QString page = QStringLiteral("<table><tr><td>Grüße</td><td>5 €</td><td>ñandú</td></tr></table>");
  const struct {
    const char* name;
    QByteArray bytes;
  } cases[] = {
      {"UTF-16 little-endian with a mark", Encoded(page, QStringConverter::Utf16LE, true)},
      {"UTF-16 big-endian with a mark", Encoded(page, QStringConverter::Utf16BE, true)},
      {"UTF-32 little-endian with a mark", Encoded(page, QStringConverter::Utf32LE, true)},
      {"UTF-8 with a mark", Encoded(page, QStringConverter::Utf8, true)},
      {"UTF-8", Encoded(page, QStringConverter::Utf8, false)},
      {"windows-1252 as declared", QByteArray("<meta charset=\"windows-1252\"><table><tr><td>Gr\xFC\xDF"
                                              "e</td><td>5 \x80</td><td>\xF1" "and\xFA</td></tr></table>")},
      {"Latin-1 bytes that are no UTF-8", QByteArray("<table><tr><td>Gr\xFC\xDF" "e</td><td>5 \x80</td><td>\xF1"
                                                     "and\xFA</td></tr></table>")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string opened = open(c.bytes);
    EXPECT_EQ(opened, "0,0=Grüße|1,0=5 €|2,0=ñandú");
    EXPECT_EQ(paste(c.bytes), opened);
    window.manager.undo();
    EXPECT_EQ(FilledCellSummary(document), "");
  }
}

// A pasted page goes through the readers an open reads it with: the sheet's own reader of a long
// table of plain cells, or of the lines a paragraph keeps, or else the rich text; and it is
// priced alike: the same page is refused by both or by neither, for the same size (one long cell
// was once refused on open and read on paste, at several times the budget).
TEST_F(HtmlMeterTest, APastedPageIsReadAndPricedAsAnOpenReadsIt) {
  const auto longTable = [](int rows) {
    QByteArray html = "<table>";
    for (int r = 0; r < rows; ++r) html += "<tr><td>" + QByteArray::number(r) + "</td><td>r" + QByteArray::number(r) + "</td></tr>";
    return html + "</table>";
  };
  const auto keptLines = [](int lines) {
    QByteArray html = "<style>p{white-space:pre}</style><p>";
    for (int k = 0; k < lines; ++k) html += QByteArray::number(k) + "\tline\n";
    return html + "</p>";
  };
  const auto oneCell = [](int letters) { return "<table><tr><td>" + QByteArray(letters, 'x') + "</td></tr></table>"; };
  const struct {
    const char* name;
    QByteArray html;
    uint64_t (*counter)();  // the reader that reads it, counted
  } cases[] = {
      {"a long table", longTable(400), PlainTablesRead},
      {"kept lines", keptLines(400), KeptLinesRead},
      {"paragraphs", QByteArray("<p>word</p>").repeated(400), HtmlPagesGivenToRichText},
      {"a long table past the budget", longTable(40000), nullptr},
      {"kept lines past the budget", keptLines(60000), nullptr},
      {"one cell of 100,000 letters", oneCell(100000), nullptr},
      {"one cell of 300,000 letters", oneCell(300000), nullptr},
      {"one cell of 1,000,000 letters", oneCell(1000000), nullptr},
  };
  int refused = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const uint64_t before = c.counter ? c.counter() : 0;
    const std::string opened = open(c.html);
    const uint64_t byOpen = c.counter ? c.counter() - before : 0;
    // Refused alike, the paste naming the same size in its own words.
    std::string pastedAs = opened;
    if (const size_t at = pastedAs.find("too large to open"); at != std::string::npos)
      pastedAs.replace(at, std::string("too large to open").size(), "too large to paste");
    EXPECT_EQ(paste(c.html), pastedAs);
    refused += opened.rfind("refused", 0) == 0;
    if (c.counter) {
      EXPECT_EQ(byOpen, 1u);
      EXPECT_EQ(c.counter() - before, 2u) << "the paste took another reader";
      EXPECT_EQ(opened.rfind("refused", 0), std::string::npos);
    }
    if (opened.rfind("refused", 0) != 0) window.manager.undo();
    EXPECT_EQ(FilledCellSummary(document), "");
  }
  EXPECT_GE(refused, 3);
}

// A paste that is refused always says why, whatever refused it: the page's size, its depth, or
// a page the reader gives up on where the clipboard has no plain text to paste instead.
TEST_F(HtmlMeterTest, ARefusedPasteAlwaysShowsItsAlert) {
  const struct {
    const char* name;
    QByteArray html;
    int64_t budget;
  } cases[] = {
      {"too large", QByteArray("<p>word</p>").repeated(200000), kBudget},
      {"fonts left open past the depth", QByteArray("<font color=red>line<br>\n").repeated(70000), kReaderMemoryBudget},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetPageReadingBudget(c.budget);
    QMimeData data;
    PasteboardSetData(data, QLatin1String(kPasteboardHtmlType), c.html);
    select("A1", "A1");
    const std::string before = xml();
    const qsizetype told = alerts.shown.size() + window.alerts.size();
    if (document.paste(&data, false)) {
      window.manager.undo();
      continue;
    }
    EXPECT_EQ(xml(), before);
    EXPECT_EQ(alerts.shown.size() + window.alerts.size(), told + 1);
  }
}

}  // namespace
