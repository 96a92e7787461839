// The spreadsheet's undo steps: the actions (which part of the document a step archives), the
// descriptors that name steps in the Edit menu, the context a step is recorded with, and the
// undo stack's delegate that archives a step's part of the sheet as XML texts (and a cells step's
// lone numbers packed) when it is recorded and restores it, by exchange with the current state,
// on undo and redo.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "calculator/model/CARow.h"
#include "framlet/shell/FLUndoDelegate.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

class CADocument;

// Undo actions: what a step archives and restores.
enum : uint32_t {
  kUndoActionCells = 0,            // the cells of the context's range
  kUndoActionColumns = 1,          // every column
  kUndoActionLayout = 2,           // the document options, the password and its hint
  kUndoActionLayoutColumns = 3,    // the options and the columns
  kUndoActionLayoutRows = 4,       // the options and the row heights
  kUndoActionFormats = 5,          // the formats of the context's domain in its range
  kUndoActionRows = 6,             // the row heights
  kUndoActionWholeDocument = 7,    // columns, rows with their cells, selection
  // The cells of the context's range and, where it is whole columns, every column, where it is
  // whole rows, the rows and their formats: a paste of whole lines gives them its source's.
  kUndoActionCellsAndLines = 8,
};
inline constexpr uint32_t kUndoActionCount = 9;

// Undo descriptors: the step's name in the Edit menu (UndoDescriptorName).
enum : int32_t {
  kUndoUnnamed = 0,
  kUndoBorder = 1,
  kUndoCheckbox = 2,
  kUndoClear = 3,
  kUndoColor = 4,
  kUndoCut = 5,
  kUndoDelete = 6,
  kUndoDocumentFormat = 7,
  kUndoDragCells = 8,
  kUndoDragColumns = 9,
  kUndoDragRows = 10,
  kUndoFill = 11,
  kUndoFont = 12,
  kUndoFormula = 13,
  kUndoHeaderFooter = 14,
  kUndoRowHeight = 15,
  kUndoPicture = 16,
  kUndoInsert = 17,
  kUndoLink = 18,
  kUndoMargins = 19,
  kUndoNote = 20,
  kUndoNumber = 21,
  kUndoPageSetup = 22,
  kUndoPassword = 23,
  kUndoPaste = 24,
  kUndoPasteStyle = 25,
  kUndoPrintOptions = 26,
  kUndoReplace = 27,
  kUndoSort = 28,
  kUndoTextFormat = 29,
  kUndoTyping = 30,
  kUndoColumnWidth = 31,
};
inline constexpr int32_t kUndoDescriptorCount = 32;

// The name of a descriptor ("Clear", "Paste", ...); "" for 0, and for a descriptor beyond the
// table after the assertion "Bad undo descriptor".
QString UndoDescriptorName(uint32_t descriptor);

// The range a cells step covers (setCellUndo).
enum : int32_t {
  kUndoRangeSelection = 5,
  kUndoRangeActiveCell = 6,
  kUndoRangeFullExtent = 7,  // and any other value
};

// What a step is recorded with: the range and the format domain it concerns.
struct CAUndoContext {
  GridRange range;
  int32_t domain = 0;
};

// The cells of a cells step that hold a number and nothing else, kept as a row keeps them (a
// plain entry of 16 bytes: the number's bits, its kind and column), row by row. Most cells of a
// large sheet are such numbers; as a text of XML each, a step took ten times what the sheet did.
struct CAPackedNumbers {
  struct Row {
    int64_t y;
    uint64_t count;  // its entries, the next ones in `entries`, ascending by column
  };
  std::vector<Row> rows;  // ascending by y
  std::vector<CACellEntry> entries;

  // The entry (a plain one) goes last, in row y: rows come in ascending order, a row's entries
  // in ascending columns.
  void add(int64_t y, CACellEntry entry);
};

// One step's archive. Its texts are a whole document, a layout (then the password and its hint),
// or one text per cell, column, row or format; a cells step keeps its lone numbers packed
// instead. A cells or formats step also notes which rows (columns) of its range existed, and the
// selection and active cell.
struct CAUndoArchive {
  std::vector<QString> texts;
  // A whole-document step's text, as UTF-8.
  QByteArray document;
  CAPackedNumbers numbers;
  std::vector<int64_t> rows;     // ascending
  std::vector<int64_t> columns;  // ascending
  std::optional<GridRange> selection;
  std::optional<GridPoint> active;
  // A step of cells and lines: the columns as archived (kUndoActionColumns does), or the rows
  // that existed and the formats of those that had one, ascending.
  std::optional<std::vector<QString>> lineColumns;
  std::optional<std::vector<int64_t>> allRows;
  std::vector<std::pair<int64_t, CAFormat>> rowFormats;

  // What the archive holds in memory, its own record included.
  size_t bytes() const;
};

// The document's part of a step: archives what the action names (NO when it could not be
// written), and restores an archive of the action. Actions 0, 1, 5, 6 and 8 need the context.
//
// A restore gives back the document as it was, not only the cells, formats or heights: a cells
// or formats step also notes which rows (columns) of its range existed and the selection, so
// that rows, columns and cells made by the step go again and the selection comes back; a
// layout step with columns removes columns the archive does not hold; height steps remove the
// heights (and the empty rows) the step added.
bool ArchiveForUndoAction(CADocument& document, uint32_t action, const CAUndoContext& context,
                          CAUndoArchive& archive);
void RestoreUndoAction(CADocument& document, uint32_t action, const CAUndoContext& context,
                       const CAUndoArchive& archive);

// The undo stack's delegate for one document. Each step's record (in the stack's data buffer)
// holds the key of its archive, its range and domain, and the document's dirty flag from
// before the step; the archives themselves are kept here. The window derives from it to mark
// itself edited and to redraw.
class CAUndoArchiver : public FLUndoDelegate {
 public:
  // The data buffer the stack must give each step, and the stack's capacity.
  static constexpr uint64_t kBufferSize = 48;
  static constexpr uint32_t kCapacity = 25;

  explicit CAUndoArchiver(CADocument& document) : document_(document) {}
  CAUndoArchiver(const CAUndoArchiver&) = delete;
  CAUndoArchiver& operator=(const CAUndoArchiver&) = delete;

  bool setUndoAction(uint32_t action, uint32_t descriptor, void* data, const void* context) override;
  bool undoOrRedo(uint32_t* action, uint32_t descriptor, void* data, bool isRedo) override;
  void revertUndoAction(uint32_t action, uint32_t descriptor, void* data) override;
  QString undoActionName(uint32_t descriptor, const void* data) override;
  void freeUndoAction(uint32_t action, uint32_t descriptor, void* data, bool freeAll) override;
  void didPopUndoAction(uint32_t action, uint32_t descriptor, void* data) override;

  // The archive of the step recorded last, while it lives: what a command that fails part-way
  // restores, instead of archiving the same cells a second time.
  const CAUndoArchive* lastRecordedArchive() const;
  // How many steps it has recorded: a step merged into the one before records none.
  uint64_t stepsRecorded() const { return nextArchiveKey_ - 1; }
  // Archives held for live steps, and the bytes they take.
  size_t archiveCount() const { return archives_.size(); }
  size_t archiveBytes() const;

 protected:
  CADocument& document() const { return document_; }
  // A step was recorded: the document has become dirty.
  virtual void stepRecorded() {}
  // A step was undone or redone; the document's dirty flag is the step's again.
  virtual void stepReplayed(bool /*isRedo*/) {}
  // The step just recorded was dropped and the dirty flag is back as it was.
  virtual void stepPopped() {}

 private:
  CADocument& document_;
  std::unordered_map<uint64_t, CAUndoArchive> archives_;
  uint64_t nextArchiveKey_ = 1;
};
