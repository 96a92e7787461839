// A document window for benchmarks: it keeps the undo stack, as the application's windows do,
// and draws nothing.
#pragma once

#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/shell/FLUndoManager.h"

class BenchUndoWindow : public CADocumentWindow {
 public:
  explicit BenchUndoWindow(CADocument& document) : archiver(document) {
    manager.setDelegate(&archiver);
    manager.setBufferSize(CAUndoArchiver::kBufferSize);
    manager.setCapacity(CAUndoArchiver::kCapacity);
  }
  void redrawCell(const GridPoint&) override {}
  void redrawRange(const GridRange&) override {}
  void redrawSelectionForDomain(int32_t) override {}
  void removeTooltipForCell(const CACell&) override {}
  FLUndoManager* undoManager() override { return &manager; }

  CAUndoArchiver archiver;
  FLUndoManager manager;
};
