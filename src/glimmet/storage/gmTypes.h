// The small shared types of the text engine's storage: document ranges and the engine's
// "none" value for 32-bit indexes and cps.
#pragma once

#include "glimmet/storage/gmCpTable.h"

#include <cstdint>

struct GlimmetDoc;

// A stretch [first, limit) of one document's text. A range that must survive edits is
// registered (gmEdit.h), so that every edit adjusts it.
struct DocRange {
  GlimmetDoc* doc = nullptr;
  uint32_t first = 0;
  uint32_t limit = 0;

  bool empty() const { return first >= limit; }
  uint32_t length() const { return limit > first ? limit - first : 0; }
  bool operator==(const DocRange&) const = default;
};

// The cp nearest cp among the range's own cps [first, limit - 1]; an empty range gives its first.
inline uint32_t ClampCpToRange(uint32_t cp, const DocRange& range) {
  if (range.limit <= range.first || cp <= range.first) return range.first;
  return cp < range.limit ? cp : range.limit - 1;
}

// Document kinds.
inline constexpr int32_t kDocClipboard = 0;
inline constexpr int32_t kDocHelp = 1;
inline constexpr int32_t kDocTemporary = 2;
inline constexpr int32_t kDocPreferences = 3;
inline constexpr int32_t kDocShown = 4;

// Characters with a meaning in the stream.
inline constexpr char16_t kKnotChar = 0x0000;    // atomic and begin kinks
inline constexpr char16_t kKnotMarkChar = 0x0001;  // a kink that also ends a paragraph
inline constexpr char16_t kBullet = 0x2022;     // what a stray kink character becomes

// Paragraph marks: LF, U+000B, U+000C (a U+0001 kink also ends a paragraph).
inline bool IsParaMarkChar(char16_t ch) { return ch == 0x0A || ch == 0x0B || ch == 0x0C; }
inline bool IsBreakChar(char16_t ch) { return ch == 0x01 || IsParaMarkChar(ch); }
inline bool IsKinkChar(char16_t ch) { return ch <= 0x01; }

bool IsMainThread();
