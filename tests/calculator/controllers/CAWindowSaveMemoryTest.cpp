// Every save of a window (Save, Save As in each format, Save a Copy, the PDF export) run again and
// again with the first, second, third, ... allocation made to fail: after each failure the program
// goes on, the file on disk is the old one or the new one whole, nothing else is left in the
// folder, the window is as it was (sheet, history, file, unsaved mark) or the save is done and
// all of it says so, and the alert tells which.
#include "support/AllocationFailures.h"

#include "CommandMemoryTestSupport.h"

#include "calculator/model/CACell.h"
#include "framlet/shell/FLDocument.h"
#include "support/TestFiles.h"

#include <QAction>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <string>

namespace {

enum class Way { InPlace, SaveAs, Copy };

class WindowSaveMemoryTest : public CommandMemoryTest, public testing::WithParamInterface<int> {
 protected:
  QString inFolder(const QString& name) const { return QDir(folder_.path()).filePath(name); }

  // What an item holds: a file's bytes, or a folder's files by their paths in it. A PDF is whole
  // when it begins and ends as one; its bytes carry the time it was made.
  static std::string contentOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return "(none)";
    if (!info.isDir()) {
      const QByteArray bytes = ReadFileBytes(path);
      if (path.endsWith(QLatin1String(".pdf")))
        return bytes.startsWith("%PDF-") && bytes.trimmed().endsWith("%%EOF") ? "(whole PDF)" : "(broken PDF)";
      return bytes.toStdString();
    }
    std::string content;
    QDirIterator parts(path, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    std::map<QString, QByteArray> files;
    while (parts.hasNext()) {
      const QString part = parts.next();
      files[QDir(path).relativeFilePath(part)] = ReadFileBytes(part);
    }
    for (const auto& [name, bytes] : files) content += name.toStdString() + ":\n" + bytes.toStdString() + '\n';
    return content;
  }
  // The names in the folder, hidden ones included.
  QStringList listing() const {
    QStringList names = QDir(folder_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
  }

  // The document saved as "Doc.Numlet" (the old version), then changed by one step: what each
  // attempt starts from.
  void begin() {
    if (grid()->isTyping()) grid()->stopTyping(false);
    if (QFileDialog* panel = controller.savePanel()) panel->reject();
    CADocument& sheet = document();
    if (base_.isEmpty()) {
      for (int64_t y = 0; y < 5; ++y)
        for (int64_t x = 0; x < 3; ++x)
          sheet.cellAtGridPointImperative({x, y})->setFormula(
              (x + y) % 2 ? QStringLiteral("text %1").arg(10 * x + y) : QString::number(3 * y - x));
      sheet.cellAtGridPointImperative({3, 0})->setFormula(QStringLiteral("=SUM(A1:A5)"));
      sheet.evaluate();
      base_ = sheet.archiveWholeDocUtf8ForUndo();
    }
    QDir(folder_.path()).removeRecursively();
    QDir().mkpath(folder_.path());
    controller.undoManager()->clearUndo();
    sheet.restoreWholeDocFromUndo(base_);
    sheet.evaluate();
    sheet.setNoPreview(true);
    sheet.setMakeBackups(true);
    sheet.setFilePath(QString());
    ASSERT_TRUE(sheet.saveTo(document_, false, false));
    sheet.setSelectionRange(GridRange{{0, 0}, {2, 1}});
    item("bold:")->trigger();
    sheet.setSelectionPoint(GridPoint{0, 0});
    ASSERT_TRUE(sheet.dirty());
    controller.validateMenuItems();
  }

  QAction* item(const char* name) const {
    return controller.mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
  }

  // The save, as its command runs it: Save from its menu item; Save As and Save a Copy from their
  // panel, opened and given the name with nothing failing, and its Save pressed.
  std::function<void()> prepare(Way way, const QString& name) {
    if (way == Way::InPlace) return [this] { item("saveDocument:")->trigger(); };
    if (way == Way::SaveAs) {
      controller.saveDocumentAs();
    } else {
      controller.saveDocumentTo();
    }
    QFileDialog* panel = controller.savePanel();
    EXPECT_NE(panel, nullptr);
    if (!panel) return [] {};
    panel->setDirectory(folder_.path());
    panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
    return [this, panel] { controller.runCommand([panel] { QMetaObject::invokeMethod(panel, "accept"); }); };
  }

  QTemporaryDir folder_;
  const QString document_ = inFolder(QStringLiteral("Doc.Numlet"));
  QByteArray base_;
};

TEST_P(WindowSaveMemoryTest, EverySaveRunningOutOfMemoryLeavesTheOldFileOrSavesWhole) {
  const struct {
    const char* name;
    Way way;
    const char* target;  // in the folder; Save writes the document's own file
  } saves[] = {
      {"Save", Way::InPlace, "Doc.Numlet"},
      {"Save As a package", Way::SaveAs, "Out.Numlet"},
      {"Save As CSV", Way::SaveAs, "Out.csv"},
      {"Save As text", Way::SaveAs, "Out.txt"},
      {"Save As DIF", Way::SaveAs, "Out.dif"},
      {"Save a Copy as CSV", Way::Copy, "Out.csv"},
      {"Save As RTF", Way::SaveAs, "Out.rtf"},
  };
  const auto& save = saves[GetParam()];
  SCOPED_TRACE(save.name);
  const QString target = inFolder(QLatin1String(save.target));
  const bool inPlace = save.way == Way::InPlace;

  // What the save makes when nothing fails.
  begin();
  const std::string oldDocument = contentOf(document_);
  const std::string sheet = sheetXml(), steps = history();
  const QStringList before = listing();
  std::function<void()> command = prepare(save.way, QLatin1String(save.target));
  FailAllocations(0);
  command();
  const int64_t allocations = AllowAllocations().allocations;
  ASSERT_TRUE(QTest::qWaitFor([&] { return document().saveFinished(); }));
  const std::string saved = contentOf(target);
  ASSERT_NE(saved, "(none)");
  ASSERT_NE(saved, inPlace ? oldDocument : "(none)");
  const QStringList after = listing();
  // A save under the document's new name takes it; a copy, a page and a PDF leave it.
  const bool takesName = document().filePath() == target;
  const std::string stepsSaved = history();
  ASSERT_TRUE(inPlace || !takesName || stepsSaved != steps);
  ASSERT_GT(allocations, 20);

  int64_t failed = 0, savedAnyway = 0;
  bool completed = false;
  // Every point of the first 300, then a stride that grows with the count.
  for (int64_t k = 1; k < 400000 && !completed; k += k < 300 ? 1 : 5 + k / 50) {
    SCOPED_TRACE(k);
    begin();
    command = prepare(save.way, QLatin1String(save.target));
    const qsizetype told = alerts.size();
    FailAllocations(k);
    command();
    const AllocationCounts counts = AllowAllocations();
    completed = counts.failures == 0;
    const QStringList said = alerts.mid(told);
    const std::string now = contentOf(target);
    if (now == saved) {
      // Done, whatever failed after the file was in place: told as nothing but done, and the
      // window follows (at once, or on a later turn).
      ++savedAnyway;
      EXPECT_FALSE(said.contains(memoryAlert())) << said.join(QLatin1Char('\n')).toStdString();
      EXPECT_TRUE(std::none_of(said.begin(), said.end(), [](const QString& alert) {
        return alert.startsWith(QLatin1String(kSaveFailedMessage));
      })) << said.join(QLatin1Char('\n')).toStdString();
      EXPECT_TRUE(QTest::qWaitFor([&] { return document().saveFinished(); }));
      EXPECT_EQ(listing(), after);
      if (inPlace) EXPECT_EQ(contentOf(inFolder(QStringLiteral("Doc~.Numlet"))), oldDocument);
      if (takesName || inPlace) {
        EXPECT_EQ(document().filePath(), target);
        EXPECT_FALSE(document().dirty());
        EXPECT_FALSE(controller.mainWindow()->isWindowModified());
        EXPECT_EQ(history(), stepsSaved);
      } else {
        EXPECT_EQ(document().filePath(), document_);
        EXPECT_TRUE(document().dirty());
        EXPECT_EQ(history(), steps);
      }
      EXPECT_EQ(sheetXml(), sheet);
      continue;
    }
    ++failed;
    // Not saved: the old file (none at a new name), nothing else left, the window as it was,
    // and one alert that says the save failed.
    EXPECT_EQ(now, inPlace ? oldDocument : "(none)");
    EXPECT_EQ(listing(), before);
    EXPECT_EQ(contentOf(document_), oldDocument);
    EXPECT_EQ(document().filePath(), document_);
    EXPECT_TRUE(document().dirty());
    EXPECT_TRUE(controller.mainWindow()->isWindowModified());
    EXPECT_EQ(sheetXml(), sheet);
    EXPECT_EQ(history(), steps);
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said.front() == memoryAlert() || said.front().startsWith(QLatin1String(kSaveFailedMessage)))
        << said.front().toStdString();
  }
  EXPECT_TRUE(completed);
  EXPECT_GT(failed, 10);
  begin();
}

INSTANTIATE_TEST_SUITE_P(Saves, WindowSaveMemoryTest, testing::Range(0, 7));

}  // namespace
