// The control words of RTF that the text engine reads and writes, shared by the reader and the
// writer: each word has an identifier (its row, 1 and up, in name order ignoring case; 0 means
// no word) and the kind of property it changes (255 for words the reader handles itself).
#pragma once

#include <QStringView>

#include <cstdint>

inline constexpr uint32_t kRtfSpecialKind = 255;

// The identifier of a control word, ignoring case; 0 when the name is not a known word.
uint32_t RtfKeywordForName(QStringView name);
uint32_t RtfKeywordForName(const char* name);
// The word of an identifier, "" for 0 or an unknown identifier.
const char* RtfKeywordName(uint32_t keyword);
// The property kind of an identifier, kRtfSpecialKind for 0 or an unknown identifier.
uint32_t RtfKeywordKind(uint32_t keyword);
uint32_t RtfKeywordCount();
