// One layer of cell formatting: text styles, alignment, text and background colours, a number
// format and a border, with a mask of the properties the layer sets. Formats are kept per cell,
// row, column and once for the document; a cell is drawn with the default composed with the
// layers over it. Also the "format" XML element and the attributed text a cell is drawn with.
#pragma once

#include "calculator/model/CABorder.h"
#include "calculator/model/CANumberFormat.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flStringExtensions.h"

#include <QFont>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

class FLXmlDecoder;
class FLXmlEncoder;
class QPainter;
class QRectF;
struct GridPoint;

// Mask bits.
enum : uint64_t {
  kFormatBold = 1,
  kFormatItalic = 2,
  kFormatUnderline = 4,
  kFormatStrike = 8,
  kFormatAlignment = 16,
  kFormatTextColor = 32,
  kFormatBackground = 64,
  kFormatBorder = 128,
  kFormatNumberFormat = 256,
};
// The mask of the document's default format, which sets everything; it marks that format.
inline constexpr uint64_t kFormatDefaultMask = 0xFFFFFFFF;

// Alignment codes; 103 is written as left.
enum : int32_t {
  kAlignmentLeft = 100,
  kAlignmentCenter = 101,
  kAlignmentRight = 102,
  kAlignmentJustified = 103,
  kAlignmentAuto = 104,  // not set
};

// What the workbook reader hands over for a cell imported from Excel.
struct CAExcelFont {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  Kolor textKolor = kNoKolor;
};
struct CAExcelFormatRecord {
  int32_t alignment = kAlignmentAuto;
  Kolor backgroundKolor = kNoKolor;
  QString numberFormatCode;          // null when the record has none
  // The code normalised (NormalizeExcelNumberFormat), shared by every record of the same code
  // when the reader made it; null otherwise.
  std::shared_ptr<const QStringList> numberFormatSections;
  std::optional<CAExcelFont> font;   // none: no styles and no text colour
};

class CAFormat {
 public:
  // Mask 0, no styles, alignment 104, opaque black text, no background, border or number format.
  CAFormat() = default;

  // Reads the "format" element the decoder stands on (its attributes are the caller's), through
  // its end; each child met sets its mask bit.
  static CAFormat withXml(FLXmlDecoder& decoder);
  static CAFormat withExcelFormat(const CAExcelFormatRecord& record, int32_t valueType);
  // Writes "format", with "x" and "y" when a point is given; children only for the bits set.
  void saveToXml(FLXmlEncoder& encoder, const GridPoint* point) const;

  // The copy the system makes: every property through the setters, then the mask as it was.
  CAFormat copy() const;

  uint64_t mask() const { return mask_; }
  void setMask(uint64_t mask) { mask_ = mask; }
  // Clears the bits, except in the default format.
  void clearMask(uint64_t mask);
  bool isDefaultFormat() const { return mask_ == kFormatDefaultMask; }

  bool bold() const { return bold_; }
  bool italic() const { return italic_; }
  bool underline() const { return underline_; }
  bool strike() const { return strike_; }
  // Each stores the flag and sets its bit: NO is a setting too.
  void setBold(bool on);
  void setItalic(bool on);
  void setUnderline(bool on);
  void setStrike(bool on);

  int32_t alignment() const { return alignment_; }
  // 104 clears the bit.
  void setAlignment(int32_t alignment);
  Kolor textKolor() const { return textKolor_; }
  // No colour clears the bit; the default format takes opaque black instead.
  void setTextKolor(Kolor kolor);
  Kolor backgroundKolor() const { return backgroundKolor_; }
  // No colour clears the bit; the default format takes opaque white instead.
  void setBackgroundKolor(Kolor kolor);

  const std::optional<CABorder>& border() const { return border_; }
  // Keeps a copy of a border with a style; anything else removes the border. The default
  // format keeps its mask either way.
  void setBorder(const CABorder* border);
  const std::optional<CANumberFormat>& numberFormat() const { return numberFormat_; }
  // Keeps a copy of a number format that is not automatic; anything else removes it. The
  // default format keeps its mask either way.
  void setNumberFormat(const CANumberFormat* format);

  // Whether the layer sets a property of the mask (a border must also have a style).
  bool hasPropertyForMask(uint64_t mask) const;
  // The flag of a style bit, or the alignment for 16; "Illegal mask" and 0 otherwise.
  int64_t valueForMask(uint64_t mask) const;
  // 0 not set here, 1 set and on, 2 set and off.
  int32_t styleOptionForMask(uint64_t mask) const;

  // A copy with every property that `other` sets taken from it (the border excepted); this
  // format unchanged when other is null or sets nothing.
  CAFormat composeWith(const CAFormat* other) const;
  // Whether the layer is worth writing.
  bool shouldSave() const;
  // Both have a border bit and equal borders; NO for null, or when only one has the bit.
  bool isBorderEqualTo(const CAFormat* other) const;

  // The text as a cell draws it: the font made bold and italic as the format says, the
  // format's alignment (the given default when 104), right-aligned text truncated at its head
  // and everything else at its tail, the text colour, underline and strike-through.
  std::optional<FLAttributedString> expressWithText(const QString& text, const QFont& font,
                                                    int32_t defaultAlignment) const;
  void drawBackgroundInRect(QPainter& painter, const QRectF& rect) const;

 private:
  uint64_t mask_ = 0;
  bool bold_ = false;
  bool italic_ = false;
  bool underline_ = false;
  bool strike_ = false;
  int32_t alignment_ = kAlignmentAuto;
  Kolor textKolor_ = g_blackKolor;
  Kolor backgroundKolor_ = kNoKolor;
  std::optional<CABorder> border_;
  std::optional<CANumberFormat> numberFormat_;
};

// A format that several cells hold at once, counted: the cells of a sheet read with formats
// written alike share one (CAFormatSharing). One word; changing the format is for a holder
// that holds it alone (see isShared()).
class CASharedFormat {
 public:
  CASharedFormat() = default;
  explicit CASharedFormat(CAFormat&& format) : block_(new Block{std::move(format)}) {}
  explicit CASharedFormat(const CAFormat& format) : block_(new Block{format}) {}
  CASharedFormat(const CASharedFormat& other) noexcept : block_(other.block_) {
    if (block_) block_->count.fetch_add(1, std::memory_order_relaxed);
  }
  CASharedFormat(CASharedFormat&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  CASharedFormat& operator=(CASharedFormat other) noexcept {
    std::swap(block_, other.block_);
    return *this;
  }
  ~CASharedFormat() {
    if (block_ && block_->count.fetch_sub(1, std::memory_order_acq_rel) == 1) delete block_;
  }

  CAFormat* get() const { return block_ ? &block_->format : nullptr; }
  CAFormat* operator->() const { return get(); }
  CAFormat& operator*() const { return block_->format; }
  explicit operator bool() const { return block_ != nullptr; }
  // Whether another holder has it too.
  bool isShared() const { return isSharedAt(block_); }

  // For a holder that keeps the address in a word of its own: the address, which the handle
  // no longer holds, and back. The address is even.
  void* release() { return std::exchange(block_, nullptr); }
  static CASharedFormat adopt(void* address) {
    CASharedFormat format;
    format.block_ = static_cast<Block*>(address);
    return format;
  }
  // What a released address holds (null for null), and whether others hold it too.
  static CAFormat* formatAt(void* address) {
    return address ? &static_cast<Block*>(address)->format : nullptr;
  }
  static bool isSharedAt(void* address) {
    return address && static_cast<Block*>(address)->count.load(std::memory_order_acquire) > 1;
  }

 private:
  struct Block {
    CAFormat format;
    std::atomic<uint32_t> count{1};
  };
  static_assert(alignof(Block) > 1, "a shared format's address leaves its low bit free");
  Block* block_ = nullptr;
};

// Equal formats as one shared object: a sheet repeats a handful of formats over all its cells.
// Formats are equal when every field is, the unused ones too, so one serves wherever the other
// would.
class CAFormatTable {
 public:
  // The format held for one equal to the argument, or the argument, held from now on.
  CASharedFormat intern(CAFormat format);
  // How many distinct formats are held.
  size_t size() const { return count_; }
  // How many held formats interning has compared an argument with, in all.
  uint64_t comparisons() const { return comparisons_; }

 private:
  std::unordered_map<size_t, std::vector<CASharedFormat>> byHash_;  // by FormatHash, itself seeded
  size_t count_ = 0;
  uint64_t comparisons_ = 0;
};
