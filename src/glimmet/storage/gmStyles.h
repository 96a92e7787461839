// Styles: named formattings in a document's style sheet. A paragraph style has paragraph and
// character formattings, a character, chapter, table or list style one record of its kind.
// Built-in styles (ids 0-29) are made on demand; user styles carry id 254. Styles are based on
// one another; changing a style changes the styles based on it and every run that uses it,
// keeping the direct formatting the runs have on top of their style.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

struct GMStyle;
struct PropRecord;

inline constexpr uint32_t kStyleNone = 32767;      // based-on none, next = itself, no copy
inline constexpr uint32_t kUserStyleId = 254;
inline constexpr uint32_t kBuiltinStyleCount = 30;
// The sheet holds at most this many styles, Normal included, so that every style index stays
// below the built-in references.
inline constexpr uint32_t kMaxStyles = 3999;
// Style references: an index below 4000, a built-in by id from 4000, a kind's heading from 5000.
inline constexpr uint32_t kBuiltinStyleRef = 4000;
inline constexpr uint32_t kStyleHeadingRef = 5000;
inline constexpr uint32_t kLinkStyleId = 6;
inline constexpr uint32_t kHeaderStyleId = 15;
inline constexpr uint32_t kListStyleId = 21;  // "list 1"; "list 9" is 29

extern const char* const g_builtinStyleNames[kBuiltinStyleCount];

// The shared alert of the text engine (message, information); the shell installs it.
using GMAlertHook = std::function<void(const QString& message, const QString& information)>;
void SetGMAlertHook(GMAlertHook hook);
void ShowGMAlert(const QString& message, const QString& information);

uint32_t PropTypeForStyle(GlimmetDoc* doc, uint32_t styleRef);
// The index of the built-in style; made when missing and create is set; else kGMNone.
uint32_t StyleIndexForStyleId(GlimmetDoc* doc, uint32_t id, bool create);
// The definition of a built-in style: its record and formattings (second: kind 255 when unused).
void GetBuiltinStyleDef(GlimmetDoc* doc, uint32_t id, GMStyle* style, PropRecord* first, PropRecord* second);
// A new style; kGMNone when it cannot be made (the style limit shows an alert).
uint32_t CreateStyle(GlimmetDoc* doc, const QString& name, uint32_t id, uint32_t basedOnRef, uint32_t next,
                     const PropRecord& first, const PropRecord* second);
// Gives Normal new formattings and changes every run that uses it.
bool ChangeStyle(GlimmetDoc* doc, uint32_t next, const PropRecord& para, const PropRecord& chars);
// Sets font and size of Normal's character formatting, then in the character records: all of
// them (force) or those that had Normal's old font and size.
bool SetNormalFont(GlimmetDoc* doc, uint16_t font, int16_t size, bool force);
// Applies a built-in style's formattings to the range.
bool ForceRangeToStyleId(const DocRange& range, uint32_t id);
// Gives each paragraph of the range the style, keeping its own formatting.
bool ApplyParaStyle(const DocRange& range, uint32_t styleRef);
// Several paragraph-style changes in one pass over the runs; the ranges must not overlap.
struct GMParaStyleChange {
  DocRange range;
  uint32_t styleRef = 0;
};
bool ApplyParaStyles(GlimmetDoc* doc, const std::vector<GMParaStyleChange>& changes);
// Changes a style's formattings (and based-on, next): the styles based on it and the runs that use it follow.
bool UpdateStyle(GlimmetDoc* doc, uint32_t styleIndex, const GMStyle& newStyle, const PropRecord& first,
                 const PropRecord* second);
bool RebuildStyleList(GlimmetDoc* doc);
// Whether reference a sorts before b in the style list (kind, the kind's heading first, name ignoring case).
bool StyleSortsBefore(GlimmetDoc* doc, uint32_t a, uint32_t b);

// Makes the style of a record exist in the destination and answers its index there (kGMNone on
// failure); Normal, and documents that refuse style copying, answer the record's own index 0.
uint32_t CopyStyle(GlimmetDoc* destination, GlimmetDoc* source, const PropRecord& record);
void ResetCopySlots(GlimmetDoc* doc);
uint32_t ImportStyle(GlimmetDoc* destination, GlimmetDoc* source, uint32_t sourceIndex);

// The record re-expressed on the destination's style: its differences from its style in the
// source, applied to the destination style's formatting.
bool MakePropsRelative(GlimmetDoc* destination, GlimmetDoc* source, PropRecord* record, uint32_t destStyle,
                       int64_t destCp);

// Creates the preference document at launch (once); shown documents take built-in styles from it.
GlimmetDoc* CreatePreferenceDocument();
void DestroyPreferenceDocument();
