// A sheet shown in a window whose undo stack records every step through the document's undo
// archiver, with the whole document written as XML so that a test can compare the states
// before a command, after it, after its undo and after its redo.
#pragma once

#include <gtest/gtest.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/model/caXmlTags.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/shell/FLUndoManager.h"
#include "ModelTestSupport.h"
#include "SheetTestSupport.h"

#include <QStringList>

#include <functional>
#include <string>
#include <vector>

// The archiver, noting what it was asked to record; it refuses every step while `refuse` is on.
class RecordingArchiver : public CAUndoArchiver {
 public:
  using CAUndoArchiver::CAUndoArchiver;

  bool setUndoAction(uint32_t action, uint32_t descriptor, void* data, const void* context) override {
    actions.push_back(action);
    descriptors.push_back(descriptor);
    contexts.push_back(context ? *static_cast<const CAUndoContext*>(context) : CAUndoContext{});
    if (refuse) return false;
    return CAUndoArchiver::setUndoAction(action, descriptor, data, context);
  }

  bool refuse = false;
  std::vector<uint32_t> actions;
  std::vector<uint32_t> descriptors;
  std::vector<CAUndoContext> contexts;
};

class UndoWindow : public FakeWindow {
 public:
  explicit UndoWindow(CADocument& document) : archiver(document) {
    manager.setDelegate(&archiver);
    manager.setBufferSize(CAUndoArchiver::kBufferSize);
    manager.setCapacity(CAUndoArchiver::kCapacity);
  }
  FLUndoManager* undoManager() override { return &manager; }
  void adjustCellViewForNewData() override { ++adjusts; }
  void jumpToSelection() override { ++jumps; }
  void scrollAfterDelete() override { ++scrollsAfterDelete; }
  void giveAlert(const QString& message, const QString& information) override {
    alerts.append(message + QLatin1Char('|') + information);
  }

  // Declared before the stack, which frees its steps through the archiver as it goes.
  RecordingArchiver archiver;
  FLUndoManager manager;
  int adjusts = 0;
  int jumps = 0;
  int scrollsAfterDelete = 0;
  QStringList alerts;
};

// Everything the document writes of itself: its options, columns, rows and cells.
inline QString DocumentXml(CADocument& document) {
  FLXmlEncoder encoder;
  encoder.openTag(XmlName(kXmlSpreadsheet));
  document.saveDocumentInfo(encoder, true);
  document.saveColumns(encoder);
  encoder.openTag(XmlName(kXmlRows));
  for (const std::unique_ptr<CARow>& row : document.rows()) row->saveToXml(encoder, &document);
  encoder.closeTag(XmlName(kXmlRows));
  encoder.closeTag(XmlName(kXmlSpreadsheet));
  return encoder.xml();
}

class EditTest : public testing::Test {
 protected:
  EditTest() { document.setController(&window); }
  ~EditTest() override { document.setController(nullptr); }

  CACell& enter(const char* at, const char* text) {
    CACell& cell = *document.cellAtGridPointImperative(A1(at));
    cell.setFormula(QString::fromUtf8(text));
    return cell;
  }
  CACell* cell(const char* at) const { return document.cellAtGridPoint(A1(at)); }
  // The entered text, or "-" where there is no cell.
  QString text(const char* at) const {
    const CACell* c = cell(at);
    return c ? c->formula() : QStringLiteral("-");
  }
  // The value as text, "-" where there is no cell or no number.
  QString value(const char* at) const {
    const CACell* c = cell(at);
    if (!c || !c->number()) return QStringLiteral("-");
    return c->number()->description();
  }
  void select(const char* from, const char* to) { document.setSelectionRange(Range(from, to)); }
  void selectColumns(int64_t first, int64_t last) { document.setSelectionRange(Columns(first, last)); }
  void selectRows(int64_t first, int64_t last) { document.setSelectionRange(Rows(first, last)); }
  // As a standard string, so that a failure shows the difference line by line.
  std::string xml() { return DocumentXml(document).toStdString(); }

  // Runs the command as one step; its undo must give back the document as it was, its redo the
  // document the command made, and so on once more.
  void expectUndoAndRedo(const std::function<void()>& command) {
    document.evaluate();
    const std::string before = xml();
    const uint32_t steps = window.manager.inUseCount();
    command();
    const std::string after = xml();
    ASSERT_NE(before, after) << "the command changed nothing";
    ASSERT_EQ(window.manager.inUseCount(), steps + 1) << "the command is not one step";
    window.manager.undo();
    EXPECT_EQ(xml(), before);
    window.manager.redo();
    EXPECT_EQ(xml(), after);
    window.manager.undo();
    EXPECT_EQ(xml(), before);
    window.manager.redo();
  }

  ModelEnvironment environment;
  CADocument document;
  UndoWindow window{document};
};
