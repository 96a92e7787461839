// Pages that leave formatting elements open line after line, or close them inside the paragraph
// they hold, open and paste whole, as browsers show them, each line in its looks.
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/caDocumentServices.h"
#include "platform/FLError.h"
#include "support/TestFiles.h"

namespace {

class HtmlFormattingPagesTest : public RichTextTest {};

QString Numbered(const char* pattern, int count) {
  QString page;
  for (int k = 1; k <= count; ++k) page += QString::fromUtf8(pattern).arg(k);
  return page;
}

TEST_F(HtmlFormattingPagesTest, PagesThatLeaveLooksOpenOpenAndPasteWhole) {
  const struct {
    const char* pattern;
    // Where the first and the last line are, their text, and whether they are bold (a cell takes
    // the looks its text starts with).
    GridPoint first, last;
    const char* firstText;
    const char* lastText;
    bool bold;
  } cases[] = {
      // Each line a row, whatever parts them.
      {"<font face=\"Arial\">Line %1<br>", {0, 0}, {0, 599}, "Line 1", "Line 600", false},
      {"<font size=2><p>Line %1</font></p>", {0, 0}, {0, 599}, "Line 1", "Line 600", false},
      {"<b><p>Para %1</b> text</p>", {0, 0}, {0, 599}, "Para 1 text", "Para 600 text", true},
  };
  InstallFileFormatServices();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    const QString page = Numbered(c.pattern, 600);
    const QString file = path("looks.html");
    ASSERT_TRUE(WriteFileBytes(file, page.toUtf8()));
    CADocument opened, pasted;
    FLError error;
    ASSERT_EQ(opened.openFile(file, &error), kFileTypeHtml) << error.reason.toStdString();
    ASSERT_TRUE(FileFormatServices().loadHtml(pasted, page));
    for (const CADocument* sheet : {&opened, &pasted}) {
      const CACell* first = sheet->cellAtGridPoint(c.first);
      const CACell* last = sheet->cellAtGridPoint(c.last);
      ASSERT_TRUE(first && last);
      EXPECT_EQ(first->formula(), QString::fromUtf8(c.firstText));
      EXPECT_EQ(last->formula(), QString::fromUtf8(c.lastText));
      EXPECT_EQ(sheet->rows().size(), 600u);
      EXPECT_EQ(first->format() && first->format()->bold(), c.bold);
      EXPECT_EQ(last->format() && last->format()->bold(), c.bold);
    }
  }
}

}  // namespace
