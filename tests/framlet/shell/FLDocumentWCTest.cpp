#include "framlet/shell/FLDocumentWC.h"

#include "ShellTestSupport.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLDocumentSaveFormatVC.h"
#include "support/AllocationFailures.h"
#include "support/LogCapture.h"
#include "support/TestFiles.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A window of a document that writes packages, with the format accessory, counting tear-downs.
class PackageWC : public FLDocumentWC {
 public:
  PackageWC() {
    document_.setWindowController(this);
    window_ = std::make_unique<QMainWindow>();
    window_->resize(200, 100);
    watchWindow();
  }
  ~PackageWC() override { window_.reset(); }
  PackageDocument* document() const override { return &document_; }
  QWidget* window() const override { return window_.get(); }
  std::unique_ptr<FLDocumentSaveFormatVC> saveFormatVC() override { return std::make_unique<FLDocumentSaveFormatVC>(); }
  int tearDowns = 0;

 protected:
  void windowWillClose() override {
    ++tearDowns;
    FLDocumentWC::windowWillClose();
  }

 private:
  mutable PackageDocument document_;
  std::unique_ptr<QMainWindow> window_;
};

class DocumentWCTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FLDocumentWC::setSaveTypes({QStringLiteral("Numlet"), QStringLiteral("csv"), QStringLiteral("html")});
    FLDocumentWC::setLastFormatIndex(0);
    controller.window()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller.window()));
  }
  // The format a panel was last confirmed in is the process's: the next fixture starts afresh.
  void TearDown() override {
    FLDocumentWC::setSaveTypes({});
    FLDocumentWC::setLastFormatIndex(0);
  }
  // Types the name into the open save panel and confirms it.
  void confirmPanel(const QString& name) {
    ASSERT_TRUE(QTest::qWaitFor([this] { return controller.savePanel() && controller.savePanel()->isVisible(); }, 10000));
    QFileDialog* panel = controller.savePanel();
    panel->setDirectory(folder.path());
    panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
    QMetaObject::invokeMethod(panel, "accept");
    SettleEvents();
  }

  QTemporaryDir folder;
  PackageWC controller;
};

TEST_F(DocumentWCTest, CancelKeepsADirtyWindowAndDontSaveClosesItWithOneTearDown) {
  controller.document()->setDirty(true);
  controller.window()->close();
  ASSERT_TRUE(AnswerSaveAlert(&controller, QStringLiteral("Cancel")));
  SettleEvents();
  EXPECT_TRUE(controller.window()->isVisible());
  EXPECT_EQ(controller.tearDowns, 0);
  EXPECT_EQ(controller.saveAlert(), nullptr);

  controller.window()->close();
  ASSERT_TRUE(AnswerSaveAlert(&controller, QStringLiteral("Don't Save")));
  SettleEvents();
  EXPECT_FALSE(controller.window()->isVisible());
  EXPECT_TRUE(controller.isClosed());
  controller.sendWindowWillClose();
  EXPECT_EQ(controller.tearDowns, 1);
  EXPECT_EQ(controller.document()->windowController(), nullptr);
}

TEST_F(DocumentWCTest, SaveOnAnUntitledDocumentRunsThePanelAndClosesAfterSaving) {
  controller.document()->setDirty(true);
  controller.document()->content = QStringLiteral("cells");
  controller.window()->close();
  ASSERT_TRUE(AnswerSaveAlert(&controller, QStringLiteral("Save")));
  // Two known extensions are stripped; the chosen format's is appended.
  confirmPanel(QStringLiteral("Budget.csv.Numlet"));
  ASSERT_TRUE(QFileInfo(folder.filePath(QStringLiteral("Budget.Numlet"))).isDir());
  EXPECT_EQ(controller.document()->filePath(), folder.filePath(QStringLiteral("Budget.Numlet")));
  EXPECT_FALSE(controller.document()->dirty());
  EXPECT_TRUE(controller.isClosed());
  EXPECT_EQ(controller.tearDowns, 1);
}

TEST_F(DocumentWCTest, ACancelledPanelLeavesTheWindowOpen) {
  controller.document()->setDirty(true);
  controller.window()->close();
  ASSERT_TRUE(AnswerSaveAlert(&controller, QStringLiteral("Save")));
  ASSERT_TRUE(QTest::qWaitFor([this] { return controller.savePanel() != nullptr; }, 10000));
  controller.savePanel()->reject();
  SettleEvents();
  EXPECT_TRUE(controller.window()->isVisible());
  EXPECT_TRUE(controller.document()->dirty());
}

// Save writes over the document's file only in a format it writes; a file it only reads (a
// workbook) is saved under a new name, from the Save command and from the closing alert alike.
TEST_F(DocumentWCTest, SaveAsksForANameForAFileOfAKindOnlyRead) {
  const QString workbook = folder.filePath(QStringLiteral("Book.xls"));
  ASSERT_TRUE(WriteFileBytes(workbook, "cells"));
  controller.document()->setFilePath(workbook);
  controller.document()->setDirty(true);
  for (const bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "closing" : "Save");
    if (closing) {
      controller.window()->close();
      ASSERT_TRUE(AnswerSaveAlert(&controller, QStringLiteral("Save")));
    } else {
      EXPECT_FALSE(controller.saveDocument());
    }
    ASSERT_TRUE(QTest::qWaitFor([this] { return controller.savePanel() != nullptr; }, 10000));
    controller.savePanel()->reject();
    SettleEvents();
    EXPECT_TRUE(controller.document()->writtenTo.isEmpty());
    EXPECT_EQ(ReadFileBytes(workbook), QByteArray("cells"));
  }
}

TEST_F(DocumentWCTest, TheNextPanelStartsOnTheLastConfirmedFormat) {
  controller.saveDocumentAs();
  ASSERT_TRUE(QTest::qWaitFor([this] { return controller.formatVC() != nullptr; }, 10000));
  controller.formatVC()->changeFormat(2);
  controller.document()->failWith = QStringLiteral("no");
  FLAlert::sharedInstance().setModalRunner([](const FLAlertRequest&, bool*) { return 0; });
  confirmPanel(QStringLiteral("Page"));
  FLAlert::sharedInstance().setModalRunner({});
  EXPECT_EQ(FLDocumentWC::lastFormatIndex(), 2);
  controller.saveDocumentAs();
  ASSERT_TRUE(QTest::qWaitFor([this] { return controller.formatVC() != nullptr; }, 10000));
  EXPECT_EQ(controller.formatVC()->selectedExtension(), QStringLiteral("html"));
  controller.savePanel()->reject();
  SettleEvents();
}

TEST_F(DocumentWCTest, RevertAsksFirst) {
  controller.document()->setDirty(true);
  for (const auto& [title, dirtyAfter] : {std::pair{QStringLiteral("Cancel"), true}, {QStringLiteral("Revert"), false}}) {
    controller.showRevertAlert();
    ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 10000));
    auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    EXPECT_EQ(alert->text(), QStringLiteral("Revert changes to \"Untitled\"?"));
    for (QAbstractButton* button : alert->buttons()) {
      if (button->text() == title) button->click();
    }
    SettleEvents();
    EXPECT_EQ(controller.document()->dirty(), dirtyAfter);
  }
}

TEST_F(DocumentWCTest, PrintingWithoutAViewFailsWithAnAssertion) {
  LogCapture log;
  EXPECT_EQ(controller.printWithInfo({}, false), FLPrintReply::Failure);
  EXPECT_TRUE(log.assertMessages().contains(QStringLiteral("No printing view created")));
}

TEST_F(DocumentWCTest, WithoutAPrintingViewNoPrintPanelIsShown) {
  LogCapture log;
  EXPECT_EQ(controller.printWithInfo({}, true), FLPrintReply::Failure);
  EXPECT_EQ(log.assertMessages().count(QStringLiteral("No printing view created")), 1);
  SettleEvents();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(DocumentWCTest, ReplacingAnItemAlwaysAsksAndSaysWhetherABackupIsKept) {
  const QString target = folder.filePath(QStringLiteral("Budget.Numlet"));
  QFile stored(QDir(target).filePath(QStringLiteral("document.xml")));
  const auto question = [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); };
  // Backups on or off, Cancel keeps the panel and the old item, Replace saves; the question says
  // where the old contents go.
  const struct { bool backups; const char* information; } cases[] = {
      {true, "Its current contents will be kept as the backup \"Budget~.Numlet\", in place of any earlier backup."},
      {false, "No backup of it will be kept. Replacing it will overwrite its current contents."},
  };
  for (const auto& c : cases) {
    controller.document()->backups = c.backups;
    controller.document()->content = QString::number(c.backups);
    QDir().mkpath(target);
    controller.saveDocumentAs();
    confirmPanel(QStringLiteral("Budget"));
    for (const QString& answer : {QStringLiteral("Cancel"), QStringLiteral("Replace")}) {
      ASSERT_NE(question(), nullptr) << answer.toStdString();
      EXPECT_EQ(question()->text(), "\"Budget.Numlet\" already exists. Do you want to replace it?");
      EXPECT_EQ(question()->informativeText(), QString::fromUtf8(c.information));
      for (QAbstractButton* button : question()->buttons()) {
        if (button->text() == answer) button->click();
      }
      SettleEvents();
      if (answer == QLatin1String("Cancel")) {
        // Nothing was written yet.
        if (stored.open(QIODevice::ReadOnly)) {
          EXPECT_NE(stored.readAll(), QByteArray::number(int(c.backups)));
          stored.close();
        }
        QMetaObject::invokeMethod(controller.savePanel(), "accept");
      }
      SettleEvents();
    }
    EXPECT_EQ(question(), nullptr);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), QByteArray::number(int(c.backups)));
    stored.close();
  }
}

TEST(SaveFormat, AdvancedFormatsAreOfferedToAdvancedUsersOrWhileChosen) {
  const bool wasAdvanced = g_advancedUser;
  FLDocumentSaveFormatVC accessory;
  accessory.setSaveTypes({QStringLiteral("Numlet"), QStringLiteral("dif"), QStringLiteral("csv")});
  accessory.setFormatTag(QStringLiteral("dif"), kAdvancedFormatTag);
  const struct { bool advanced; qsizetype index; QStringList offered; } cases[] = {
      {false, 0, {"Numlet", "csv"}}, {false, 1, {"Numlet", "dif", "csv"}}, {true, 2, {"Numlet", "dif", "csv"}},
  };
  for (const auto& c : cases) {
    g_advancedUser = c.advanced;
    accessory.setFormatIndex(c.index);
    EXPECT_EQ(accessory.offeredTypes(), c.offered) << c.advanced << " " << c.index;
  }
  g_advancedUser = wasAdvanced;
}

// A format chosen while memory runs out (a typed name's extension, as its save runs) leaves the
// panel whole: with each allocation of the choice failing in turn, the panel is then used and
// closed as ever.
TEST(SaveFormat, AFormatChosenWhileMemoryRunsOutLeavesThePanelWhole) {
  bool completed = false;
  for (int64_t k = 1; k < 2000 && !completed; ++k) {
    SCOPED_TRACE(k);
    auto panel = std::make_unique<QFileDialog>();
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    FLDocumentSaveFormatVC accessory;
    accessory.setSaveTypes({QStringLiteral("Numlet"), QStringLiteral("csv"), QStringLiteral("txt")});
    accessory.setSavePanel(panel.get());
    FailAllocations(k);
    try {
      accessory.setExtension(QStringLiteral("csv"));
    } catch (const std::bad_alloc&) {
    }
    completed = AllowAllocations().failures == 0;
    accessory.setExtension(QStringLiteral("txt"));
    EXPECT_EQ(panel->selectedNameFilter(), QStringLiteral("txt (*.txt)"));
    panel.reset();
  }
  EXPECT_TRUE(completed);
}

TEST(SaveFormat, NamesFollowTheChosenFormat) {
  const QStringList types{QStringLiteral("Numlet"), QStringLiteral("csv"), QStringLiteral("txt")};
  const struct { QString typed, extension, expected; } cases[] = {
      {QStringLiteral("Budget"), QStringLiteral("csv"), QStringLiteral("Budget.csv")},
      {QStringLiteral("Budget.txt.Numlet"), QStringLiteral("csv"), QStringLiteral("Budget.csv")},
      {QStringLiteral("Budget.CSV"), QStringLiteral("Numlet"), QStringLiteral("Budget.Numlet")},
      {QStringLiteral("Budget.2024"), QStringLiteral("txt"), QStringLiteral("Budget.2024.txt")},
      {QStringLiteral("Budget.csv.csv"), QStringLiteral("Numlet"), QStringLiteral("Budget.Numlet")},
      {QStringLiteral(".csv"), QStringLiteral("Numlet"), QStringLiteral(".csv.Numlet")},  // a hidden name
      {QString(), QStringLiteral("txt"), QStringLiteral("Untitled.txt")},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FLDocumentSaveFormatVC::EnforcedName(c.typed, types, c.extension), c.expected) << c.typed.toStdString();
}

}  // namespace
