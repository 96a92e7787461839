// String encodings through ICU converters: the one table from the system's encoding numbers to
// converter names, the code-page table that RTF and Excel files need, and the conversions.
#include "platform/TextEncodings.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <span>
#include <vector>
#include <unordered_map>

namespace {

// Encodings that have no small number of their own are the core number with this bit.
constexpr FLStringEncoding kCoreEncodingFlag = 0x80000000;

// A byte whose character differs between ICU's IBM-derived table and the Windows table that
// files in these pages were written with.
struct ByteOverride {
  uint8_t byte;
  char16_t character;
};

// IBM's PC tables exchange 0x1A, 0x1C and 0x7F among the controls; Windows reads them as
// themselves.
constexpr ByteOverride kPcControls[] = {{0x1A, 0x001A}, {0x1C, 0x001C}, {0x7F, 0x007F}};
// ...and IBM reads 0xE6 as the Greek mu where Windows has the micro sign.
constexpr ByteOverride kPcControlsMicro[] = {
    {0x1A, 0x001A}, {0x1C, 0x001C}, {0x7F, 0x007F}, {0xE6, 0x00B5}};
constexpr ByteOverride kPc852[] = {{0x1A, 0x001A}, {0x1C, 0x001C}, {0x7F, 0x007F}, {0xAA, 0x00AC}};
constexpr ByteOverride kPc864[] = {{0x1A, 0x001A}, {0x1C, 0x001C}, {0x7F, 0x007F}, {0x25, 0x066A},
                                   {0xD7, 0xFEC1}, {0xD8, 0xFEC5}, {0xF1, 0x0651}};
constexpr ByteOverride kPc869[] = {
    {0x1A, 0x001A}, {0x1C, 0x001C}, {0x7F, 0x007F}, {0x88, 0x00B7}, {0xEF, 0x0384}};

struct EncodingRow {
  FLStringEncoding encoding;
  uint32_t coreEncoding;
  const char* converter;  // nullptr: no converter here, so text in it cannot be read
  std::span<const ByteOverride> overrides = {};
};

constexpr FLStringEncoding FromCore(uint32_t core) { return kCoreEncodingFlag | core; }

// The one table. The Mac Japanese, Korean and Chinese encodings are the Mac variants of
// Shift-JIS, EUC-KR, Big5 and GB 2312; ICU carries only those bases, which decode the same double-
// byte sets and differ in a handful of single-byte symbols. The Mac Indic encodings are the ISCII
// pages of the same scripts. Mac Symbol, Arabic, Hebrew, Thai and Windows Johab have no ICU
// converter, and the readers fall back to Windows Latin 1 for them.
constexpr std::array kEncodings = {
    EncodingRow{kFLEncodingASCII, 0x0600, "US-ASCII"},
    EncodingRow{kFLEncodingJapaneseEUC, 0x0920, "EUC-JP"},
    EncodingRow{kFLEncodingUTF8, 0x08000100, "UTF-8"},
    EncodingRow{kFLEncodingISOLatin1, 0x0201, "ISO-8859-1"},
    EncodingRow{kFLEncodingSymbol, 0x0021, nullptr},
    EncodingRow{kFLEncodingShiftJIS, 0x0420, "Shift_JIS"},
    EncodingRow{kFLEncodingISOLatin2, 0x0202, "ISO-8859-2"},
    EncodingRow{kFLEncodingUnicode, 0x0100, "UTF-16"},
    EncodingRow{kFLEncodingWindowsCyrillic, 0x0502, "windows-1251"},
    EncodingRow{kFLEncodingWindowsLatin1, 0x0500, "windows-1252"},
    EncodingRow{kFLEncodingWindowsGreek, 0x0503, "windows-1253"},
    EncodingRow{kFLEncodingWindowsTurkish, 0x0504, "windows-1254"},
    EncodingRow{kFLEncodingWindowsLatin2, 0x0501, "windows-1250"},
    EncodingRow{kFLEncodingISO2022JP, 0x0820, "ISO-2022-JP"},
    EncodingRow{kFLEncodingMacRoman, 0x0000, "macintosh"},
    EncodingRow{kFLEncodingUTF16BigEndian, 0x10000100, "UTF-16BE"},
    EncodingRow{kFLEncodingUTF16LittleEndian, 0x14000100, "UTF-16LE"},
    EncodingRow{kFLEncodingUTF32, 0x0C000100, "UTF-32"},
    EncodingRow{kFLEncodingUTF32BigEndian, 0x18000100, "UTF-32BE"},
    EncodingRow{kFLEncodingUTF32LittleEndian, 0x1C000100, "UTF-32LE"},
    // Mac script encodings.
    EncodingRow{FromCore(0x0001), 0x0001, "Shift_JIS"},  // Mac Japanese
    EncodingRow{FromCore(0x0002), 0x0002, "Big5"},       // Mac Traditional Chinese
    EncodingRow{FromCore(0x0003), 0x0003, "EUC-KR"},     // Mac Korean
    EncodingRow{FromCore(0x0004), 0x0004, nullptr},      // Mac Arabic
    EncodingRow{FromCore(0x0005), 0x0005, nullptr},      // Mac Hebrew
    EncodingRow{FromCore(0x0006), 0x0006, "x-mac-greek"},
    EncodingRow{FromCore(0x0007), 0x0007, "x-mac-cyrillic"},
    EncodingRow{FromCore(0x0009), 0x0009, "ISCII,version=0"},  // Mac Devanagari
    EncodingRow{FromCore(0x000A), 0x000A, "ISCII,version=2"},  // Mac Gurmukhi
    EncodingRow{FromCore(0x000B), 0x000B, "ISCII,version=3"},  // Mac Gujarati
    EncodingRow{FromCore(0x000C), 0x000C, "ISCII,version=4"},  // Mac Oriya
    EncodingRow{FromCore(0x000D), 0x000D, "ISCII,version=1"},  // Mac Bengali
    EncodingRow{FromCore(0x000E), 0x000E, "ISCII,version=5"},  // Mac Tamil
    EncodingRow{FromCore(0x000F), 0x000F, "ISCII,version=6"},  // Mac Telugu
    EncodingRow{FromCore(0x0010), 0x0010, "ISCII,version=7"},  // Mac Kannada
    EncodingRow{FromCore(0x0011), 0x0011, "ISCII,version=8"},  // Mac Malayalam
    EncodingRow{FromCore(0x0015), 0x0015, nullptr},            // Mac Thai
    EncodingRow{FromCore(0x0019), 0x0019, "GB2312"},           // Mac Simplified Chinese
    EncodingRow{FromCore(0x001D), 0x001D, "x-mac-centraleurroman"},
    EncodingRow{FromCore(0x0023), 0x0023, "x-mac-turkish"},
    // ISO, DOS, Windows, Big5 and EBCDIC pages.
    EncodingRow{FromCore(0x0206), 0x0206, "ISO-8859-6"},
    EncodingRow{FromCore(0x0400), 0x0400, "IBM437", kPcControlsMicro},
    EncodingRow{FromCore(0x0405), 0x0405, "ibm-737", kPcControls},
    EncodingRow{FromCore(0x0406), 0x0406, "ibm-775", kPcControls},
    EncodingRow{FromCore(0x0410), 0x0410, "IBM850", kPcControls},
    EncodingRow{FromCore(0x0411), 0x0411, "ibm-851", kPcControls},
    EncodingRow{FromCore(0x0412), 0x0412, "IBM852", kPc852},
    EncodingRow{FromCore(0x0413), 0x0413, "IBM855", kPcControls},
    EncodingRow{FromCore(0x0414), 0x0414, "IBM857", kPcControls},
    EncodingRow{FromCore(0x0415), 0x0415, "IBM860", kPcControlsMicro},
    EncodingRow{FromCore(0x0416), 0x0416, "IBM861", kPcControlsMicro},
    EncodingRow{FromCore(0x0417), 0x0417, "IBM862", kPcControlsMicro},
    EncodingRow{FromCore(0x0418), 0x0418, "IBM863", kPcControlsMicro},
    EncodingRow{FromCore(0x0419), 0x0419, "IBM864", kPc864},
    EncodingRow{FromCore(0x041A), 0x041A, "IBM865", kPcControlsMicro},
    EncodingRow{FromCore(0x041B), 0x041B, "IBM866", kPcControls},
    EncodingRow{FromCore(0x041C), 0x041C, "IBM869", kPc869},
    EncodingRow{FromCore(0x041D), 0x041D, "windows-874"},
    EncodingRow{FromCore(0x0421), 0x0421, "windows-936"},
    EncodingRow{FromCore(0x0422), 0x0422, "windows-949"},
    EncodingRow{FromCore(0x0423), 0x0423, "windows-950"},
    EncodingRow{FromCore(0x0505), 0x0505, "windows-1255"},
    EncodingRow{FromCore(0x0506), 0x0506, "windows-1256"},
    EncodingRow{FromCore(0x0507), 0x0507, "windows-1257"},
    EncodingRow{FromCore(0x0508), 0x0508, "windows-1258"},
    EncodingRow{FromCore(0x0510), 0x0510, nullptr},  // Windows Korean Johab
    EncodingRow{FromCore(0x0A03), 0x0A03, "Big5"},
    EncodingRow{FromCore(0x0C02), 0x0C02, "IBM037"},
};

struct CodePageRow {
  int codePage;
  uint32_t coreEncoding;
};

// Code page -> core encoding, sorted by code page. 10008 is Mac Simplified Chinese (GB 2312);
// it is not sent to the traditional-Chinese encoding, whose Big5 tables would garble it.
constexpr std::array kCodePages = {
    CodePageRow{37, 0xC02},    CodePageRow{42, 0x21},     CodePageRow{437, 0x400},
    CodePageRow{708, 0x206},   CodePageRow{709, 0x206},   CodePageRow{710, 0x206},
    CodePageRow{711, 0x206},   CodePageRow{720, 0x206},   CodePageRow{737, 0x405},
    CodePageRow{775, 0x406},   CodePageRow{819, 0x500},   CodePageRow{850, 0x410},
    CodePageRow{851, 0x411},   CodePageRow{852, 0x412},   CodePageRow{855, 0x413},
    CodePageRow{857, 0x414},   CodePageRow{860, 0x415},   CodePageRow{861, 0x416},
    CodePageRow{862, 0x417},   CodePageRow{863, 0x418},   CodePageRow{864, 0x419},
    CodePageRow{865, 0x41A},   CodePageRow{866, 0x41B},   CodePageRow{869, 0x41C},
    CodePageRow{874, 0x41D},   CodePageRow{932, 0x420},   CodePageRow{936, 0x421},
    CodePageRow{949, 0x422},   CodePageRow{950, 0x423},   CodePageRow{1250, 0x501},
    CodePageRow{1251, 0x502},  CodePageRow{1252, 0x500},  CodePageRow{1253, 0x503},
    CodePageRow{1254, 0x504},  CodePageRow{1255, 0x505},  CodePageRow{1256, 0x506},
    CodePageRow{1257, 0x507},  CodePageRow{1258, 0x508},  CodePageRow{1361, 0x510},
    CodePageRow{10000, 0x0},   CodePageRow{10001, 0x1},   CodePageRow{10002, 0xA03},
    CodePageRow{10003, 0x3},   CodePageRow{10004, 0x4},   CodePageRow{10005, 0x5},
    CodePageRow{10006, 0x6},   CodePageRow{10007, 0x7},   CodePageRow{10008, 0x19},
    CodePageRow{10021, 0x15},  CodePageRow{10029, 0x1D},  CodePageRow{10081, 0x23},
    CodePageRow{57002, 0x9},   CodePageRow{57003, 0xD},   CodePageRow{57004, 0xE},
    CodePageRow{57005, 0xF},   CodePageRow{57006, 0x500}, CodePageRow{57007, 0xC},
    CodePageRow{57008, 0x10},  CodePageRow{57009, 0x11},  CodePageRow{57010, 0xB},
    CodePageRow{57011, 0x500},
};
static_assert(kCodePages.size() == 61);

const EncodingRow* RowForEncoding(FLStringEncoding encoding) {
  for (const EncodingRow& row : kEncodings)
    if (row.encoding == encoding) return &row;
  return nullptr;
}

// ICU answers an allocation it could not make with U_MEMORY_ALLOCATION_ERROR, as it answers a
// converter it does not have or bytes that are no text with statuses of their own. Memory that
// ran out is thrown here, as any allocation that fails: it is never an encoding that is missing,
// or bytes that are not text in it, which would send a reader on to another encoding.
void ThrowIfOutOfMemory(UErrorCode status) {
  if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
}

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using ConverterPointer = std::unique_ptr<UConverter, ConverterCloser>;

// ICU shares each converter's tables process-wide; the converter objects themselves carry state,
// so each thread keeps its own, reset before every use. The RTF reader converts many short runs.
UConverter* ConverterFor(const char* name) {
  thread_local std::unordered_map<const char*, ConverterPointer> converters;
  auto found = converters.find(name);
  if (found == converters.end()) {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPointer converter(ucnv_open(name, &status));
    // Not kept: a converter that could not be made for memory may be made the next time.
    ThrowIfOutOfMemory(status);
    if (U_FAILURE(status)) converter.reset();
    found = converters.emplace(name, std::move(converter)).first;
  }
  UConverter* converter = found->second.get();
  if (converter) ucnv_reset(converter);
  return converter;
}

}  // namespace

bool IsSingleByteCharacterSet(QByteArrayView name) {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPointer converter(ucnv_open(name.toByteArray().constData(), &status));
  ThrowIfOutOfMemory(status);
  // Stateful sets (ISO-2022 and the like) shift with escapes that are no characters.
  return converter && U_SUCCESS(status) && ucnv_getMinCharSize(converter.get()) == 1 &&
         ucnv_getMaxCharSize(converter.get()) == 1 && ucnv_getType(converter.get()) != UCNV_ISO_2022;
}

namespace {

UConverter* ConverterForEncoding(FLStringEncoding encoding) {
  const EncodingRow* row = RowForEncoding(encoding);
  return row && row->converter ? ConverterFor(row->converter) : nullptr;
}

constexpr char16_t kUnmapped = 0xFFFF;  // a noncharacter: no page maps a byte to it

// A single-byte page as two tables, made once from its ICU converter with the row's overrides
// applied. Reading and writing these pages needs no converter state, and the overrides make
// them read as Windows does.
struct SingleBytePage {
  std::array<char16_t, 256> characters{};
  std::vector<std::pair<char16_t, uint8_t>> bytes;  // sorted by character
  uint8_t substitute = '?';
};

std::unique_ptr<SingleBytePage> MakeSingleBytePage(const EncodingRow& row, UConverter* converter) {
  auto page = std::make_unique<SingleBytePage>();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ThrowIfOutOfMemory(status);
  for (int b = 0; b < 256; ++b) {
    const char byte = char(b);
    UChar unit[2];
    status = U_ZERO_ERROR;
    ucnv_reset(converter);
    const int32_t count = ucnv_toUChars(converter, unit, 2, &byte, 1, &status);
    ThrowIfOutOfMemory(status);
    page->characters[size_t(b)] = U_SUCCESS(status) && count == 1 ? unit[0] : kUnmapped;
  }
  for (const ByteOverride& override : row.overrides) page->characters[override.byte] = override.character;
  for (int b = 0; b < 256; ++b)
    if (page->characters[size_t(b)] != kUnmapped) page->bytes.emplace_back(page->characters[size_t(b)], uint8_t(b));
  // Two bytes for one character would make writing ambiguous; the lower byte wins.
  std::stable_sort(page->bytes.begin(), page->bytes.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  page->bytes.erase(std::unique(page->bytes.begin(), page->bytes.end(),
                                [](const auto& a, const auto& b) { return a.first == b.first; }),
                    page->bytes.end());
  // A question mark stands in for what cannot be written, rather than the control character
  // that ICU substitutes in many pages; pages without one (none of the table's) keep ICU's.
  const auto question = std::lower_bound(page->bytes.begin(), page->bytes.end(), u'?',
                                         [](const auto& entry, char16_t value) { return entry.first < value; });
  if (question != page->bytes.end() && question->first == u'?') {
    page->substitute = question->second;
  } else {
    char substitute[4];
    int8_t length = sizeof substitute;
    status = U_ZERO_ERROR;
    ucnv_getSubstChars(converter, substitute, &length, &status);
    if (U_SUCCESS(status) && length == 1) page->substitute = uint8_t(substitute[0]);
  }
  return page;
}

// The page of a single-byte encoding, or nullptr for the others (multi-byte and stateful
// converters, which ICU drives itself).
const SingleBytePage* SingleBytePageFor(const EncodingRow& row) {
  static std::mutex lock;
  static std::map<FLStringEncoding, std::unique_ptr<SingleBytePage>> pages;
  std::lock_guard guard(lock);
  auto found = pages.find(row.encoding);
  if (found == pages.end()) {
    std::unique_ptr<SingleBytePage> page;
    if (UConverter* converter = ConverterFor(row.converter)) {
      const UConverterType type = ucnv_getType(converter);
      if (type == UCNV_SBCS || type == UCNV_LATIN_1 || type == UCNV_US_ASCII)
        page = MakeSingleBytePage(row, converter);
    }
    found = pages.emplace(row.encoding, std::move(page)).first;
  }
  return found->second.get();
}

std::optional<QString> DecodeSingleByte(const SingleBytePage& page, QByteArrayView bytes, bool lossy) {
  QString text(bytes.size(), Qt::Uninitialized);
  QChar* out = text.data();
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    char16_t c = page.characters[uint8_t(bytes[i])];
    if (c == kUnmapped) {
      if (!lossy) return std::nullopt;
      c = 0xFFFD;
    }
    out[i] = QChar(c);
  }
  return text;
}

std::optional<QByteArray> EncodeSingleByte(const SingleBytePage& page, QStringView text, bool lossy) {
  QByteArray bytes(text.size(), Qt::Uninitialized);
  qsizetype written = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    const auto found = std::lower_bound(page.bytes.begin(), page.bytes.end(), c,
                                        [](const auto& entry, char16_t value) { return entry.first < value; });
    if (found != page.bytes.end() && found->first == c) {
      bytes[written++] = char(found->second);
    } else {
      if (!lossy) return std::nullopt;
      bytes[written++] = char(page.substitute);
      // A surrogate pair is one character and gets one substitute.
      if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
    }
  }
  bytes.truncate(written);
  return bytes;
}

// Lossy reading writes U+FFFD for every bad sequence; ICU's own substitution writes U+001A for
// unassigned bytes of some single-byte pages, which would put a control character in the text.
void WriteReplacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                               UConverterCallbackReason reason, UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;
  static const UChar kReplacement = 0xFFFD;
  *status = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, status);
}

}  // namespace

FLStringEncoding StringEncodingForCoreEncoding(uint32_t coreEncoding) {
  for (const EncodingRow& row : kEncodings)
    if (row.coreEncoding == coreEncoding) return row.encoding;
  return FromCore(coreEncoding);
}

uint32_t CoreEncodingForStringEncoding(FLStringEncoding encoding) {
  if (const EncodingRow* row = RowForEncoding(encoding)) return row->coreEncoding;
  return encoding & kCoreEncodingFlag ? encoding & ~kCoreEncodingFlag : 0xFFFFFFFF;
}

FLStringEncoding StringEncodingForCodePage(int codePage) {
  const auto* found = std::lower_bound(
      kCodePages.begin(), kCodePages.end(), codePage,
      [](const CodePageRow& row, int page) { return row.codePage < page; });
  if (found == kCodePages.end() || found->codePage != codePage) return kFLEncodingWindowsLatin1;
  FLStringEncoding encoding = StringEncodingForCoreEncoding(found->coreEncoding);
  return IsEncodingAvailable(encoding) ? encoding : kFLEncodingWindowsLatin1;
}

const char* ConverterNameForEncoding(FLStringEncoding encoding) {
  const EncodingRow* row = RowForEncoding(encoding);
  return row ? row->converter : nullptr;
}

bool IsEncodingAvailable(FLStringEncoding encoding) { return ConverterForEncoding(encoding) != nullptr; }

std::optional<QString> DecodeText(QByteArrayView bytes, FLStringEncoding encoding, bool lossy) {
  const EncodingRow* row = RowForEncoding(encoding);
  if (!row || !row->converter) return std::nullopt;
  if (const SingleBytePage* page = SingleBytePageFor(*row)) return DecodeSingleByte(*page, bytes, lossy);
  UConverter* converter = ConverterFor(row->converter);
  if (!converter) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  if (lossy)
    ucnv_setToUCallBack(converter, WriteReplacementCharacter, nullptr, nullptr, nullptr, &status);
  else
    ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ThrowIfOutOfMemory(status);
  if (U_FAILURE(status)) return std::nullopt;

  QString text(bytes.size() + 16, Qt::Uninitialized);
  const char* source = bytes.data();
  const char* sourceLimit = source + bytes.size();
  qsizetype written = 0;
  for (;;) {
    UChar* start = reinterpret_cast<UChar*>(text.data());
    UChar* target = start + written;
    status = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, start + text.size(), &source, sourceLimit, nullptr, true,
                   &status);
    written = target - start;
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
    text.resize(text.size() * 2);
  }
  ThrowIfOutOfMemory(status);
  if (U_FAILURE(status)) return std::nullopt;
  text.truncate(written);
  return text;
}

struct FLTextPieceDecoder::State {
  const SingleBytePage* page = nullptr;
  ConverterPointer converter;
  bool failed = false;
};

FLTextPieceDecoder::FLTextPieceDecoder(FLStringEncoding encoding) : state_(std::make_unique<State>()) {
  const EncodingRow* row = RowForEncoding(encoding);
  if (!row || !row->converter) {
    state_->failed = true;
    return;
  }
  state_->page = SingleBytePageFor(*row);
  if (state_->page) return;
  // A converter of its own: the shared one is reset by every other decoding on the thread.
  UErrorCode status = U_ZERO_ERROR;
  state_->converter.reset(ucnv_open(row->converter, &status));
  // Memory that ran out is no encoding the bytes are not in: thrown, never told as bad bytes.
  ThrowIfOutOfMemory(status);
  if (U_FAILURE(status) || !state_->converter) {
    state_->converter.reset();
    state_->failed = true;
    return;
  }
  ucnv_setToUCallBack(state_->converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ThrowIfOutOfMemory(status);
  if (U_FAILURE(status)) state_->failed = true;
}

FLTextPieceDecoder::~FLTextPieceDecoder() = default;

bool FLTextPieceDecoder::append(QByteArrayView piece, bool last, QString& text) {
  if (state_->failed) return false;
  qsizetype written = text.size();
  if (state_->page) {
    text.resize(written + piece.size());
    QChar* out = text.data() + written;
    for (qsizetype i = 0; i < piece.size(); ++i) {
      const char16_t c = state_->page->characters[uint8_t(piece[i])];
      if (c == kUnmapped) {
        state_->failed = true;
        text.truncate(written + i);
        return false;
      }
      out[i] = QChar(c);
    }
    return true;
  }
  UConverter* converter = state_->converter.get();
  const char* source = piece.data();
  const char* sourceLimit = source + piece.size();
  text.resize(written + piece.size() + 16);
  UErrorCode status = U_ZERO_ERROR;
  for (;;) {
    UChar* start = reinterpret_cast<UChar*>(text.data());
    UChar* target = start + written;
    status = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, start + text.size(), &source, sourceLimit, nullptr, last, &status);
    written = target - start;
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
    text.resize(text.size() + std::max<qsizetype>(sourceLimit - source, 16) + 16);
  }
  text.truncate(written);
  ThrowIfOutOfMemory(status);
  if (U_FAILURE(status)) {
    state_->failed = true;
    return false;
  }
  return true;
}

std::optional<QByteArray> EncodeText(QStringView text, FLStringEncoding encoding, bool lossy) {
  const EncodingRow* row = RowForEncoding(encoding);
  if (!row || !row->converter) return std::nullopt;
  if (const SingleBytePage* page = SingleBytePageFor(*row)) return EncodeSingleByte(*page, text, lossy);
  UConverter* converter = ConverterFor(row->converter);
  if (!converter) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  if (lossy)
    ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr,
                          &status);
  else
    ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ThrowIfOutOfMemory(status);
  if (U_FAILURE(status)) return std::nullopt;

  QByteArray bytes(text.size() * qsizetype(ucnv_getMaxCharSize(converter)) + 16, Qt::Uninitialized);
  const UChar* source = reinterpret_cast<const UChar*>(text.utf16());
  const UChar* sourceLimit = source + text.size();
  qsizetype written = 0;
  for (;;) {
    char* start = bytes.data();
    char* target = start + written;
    status = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, start + bytes.size(), &source, sourceLimit, nullptr, true,
                     &status);
    written = target - start;
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
    bytes.resize(bytes.size() * 2);
  }
  ThrowIfOutOfMemory(status);
  if (U_FAILURE(status)) return std::nullopt;
  bytes.truncate(written);
  return bytes;
}
