// The spreadsheet document: one sparse sheet of rows, columns and cells with its formats,
// pictures and options, derived from the framework's document. This header gathers the
// document's members; they are defined by subject in CADocument_<Subject>.cpp files.
#pragma once

#include "framlet/foundation/flSeededHash.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CAGridPoint.h"
#include "calculator/model/CAReferenceTable.h"
#include "calculator/model/TextImportDelegate.h"
#include "calculator/model/caTextServices.h"
#include "calculator/model/formula/CAFormulaToken.h"
#include "calculator/model/formula/caRangeMemo.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/shell/FLDocument.h"
#include "platform/NotificationCenter.h"

#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QString>
#include <QVariant>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

class CACell;
class CACellList;
struct CAPackedNumbers;
class CAColumn;
class QMimeData;
class QTextDocument;
struct GlimmetDoc;
class QTimer;
class CADocumentWindow;
class CAPicture;
class CARow;
class FLReadingMeter;
class FLXmlDecoder;
class FLUndoManager;
class FLXmlEncoder;
struct CABigMove;
struct CAFillInfo;
struct FLError;

// Format domains.
enum : int32_t {
  kDomainCell = 1,
  kDomainColumn = 2,
  kDomainRow = 3,
  kDomainDocument = 4,
};

// Clear types of clearCell.
enum : int32_t {
  kClearAll = 0,       // contents and formats
  kClearFormats = 1,
  kClearContents = 2,
};

// Edit types of insert and delete.
enum : int32_t {
  kEditCellsHorizontal = 0,  // cells shift left or right
  kEditCellsVertical = 1,    // cells shift up or down
  kEditColumns = 2,
  kEditRows = 3,
  kEditFromSelection = 4,  // decided by the selection
};

// The sort's two flags, in order.
struct CASortContext {
  bool byColumns = false;
  bool reverse = false;
};

inline constexpr int64_t kCellPaddingDefault = 38100;  // 3 points
inline constexpr int64_t kDefaultDigitCount = 12;
// Narrowest column widths that a width setting keeps (EMU).
inline constexpr int64_t kMinimumWidthMetric = 108000;
inline constexpr int64_t kMinimumWidthInches = 114300;
// applyFormat's digit count meaning "leave the widths alone".
inline constexpr int64_t kKeepColumnWidths = -1000000;
inline constexpr Kolor kActiveLinkKolor = 0x64D92B27;

class CADocument : public FLDocument, public TextImportDelegate {
 public:
  using RowList = std::vector<std::unique_ptr<CARow>>;
  using ColumnList = std::vector<std::unique_ptr<CAColumn>>;
  using PictureTable = FLKeyedTable<QString, std::shared_ptr<CAPicture>>;
  // Called with a cell, its index in its row and the row's stop flag.
  using CellBlock = std::function<void(CACell& cell, size_t index, bool& stop)>;
  using CellReadingBlock = std::function<void(const CACell& cell, bool& stop)>;

  // Turns one of the document's passing flags (settingUndo, saveWithPassword, opening) off
  // however the work it marks ends; `on` turns it on at once.
  class FlagScope {
   public:
    FlagScope(CADocument& document, void (CADocument::*setter)(bool), bool on)
        : document_(document), setter_(setter) {
      if (on) (document_.*setter_)(true);
    }
    ~FlagScope() { (document_.*setter_)(false); }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

   private:
    CADocument& document_;
    void (CADocument::*setter_)(bool);
  };

  // Starts with the preferences' defaults (digits or width, margins, zoom, backups, preview,
  // font) and an empty sheet.
  CADocument();
  ~CADocument() override;

  // The window showing the document, not owned; null when there is none.
  CADocumentWindow* controller() const { return controller_; }
  void setController(CADocumentWindow* controller) { controller_ = controller; }
  void prepareToClose() override;
  // For a quit: when the document goes, its rows, cells and reference table are let go whole
  // instead of being freed one by one; the process ends soon after and takes the memory back.
  void keepCellsUntilExit() { keepCellsUntilExit_ = true; }
  // Locked by the framework, or protected by a password not yet entered.
  bool isLocked() const override;

  // ---- Storage (CADocument_Storage.cpp) ---------------------------------------------------

  // Rows ascending by gridY, columns ascending by gridX, one per index. Code that edits these
  // lists directly must keep them so.
  const RowList& rows() const { return rows_; }
  // For changes to the rows themselves: the folds kept for recalculation go (dropKeptFolds).
  RowList& mutableRows();
  const ColumnList& columns() const { return columns_; }
  ColumnList& mutableColumns() { return columns_; }
  const PictureTable& pictures() const { return pictures_; }
  PictureTable& mutablePictures() { return pictures_; }
  // The picture files of an opened package, by guid, that no cell has shown yet: a picture is
  // decoded (priced by its pixels first) when the first cell that shows it is read, so that a
  // package's pictures no cell shows cost nothing.
  void setPendingPictureFiles(FLKeyedTable<QString, QString> files) { pendingPictureFiles_ = std::move(files); }
  // The picture of the guid: the document's, else the one its pending file gives (entered in
  // pictures); null when there is neither or the file is no picture.
  std::shared_ptr<CAPicture> pictureNamed(const QString& guid);
  // What decoding the pending pictures met since the last call: pictures kept undecoded, by why,
  // and files that were no picture; the pending files that no cell showed are dropped.
  struct PictureReading {
    uint64_t pastDecodeLimit = 0;
    uint64_t pastBudget = 0;
    uint64_t unreadable = 0;
  };
  PictureReading takePictureReading();

  // Absolute (one's-complemented) coordinates are folded: $B$3 finds B3.
  CARow* row(int64_t y) const;
  CARow* rowImperative(int64_t y);
  // The x as given: a negative x finds no column.
  CAColumn* column(int64_t x) const;
  CAColumn* columnImperative(int64_t x);
  // Inserts a row read from a file at its place, replacing a row with the same y.
  CARow* addRow(std::unique_ptr<CARow> row);
  CAColumn* addColumn(std::unique_ptr<CAColumn> column);

  CACell* cellAtGridPoint(const GridPoint& point) const;
  // Makes the cell when missing; null for a point off the grid (past the last column or row),
  // where no cell may be made.
  CACell* cellAtGridPointImperative(const GridPoint& point);
  // Stores the cell at the point, replacing ("Storing over existing cell") a cell there.
  CACell* storeCell(std::unique_ptr<CACell> cell, const GridPoint& point);
  // Stores the cell at its own point, replacing one there; unless opening, re-lays the
  // overflowing text there. YES when its row had to be created.
  bool storeCell(std::unique_ptr<CACell> cell);
  // The cell at the point, when it holds a number and nothing else, becomes a plain entry, as a
  // package's numbers are when read: for imports, whose cells nothing else points at yet.
  void compactCellAt(const GridPoint& point);
  // The import entry point: value type 1 makes a checkbox checked by the value's truth; any
  // other type enters the value's text as if typed. A point off the grid is refused: nothing is
  // stored.
  void setCellAtPoint(const GridPoint& point, const QVariant& value, int32_t valueType) override;
  bool cellAdded() const { return cellAdded_; }
  void setCellAdded(bool added) { cellAdded_ = added; }
  // The rows that may hold a cell to recalculate (one that needs it, or whose result is
  // volatile), noted by the cells as they come to (CACell::setNeedRecalc, a move, a volatile
  // result), so that the recalculation after a small edit walks those rows and not the sheet.
  // Past a share of the rows the notes stop and every row is walked.
  void noteRecalcRow(int64_t y);
  // For the recalculation: hands over the rows noted since the last one, NO (with none) when
  // every row is to be walked; notes go on into a fresh list, recalcRowsNoted, for as long as
  // notesRecalcRows.
  bool takeRecalcRows(std::vector<int64_t>& rows);
  std::vector<int64_t>& recalcRowsNoted() { return recalcRows_; }
  bool notesRecalcRows() const { return !recalcEveryRow_; }
  // The cells whose values changed since the folds of the last recalculation were kept: each
  // point told of (setRecalcForDependents, a cell stored), and the cells a recalculation
  // evaluates. The recalculation's memo forgets what they are part of.
  CAChangedCells& changedCells() { return changedCells_; }
  // Drops the kept folds: after a change that moves cells or that is told to no one.
  void dropKeptFolds();
  // Whether the last recalculation stopped part-way (memory ran out): its cells are still marked,
  // and the values shown may be from before the edit until the next one runs.
  bool recalcUnfinished() const { return recalcUnfinished_; }
  // The next recalculation walks every row.
  void noteEveryRowForRecalc() {
    recalcEveryRow_ = true;
    std::vector<int64_t>().swap(recalcRows_);
  }

  // The occupied block: all zeros without cells. The placeholders of overflowing text occupy
  // nothing; with the overflow, the columns that texts overflow into as shown count
  // (CADocument_Content.cpp).
  GridRange extent(bool withOverflow = false) const;
  // The block of the cells that hold content (a value, a format or a note), leaving out the
  // placeholders of overflowing text and empty cells: what exports and printing cover. All
  // zeros without such cells (CADocument_Content.cpp). With the overflow, the columns that texts
  // overflow into as shown count too.
  GridRange contentExtent(bool withOverflow = false) const;
  // The placeholders that a text cell's overflow laid out to its right, before the text changed
  // or went: those no text covers any more are removed after the next evaluation.
  void noteOverflowToTakeBack(const GridPoint& textCell, uint64_t columns);
  void takeBackOverflow();
  // A cell left with nothing (no value, format or note) is no cell: whatever empties a cell, or
  // makes one that may stay empty, notes its point, and once the change is over (the evaluation
  // that ends every edit) the cells still empty leave their rows, and rows left with nothing but
  // their place go too. Later commands, the extent and the files never meet them.
  void noteEmptiedCell(const GridPoint& point);
  void dropEmptiedCells();
  // While one lives, cells emptied meanwhile stay where they are: its holder keeps a cell's
  // address across an evaluation. The last to go drops them.
  class CellHold {
   public:
    explicit CellHold(CADocument& document) : document_(document) { ++document_.cellHolds_; }
    ~CellHold() {
      if (--document_.cellHolds_ == 0) document_.dropEmptiedCells();
    }
    CellHold(const CellHold&) = delete;
    CellHold& operator=(const CellHold&) = delete;

   private:
    CADocument& document_;
  };
  GridRange fullExtent() const;
  GridPoint maxGridPoint(bool withOverflow = false) const;
  void registerDisplayGridPoint(const GridPoint& point);
  const GridPoint& maxDisplayGridPoint() const { return maxDisplayGridPoint_; }
  void setMaxDisplayGridPoint(const GridPoint& point) { maxDisplayGridPoint_ = point; }
  // The largest x of a cell with a value in the rows from the range's start y to its end y,
  // or -1.
  int64_t maximumX(const GridRange& range) const;
  // The last row holding a cell with a value within the range's columns, or -1.
  int64_t maximumY(const GridRange& range) const;
  // Whether totals of the range go in the column right of it (YES) or the row below (NO).
  bool fillColumnForRange(const GridRange& range) const;
  bool hasImages() const;

  // The blocks may keep or change the cells: plain numbers become cells first.
  void enumerateCellsUsingBlock(const CellBlock& block) const;
  // A wildcard start coordinate takes every row (y) or every column (x).
  void enumerateCellsinRange(const GridRange& range, const CellBlock& block) const;
  // The same walk for a block that only reads: plain numbers are read where they are, as cells
  // made for the reading (whose addresses do not last).
  void readCellsInRange(const GridRange& range, const CellReadingBlock& block) const;

  // Geometry, in points.
  float heightOfRow(int64_t y) const;
  float widthOfColumn(int64_t x) const;
  bool shouldStripeRow(int64_t y) const;
  const QFont& font() const { return font_; }
  // Measures "0" in the font for the digit width, line height and leading; posts "numlet.font".
  void setFont(const QFont& font);
  double digitWidth() const { return digitWidth_; }
  double lineHeight() const { return lineHeight_; }
  double leading() const { return leading_; }
  int64_t defaultDigitCount() const { return defaultDigitCount_; }
  void setDefaultDigitCount(int64_t count);
  int64_t defaultWidth() const { return defaultWidth_; }
  // At least the narrowest width of the preferred units (0 stays 0); the digit count becomes -1.
  void setDefaultWidth(int64_t width);
  int64_t minimumHeight() const { return minimumHeight_; }
  void setMinimumHeight(int64_t height) { minimumHeight_ = height; }
  const GridPoint& cellPadding() const { return cellPadding_; }
  void setCellPadding(const GridPoint& padding) { cellPadding_ = padding; }
  Kolor stripeKolor() const { return stripeKolor_; }
  void setStripeKolor(Kolor kolor) { stripeKolor_ = kolor; }
  uint64_t stripeInterval() const { return stripeInterval_; }
  void setStripeInterval(uint64_t interval) { stripeInterval_ = interval; }
  void resetRowHeights();
  void resetColumnWidths();
  // Picture cells of the columns size themselves again (their size follows the column width).
  void recalcImageCellsInColumnRange(const GridRange& range);

  // Overflowing text: cells whose text spills right must be laid out again.
  void invalidateLongText(const GridPoint& point);
  void invalidatelLongTextForRow(int64_t y);
  void invalidateAllLongText();
  // Texts are laid out for the columns' widths: every recalculation compares the widths with
  // those the texts were laid out for and marks the texts a changed width reaches, so that
  // whatever changed a width (a drag, a pane, the font, an undo, a sort) lays them out again.
  void invalidateLongTextForChangedWidths();
  // Formats of the range in that domain changed: its texts may be wider or narrower now.
  void invalidateLongTextForFormats(const GridRange& range, int32_t domain);
  // Lays out again the texts (and sizes the pictures) marked above, and those a changed width
  // reaches, evaluating nothing: a change of layout (a style, a width, a height, a font, showing
  // formulas, and their undo) leaves every value as it was, RAND and NOW included.
  void layOutLongText();
  // After a change of layout over the whole sheet: lays the texts out and redraws.
  void invalidateAfterLayoutChange();

  // Forwarded to the window.
  void removeTooltipForCell(const CACell& cell);
  void redrawCell(const GridPoint& point);
  void redrawRange(const GridRange& range);

  // For the edit commands: clears a cell of its row's list by clear type; kClearAll removes
  // (and destroys) the cell.
  void clearCell(CACell* cell, CACellList& cells, int32_t clearType);
  int compareForSort(const CASortContext& context, int64_t index1, int64_t index2) const;
  int compareCell(const CACell* a, const CACell* b, bool reverse) const;
  const GridPoint& sortKey1() const { return sortKey1_; }
  void setSortKey1(const GridPoint& point) { sortKey1_ = point; }
  const GridPoint& sortKey2() const { return sortKey2_; }
  void setSortKey2(const GridPoint& point) { sortKey2_ = point; }

  // ---- Formats by domain (CADocument_Formats.cpp) -----------------------------------------

  const CAFormat& defaultFormat() const { return defaultFormat_; }
  CAFormat& mutableDefaultFormat() { return defaultFormat_; }
  // Takes the format as the default: it sets everything, with a colour for text and background.
  void setDefaultFormat(const CAFormat& format);
  void resetDefaultFormat();
  CAFormat* formatForRow(int64_t y) const;
  CAFormat* formatForColumn(int64_t x) const;
  CAFormat* formatForDomain(int32_t domain, const GridPoint& point);
  CAFormat* formatForDomain(int32_t domain);
  CAFormat* formatForDomainImperative(int32_t domain, const GridPoint& point);
  CAFormat* formatForDomainImperative(int32_t domain);
  std::vector<CAFormat*> formatsInRange(const GridRange& range, int32_t domain, bool imperative);
  // Whether a change that makes missing formats over the range (formatsInRange imperative) stays
  // within the command limit, and whether applyFormat may copy into the selection: commands ask
  // before they record an undo step, so that a refusal leaves none behind.
  bool formatsFitCommandLimit(const GridRange& range, int32_t domain) const;
  bool canApplyFormat() const;
  // The format a cell is drawn and exported with: default (striped unless ignored), row,
  // column, cell, then link styling. A null cell takes the layers of (0, 0).
  CAFormat formatForCell(const CACell* cell, bool ignoreStripe) const;
  CAFormat formatForActiveCell() const;
  CAFormat composedFormat(const GridPoint& point) const;
  void setValue(int64_t value, uint64_t mask, int32_t domain);
  void toggleValueForMask(uint64_t mask, int32_t domain);
  void applyFormat(const CAFormat& format, int64_t digitCount, int64_t width);
  void clearFormatFromSelection();

  // ---- Selection ----------------------------------------------------------------------------

  const GridRange& selectionRange() const { return selectionRange_; }
  void setSelectionRange(const GridRange& range);
  void setSelectionPoint(const GridPoint& point);
  const GridPoint& activeCellPoint() const { return activeCellPoint_; }
  void setActiveCellPoint(const GridPoint& point);
  CACell* activeCell() const;
  const GridRange& typingSelectionRange() const { return typingSelectionRange_; }
  void setTypingSelectionRange(const GridRange& range) { typingSelectionRange_ = range; }
  const CATextRange& activeCellTextSel() const { return activeCellTextSel_; }
  void setActiveCellTextSel(const CATextRange& range) { activeCellTextSel_ = range; }
  // The formula popup shows the function list for the cell being typed.
  bool formulaPopupActive() const { return formulaPopupActive_; }
  void setFormulaPopupActive(bool on) { formulaPopupActive_ = on; }
  // 2 whole columns, 3 whole rows, else 1.
  int32_t selectedDomain() const;
  // Posts "gmb.selectionChange" and shows the selection's text colour in the colour panel; while
  // a SelectionHold is open, only notes that it is to be posted when the hold ends.
  void notifyOfSelectionChange();
  // Held by a command that moves the selection many times or changes the sheet in several
  // steps (a sort puts every line in place through the selection): the window redraws the
  // selection and hears of it once, when the outermost hold ends, not at every step.
  class SelectionHold {
   public:
    explicit SelectionHold(CADocument& document);
    // Running out of memory as the window hears of the selection fails the command, unless the
    // hold ends because the command is failing already.
    ~SelectionHold() noexcept(false);
    SelectionHold(const SelectionHold&) = delete;
    SelectionHold& operator=(const SelectionHold&) = delete;

   private:
    CADocument& document_;
    int unwinding_;
  };
  uint64_t colorChangeBlock() const { return colorChangeBlock_; }
  void suppressColorChange(bool suppress);

  // ---- Recalculation, undo and reference table (defined with those subjects) ---------------
  // A scratch document that is only read from (a sort's copy of its range) registers no
  // formula's references: it is never recalculated, and each registration would only be undone.
  void setKeepsNoReferences(bool on) { keepsNoReferences_ = on; }

  // Reference table and recalculation (CADocument_References.cpp). A formula's references are
  // registered when it is entered or moved to a point and dropped before it changes or leaves.
  void addDependencies(CAExpressionView expression, const GridPoint& point);
  void deleteDependencies(CAExpressionView expression, const GridPoint& point);
  // The same for a cell's own formula at its own point; other cells are left alone.
  void addReferencesOf(const CACell& cell);
  void dropReferencesOf(const CACell& cell);
  void addReferenceFrom(const GridPoint& from, const GridPoint& to);
  void removeReferenceFrom(const GridPoint& from, const GridPoint& to);
  // Marks the cells that refer to the point directly for recalculation.
  void setRecalcForDependents(const GridPoint& point);
  // Adds every cell that refers to the cell, directly or through other cells.
  void addRecalcDependencies(std::unordered_set<const CACell*>& set, const CACell& cell);
  void recalcEverything();
  // Evaluates the cells that need it, in dependency order; cycles get the circular error.
  void evaluate();
  // After an edit of row y (y < 0: the whole sheet, with redraws suppressed): recalculates and
  // redraws.
  void invalidateAfterCellEdit(int64_t y);
  CAReferenceTable& referenceTable() { return *references_; }
  bool setCellUndo(int32_t descriptor, int32_t rangeType);

  // ---- Structural edits (CADocument_Structure.cpp) ---------------------------------------
  // Each works on the selection as stored and keeps the reference table in step: a cell that
  // moves has its references removed at the old point and added at the new one. The shift is
  // (+w, 0) or (0, +h) to insert, (-w, 0) or (0, -h) to delete.

  void deleteCellHorizontal(const GridPoint& shift);
  void deleteCellVertical(const GridPoint& shift);
  void deleteColumn(const GridPoint& shift);
  void deleteRow(const GridPoint& shift);
  void insertCellHorizontal(const GridPoint& shift);
  void insertCellVertical(const GridPoint& shift);
  void insertColumn(const GridPoint& shift);
  void insertRow(const GridPoint& shift);
  // Formulas that name moved cells follow them; the edit range is the block whose cells moved
  // (the selection when none is given).
  void adjustExpressionsBy(const GridPoint& shift);
  void adjustExpressionsBy(const GridPoint& shift, const GridRange& editRange);
  void adjustExpressionsForBigMove(const CABigMove& move);
  // The row or column formats (and widths) of a whole-row or whole-column source selection go
  // to the rows or columns from this selection's start.
  void transferFormats(const CADocument& source);
  // The rows or columns of this document that transferFormats gives a format to, each with the
  // source's row or column it takes it from; the lines the selection becomes (none for a block).
  std::optional<GridRange> visitFormatTargets(
      const CADocument& source, const std::function<void(int64_t, const CARow*, const CAColumn*)>& visit) const;
  // Copies the cells of the source's selection to this selection's start, replacing what the
  // block covers. NO where the reading meter of the command (FLReadingMeter) stopped it part-way.
  bool transferCells(const CADocument& source, bool ignoreFormat, bool adjustReferences);
  // The same from a document that goes once its cells are copied (a paste's): each of its rows
  // lets its cells go as soon as they are copied, so that the cells are not held twice.
  bool transferCellsReleasing(CADocument& source, bool ignoreFormat, bool adjustReferences);

  // ---- Undo archives (CADocument_Undo.cpp) ---------------------------------------------------
  // Steps go to the window's undo stack; the stack's delegate (CAUndoArchiver) archives and
  // restores the part of the sheet that a step's action names.

  // The window's undo stack; null without a window, when steps are not recorded.
  FLUndoManager* undoManager() const;
  // Expires with the document: held weakly by what may outlive it (a command whose window
  // closes while it runs).
  std::weak_ptr<const char> lifeToken() const { return life_; }
  // Registers a cells step (action 0) over the selection (range type 5), the active cell (6) or
  // the full extent (any other); NO when the stack refused it and nothing may change.
  bool setCellUndoID(uint32_t undoID, int32_t descriptor, int32_t rangeType);
  // Registers a step of any action with its range and domain.
  bool setUndo(uint32_t undoID, uint32_t action, int32_t descriptor, const GridRange& range,
               int32_t domain);
  // Null on failure. The same text as UTF-8 (empty on failure): the form a step keeps, neither
  // converted to a string when written nor back when restored.
  QString archiveWholeDocForUndo();
  QByteArray archiveWholeDocUtf8ForUndo();
  QString archiveForUndoWithColumns(bool columns, bool rows);
  // One text per cell of the range that holds something; with `numbers`, the cells that hold a
  // number and nothing else go there instead, packed.
  bool archiveCellsForUndo(std::vector<QString>& archive, const GridRange& range,
                           CAPackedNumbers* numbers = nullptr);
  bool archiveColumnsForUndo(std::vector<QString>& archive);
  bool archiveRowsForUndo(std::vector<QString>& archive);
  void addArchivedFormatsForUndo(std::vector<QString>& archive, const GridRange& range,
                                 int32_t domain);
  void restoreWholeDocFromUndo(const QString& archive);
  void restoreWholeDocFromUndo(const QByteArray& archive);
  void loadUndoArchive(const QString& archive);
  void restoreColumnsFromUndo(const std::vector<QString>& archive);
  void restoreRowsFromUndo(const std::vector<QString>& archive);
  void restoreCellsFromUndo(const std::vector<QString>& archive, const GridRange& range,
                            const CAPackedNumbers* numbers = nullptr);
  // Domain 4 records go to the document's default format.
  void restoreFormatsFromUndo(const std::vector<QString>& archive, const GridRange& range,
                              int32_t domain);
  // After an undo or redo: `values` when cells came back (recalculated), else only laid out.
  void invalidateAfterUndoForRows(bool rows, bool columns, bool values);

  // ---- Edit commands (CADocument_Edit.cpp) ---------------------------------------------------
  // Each registers its undo step before it changes anything and changes nothing when the step
  // is refused.

  int32_t editTypeForSelection() const;
  bool canDelete(int32_t editType) const;
  void insert(int32_t editType);
  // The Delete command ("delete:"): NO for an unknown type or a refused step.
  bool deleteSelection(int32_t editType);
  void clear(int32_t clearType);
  // Descriptor 0 records no step.
  bool clearRange(const GridRange& range, int32_t clearType, int32_t undoName);

  // Held by a command that changes many cells: the cells that refer to a changed cell are marked
  // for recalculation once, when the outermost batch closes, rather than at every change (a
  // column read by thousands of running totals would make that quadratic in the rows). Closes
  // before the command recalculates. With `deferRecalculation`, clearing a range within it
  // leaves the recalculation to the command, which recalculates once when all is in place: an
  // undo clears its range before it stores the archived cells, a sort before the lines return.
  class EditBatch {
   public:
    explicit EditBatch(CADocument& document, bool deferRecalculation = false);
    ~EditBatch();
    EditBatch(const EditBatch&) = delete;
    EditBatch& operator=(const EditBatch&) = delete;

   private:
    CADocument& document_;
    bool deferRecalculation_;
  };
  // Held while a file or a pasted text is read into the document. Into a document that names no
  // cell in any formula, every formula the read enters is marked for recalculation as it is
  // entered and nothing is evaluated until the read ends (a workbook's check of its stored
  // values, which evaluates, holds an EditBatch of its own), so the cells that read a cell just
  // read are marked already: they are not looked up at every cell (a remaining balance read by
  // every balance above it would make that quadratic in the rows). Into any other document the
  // read is an EditBatch.
  // Held by a structural edit that moves and adjusts most formulas of the sheet: no formula's
  // references are dropped and registered again as it moves and as it is adjusted; finish()
  // makes the table anew, each formula registered once. Between the two the table is not to be
  // read (the edit recalculates everything after).
  class ReferenceRebuild {
   public:
    explicit ReferenceRebuild(CADocument& document);
    ~ReferenceRebuild();
    ReferenceRebuild(const ReferenceRebuild&) = delete;
    ReferenceRebuild& operator=(const ReferenceRebuild&) = delete;
    void finish();

   private:
    CADocument& document_;
    bool finished_ = false;
  };
  class ReadScope {
   public:
    explicit ReadScope(CADocument& document);
    ~ReadScope();
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

   private:
    CADocument& document_;
    std::optional<EditBatch> batch_;
  };

  void insertCheckboxes();
  void insertLink(const QString& link, const QString& displayText);
  void insertPicture(const QString& path);
  void moveSelectedColumnsTo(double destination);
  void moveSelectedRowsTo(double destination);
  // The work of both: whole columns (or rows) of the selection moved so that they start at the
  // destination.
  void moveSelectedLinesTo(double destination, bool columns);
  void fillUsingInfo(const CAFillInfo& info);

  // ---- Options and state --------------------------------------------------------------------

  const QString& password() const { return password_; }
  void setPassword(const QString& password) { password_ = password; }
  const QString& passwordHint() const { return passwordHint_; }
  void setPasswordHint(const QString& hint) { passwordHint_ = hint; }
  bool passwordUnlocked() const { return passwordUnlocked_; }
  void setPasswordUnlocked(bool on) { passwordUnlocked_ = on; }
  bool saveWithPassword() const { return saveWithPassword_; }
  void setSaveWithPassword(bool on) { saveWithPassword_ = on; }
  bool openWithPassword() const { return openWithPassword_; }
  void setOpenWithPassword(bool on) { openWithPassword_ = on; }
  // Cell texts are enciphered while saving with a password, deciphered while opening with one.
  bool enciphersCells() const { return saveWithPassword_ && !password_.isNull(); }
  bool deciphersCells() const { return openWithPassword_ && !password_.isNull(); }

  bool opening() const { return opening_; }
  void setOpening(bool on) { opening_ = on; }
  bool closing() const { return closing_; }
  void setClosing(bool on) { closing_ = on; }
  bool settingUndo() const { return settingUndo_; }
  void setSettingUndo(bool on) { settingUndo_ = on; }
  int64_t suppressRedraws() const { return suppressRedraws_; }
  void setSuppressRedraws(int64_t count) { suppressRedraws_ = count; }
  void bumpSuppressRedraws(bool raise) { suppressRedraws_ += raise ? 1 : -1; }
  uint64_t tooltipCounter() const { return tooltipCounter_; }
  void bumpTooltipCounter() { ++tooltipCounter_; }
  int32_t typingState() const { return typingState_; }
  void setTypingState(int32_t state) { typingState_ = state; }
  // Keeps the state only while what is typed is a formula or may become one: the text is empty
  // or begins with "=", or, with no text (a null string), the cell is empty, a formula or an
  // empty text; otherwise stores 0.
  void setTypingState(int32_t state, const CACell* cell, const QString& text);

  bool constrainText() const { return constrainText_; }
  void setConstrainText(bool on) { constrainText_ = on; }
  bool showFormulas() const { return showFormulas_; }
  void setShowFormulas(bool on) { showFormulas_ = on; }
  bool redFormulas() const { return redFormulas_; }
  void setRedFormulas(bool on) { redFormulas_ = on; }
  bool showOnlyOccupied() const { return showOnlyOccupied_; }
  void setShowOnlyOccupied(bool on) { showOnlyOccupied_ = on; }
  bool titleRow() const { return titleRow_; }
  void setTitleRow(bool on) { titleRow_ = on; }
  bool titleColumn() const { return titleColumn_; }
  void setTitleColumn(bool on) { titleColumn_ = on; }
  bool printGrid() const { return printGrid_; }
  void setPrintGrid(bool on) { printGrid_ = on; }
  bool printLabels() const { return printLabels_; }
  void setPrintLabels(bool on) { printLabels_ = on; }
  bool scaleToFit() const { return scaleToFit_; }
  void setScaleToFit(bool on) { scaleToFit_ = on; }
  bool fillPages() const { return fillPages_; }
  void setFillPages(bool on) { fillPages_ = on; }
  bool showPageBreaks() const { return showPageBreaks_; }
  void setShowPageBreaks(bool on) { showPageBreaks_ = on; }
  bool makeBackups() const override { return makeBackups_; }
  // The native package is enciphered with the password; other formats are written as they are.
  bool savesEnciphered(const QString& path) const override {
    return !password_.isEmpty() && FileTypeForFile(path) == kFileTypeNative;
  }
  // A native package with a password file (whatever its link or state).
  bool fileIsEnciphered(const QString& path) const override;
  void setMakeBackups(bool on) { makeBackups_ = on; }
  bool noPreview() const { return noPreview_; }
  void setNoPreview(bool on) { noPreview_ = on; }

  const QString& header() const { return header_; }
  void setHeader(const QString& text) { header_ = text; }
  const QString& footer() const { return footer_; }
  void setFooter(const QString& text) { footer_ = text; }
  int64_t topMargin() const { return topMargin_; }
  void setTopMargin(int64_t emu) { topMargin_ = emu; }
  int64_t bottomMargin() const { return bottomMargin_; }
  void setBottomMargin(int64_t emu) { bottomMargin_ = emu; }
  int64_t leftMargin() const { return leftMargin_; }
  void setLeftMargin(int64_t emu) { leftMargin_ = emu; }
  int64_t rightMargin() const { return rightMargin_; }
  void setRightMargin(int64_t emu) { rightMargin_ = emu; }
  int64_t headerOffset() const { return headerOffset_; }
  void setHeaderOffset(int64_t emu) { headerOffset_ = emu; }
  // The zoom as a factor; files and the views keep it within kMinimumZoomPercent to
  // kMaximumZoomPercent.
  static constexpr int64_t kMinimumZoomPercent = 1;
  static constexpr int64_t kMaximumZoomPercent = 6400;
  double zoomValue() const { return zoomValue_; }
  void setZoomValue(double zoom) { zoomValue_ = zoom; }
  // Names the document's autosave package.
  const QString& guid() const { return guid_; }

  // ---- Opening and saving (calculator/fileformats: CADocument_Open.cpp, the package reader
  // and writer in CADocument_PackageReader.cpp and CADocument_PackageWriter.cpp) -------------

  // Reads a file by its type code: the code (1-9) when its loader took it in, else 0 with the
  // error of the loader, or -206 for a type nothing reads. `opening` is on only meanwhile.
  int32_t openFile(const QString& path, FLError* error);
  // The loaders openFile chooses from; each answers YES when the file was taken in.
  bool loadTextFile(const QString& path, FLError* error);
  bool loadDifFile(const QString& path, FLError* error);
  bool loadExcelFile(const QString& path, FLError* error);
  bool loadPockwellFile(const QString& path, FLError* error);
  bool loadRtfFile(const QString& path, FLError* error);
  bool loadRtfdFile(const QString& path, FLError* error);
  bool loadHtmlFile(const QString& path, FLError* error);
  // The native package. A protected one is taken in up to its password: the XML waits for
  // loadXmlFile, which the window calls once the password is given.
  bool loadNativeFileCore(const QString& path, FLError* error);
  // NO for a missing or damaged "document.xml"; a damaged one also fills the error.
  bool loadXmlFile(FLError* error = nullptr);
  // The document-level elements, columns and rows of a package, an undo archive or a cell
  // archive, to the end of the decoder's input (the model's own, CADocument_Xml.cpp).
  void loadFromXml(FLXmlDecoder& decoder);

  // Writes the package into a path that does not exist yet; the caller puts it in place.
  bool saveToNativeFile(const QString& path, bool inPlace, FLError* error);
  // Delimited text (CADocument_TextFile.cpp): comma-separated (YES) or tab-separated, UTF-8,
  // written whole or not at all.
  bool saveToTextFile(const QString& path, bool commas, FLError* error);
  // DIF (CADocument_Dif.cpp), UTF-8, written whole or not at all.
  bool saveToDifFile(const QString& path, FLError* error);
  // The document-level elements and the columns, as packages and undo archives hold them
  // (CADocument_Xml.cpp).
  void saveDocumentInfo(FLXmlEncoder& encoder, bool forUndo);
  void saveColumns(FLXmlEncoder& encoder);
  void preparePicturesForSave(bool inPlace);
  // The pictures a cell wrote since preparePicturesForSave; empty when none.
  std::vector<std::shared_ptr<CAPicture>> copyUsedPictures() const;
  // After the document took a package saved under a new name as its file: each picture whose
  // file that package holds is known by the name it has there.
  void adoptSavedPictureNames();
  // The "numlet.cells" archive of the selection; null when no cell was written.
  QString archiveSelection();

  // ---- Rich text through the text engine (calculator/fileformats: CADocument_Glimmet.cpp,
  // CADocument_Rtf.cpp, CADocument_Html.cpp) ---------------------------------------------------

  // Turns the import document g_glimmetDoc into cells and destroys it: a paragraph a row,
  // tab-separated fields and table cells as columns. YES also for an empty text.
  bool loadFromGlimmet();
  // The table at *cp: one sheet row per table row from point->y; both move past it.
  bool convertTable(uint32_t* cp, GridPoint* point);
  // The paragraph holding *cp (from *cp on) at the point; *cp moves to its end.
  bool convertParagraph(uint32_t* cp, const GridPoint& point, bool inTable, Kolor backgroundKolor);
  // RTF text (units below 256 are its bytes) read into the sheet; attachments: the folder of an
  // RTFD package, or null. The reading, its engine document and the cells run under one reading
  // meter; refused as too large, refusal (when given) receives why; outOfMemory (when given) tells
  // whether it failed for want of memory, the engine's included. A failure leaves the sheet as it was.
  bool loadRtf(const QString& rtf, const QString& attachments, QString* refusal = nullptr,
               bool* outOfMemory = nullptr);
  bool loadRtfMetered(const QString& rtf, const QString& attachments, FLReadingMeter& meter, QString* refusal);
  bool saveToRtfFile(const QString& path, FLError* error);
  bool saveToRtfdFile(const QString& path, FLError* error);
  // The selection as pasteboard RTF; plainText, when given, receives it as plain text. Null when
  // it cannot be made.
  QString rtfFromSelection(QString* plainText = nullptr);
  // A temporary engine document holding the range as one table (one cell: its text alone),
  // owned by the caller; null on failure. tooManyColumns tells that columns past 101 were cut.
  GlimmetDoc* createGlimmetFromRange(const GridRange& range, bool wholeDocument, bool showFormula,
                                     bool copyBestValues, bool* tooManyColumns);
  // Rich text (the HTML reader's document, or a pasted one) read into the sheet. The text is
  // emptied once the engine holds it, so that the cells have its memory.
  bool loadAttributedString(QTextDocument& text);
  // An XHTML page: a folder holding "index.html" (and "images"), or the plain file when
  // keepHtmlExtension() is set.
  bool saveToHtmlFile(const QString& path, FLError* error);
  // The selection as an HTML page; null when it cannot be made.
  QString htmlFromSelection();

  // ---- Life cycle, saving and autosave (CADocument_LifeCycle.cpp) --------------------------

  // Saves by the path's file type through the writers the file formats installed: -50
  // "Unknown file format." for a type nothing writes, -4 for one not written yet.
  bool saveCore(const QString& path, bool inPlace, FLError* error) override;
  // Before a save in place or a print (YES) or after a save panel chose the destination (NO):
  // typing in progress is committed.
  void prepareToSave(bool inPlace) override;
  // After a save under a new name: the undo stack starts afresh and the autosave clock too.
  void attachToSavedFile() override;
  // Reads the file again into a new window and closes this one; NO, after an alert, when the
  // file is gone or cannot be opened again.
  bool revert() override;
  // Notes a recorded edit: dirty, dirty since the last autosave, ever edited, and the time.
  void noteEdit();
  // Keeps the repeating one-second autosave timer while the preference is on.
  void enableAutosave();
  // One autosave tick: fromTimer NO skips the five quiet seconds after the last edit.
  void autosaveTimerFired(bool fromTimer);
  // The application resigned or the computer sleeps: autosaves now if one is due.
  void sleep() { autosaveTimerFired(false); }
  // Stops the timer and deletes the autosave copy: the document no longer needs recovering.
  void releaseAutoSave();
  // Writes an autosave copy now, whenever the last edit was.
  void forceAutosave();
  QTimer* autosaveTimer() const { return autosaveTimer_.get(); }
  bool dirtySinceAutoSave() const { return dirtySinceAutoSave_; }
  void setDirtySinceAutoSave(bool on) { dirtySinceAutoSave_ = on; }
  bool everEdited() const { return everEdited_; }
  void setEverEdited(bool on) { everEdited_ = on; }
  double lastEditTime() const { return lastEditTime_; }
  void setLastEditTime(double seconds) { lastEditTime_ = seconds; }
  double autosaveTime() const { return autosaveTime_; }
  void pageBreaksChanged();
  // The print date and time of the header and footer texts: now.
  void setPrintDate();
  const QDateTime& printDate() const { return printDate_; }
  // The footer's (YES) or header's left, centre and right texts for a page; null for a field
  // without a variable.
  std::array<QString, 3> headerStrings(bool footer, int64_t page, int64_t pageCount) const;
  // The fill sheet ended: with success the fill runs.
  void fillSheetFinished(bool success, const CAFillInfo& info);

  // ---- Selection state ---------------------------------------------------------------------

  // YES when the point lies in the selection; whole rows pass any x, whole columns any y.
  bool isCellSelected(const GridPoint& point) const;
  // Domain 3: the selected rows, else the active cell's row; 2 the same for columns; 0 the
  // active cell; any other the selection.
  GridRange selectionAdaptedToDomain(int32_t domain) const;
  // The selection's type; the open ends of whole rows (columns) close where the selected lines
  // hold their last value.
  int32_t normalSelection(GridRange* range) const;

  // ---- Find and replace (CADocument_Find.cpp) -----------------------------------------------

  // Selects the next (forward) or previous cell matching the find panel's text, from the
  // active cell or from the sheet's start; NO with a beep when none does.
  bool find(bool forward, bool fromStart);
  // Replaces in the active cell or in every cell as one undo step; the number of cells changed.
  int64_t replace(const QString& find, const QString& replacement, bool allCells);

  // ---- Sort and quick formulas (CADocument_Sort.cpp) ------------------------------------------

  // Reorders the rows (or columns) of the selection or the sheet by the sort keys, one undo step.
  void sort();
  // Writes "=NAME(range)" totals beside or below the selection's values, one undo step.
  void insertQuickFormula(int32_t functionIndex);

  // ---- Copy and paste (CADocument_Paste.cpp) ------------------------------------------------

  // Puts the selection on the clipboard (null: the system's) as cells, rich text, plain text
  // and HTML as far as each can be made; NO with a beep when there is nothing to copy.
  bool copy(QMimeData* clipboard = nullptr);
  // Pastes the richest representation the clipboard holds at the active cell, as one undo step
  // named by the descriptor (0: no step). NO when nothing was pasted: then the sheet is as it
  // was, and where memory or the reading budget ran out the window has said so.
  bool paste(const QMimeData* clipboard, bool ignoreFormat, int32_t undoName);
  bool paste(const QMimeData* clipboard, bool ignoreFormat);
  // The block that cells of the source's kind and normalised range (whole lines' open ends made
  // real) replace when pasted at `start`: whole rows or columns from the start's row or column, a
  // block from the start, one cell at the start. Nothing when part of it would leave the grid.
  static std::optional<GridRange> pastedBlock(const GridRange& source, int32_t kind, const GridPoint& start);
  // The pasteboard types a paste chooses from, richest first; rich text takes its place once
  // the program can read it.
  static QStringList clipboardTypes();

  bool autosaving() const { return autosaving_; }
  void setAutosaving(bool on) { autosaving_ = on; }
  bool autosaveRecoveryDoc() const { return autosaveRecoveryDoc_; }
  void setAutosaveRecoveryDoc(bool on) { autosaveRecoveryDoc_ = on; }
  // The autosave copy a recovered document was read from: it has no file path of its own, but a
  // protected copy's cells are read from there once its password is given.
  const QString& recoveredPackagePath() const { return recoveredPackagePath_; }
  void setRecoveredPackagePath(const QString& path) { recoveredPackagePath_ = path; }
  // The latest autosave copy of this document; null when there is none.
  const QString& autosavePath() const { return autosavePath_; }
  void setAutosavePath(const QString& path) { autosavePath_ = path; }
  // A failed autosave stops the autosaves of the document.
  bool autosaveFailed() const { return autosaveFailed_; }
  void setAutosaveFailed(bool failed) { autosaveFailed_ = failed; }
  // Seconds since 1970 of the file a save replaces; 0 when none.
  double fileCreationDate() const { return fileCreationDate_; }
  void setFileCreationDate(double seconds) { fileCreationDate_ = seconds; }
  // The print settings as the file archived them, kept as bytes and written back unchanged.
  const QByteArray& printInfo() const { return printInfo_; }
  void setPrintInfo(const QByteArray& archive) { printInfo_ = archive; }

 private:
  std::shared_ptr<const char> life_ = std::make_shared<const char>('\0');

  bool pasteGuarded(const QMimeData* clipboard, bool ignoreFormat, int32_t undoName);
  bool transferCellsFrom(const CADocument& source, CADocument* released, bool ignoreFormat, bool adjustReferences);
  // Marks for recalculation the cells that refer to the points changed while a batch was open.
  void markReferrersOfChangedPoints();

  CADocumentWindow* controller_ = nullptr;
  // The open EditBatch scopes, those of them deferring recalculation, and the points whose cells
  // changed meanwhile.
  uint32_t editBatches_ = 0;
  uint32_t recalcDeferrals_ = 0;
  std::vector<GridPoint> changedPoints_;
  // The open ReadScopes into a document that named no cell when they began.
  uint32_t freshReads_ = 0;

  // What the last recalculation's memo kept, and the changes since (changedCells); the count of
  // drops tells a recalculation whether to keep its memo.
  CARangeMemo::Kept keptFolds_;
  CAChangedCells changedCells_;
  uint64_t keptFoldDrops_ = 0;
  // See noteRecalcRow. Until the first recalculation every row is walked.
  std::vector<int64_t> recalcRows_;
  bool recalcEveryRow_ = true;

  RowList rows_;
  ColumnList columns_;
  PictureTable pictures_;
  FLKeyedTable<QString, QString> pendingPictureFiles_;
  PictureReading pictureReading_;
  bool cellAdded_ = false;
  GridPoint maxDisplayGridPoint_;

  QFont font_;
  double digitWidth_ = 0;
  double lineHeight_ = 0;
  double leading_ = 0;
  GridPoint cellPadding_{kCellPaddingDefault, kCellPaddingDefault};
  int64_t defaultDigitCount_ = kDefaultDigitCount;
  int64_t defaultWidth_ = 0;
  int64_t minimumHeight_ = 0;
  Kolor stripeKolor_ = kNoKolor;
  uint64_t stripeInterval_ = 0;

  CAFormat defaultFormat_;
  // Handed out for a domain that keeps no format.
  CAFormat scratchFormat_;

  GridRange selectionRange_;
  GridRange typingSelectionRange_;
  GridPoint activeCellPoint_;
  CATextRange activeCellTextSel_;
  bool formulaPopupActive_ = false;
  GridPoint sortKey1_{-1, -1};
  GridPoint sortKey2_{-1, -1};
  uint64_t colorChangeBlock_ = 0;
  // The open SelectionHolds, and what they put off: a redraw of the selection, its announcement.
  uint32_t selectionHolds_ = 0;
  bool selectionRedrawHeld_ = false;
  bool selectionChangeHeld_ = false;
  bool keepsNoReferences_ = false;

  QString password_;
  QString passwordHint_;
  bool passwordUnlocked_ = false;
  bool saveWithPassword_ = false;
  bool openWithPassword_ = false;
  bool opening_ = false;
  bool closing_ = false;
  bool recalcUnfinished_ = false;
  bool settingUndo_ = false;
  int64_t suppressRedraws_ = 0;
  uint64_t tooltipCounter_ = 1;
  int32_t typingState_ = 0;

  bool constrainText_ = false;
  bool showFormulas_ = false;
  bool redFormulas_ = false;
  bool showOnlyOccupied_ = false;
  bool titleRow_ = false;
  bool titleColumn_ = false;
  bool printGrid_ = true;
  bool printLabels_ = true;
  bool scaleToFit_ = false;
  bool fillPages_ = false;
  bool showPageBreaks_ = false;
  bool makeBackups_ = true;
  bool noPreview_ = false;
  QString header_;
  QString footer_;
  int64_t topMargin_ = 0;
  int64_t bottomMargin_ = 0;
  int64_t leftMargin_ = 0;
  int64_t rightMargin_ = 0;
  int64_t headerOffset_ = 0;
  double zoomValue_ = 1.0;
  QString guid_;
  std::unique_ptr<CAReferenceTable> references_ = std::make_unique<CAReferenceTable>();
  bool keepCellsUntilExit_ = false;
  bool autosaving_ = false;
  bool autosaveRecoveryDoc_ = false;
  QString recoveredPackagePath_;
  bool autosaveFailed_ = false;
  QString autosavePath_;
  std::unique_ptr<QTimer> autosaveTimer_;
  bool dirtySinceAutoSave_ = false;
  bool everEdited_ = false;
  double lastEditTime_ = 0;
  double autosaveTime_ = 0;
  std::vector<NotificationObserver> observers_;
  // (text cell, columns its overflow reached), waiting for takeBackOverflow.
  std::vector<std::pair<GridPoint, uint64_t>> overflowToTakeBack_;
  // The widths in points the texts' overflow was last laid out for: of the columns that exist
  // (by column), and of every other column.
  std::vector<std::pair<int64_t, float>> overflowWidths_;
  float overflowDefaultWidth_ = -1;
  // Points of cells that may have been left empty, waiting for dropEmptiedCells; the holds that
  // keep them meanwhile.
  std::vector<GridPoint> emptiedCells_;
  uint32_t cellHolds_ = 0;
  QDateTime printDate_;
  double fileCreationDate_ = 0;
  QByteArray printInfo_;
};
