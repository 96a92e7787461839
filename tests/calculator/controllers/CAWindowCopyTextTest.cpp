// What the window's Copy puts on the clipboard as plain text, for the mail, editors and
// terminals it is pasted into: the cells' texts as they are, in the user's locale.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "calculator/views/CACellView.h"
#include "framlet/foundation/FLKernel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class WindowCopyTextTest : public testing::Test {
 protected:
  WindowCopyTextTest() {
    FLKernel::sharedInstance();
    InstallFileFormatServices();
    controller.prepareToShow();
    controller.mainWindow()->resize(900, 600);
    controller.mainWindow()->show();
    QApplication::setActiveWindow(controller.mainWindow());
    EXPECT_TRUE(QTest::qWaitForWindowActive(controller.mainWindow()));
  }
  ~WindowCopyTextTest() override {
    controller.mainWindow()->close();
    SetFileFormatServices(CAFileFormatServices());
  }

  CADocument& document() const { return *controller.document(); }
  // The clipboard's plain text after the selection is copied by the menu's item or its key.
  QString copied(bool byKey) {
    QApplication::clipboard()->clear();
    if (byKey) {
      QTest::keyClick(controller.cellView(), Qt::Key_C, Qt::ControlModifier);
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

  mutable CAWindowController controller;
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
