#include "calculator/model/formula/CAFormulaBlock.h"

#include <cstring>
#include <limits>
#include <new>

CAFormulaBlock::CAFormulaBlock(QStringView text, CAExpressionView tokens) {
  if (text.isEmpty() && tokens.empty()) return;
  // No cell holds four thousand million characters or tokens: memory runs out long before.
  if (size_t(text.size()) > std::numeric_limits<uint32_t>::max() || tokens.size() > std::numeric_limits<uint32_t>::max())
    throw std::bad_alloc();
  const size_t tokenBytes = tokens.size() * sizeof(CAFormulaToken);
  const size_t textBytes = size_t(text.size()) * sizeof(QChar);
  void* memory = ::operator new(kTokensAt + tokenBytes + textBytes);
  block_ = new (memory) Header{uint32_t(text.size()), uint32_t(tokens.size())};
  std::byte* const bytes = static_cast<std::byte*>(memory);
  if (tokenBytes != 0) std::memcpy(bytes + kTokensAt, tokens.data(), tokenBytes);
  if (textBytes != 0) std::memcpy(bytes + kTokensAt + tokenBytes, text.data(), textBytes);
}

void CAFormulaBlock::release() {
  if (!block_) return;
  ::operator delete(static_cast<void*>(block_));
  block_ = nullptr;
}
