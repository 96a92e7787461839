// The edit primitive of the text engine: every change of a document's text goes through
// ReplaceRangeCore, which keeps the piece table, knots, property runs, cp tables, panes and every
// registered range consistent. Beside it: the per-thread table of registered ranges, the display
// deferral that batches redraws, run splitting, property application and range widening.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>
#include <functional>

struct PropRecord;

// Registration flags.
inline constexpr uint32_t kRegisterOnce = 1;        // not again when already registered
inline constexpr uint32_t kRegisterClearOnEdit = 2; // any edit clears the range's document
inline constexpr uint32_t kRegisterMovePast = 4;    // text inserted at the first cp goes before it
inline constexpr uint32_t kRegisterKeepEmpty = 8;   // an empty range stays empty

// The length an edit may give a document.
inline constexpr int64_t kMaxDocLength = 2000000000;

bool ReplaceRangeCore(DocRange* target, const DocRange* source, const char16_t* text, uint32_t length, bool raw);
bool ReplaceRangeSimple(const DocRange& piece, DocRange* caller, const char16_t* text, uint32_t n);
bool ReplaceRangeSimpleWithString(const DocRange& piece, DocRange* caller, const QString& text);
// Convenience for callers with a string.
bool ReplaceRangeWithString(DocRange* target, const QString& text);

void RegisterRange(DocRange* range, uint32_t flags);
void UnregisterRange(DocRange* range);
bool IsRangeRegistered(const DocRange* range);
// Registers for a scope and unregisters on every way out, a failed allocation's unwinding
// included: a registered range that outlived its frame would be moved by every later edit, in
// memory no longer its own. A registration that could not be made is not let go.
class GMRegisteredRange {
 public:
  GMRegisteredRange(DocRange* range, uint32_t flags) : range_(range) {
    RegisterRange(range, flags);
    if (!IsRangeRegistered(range)) range_ = nullptr;
  }
  ~GMRegisteredRange() {
    if (range_) UnregisterRange(range_);
  }
  GMRegisteredRange(const GMRegisteredRange&) = delete;
  GMRegisteredRange& operator=(const GMRegisteredRange&) = delete;

 private:
  DocRange* range_;
};

void DeferDisplay();
void UndeferDisplay(uint32_t displayClass);
void AccumulateDefer(const DocRange& range);
struct GMDeferStatus {
  int32_t count = 0;
  DocRange accumulated;
};
const GMDeferStatus& DeferStatus();

void AdjustRange(DocRange* range, const DocRange& edit, int64_t delta, uint32_t flags);
void DeleteEntriesInRange(const DocRange& edit, GMCpTable<GMNoData>& table, bool keepFirst, uint32_t bit);

bool ApplyPropsToRange(const DocRange& range, const PropRecord& record);
// The same for a range that is known to be whole paragraphs of plain text outside any knot's
// hidden stretch (the cells of a new row): set directly, without widening the range to its
// paragraphs or walking it for knots.
bool ApplyPropsToParagraphs(const DocRange& range, const PropRecord& record);
// Splits the character (0) or paragraph (1) runs at the range's ends; the first cp's run gets
// propIndex (kGMNone: a copy of the run in effect there). The run index at first, kGMNone on failure.
uint32_t SplitRuns(const DocRange& range, DocRange* out, uint32_t propType, uint32_t* limitIndex,
                   uint32_t propIndex);
enum : uint32_t { kExpandWord = 0, kExpandPara = 1, kExpandChapter = 2, kExpandNone = 3, kExpandTable = 4 };
void ExpandDocRange(DocRange* range, uint32_t unit);

// Edit globals.
extern int32_t g_redrawReason;
extern uint32_t g_deleteMask;
extern bool g_forceEdit;
extern uint32_t g_postReplaceCp;

// The seam for copying a range of another document into a document: installed by the clipboard
// code. Without it, a copy fails and leaves the target unchanged.
using GMCopyRangeHook = std::function<bool(DocRange* target, const DocRange& source)>;
void SetCopyRangeHook(GMCopyRangeHook hook);
