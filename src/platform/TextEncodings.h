// The system's string-encoding numbers and the conversions behind them. Qt converts only UTF-*
// and Latin-1, so every encoding here goes through an ICU converter named in one table; the
// readers of RTF, Excel and foreign text files hand in the numbers they find in their data.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <optional>

// A string encoding as the system numbers it: small numbers for the common encodings, and for the
// others the "core" encoding number with the top bit set (see StringEncodingForCoreEncoding).
using FLStringEncoding = uint32_t;

inline constexpr FLStringEncoding kFLEncodingNone = 0;
inline constexpr FLStringEncoding kFLEncodingASCII = 1;
inline constexpr FLStringEncoding kFLEncodingJapaneseEUC = 3;
inline constexpr FLStringEncoding kFLEncodingUTF8 = 4;
inline constexpr FLStringEncoding kFLEncodingISOLatin1 = 5;
inline constexpr FLStringEncoding kFLEncodingSymbol = 6;
inline constexpr FLStringEncoding kFLEncodingShiftJIS = 8;
inline constexpr FLStringEncoding kFLEncodingISOLatin2 = 9;
// UTF-16 with a byte-order mark: read in the order the mark gives (big-endian without one),
// written big-endian after a mark.
inline constexpr FLStringEncoding kFLEncodingUnicode = 10;
inline constexpr FLStringEncoding kFLEncodingWindowsCyrillic = 11;  // code page 1251
inline constexpr FLStringEncoding kFLEncodingWindowsLatin1 = 12;    // code page 1252
inline constexpr FLStringEncoding kFLEncodingWindowsGreek = 13;     // code page 1253
inline constexpr FLStringEncoding kFLEncodingWindowsTurkish = 14;   // code page 1254
inline constexpr FLStringEncoding kFLEncodingWindowsLatin2 = 15;    // code page 1250
inline constexpr FLStringEncoding kFLEncodingISO2022JP = 21;
inline constexpr FLStringEncoding kFLEncodingMacRoman = 30;
inline constexpr FLStringEncoding kFLEncodingUTF16BigEndian = 0x90000100;
inline constexpr FLStringEncoding kFLEncodingUTF16LittleEndian = 0x94000100;
inline constexpr FLStringEncoding kFLEncodingUTF32 = 0x8C000100;
inline constexpr FLStringEncoding kFLEncodingUTF32BigEndian = 0x98000100;
inline constexpr FLStringEncoding kFLEncodingUTF32LittleEndian = 0x9C000100;

// The core encoding numbers that file formats store (Excel's code-page records are mapped to
// them) and the string encodings they stand for. Numbers without a string encoding of their own
// become 0x80000000 | core, as the system does.
FLStringEncoding StringEncodingForCoreEncoding(uint32_t coreEncoding);
uint32_t CoreEncodingForStringEncoding(FLStringEncoding encoding);

// The string encoding of a Windows, DOS, Mac, EBCDIC or ISCII code page, from the 61 pages that
// RTF and Excel files name. 1252, a page not in the table and a page whose encoding cannot be
// converted here all give Windows Latin 1, so a reader always has an encoding to go on with.
FLStringEncoding StringEncodingForCodePage(int codePage);

// The ICU converter behind an encoding, or nullptr when it has none.
const char* ConverterNameForEncoding(FLStringEncoding encoding);
// Whether text in this encoding can be converted at all.
bool IsEncodingAvailable(FLStringEncoding encoding);

// Whether every character of the named character set (an ICU or IANA name, as a page declares
// it) is one byte: its text then holds as many characters as its bytes. False for an unknown name.
bool IsSingleByteCharacterSet(QByteArrayView name);

// Memory that runs out inside a conversion (ICU's own allocations among them) throws
// std::bad_alloc from every function here, so that it is never taken for an encoding that is
// unavailable or bytes that are not text in it.
//
// Bytes to text. Strict: nothing when a byte sequence is invalid or unmapped, or the encoding
// unavailable. Lossy: each bad sequence becomes U+FFFD; nothing only for an unavailable encoding.
std::optional<QString> DecodeText(QByteArrayView bytes, FLStringEncoding encoding, bool lossy = false);
// The strict decoding of bytes that come in pieces (a file read a piece at a time), which gives
// the text DecodeText gives of the pieces joined: a character may be split between pieces.
class FLTextPieceDecoder {
 public:
  explicit FLTextPieceDecoder(FLStringEncoding encoding);
  ~FLTextPieceDecoder();
  FLTextPieceDecoder(const FLTextPieceDecoder&) = delete;
  FLTextPieceDecoder& operator=(const FLTextPieceDecoder&) = delete;
  // Appends the text of the next piece to `text` (whose room, when reserved, is used: the text
  // of a piece takes no more characters than the piece has bytes, and a few). `last`: no piece
  // follows. False at bytes that are no text in the encoding (the text is then part of it), or
  // when the encoding is unavailable.
  bool append(QByteArrayView piece, bool last, QString& text);

 private:
  struct State;
  std::unique_ptr<State> state_;
};
// Text to bytes. Strict: nothing when a character has no mapping (or is a lone surrogate). Lossy:
// such characters become the encoding's substitution byte(s).
std::optional<QByteArray> EncodeText(QStringView text, FLStringEncoding encoding, bool lossy = false);
