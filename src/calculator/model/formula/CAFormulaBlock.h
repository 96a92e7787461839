// What a cell holds of what was entered: the text (a formula with "=", a text, a link's target)
// and, for a formula, its tokens, in one allocation. A sheet of a million formulas would
// otherwise pay a string's and a vector's allocation and headers per cell, and tokens kept as
// they are used (40 bytes each) would cost more than the cell itself; the block keeps them in a
// few bytes each and hands out decoded copies.
#pragma once

#include "calculator/model/formula/CAFormulaToken.h"

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <type_traits>

// A formula's tokens decoded for reading: short formulas stay on the caller's stack, longer
// ones take a heap array. It owns its tokens, so whatever reads them through a view keeps the
// buffer alive meanwhile (a range-for over a returned buffer does).
class CAExpressionBuffer {
 public:
  // Room for the tokens of all but unusually long formulas ("=SUM(A1:A9)/COUNT(A1:A9)*2" is 7).
  static constexpr size_t kInlineTokens = 12;

  CAExpressionBuffer() = default;
  ~CAExpressionBuffer() { release(); }
  CAExpressionBuffer(CAExpressionBuffer&& other) noexcept { takeFrom(other); }
  CAExpressionBuffer& operator=(CAExpressionBuffer&& other) noexcept {
    if (this != &other) {
      release();
      takeFrom(other);
    }
    return *this;
  }
  CAExpressionBuffer(const CAExpressionBuffer&) = delete;
  CAExpressionBuffer& operator=(const CAExpressionBuffer&) = delete;

  const CAFormulaToken* data() const { return tokens_; }
  const CAFormulaToken* begin() const { return tokens_; }
  const CAFormulaToken* end() const { return tokens_ + size_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const CAFormulaToken& operator[](size_t i) const { return tokens_[i]; }
  CAExpressionView view() const { return CAExpressionView(tokens_, size_); }
  CAExpressionView first(size_t count) const { return view().first(count); }
  operator CAExpressionView() const { return view(); }

 private:
  friend class CAFormulaBlock;
  static_assert(std::is_trivially_copyable_v<CAFormulaToken> && std::is_trivially_destructible_v<CAFormulaToken>,
                "tokens are moved between buffers as bytes");

  // Room for count tokens in a buffer that holds none, not yet made; the block fills them.
  CAFormulaToken* reserveFresh(size_t count) {
    tokens_ = count <= kInlineTokens ? inlineTokens() : heapTokens(count);
    size_ = count;
    return tokens_;
  }
  void release() {
    if (tokens_ && tokens_ != inlineTokens()) freeHeapTokens();
    tokens_ = nullptr;
    size_ = 0;
  }
  static CAFormulaToken* heapTokens(size_t count);
  void freeHeapTokens();
  void takeFrom(CAExpressionBuffer& other) noexcept;
  CAFormulaToken* inlineTokens() { return reinterpret_cast<CAFormulaToken*>(inline_); }

  CAFormulaToken* tokens_ = nullptr;
  size_t size_ = 0;
  alignas(CAFormulaToken) std::byte inline_[kInlineTokens * sizeof(CAFormulaToken)];
};

class CAFormulaBlock {
 public:
  CAFormulaBlock() = default;
  // The text and tokens copied into a block of their own; empty text and no tokens keep none.
  CAFormulaBlock(QStringView text, CAExpressionView tokens);
  ~CAFormulaBlock() { release(); }
  CAFormulaBlock(CAFormulaBlock&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  CAFormulaBlock& operator=(CAFormulaBlock&& other) noexcept {
    if (this != &other) {
      release();
      block_ = other.block_;
      other.block_ = nullptr;
    }
    return *this;
  }
  CAFormulaBlock(const CAFormulaBlock&) = delete;
  CAFormulaBlock& operator=(const CAFormulaBlock&) = delete;

  // A copy: a text of Latin-1 characters alone is kept in a byte a character.
  QString text() const;
  // The text where it is, when it is kept in Latin-1; nothing otherwise (nor without a text).
  std::optional<QLatin1StringView> latin1Text() const {
    if (!block_) return std::nullopt;
    const Header header = readHeader();
    if (!header.latin1 || header.textLength == 0) return std::nullopt;
    return QLatin1StringView(reinterpret_cast<const char*>(block_ + header.textAt), qsizetype(header.textLength));
  }
  qsizetype textLength() const { return block_ ? qsizetype(readHeader().textLength) : 0; }
  // The tokens, decoded afresh on every call.
  CAExpressionBuffer tokens() const {
    CAExpressionBuffer buffer;
    if (block_) decodeTokens(buffer);
    return buffer;
  }
  bool hasText() const { return block_ && readHeader().textLength != 0; }
  // Asks for the block without reading it: reading its header first would wait for the very
  // line being asked for. A short formula's block lies within 32 bytes, which may straddle two
  // cache lines.
  void prefetch() const {
    if (!block_) return;
    __builtin_prefetch(block_);
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(block_) + 31));
  }

  // The same tokens with another text; the block is made again.
  void setText(QStringView text);
  // The same text with other tokens.
  void setTokens(CAExpressionView tokens);
  void clear() { release(); }

 private:
  // The block: a header of variable-length integers (the text's length and whether it is kept
  // in Latin-1, the token count), the text (UTF-16 at an even offset, or a byte a character),
  // then the encoded tokens.
  struct Header {
    uint64_t textLength = 0;
    bool latin1 = false;
    uint64_t tokenCount = 0;
    size_t textAt = 0;  // offset of the text; the tokens follow it
  };
  // Every header of a text under 64 characters and fewer than 128 tokens is two bytes.
  Header readHeader() const {
    if ((block_[0] | block_[1]) >= 0x80) [[unlikely]]
      return readLongHeader();
    Header header;
    header.textLength = block_[0] >> 1;
    header.latin1 = (block_[0] & kLatin1Bit) != 0;
    header.tokenCount = block_[1];
    header.textAt = 2;
    return header;
  }
  Header readLongHeader() const;
  size_t tokensAt(const Header& header) const {
    return header.textAt + size_t(header.textLength) * (header.latin1 ? 1 : sizeof(char16_t));
  }
  // Makes the block of the text with room for codeBytes of encoded tokens after it, which the
  // caller fills at the place returned.
  uint8_t* make(QStringView text, uint64_t tokenCount, size_t codeBytes);
  void decodeTokens(CAExpressionBuffer& buffer) const;
  void release();

  // In the header's first number, beside the text's length.
  static constexpr uint8_t kLatin1Bit = 1;

  uint8_t* block_ = nullptr;
};
