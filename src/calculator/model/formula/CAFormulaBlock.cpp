#include "calculator/model/formula/CAFormulaBlock.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

// Token encoding. Each token starts with a kind byte and its offset in the text, as the signed
// step from the offset of the token before (the first from 0); what follows depends on the kind:
//   kKindReference: x, y                      (a point, no function or operator)
//   kKindRange: start x, start y, end x, end y
//   kKindInteger: the numerator               (a whole number literal)
//   kKindFraction: numerator, denominator
//   kKindFunction: the function's row
//   kKindOperator | code: nothing more        (an operator code below 128)
//   kKindAny: function, operator, payload kind, payload (coordinates or the number's bytes),
//             for whatever the others do not cover exactly.
// Integers are LEB128 varints; signed ones zigzagged. Coordinates are zigzagged and moved by
// six so that the grid's markers (kGridNoPoint, kGridWildcard, kGridOpenEnd and their absolute
// forms, which zigzag to the six largest codes) take one byte and small plain or absolute
// coordinates stay short.
namespace {

enum : uint8_t {
  kKindAny = 0,
  kKindReference = 1,
  kKindRange = 2,
  kKindInteger = 3,
  kKindFraction = 4,
  kKindFunction = 5,
  kKindOperator = 0x80,
};

// The most a token takes: kind, offset (5), function (3), operator, payload kind and the
// larger payload (four coordinates of ten bytes, or a number's bytes).
constexpr size_t kMaxTokenBytes = 1 + 5 + 3 + 1 + 1 + std::max<size_t>(4 * 10, sizeof(CANumber));

inline uint8_t* PutVarint(uint8_t* out, uint64_t value) {
  while (value >= 0x80) {
    *out++ = uint8_t(value | 0x80);
    value >>= 7;
  }
  *out++ = uint8_t(value);
  return out;
}

// Coordinates of rows up to a million take up to three bytes: those are read unrolled.
inline uint64_t GetVarint(const uint8_t*& in) {
  const uint8_t* p = in;
  uint64_t value = p[0];
  if (value < 0x80) [[likely]] {
    in = p + 1;
    return value;
  }
  value = (value & 0x7F) | uint64_t(p[1]) << 7;
  if (p[1] < 0x80) {
    in = p + 2;
    return value;
  }
  value = (value & 0x3FFF) | uint64_t(p[2]) << 14;
  if (p[2] < 0x80) {
    in = p + 3;
    return value;
  }
  value &= 0x1FFFFF;
  p += 3;
  for (unsigned shift = 21;; shift += 7) {
    const uint64_t byte = *p++;
    value |= (byte & 0x7F) << shift;
    if (byte < 0x80) {
      in = p;
      return value;
    }
  }
}

inline uint64_t Zigzag(int64_t value) { return (uint64_t(value) << 1) ^ uint64_t(value >> 63); }
inline int64_t Unzigzag(uint64_t value) { return int64_t(value >> 1) ^ -int64_t(value & 1); }

constexpr uint64_t kCoordinateShift = 6;
inline uint8_t* PutCoordinate(uint8_t* out, int64_t value) { return PutVarint(out, Zigzag(value) + kCoordinateShift); }
inline int64_t GetCoordinate(const uint8_t*& in) { return Unzigzag(GetVarint(in) - kCoordinateShift); }

inline uint8_t* PutIndex(uint8_t* out, uint32_t index, uint32_t& previous) {
  out = PutVarint(out, Zigzag(int64_t(index) - int64_t(previous)));
  previous = index;
  return out;
}
inline uint32_t GetIndex(const uint8_t*& in, uint32_t& previous) {
  previous = uint32_t(int64_t(previous) + Unzigzag(GetVarint(in)));
  return previous;
}

inline uint8_t* PutNumberBytes(uint8_t* out, const CANumber& number) {
  std::memcpy(out, &number, sizeof number);
  return out + sizeof number;
}

// Without an early exit, so that the compiler reads the characters many at a time.
bool IsLatin1(QStringView text) {
  const char16_t* const characters = text.utf16();
  char16_t all = 0;
  for (qsizetype i = 0; i < text.size(); ++i) all |= characters[i];
  return all < 0x100;
}

void NarrowToLatin1(QStringView text, uint8_t* out) {
  const char16_t* const characters = text.utf16();
  for (qsizetype i = 0; i < text.size(); ++i) out[i] = uint8_t(characters[i]);
}

}  // namespace

// ---- CAExpressionBuffer

void CAExpressionBuffer::freeHeapTokens() { ::operator delete(static_cast<void*>(tokens_)); }

CAFormulaToken* CAExpressionBuffer::heapTokens(size_t count) {
  return static_cast<CAFormulaToken*>(::operator new(count * sizeof(CAFormulaToken)));
}

void CAExpressionBuffer::takeFrom(CAExpressionBuffer& other) noexcept {
  size_ = other.size_;
  if (other.tokens_ == other.inlineTokens()) {
    tokens_ = inlineTokens();
    std::memcpy(inline_, other.inline_, size_ * sizeof(CAFormulaToken));
  } else {
    tokens_ = other.tokens_;
  }
  other.tokens_ = nullptr;
  other.size_ = 0;
}

// ---- CAFormulaToken's encoding

// Inlined in the block's encoding loop, as decoding is in its own.
[[gnu::always_inline]] inline void CAFormulaToken::encode(uint8_t*& out, uint32_t& previous) const {
  const bool bare = function_ == 0 && operator_ == kOperatorNone;
  // The commonest kinds first.
  if (function_ == 0 && operator_ > 0 && payload_ == kPayloadNone) {
    *out++ = uint8_t(kKindOperator | uint8_t(operator_));
    out = PutIndex(out, formulaIndex_, previous);
  } else if (bare && payload_ == kPayloadPoint) {
    *out++ = kKindReference;
    out = PutIndex(out, formulaIndex_, previous);
    out = PutCoordinate(out, value_.point.x);
    out = PutCoordinate(out, value_.point.y);
  } else if (bare && payload_ == kPayloadRange) {
    *out++ = kKindRange;
    out = PutIndex(out, formulaIndex_, previous);
    out = PutCoordinate(out, value_.range.startPoint.x);
    out = PutCoordinate(out, value_.range.startPoint.y);
    out = PutCoordinate(out, value_.range.endPoint.x);
    out = PutCoordinate(out, value_.range.endPoint.y);
  } else if (bare && payload_ == kPayloadNumber && value_.number.form() == kNumberInteger &&
             value_.number.denominator() == 1) {
    *out++ = kKindInteger;
    out = PutIndex(out, formulaIndex_, previous);
    out = PutVarint(out, Zigzag(value_.number.numerator()));
  } else if (bare && payload_ == kPayloadNumber && value_.number.form() == kNumberFraction) {
    // A fraction's value is its numerator and denominator; the real beside them is never read.
    *out++ = kKindFraction;
    out = PutIndex(out, formulaIndex_, previous);
    out = PutVarint(out, Zigzag(value_.number.numerator()));
    out = PutVarint(out, value_.number.denominator());
  } else if (function_ != 0 && operator_ == kOperatorNone && payload_ == kPayloadNone) {
    *out++ = kKindFunction;
    out = PutIndex(out, formulaIndex_, previous);
    out = PutVarint(out, uint16_t(function_));
  } else {
    *out++ = kKindAny;
    out = PutIndex(out, formulaIndex_, previous);
    out = PutVarint(out, uint16_t(function_));
    *out++ = uint8_t(operator_);
    *out++ = payload_;
    switch (payload_) {
      case kPayloadNumber:
        out = PutNumberBytes(out, value_.number);
        break;
      case kPayloadPoint:
        out = PutCoordinate(out, value_.point.x);
        out = PutCoordinate(out, value_.point.y);
        break;
      case kPayloadRange:
        out = PutCoordinate(out, value_.range.startPoint.x);
        out = PutCoordinate(out, value_.range.startPoint.y);
        out = PutCoordinate(out, value_.range.endPoint.x);
        out = PutCoordinate(out, value_.range.endPoint.y);
        break;
      default:
        break;
    }
  }
}

// Inlined in the block's decoding loop, the one place that reads tokens back: the read position
// then stays in a register. Recalculation decodes every formula it runs, so each field is
// written once, and the bytes of the shared place that the token's kind never shows (the end of
// a reference's range, an operator's literal) are left as they are.
[[gnu::always_inline]] inline void CAFormulaToken::decode(const uint8_t*& in, CAFormulaToken* token,
                                                          uint32_t& previous) {
  const uint8_t kind = *in++;
  token->formulaIndex_ = GetIndex(in, previous);
  // The kinds of the commonest formulas first, tested in turn: a jump table costs more.
  if (kind >= kKindOperator) {
    token->function_ = 0;
    token->operator_ = int8_t(kind & 0x7F);
    token->payload_ = kPayloadNone;
    return;
  }
  token->function_ = 0;
  token->operator_ = kOperatorNone;
  if (kind == kKindReference) {
    token->payload_ = kPayloadPoint;
    token->value_.point.x = GetCoordinate(in);
    token->value_.point.y = GetCoordinate(in);
    return;
  }
  // The number is made in its place: one built aside and copied in would be read back in
  // wider pieces than it was written, which stalls the processor on every token.
  if (kind == kKindInteger) {
    token->payload_ = kPayloadNumber;
    new (&token->value_.number) CANumber(Unzigzag(GetVarint(in)));
    return;
  }
  switch (kind) {
    case kKindRange:
      token->payload_ = kPayloadRange;
      token->value_.range.startPoint.x = GetCoordinate(in);
      token->value_.range.startPoint.y = GetCoordinate(in);
      token->value_.range.endPoint.x = GetCoordinate(in);
      token->value_.range.endPoint.y = GetCoordinate(in);
      return;
    case kKindFraction: {
      token->payload_ = kPayloadNumber;
      CANumber* const number = new (&token->value_.number) CANumber(Unzigzag(GetVarint(in)));
      number->setForm(kNumberFraction);
      number->setDenominator(GetVarint(in));
      return;
    }
    case kKindFunction:
      token->function_ = int16_t(uint16_t(GetVarint(in)));
      token->payload_ = kPayloadNone;
      return;
    default:
      break;
  }
  token->function_ = int16_t(uint16_t(GetVarint(in)));
  token->operator_ = int8_t(*in++);
  token->payload_ = *in++;
  switch (token->payload_) {
    case kPayloadNumber:
      std::memcpy(static_cast<void*>(&token->value_.number), in, sizeof(CANumber));
      in += sizeof(CANumber);
      break;
    case kPayloadPoint:
      token->value_.point.x = GetCoordinate(in);
      token->value_.point.y = GetCoordinate(in);
      break;
    case kPayloadRange:
      token->value_.range.startPoint.x = GetCoordinate(in);
      token->value_.range.startPoint.y = GetCoordinate(in);
      token->value_.range.endPoint.x = GetCoordinate(in);
      token->value_.range.endPoint.y = GetCoordinate(in);
      break;
    default:
      break;
  }
}

// ---- CAFormulaBlock

CAFormulaBlock::CAFormulaBlock(QStringView text, CAExpressionView tokens) {
  if (text.isEmpty() && tokens.empty()) return;
  uint32_t previous = 0;
  // A short formula's tokens are encoded on the stack.
  uint8_t local[12 * kMaxTokenBytes];
  if (tokens.size() * kMaxTokenBytes <= sizeof local) {
    uint8_t* out = local;
    for (const CAFormulaToken& token : tokens) token.encode(out, previous);
    const size_t codeBytes = size_t(out - local);
    uint8_t* const code = make(text, tokens.size(), codeBytes);
    if (codeBytes != 0) std::memcpy(code, local, codeBytes);
    return;
  }
  // A long one's are measured first and then encoded in place: room for the most every token
  // could take would hold several times the block while it is made (51 bytes a token, where
  // "=1+1+..." keeps 2 or 3).
  size_t codeBytes = 0;
  for (const CAFormulaToken& token : tokens) {
    uint8_t* out = local;
    token.encode(out, previous);
    codeBytes += size_t(out - local);
  }
  uint8_t* out = make(text, tokens.size(), codeBytes);
  previous = 0;
  for (const CAFormulaToken& token : tokens) token.encode(out, previous);
}

uint8_t* CAFormulaBlock::make(QStringView text, uint64_t tokenCount, size_t codeBytes) {
  release();
  const bool latin1 = IsLatin1(text);
  const uint64_t textLength = uint64_t(text.size());
  uint8_t header[2 * 10];
  uint8_t* end = PutVarint(header, textLength << 1 | (latin1 ? uint64_t(kLatin1Bit) : 0));
  end = PutVarint(end, tokenCount);
  size_t textAt = size_t(end - header);
  if (!latin1) textAt = (textAt + 1) & ~size_t(1);  // UTF-16 at an even offset
  const size_t textBytes = size_t(textLength) * (latin1 ? 1 : sizeof(char16_t));
  const size_t total = textAt + textBytes + codeBytes;
  uint8_t* const block = static_cast<uint8_t*>(::operator new(total));
  std::memcpy(block, header, size_t(end - header));
  if (textAt > size_t(end - header)) block[textAt - 1] = 0;
  if (latin1) {
    NarrowToLatin1(text, block + textAt);
  } else if (textBytes != 0) {
    std::memcpy(block + textAt, text.data(), textBytes);
  }
  block_ = block;
  return block + textAt + textBytes;
}

CAFormulaBlock::Header CAFormulaBlock::readLongHeader() const {
  Header header;
  const uint8_t* in = block_;
  const uint64_t lengthAndForm = GetVarint(in);
  header.textLength = lengthAndForm >> 1;
  header.latin1 = (lengthAndForm & kLatin1Bit) != 0;
  header.tokenCount = GetVarint(in);
  header.textAt = size_t(in - block_);
  if (!header.latin1) header.textAt = (header.textAt + 1) & ~size_t(1);
  return header;
}

QString CAFormulaBlock::text() const {
  if (!block_) return QString();
  const Header header = readHeader();
  if (header.textLength == 0) return QString();
  const uint8_t* const characters = block_ + header.textAt;
  if (header.latin1)
    return QString::fromLatin1(reinterpret_cast<const char*>(characters), qsizetype(header.textLength));
  return QString(reinterpret_cast<const QChar*>(characters), qsizetype(header.textLength));
}

void CAFormulaBlock::decodeTokens(CAExpressionBuffer& buffer) const {
  size_t count;
  const uint8_t* in;
  if ((block_[0] | block_[1]) < 0x80) [[likely]] {
    // The two-byte header: the text follows at 2, a byte or two a character.
    count = block_[1];
    in = block_ + 2 + (size_t(block_[0] >> 1) << ((block_[0] & kLatin1Bit) ^ 1));
  } else {
    const Header header = readLongHeader();
    count = size_t(header.tokenCount);
    in = block_ + tokensAt(header);
  }
  if (count == 0) return;
  CAFormulaToken* token = buffer.reserveFresh(count);
  uint32_t previous = 0;
  for (CAFormulaToken* const end = token + count; token != end; ++token) CAFormulaToken::decode(in, token, previous);
}

void CAFormulaBlock::setText(QStringView text) {
  // The text may be a piece of this very block: the new block is made before the old goes.
  const CAExpressionBuffer decoded = tokens();
  *this = CAFormulaBlock(text, decoded);
}

void CAFormulaBlock::setTokens(CAExpressionView tokens) {
  const QString kept = text();
  *this = CAFormulaBlock(kept, tokens);
}

void CAFormulaBlock::release() {
  if (!block_) return;
  ::operator delete(static_cast<void*>(block_));
  block_ = nullptr;
}
