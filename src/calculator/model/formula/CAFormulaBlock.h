// What a cell holds of what was entered: the text (a formula with "=", a text, a link's target)
// and, for a formula, its tokens, in one allocation. A sheet of a million formulas would
// otherwise pay a string's and a vector's allocation and headers per cell.
#pragma once

#include "calculator/model/formula/CAFormulaToken.h"

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <type_traits>

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

  QStringView text() const {
    return block_ ? QStringView(textData(), qsizetype(block_->textLength)) : QStringView();
  }
  CAExpressionView tokens() const {
    return block_ ? CAExpressionView(tokenData(), block_->tokenCount) : CAExpressionView();
  }
  bool hasText() const { return block_ && block_->textLength != 0; }
  // Asks for the first lines of the block without reading it: a short formula's header, tokens
  // and text. Reading the token count first would wait for the very line being asked for.
  void prefetch() const {
    if (!block_) return;
    const char* const first = reinterpret_cast<const char*>(block_);
    for (size_t offset = 0; offset < kPrefetchBytes; offset += 64) __builtin_prefetch(first + offset);
  }

  // The same tokens with another text; the block is made again.
  void setText(QStringView text) { *this = CAFormulaBlock(text, tokens()); }
  // The same text with other tokens.
  void setTokens(CAExpressionView tokens) { *this = CAFormulaBlock(text(), tokens); }
  void clear() { release(); }

 private:
  static_assert(std::is_trivially_copyable_v<CAFormulaToken> && std::is_trivially_destructible_v<CAFormulaToken>,
                "tokens are copied into the block as bytes");

  // The tokens follow the header, the characters the tokens.
  struct Header {
    uint32_t textLength;
    uint32_t tokenCount;
  };
  static constexpr size_t kTokensAt = (sizeof(Header) + alignof(CAFormulaToken) - 1) / alignof(CAFormulaToken) *
                                      alignof(CAFormulaToken);
  static_assert(alignof(CAFormulaToken) % alignof(char16_t) == 0 && sizeof(CAFormulaToken) % alignof(char16_t) == 0);

  const CAFormulaToken* tokenData() const {
    return reinterpret_cast<const CAFormulaToken*>(reinterpret_cast<const std::byte*>(block_) + kTokensAt);
  }
  const QChar* textData() const { return reinterpret_cast<const QChar*>(tokenData() + block_->tokenCount); }
  void release();

  static constexpr size_t kPrefetchBytes = 192;

  Header* block_ = nullptr;
};
