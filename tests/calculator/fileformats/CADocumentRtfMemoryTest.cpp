// RTF and pages read through the text engine, opened or pasted while memory runs out, in the text engine's own records or anywhere else:
// the open fails with the reason of an open that ran out of memory, the paste pastes nothing (no
// plain text in its place) and gives the memory alert, and the sheet is exactly as it was.
#define TAMSEL_DEFINE_ALLOCATION_FAILURES
#include "support/AllocationFailures.h"

#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caReadFile.h"
#include "calculator/model/UndoTestSupport.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caDocumentServices.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flQtHeld.h"
#include "platform/FLError.h"
#include "platform/Pasteboard.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QMimeData>
#include <QTemporaryDir>

#include <cerrno>

namespace {

const QString kMemoryAlert =
    QLatin1String(kCommandMemoryMessage) + QLatin1Char('|') + QLatin1String(kCommandMemoryInformation);

// Only the engine's records: the count-th of them from arming is refused (0: none).
int64_t g_engineCountdown = 0;
int64_t g_engineRecords = 0;
bool RefusesCountedEngineRecord(size_t) {
  ++g_engineRecords;
  return g_engineCountdown > 0 && --g_engineCountdown == 0;
}
// Or the engine's records counted among every allocation.
bool RefusesCountedAllocation(size_t size) {
  ++g_engineRecords;
  return allocation_failures::RefusesEngineRecord(size);
}

class RtfMemoryTest : public EditTest {
 protected:
  RtfMemoryTest() : previousLog_(SetLogHandler([](const QString&) {})) {
    InstallFileFormatServices();
    // A sheet the paste lands on, whose cells it would replace.
    for (int64_t y = 0; y < 6; ++y)
      for (int64_t x = 0; x < 4; ++x) document.cellAtGridPointImperative({x, y})->setFormula(QString::number(10 * x + y));
    document.evaluate();
  }
  ~RtfMemoryTest() override {
    AllowAllocations();
    SetAllocationRefusalForTests(nullptr);
    SetFileFormatServices(CAFileFormatServices());
    SetLogHandler(previousLog_);
  }

  // Arms a failure: of the count-th engine record only, or of the count-th allocation of any kind.
  static void fail(bool engineOnly, int64_t count) {
    g_engineRecords = 0;
    if (engineOnly) {
      g_engineCountdown = count;
      SetAllocationRefusalForTests(RefusesCountedEngineRecord);
    } else {
      SetAllocationRefusalForTests(RefusesCountedAllocation);
      FailAllocations(count);
    }
  }
  static int64_t allow() {
    const AllocationCounts counts = AllowAllocations();
    SetAllocationRefusalForTests(nullptr);
    g_engineCountdown = 0;
    return counts.allocations;
  }

  // The paste of the RTF at B2, with a plain text beside it and the failure armed over the paste
  // alone: true when it went through; the allocations it made.
  bool paste(const QByteArray& rtf, bool engineOnly = true, int64_t count = 0, int64_t* made = nullptr,
             const char* type = kPasteboardRtfType) {
    QMimeData data;
    PasteboardSetData(data, QLatin1String(type), rtf);
    data.setText(QStringLiteral("plain\ttext"));
    select("B2", "B2");
    fail(engineOnly, count);
    const bool pasted = document.paste(&data, false);
    const int64_t allocations = allow();
    if (made) *made = allocations;
    return pasted;
  }

  // The open of the RTF, with the failure armed (engineOnly, count) over the open alone: its
  // cells, or "failed: " and the reason.
  std::string open(const QByteArray& rtf, bool engineOnly = true, int64_t count = 0, const char* name = "text.rtf") {
    const QString file = QDir(folder.path()).filePath(QLatin1String(name));
    EXPECT_TRUE(WriteFileBytes(file, rtf));
    CADocument opened;
    FLError error;
    fail(engineOnly, count);
    const bool read = opened.openFile(file, &error) != 0;
    allow();
    if (read) return FilledCellSummary(opened);
    EXPECT_EQ(error.code, ENOMEM);
    return "failed: " + error.reason.toStdString();
  }

  QTemporaryDir folder;

 private:
  FLLogHandler previousLog_;
};

// Each shape read once whole, then again with the engine's first, second... record refused, and
// with the count-th allocation of any kind refused along the way: a paste either made the whole
// paste or left the sheet and its steps as they were with one memory alert; an open either read
// the whole text or failed for want of memory.
TEST_F(RtfMemoryTest, AnRtfThatRunsOutOfMemoryIsToldAndChangesNothing) {
  const QByteArray table = "{\\rtf1\\trowd\\cellx1000\\cellx2000\\cellx3000" +
                           QByteArray("\\intbl {\\b bold}\\cell 12\\cell x\\cell \\row ").repeated(8) + "}";
  const QByteArray paragraphs =
      "{\\rtf1{\\fonttbl{\\f0 Helvetica;}}{\\colortbl;\\red255\\green0\\blue0;}" +
      QByteArray("\\f0 {\\cf1 red} and {\\i italic} text\\tab 3.5\\par ").repeated(40) + "}";
  const QByteArray styled = "{\\rtf1{\\stylesheet{\\s0 Normal;}{\\s1\\b Heading;}{\\s2\\i Quote;}}" +
                            QByteArray("\\pard\\s1 Title\\par\\pard\\s2 words\\tab 7\\par ").repeated(20) + "}";
  const QByteArray page = "<html><body><h1>Title</h1><p>Some <b>bold</b> words</p><table>" +
                         QByteArray("<tr><td><i>a</i></td><td>12</td><td>x</td></tr>").repeated(8) + "</table></body></html>";
  const struct {
    const char* name;
    QByteArray rtf;
    const char* type = kPasteboardRtfType;
    const char* file = "text.rtf";
  } shapes[] = {{"a table", table},
                {"paragraphs", paragraphs},
                {"styles", styled},
                {"a page", page, kPasteboardHtmlType, "page.html"}};
  for (const auto& shape : shapes) {
    SCOPED_TRACE(shape.name);
    select("B2", "B2");
    const std::string before = xml();
    const std::string opened = open(shape.rtf, true, 0, shape.file);
    ASSERT_EQ(opened.rfind("failed", 0), std::string::npos) << opened;
    const int64_t records = g_engineRecords;
    int64_t n = 0;
    ASSERT_TRUE(paste(shape.rtf, false, 0, &n, shape.type));
    const std::string after = xml();
    ASSERT_NE(after, before);
    window.manager.undo();
    window.manager.killRedo();
    ASSERT_EQ(xml(), before);
    ASSERT_GT(n, 100);
    ASSERT_GE(records, 2);  // the engine document, and its text (the open's)

    const struct {
      const char* name;
      bool engineOnly;
      int64_t count;
    } cases[] = {
        {"the engine's first record", true, 1},
        {"the engine's second record", true, 2},
        {"the engine's last record", true, records},
        {"the first allocation", false, 1},
        {"the tenth", false, 10},
        {"a tenth of the way", false, n / 10},
        {"a third of the way", false, n / 3},
        {"half way", false, n / 2},
        {"near the end", false, n - n / 20},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      const qsizetype told = window.alerts.size();
      const bool pasted = paste(shape.rtf, c.engineOnly, c.count, nullptr, shape.type);
      if (c.engineOnly) {
        EXPECT_FALSE(pasted);
      }
      if (pasted) {
        EXPECT_EQ(xml(), after);
        EXPECT_EQ(window.manager.inUseCount(), 1u);
        window.manager.undo();
        window.manager.killRedo();
      } else {
        EXPECT_EQ(window.manager.inUseCount(), 0u);
        ASSERT_EQ(window.alerts.size(), told + 1);
        EXPECT_EQ(window.alerts.back(), kMemoryAlert);
      }
      EXPECT_EQ(xml(), before);

      const std::string reopened = open(shape.rtf, c.engineOnly, c.count, shape.file);
      if (c.engineOnly || reopened != opened) {
        EXPECT_EQ(reopened, std::string("failed: ") + kOutOfMemoryReason);
      }
    }
    // The program goes on: the same paste goes through.
    ASSERT_TRUE(paste(shape.rtf, true, 0, nullptr, shape.type));
    EXPECT_EQ(xml(), after);
    window.manager.undo();
    window.manager.killRedo();
  }
}

}  // namespace

namespace {

// Pages whose reading makes Qt's rich text of every kind (paragraphs in many looks, faces, lists,
// links, a table with cell colours), pasted after other pastes have run and opened, with the
// count-th allocation failing at points spread over the whole command (many inside Qt's calls):
// Qt's text, which such a failure may leave half-changed, is never used or destroyed again; the
// paste goes through whole or leaves the sheet and its steps as they were with the memory alert,
// never told done with cells missing; the open reads the whole page or fails for want of memory,
// never shows part of the page without an error.
TEST_F(RtfMemoryTest, APageWhoseReadingFailsInsideQtIsToldAndChangesNothing) {
  QByteArray looks;
  for (int k = 0; k < 24; ++k)
    looks += QStringLiteral("<p><font face=\"Face%1\" color=\"#%2\">w%1</font> <b>b</b> <i>i</i>"
                            " <a href=\"http://h/%1\">link</a></p>")
                 .arg(k)
                 .arg(k * 9, 6, 16, QLatin1Char('0'))
                 .toUtf8();
  const QByteArray list = "<ul>" + QByteArray("<li>one <u>1</u></li><li>two</li>").repeated(6) + "</ul>";
  const QByteArray table = "<table>" +
                           QByteArray("<tr><td bgcolor=\"#ffeedd\">a</td><td sdval=\"12\">12</td>"
                                      "<td><span style=\"font-size: 20pt\">big</span></td></tr>")
                               .repeated(6) +
                           "</table>";
  const struct {
    const char* name;
    QByteArray page;
  } pages[] = {
      {"paragraphs in many looks", "<html><body>" + looks + "</body></html>"},
      {"a list and a table", "<html><body><h2>Head</h2>" + list + table + "<p>after</p></body></html>"},
  };
  const long abandonedBefore = QtObjectsAbandoned();
  for (const auto& page : pages) {
    SCOPED_TRACE(page.name);
    select("B2", "B2");
    const std::string before = xml();
    const std::string opened = open(page.page, true, 0, "page.html");
    ASSERT_EQ(opened.rfind("failed", 0), std::string::npos) << opened;
    int64_t n = 0;
    ASSERT_TRUE(paste(page.page, false, 0, &n, kPasteboardHtmlType));
    const std::string after = xml();
    ASSERT_NE(after, before);
    window.manager.undo();
    window.manager.killRedo();
    ASSERT_EQ(xml(), before);
    ASSERT_GT(n, 500);

    constexpr int kPoints = 48;
    for (int point = 0; point < kPoints; ++point) {
      const int64_t count = 1 + n * point / kPoints;
      SCOPED_TRACE(count);
      const qsizetype told = window.alerts.size();
      if (paste(page.page, false, count, nullptr, kPasteboardHtmlType)) {
        EXPECT_EQ(xml(), after);
        EXPECT_EQ(window.manager.inUseCount(), 1u);
        window.manager.undo();
        window.manager.killRedo();
      } else {
        EXPECT_EQ(window.manager.inUseCount(), 0u);
        ASSERT_EQ(window.alerts.size(), told + 1);
        EXPECT_EQ(window.alerts.back(), kMemoryAlert);
      }
      EXPECT_EQ(xml(), before);
      const std::string reopened = open(page.page, false, count, "page.html");
      if (reopened != opened) {
        EXPECT_EQ(reopened, std::string("failed: ") + kOutOfMemoryReason);
      }
    }
    // The program goes on: the same paste goes through.
    ASSERT_TRUE(paste(page.page, true, 0, nullptr, kPasteboardHtmlType));
    EXPECT_EQ(xml(), after);
    window.manager.undo();
    window.manager.killRedo();
  }
  // Some of the failures were inside Qt's text, whose objects were left alone.
  EXPECT_GT(QtObjectsAbandoned(), abandonedBefore);
}

}  // namespace
