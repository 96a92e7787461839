// What the window's Copy puts on the clipboard as plain text, for the mail, editors and
// terminals it is pasted into: the cells' texts as they are, in the user's locale.
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "ShownWindowTestSupport.h"

#include <QAction>
#include <QClipboard>
#include <QMenuBar>
#include <QMimeData>

namespace {

class WindowCopyTextTest : public ShownWindowTest {
 protected:
  WindowCopyTextTest() { InstallFileFormatServices(); }
  ~WindowCopyTextTest() override { SetFileFormatServices(CAFileFormatServices()); }

  // The clipboard's plain text after the selection is copied by the menu's item or its key.
  QString copied(bool byKey) {
    QApplication::clipboard()->clear();
    if (byKey) {
      QTest::keyClick(grid(), Qt::Key_C, Qt::ControlModifier);
    } else {
      QAction* copy = controller.mainWindow()->menuBar()->findChild<QAction*>(QStringLiteral("copy:"));
      EXPECT_NE(copy, nullptr);
      if (copy) copy->trigger();
    }
    const QMimeData* data = QApplication::clipboard()->mimeData();
    return data && data->hasFormat(QStringLiteral("text/plain"))
               ? QString::fromUtf8(data->data(QStringLiteral("text/plain")))
               : QString();
  }
};

}  // namespace

TEST_F(WindowCopyTextTest, CopyPutsTheCellsTextsOnTheClipboardWithoutQuotes) {
  const struct {
    std::vector<const char*> cells;  // A1, B1, ... typed, "." for the locale's decimal separator
    const char* text;
  } cases[] = {
      {{"New York City"}, "New York City"},
      {{"Hello, world, again"}, "Hello, world, again"},
      {{"say \"hi\""}, "say \"hi\""},
      {{"\"Quoted\""}, "\"Quoted\""},
      {{"1.5"}, "1.5"},
      {{"New York City", "2.5", "a; b"}, "New York City\t2.5\ta; b"},
  };
  for (const char* locale : {"C", "en_US", "de_DE", "fr_FR"}) {
    const TestLocale scope(locale);
    const QChar decimal = NumberTextLocale().decimalSeparatorChar;
    const auto typed = [decimal](const char* text) {
      return QString::fromUtf8(text).replace(QLatin1Char('.'), decimal);
    };
    for (const auto& c : cases) {
      for (const bool byKey : {true, false}) {
        SCOPED_TRACE(std::string(locale) + ", " + c.cells[0] + (byKey ? ", Ctrl+C" : ", Edit > Copy"));
        for (size_t x = 0; x < c.cells.size(); ++x)
          document().cellAtGridPointImperative({int64_t(x), 0})->setFormula(typed(c.cells[x]));
        document().evaluate();
        document().setSelectionRange(GridRange{{0, 0}, {int64_t(c.cells.size()) - 1, 0}});
        EXPECT_EQ(copied(byKey), typed(c.text));
      }
    }
  }
}

// A copied cell pasted into the text being typed in another cell adds its text, nothing more.
TEST_F(WindowCopyTextTest, ACopiedCellPastedWhileTypingAddsItsText) {
  for (const char* text : {"New York City", "Hello, world, again", "say \"hi\""}) {
    SCOPED_TRACE(text);
    document().cellAtGridPointImperative({0, 0})->setFormula(QString::fromUtf8(text));
    click(0, 0);
    press(Qt::Key_C, Qt::ControlModifier);
    click(2, 0);
    type(QStringLiteral("x"));
    press(Qt::Key_V, Qt::ControlModifier);
    press(Qt::Key_Return);
    const CACell* cell = document().cellAtGridPoint({2, 0});
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->formula(), QStringLiteral("x") + QString::fromUtf8(text));
  }
}
