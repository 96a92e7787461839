// RTF and RTFD read under the same meter as pages: a document past the budget, by its text, its
// tables or its pictures, is refused opened or pasted with the alert naming its size, and
// nothing else of the clipboard is pasted instead.
#include "support/PictureHeaders.h"
#include "MeteredPasteTestSupport.h"
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caGlimmetImport.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/UndoTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/FLError.h"
#include "platform/Pasteboard.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>

namespace {

class RtfMeterTest : public MeteredPasteTest {
 protected:
  RtfMeterTest() {
    InstallFileFormatServices();
    previousBudget_ = SetPageReadingBudget(kBudget);
    previousLog_ = SetLogHandler([](const QString&) {});
    previousHeap_ = FLReadingMeter::SetHeapCountForTests(HeapGrownByReads);
  }
  ~RtfMeterTest() override {
    FLReadingMeter::SetHeapCountForTests(previousHeap_);
    SetLogHandler(previousLog_);
    SetPageReadingBudget(previousBudget_);
    SetFileFormatServices(CAFileFormatServices());
  }

  // The open of the RTF, or of an RTFD package of it and its attachments: its cells, or
  // "refused: " and the reason.
  std::string open(const QByteArray& rtf, const QList<std::pair<QString, QByteArray>>& attachments) {
    CADocument opened;
    FLError error;
    bool read = false;
    if (attachments.isEmpty()) {
      const QString file = QDir(folder.path()).filePath(QStringLiteral("text.rtf"));
      EXPECT_TRUE(WriteFileBytes(file, rtf));
      read = opened.loadRtfFile(file, &error);
    } else {
      const QString package = QDir(folder.path()).filePath(QStringLiteral("text.rtfd"));
      QDir().mkpath(package);
      EXPECT_TRUE(WriteFileBytes(QDir(package).filePath(QStringLiteral("TXT.rtf")), rtf));
      for (const auto& [name, bytes] : attachments) EXPECT_TRUE(WriteFileBytes(QDir(package).filePath(name), bytes));
      read = opened.loadRtfdFile(package, &error);
    }
    if (read) return FilledCellSummary(opened);
    EXPECT_EQ(error.code, kHtmlTooLargeCode) << error.reason.toStdString();
    return "refused: " + error.reason.toStdString();
  }

  // The paste of the RTF at A1: the cells, or "refused: " and the alert's reason.
  std::string paste(const QByteArray& rtf) { return pasteOrRefusal(kPasteboardRtfType, rtf, kPasteRtfTooLargeMessage); }

  static constexpr int64_t kBudget = int64_t(1) << 20;
  QTemporaryDir folder;

 private:
  int64_t previousBudget_ = 0;
  FLLogHandler previousLog_;
  FLReadingMeter::HeapCount previousHeap_ = nullptr;
};

// Each shape: a small document of it opens (and pastes alike), the same shape past the budget is
// refused with its size, opened and pasted; an RTFD's pictures are charged before they are decoded.
TEST_F(RtfMeterTest, DocumentsPastTheBudgetAreRefusedWithTheirSize) {
  const auto table = [](int rows) {
    QByteArray rtf = "{\\rtf1\\trowd";
    for (int x = 1; x <= 10; ++x) rtf += "\\cellx" + QByteArray::number(100 * x);
    return rtf + QByteArray("\\intbl " + QByteArray("x\\cell ").repeated(10) + "\\row ").repeated(rows) + "}";
  };
  const auto picture = [](int width) {
    return "{\\rtf1 a\\tab {\\pict\\pngblip " + Png(width).toHex() + "}\\par}";
  };
  const auto attachment = [](int width) { return QList<std::pair<QString, QByteArray>>{{"p.png", Png(width)}}; };
  const QByteArray attached = "{\\rtf1 a\\tab {{\\NeXTGraphic p.png \\width100 \\height100}\xac}\\par}";
  const struct {
    const char* name;
    QByteArray small, hostile;
    QList<std::pair<QString, QByteArray>> smallFiles, hostileFiles;  // of an RTFD package
  } cases[] = {
      {"a long table", table(3), table(5000), {}, {}},
      {"many paragraphs", QByteArray("{\\rtf1 ") + QByteArray("x\\par ").repeated(3) + "}",
       QByteArray("{\\rtf1 ") + QByteArray("x\\par ").repeated(60000) + "}", {}, {}},
      {"a picture in the text", picture(8), picture(1000), {}, {}},
      {"an RTFD's picture", attached, attached, attachment(8), attachment(1000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string opened = open(c.small, c.smallFiles);
    EXPECT_EQ(opened.rfind("refused", 0), std::string::npos) << opened;
    EXPECT_FALSE(opened.empty());
    if (c.smallFiles.isEmpty()) {
      EXPECT_EQ(paste(c.small), opened);
      window.manager.undo();
    }
    const std::string refused = open(c.hostile, c.hostileFiles);
    EXPECT_EQ(refused.rfind("refused: The document is too large to open: reading it would take about", 0), 0u)
        << refused.substr(0, 200);
    if (c.hostileFiles.isEmpty()) {
      // The paste names the same size in its own words, and pastes no plain text instead.
      std::string pasteRefused = refused;
      pasteRefused.replace(0, std::string("refused: The document is too large to open").size(),
                           "refused: The text is too large to paste");
      EXPECT_EQ(paste(c.hostile), pasteRefused);
      EXPECT_EQ(FilledCellSummary(document), "");
    }
  }
}

}  // namespace
