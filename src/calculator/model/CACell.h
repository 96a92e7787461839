// One occupied cell of a sheet: what the user entered, what it evaluates to, how it is shown,
// copied, filled, searched and written to and read from the document's XML. Rows own their
// cells; a cell keeps a non-owning pointer to its document.
#pragma once

#include "calculator/model/CAFormat.h"
#include "calculator/model/CAGridPoint.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/caTextServices.h"
#include "calculator/model/formula/CAFormulaBlock.h"
#include "calculator/model/formula/CAFormulaToken.h"
#include "framlet/foundation/flStringExtensions.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_set>

class CADocument;
class CAPicture;
struct CABigMove;
class FLXmlDecoder;
class FLXmlEncoder;
struct FLError;

// Value types; their XML names are g_valueStrings.
enum : int32_t {
  kValueNone = 0,
  kValueCheckbox = 1,
  kValueDate = 2,
  kValueError = 3,    // a formula whose parse or evaluation failed
  kValueFormula = 4,
  kValuePicture = 5,
  kValueLink = 6,
  kValueNumber = 7,
  kValueText = 8,
  kValueOverflow = 9,  // empty, covered by a neighbour's overflowing text
};
inline constexpr int32_t kValueTypeCount = 10;
// "none", "check", "date", "error", "f", "image", "link", "#", "s", "of".
extern const char* const g_valueStrings[kValueTypeCount];

// Fill kinds of CAFillInfo.
enum : int32_t {
  kFillCopy = 0,
  kFillAdd = 1,
  kFillMultiply = 2,
  kFillDate = 3,
};
// Fill directions of CAFillInfo.
enum : int32_t { kFillDown = 0, kFillRight = 1, kFillUp = 2, kFillLeft = 3 };
// Date units of CAFillInfo.
enum : int32_t { kFillDays = 0, kFillMonths = 1, kFillYears = 2 };

// What the fill dialog hands to a fill.
struct CAFillInfo {
  int32_t direction = 0;
  int32_t kind = kFillCopy;
  int32_t dateUnit = kFillDays;
  CANumber step;
};

// Find scopes.
enum : int32_t { kFindEntered = 0, kFindShown = 1, kFindBoth = 2 };

// The formula with the reference put in place of the selected characters (at the end without
// a selection): "=" goes in front of a text that is no formula, "+" before a reference that
// follows a letter, a digit or ")". The selection ends up behind the reference.
QString FormulaWithReference(const QString& formula, const QString& reference, CATextRange* selectedRange);

// While one lives, the cells of this thread share equal formats: those read where the formats'
// XML is the same, those given (setFormat) where the formats are. A large sheet repeats a few
// formats over many cells. Scopes nest.
class CAFormatSharing {
 public:
  CAFormatSharing();
  ~CAFormatSharing();
  CAFormatSharing(const CAFormatSharing&) = delete;
  CAFormatSharing& operator=(const CAFormatSharing&) = delete;
};

class CACell {
 public:
  // The point is stored plain.
  CACell(const GridPoint& point, CADocument* document);
  ~CACell();
  CACell(const CACell&) = delete;
  CACell& operator=(const CACell&) = delete;

  // A cell at the same point of the same document holding a copy of this one.
  std::unique_ptr<CACell> copy() const;

  // ---- XML ------------------------------------------------------------------------------------
  // Reads the "cell" element the decoder stands on, deciphering its texts when the document
  // opens with a password. Text and link cells are restored as such, not classified again.
  static std::unique_ptr<CACell> withXml(FLXmlDecoder& decoder, CADocument* document);
  // Writes "cell", enciphering the texts when the document saves with a password. A text that
  // cannot be enciphered fails: NO with the error filled, and nothing written.
  bool saveToXml(FLXmlEncoder& encoder, FLError* error = nullptr) const;
  // Whether the cell is worth writing to a package or an archive: a value, a format or a note.
  // Whether the cell holds a number and nothing else: no format, note, text, formula or flag.
  // A row keeps such a cell as a plain entry (CACellEntry) when the number allows.
  bool isPlainNumber() const;
  // A fresh cell made to hold the number and nothing else, telling no one: a row's plain entry
  // made a cell again.
  void restorePlainNumber(const CANumber& number) {
    valueType_ = kValueNumber;
    storeNumber(number);
  }
  bool holdsContent() const {
    return (valueType_ != kValueNone && valueType_ != kValueOverflow) || format_ || !note().isEmpty();
  }

  // ---- Fields ---------------------------------------------------------------------------------
  CADocument* document() const { return document_; }
  void setDocument(CADocument* document) {
    document_ = document;
    if (needRecalc_ || ephemeralResult_) noteRecalc();
  }
  const GridPoint& gridPoint() const { return gridPoint_; }
  // A cell still to recalculate is noted at its new row.
  void setGridPoint(const GridPoint& point) {
    gridPoint_ = point;
    if (needRecalc_ || ephemeralResult_) noteRecalc();
  }
  int32_t valueType() const { return valueType_; }
  void setValueType(int32_t type) {
    valueType_ = int8_t(type);
    if (type == kValueNone) noteIfEmptied();
  }
  int32_t formulaResultType() const { return formulaResultType_; }
  // Cells read with formats written alike share one (see CAFormatSharing); asking for the format
  // to change it gives the cell its own.
  CAFormat* format() {
    if (format_.isShared()) format_ = CASharedFormat(format_->copy());
    return format_.get();
  }
  const CAFormat* format() const { return format_.get(); }
  // Inside a CAFormatSharing scope, a format equal to one given or read before shares it.
  void setFormat(std::optional<CAFormat> format);
  // Holds the format with whoever else holds it: many cells that look alike, one format.
  void shareFormat(CASharedFormat format) { format_ = std::move(format); }
  const QString& note() const { return extras().note; }
  void setNote(const QString& note) {
    if (format_.extras() || !note.isEmpty()) mutableExtras().note = note;
    if (note.isEmpty()) noteIfEmptied();
  }
  // The entered text: a formula with "=", a link's target or a text. A copy: the cell keeps
  // its text and tokens in one compact block.
  QString formula() const { return entered_.text(); }
  // Whether any text is entered, classified or not (a formula being put together is entered
  // before the cell takes its type).
  bool hasEnteredText() const { return entered_.hasText(); }
  QString enteredText() const { return entered_.text(); }
  // Its length, without a copy.
  qsizetype enteredTextLength() const { return entered_.textLength(); }
  // The formula's tokens, decoded into a buffer of the caller's: keep it (not a view of it) for
  // as long as the tokens are read.
  CAExpressionBuffer expression() const { return entered_.tokens(); }
  // For a recalculation's look ahead: the entered block on its way to the cache.
  void prefetchExpression() const { entered_.prefetch(); }
  // A formula's text and tokens rewritten together, unparsed; the caller keeps the document's
  // reference table in step.
  void setFormulaAndExpression(QStringView text, CAExpressionView tokens) {
    entered_ = CAFormulaBlock(text, tokens);
    markNeedRecalc();
  }
  int32_t parseResult() const { return parseResult_; }
  int32_t evalResult() const { return evalResult_; }
  uint64_t errorOffset() const { return errorOffset_; }
  std::optional<CANumber> number() const { return hasNumber_ ? std::optional<CANumber>(number_) : std::nullopt; }
  void setNumber(const std::optional<CANumber>& number) { storeNumber(number); }
  // The number in place, for readers that keep pointing at it while the cell stays; null without.
  const CANumber* storedNumber() const { return hasNumber_ ? &number_ : nullptr; }
  uint64_t extraColumns() const { return extras().extraColumns; }
  void setExtraColumns(uint64_t count) {
    if (format_.extras() || count != 0) mutableExtras().extraColumns = count;
  }
  const std::shared_ptr<CAPicture>& picture() const { return extras().picture; }
  double height() const { return extras().height; }
  // Percent x 12700; 0 = natural size.
  int64_t imageScale() const { return extras().imageScale; }
  void setImageScale(int64_t scale) {
    if (format_.extras() || scale != 0) mutableExtras().imageScale = scale;
  }
  const QString& displayTextField() const { return extras().displayText; }
  void setDisplayText(const QString& text) {
    if (format_.extras() || !text.isEmpty()) mutableExtras().displayText = text;
  }
  bool inactiveLink() const { return extras().inactiveLink; }
  void setInactiveLink(bool on) {
    if (format_.extras() || on) mutableExtras().inactiveLink = on;
  }
  bool isChecked() const { return checked_; }
  // A formula, whether or not it evaluated: the cells whose references the table holds.
  bool isFormula() const { return valueType_ == kValueError || valueType_ == kValueFormula; }
  void setChecked(bool on) { checked_ = on; }
  bool needRecalc() const { return needRecalc_; }
  // A cell coming to need it is noted with the document (CADocument::noteRecalcRow).
  void setNeedRecalc(bool on) {
    if (on) markNeedRecalc();
    else needRecalc_ = false;
  }
  bool ephemeralResult() const { return ephemeralResult_; }
  bool typingInProgress() const { return typingInProgress_; }
  void setTypingInProgress(bool on) { typingInProgress_ = on; }
  bool typeIsChanging() const { return typeIsChanging_; }
  bool recordNewFunctions() const { return recordNewFunctions_; }
  void setRecordNewFunctions(bool on) { recordNewFunctions_ = on; }
  bool saving() const { return saving_; }
  void setSaving(bool on) { saving_ = on; }
  bool tooltipForWidth() const { return tooltipForWidth_; }
  void setTooltipForWidth(bool on) { tooltipForWidth_ = on; }
  uint64_t tooltipCounter() const { return extras().tooltipCounter; }
  void setTooltipCounter(uint64_t counter) {
    if (format_.extras() || counter != 0) mutableExtras().tooltipCounter = counter;
  }
  int64_t tooltipTag() const { return extras().tooltipTag; }
  void setTooltipTag(int64_t tag) {
    if (format_.extras() || tag != 0) mutableExtras().tooltipTag = tag;
  }
  int32_t errorType() const { return errorType_; }

  // ---- Values ---------------------------------------------------------------------------------
  // Marks dependents for recalculation, drops a formula's references and empties the cell; a
  // cell left with nothing goes once the change is over (CADocument::dropEmptiedCells).
  void clearValue() {
    clearValue(true);
    noteIfEmptied();
  }
  void setNumberValue(const CANumber& number);
  void setPicture(std::shared_ptr<CAPicture> picture);
  // Rows size themselves by pictures and checkboxes: a change to or from one resizes the row.
  void fixRowForValueTypeChange(int32_t oldType);
  bool hasValue() const;
  bool hasValueForFormula() const;

  // ---- Entering text (formula/CACell_Formula.cpp) ------------------------------------------------
  // Classifies the text (empty, formula, date, number, link, text) and stores it; a formula is
  // parsed and its references registered. Ignored while the type is changing.
  void setFormula(const QString& text);
  // The same for a text written in the C syntax, as other programs' files hold it whatever the
  // user's locale: a formula in the user's separators (UserFormulaFromC), a number with "." and
  // "," groups, a date month first with slashes. A text that reads as neither stays a text, even
  // where the user's syntax would make a number or a date of it.
  void setFormulaFromC(const QString& text);
  // Stores the text as the formula without parsing it.
  void setFormulaString(const QString& text);
  // Inserts a reference while a formula is being typed, replacing the selected characters.
  void addRefToFormula(const QString& reference, CATextRange* selectedRange);

  // ---- Display --------------------------------------------------------------------------------
  // The text shown (the entered text while editing). The one-argument forms use the document's
  // format for the cell without stripes.
  QString displayText(bool editing) const;
  QString displayText(bool editing, const CAFormat& format) const;
  // What files get for the cell: its display text in saving mode, which no format changes
  // (numbers in full, dates in the form that reads back as the same date).
  QString savingText() const;
  // The text the cell is edited as (in its field, in the formula bar) and that find and replace
  // work on: a formula's text, a date as a date, and a number in full, in a form that reads back
  // as the very number stored (its exact digits, else its longest decimal text), so that
  // confirming an unchanged edit changes nothing and a replacement changes only what it matched.
  QString editText() const;
  std::optional<FLAttributedString> attributedString(bool editing) const;
  std::optional<FLAttributedString> attributedString(bool editing, const CAFormat& composedFormat) const;
  // 100 left, 102 right: numbers, dates and formulas (unless shown being edited) go right.
  int32_t defaultAlignment(bool editing) const;

  // ---- Editing ---------------------------------------------------------------------------------
  // The type menu's action: converts the value, recalculates and tells the windows.
  void changeType(int32_t newType, bool updateFormulaField, bool setUndo);
  void adjustToNewValueCType(int32_t newType);
  void copyFrom(const CACell& source, bool ignoreFormat, bool adjustReferences);
  // `steps`: how many of the info's steps the cell lies from the source (a date filled by months
  // or years counts from the first cell of its line).
  void fillFrom(const CACell& source, const CAFillInfo& info, int64_t steps = 1);
  bool matchesFindString(const QString& find, int32_t scope, bool ignoreCase, bool wholeWords) const;
  // Replaces in the text the cell is edited as (editText), whatever the scope; YES when it changed.
  bool replace(const QString& find, const QString& replacement, int32_t scope, bool ignoreCase,
               bool wholeWords);
  // Whether replace would change the cell.
  bool hasReplaceable(const QString& find, bool ignoreCase, bool wholeWords) const;
  // Opens a link's target: a file is revealed, anything else opened; failure beeps.
  void followLink() const;
  // Computes how many empty cells to the right the text spills into, making them type 9.
  void setExtraColumns();
  // The picture step of evaluation: the height a picture cell needs in its column.
  void recalcPictureHeight();

  // ---- Evaluation (formula/CACell_Evaluate.cpp) -------------------------------------------------
  void evaluate();
  // The layout part of evaluation alone: a text lays out its overflow, a picture takes its
  // height; any other cell is left as it is, still marked. A layout change runs no formula.
  void layOut();
  // How many formulas have been run since the process began: the measure of a recalculation's
  // work.
  static uint64_t formulaRuns();
  void setCircularError();
  // Whether a formula refers to any cell (null) or to a cell of the set.
  bool refersToCells(const std::unordered_set<const CACell*>* cells) const;
  // Scratch of a recalculation in progress (CARecalculation.cpp), which would otherwise look
  // every cell it meets up in a table of its own.
  uint64_t recalcMark() const { return recalcMark_; }
  void setRecalcMark(uint64_t mark) { recalcMark_ = mark; }
  // Rewrites the formula's relative references as if copied from the source point.
  void adjustExpressionCopiedFrom(const GridPoint& source);
  // Reference adjustment (formula/CACell_Adjust.cpp): rewrites the formula's references after
  // the edit range was inserted (dx or dy positive) or deleted (minus the count); a reference
  // whose cells were all deleted leaves the formula in error instead of naming their successor.
  void adjustExpressionBy(int64_t dx, int64_t dy, const GridRange& editRange);
  // After whole columns or rows moved past their neighbours.
  void adjustExpressionForBigMove(const CABigMove& move);

 private:
  // The end of every classification: the old type's row fix and overflow re-layout.
  void finishValueChange(int32_t oldType);
  // Stores a text or a link target exactly as given, without classifying it.
  void enterUnclassified(int32_t type, const QString& text);
  QString formatNumber(const CANumber& number, const CANumberFormat* format) const;
  void storeNumber(const CANumber& number) {
    hasNumber_ = true;
    number_ = number;
  }
  void storeNumber(const std::optional<CANumber>& number) {
    if (number) {
      storeNumber(*number);
    } else {
      hasNumber_ = false;
      number_ = CANumber();
    }
  }

  // What few cells have: notes, pictures, links' texts, overflowing texts and tooltips are kept
  // apart, so that the many plain number and formula cells stay small.
  struct Extras {
    CASharedFormat format;
    QString note;
    QString displayText;
    std::shared_ptr<CAPicture> picture;
    double height = 0;
    int64_t imageScale = 0;  // percent x 12700
    uint64_t extraColumns = 0;
    uint64_t tooltipCounter = 0;
    int64_t tooltipTag = 0;
    bool inactiveLink = false;
  };
  static const Extras kNoExtras;
  const Extras& extras() const { return format_.extras() ? *format_.extras() : kNoExtras; }
  Extras& mutableExtras() { return format_.mutableExtras(); }

  // The format, and the extras behind it: one word, which is the format's address while the
  // cell has no extras and the extras' (marked in its low bit) while it has, the format then
  // kept in them. Reads as the format: "if (format_)" asks whether the cell has one.
  class FormatSlot {
   public:
    FormatSlot() = default;
    ~FormatSlot();
    FormatSlot(const FormatSlot&) = delete;
    FormatSlot& operator=(const FormatSlot&) = delete;
    FormatSlot& operator=(CASharedFormat format);

    CAFormat* get() const {
      if (Extras* extras = this->extras()) return extras->format.get();
      return CASharedFormat::formatAt(reinterpret_cast<void*>(word_));
    }
    const CAFormat* operator->() const { return get(); }
    explicit operator bool() const { return get() != nullptr; }
    bool isShared() const {
      if (Extras* extras = this->extras()) return extras->format.isShared();
      return CASharedFormat::isSharedAt(reinterpret_cast<void*>(word_));
    }

    Extras* extras() const {
      return word_ & kExtrasBit ? reinterpret_cast<Extras*>(word_ & ~kExtrasBit) : nullptr;
    }
    Extras& mutableExtras();
    // Deletes the extras; the format stays.
    void dropExtras();

   private:
    static constexpr uintptr_t kExtrasBit = 1;
    uintptr_t word_ = 0;
  };
  // Tells the document when the cell is left with nothing: no value, format or note.
  void noteIfEmptied();
  // Tells the document that the cell's row holds a cell to recalculate; takes no memory it
  // cannot do without (past what it can note, every row is walked).
  void noteRecalc() const;
  // evaluate's work, which may leave the cell half-way should memory run out.
  void evaluateValue();
  void layOutOverflow();
  // A value changed in place, as clearing does it for a new one: the cells that read it are
  // recalculated and the folds the document keeps of it are forgotten.
  void noteValueChanged();
  void markNeedRecalc() {
    if (!needRecalc_) noteRecalc();
    needRecalc_ = true;
  }
  // Emptying the value drops what belongs to it; the note and tooltip stay.
  void clearValueExtras();
  // The same, leaving a formula's references registered when dropReferences is NO: the caller
  // then drops or keeps them itself.
  void clearValue(bool dropReferences);

  CADocument* document_;
  GridPoint gridPoint_;
  // Next to the point, which every recalculation reads with it.
  uint64_t recalcMark_ = 0;
  FormatSlot format_;
  CAFormulaBlock entered_;
  // The value when hasNumber_; the flag among the bits below spares an optional's padding. The
  // fields after it sit in its tail padding (a number is 27 bytes in 32), which with the one
  // word for format and extras brings a cell down to the allocator's 96-byte size.
  [[no_unique_address]] CANumber number_;
  uint32_t errorOffset_ = 0;  // a place in the formula text
  int8_t parseResult_ = 0;    // formula error codes
  int8_t evalResult_ = 0;
  int8_t errorType_ = 0;
  int8_t valueType_ = kValueNone;
  int8_t formulaResultType_ = kValueNumber;
  // Flags in bits, and narrow fields: all of them fit in the number's tail padding.
  bool hasNumber_ : 1 = false;
  bool checked_ : 1 = false;
  bool needRecalc_ : 1 = false;
  bool ephemeralResult_ : 1 = false;
  bool typingInProgress_ : 1 = false;
  bool typeIsChanging_ : 1 = false;
  bool recordNewFunctions_ : 1 = false;
  mutable bool saving_ : 1 = false;
  bool tooltipForWidth_ : 1 = false;
};
