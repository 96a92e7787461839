#include "framlet/foundation/flBase64.h"

#include "framlet/foundation/flBase.h"

#include <QStringEncoder>

#include <array>
#include <new>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr qsizetype kLineLength = 76;
// The lowest character the reader accepts at all; anything below, except line breaks, is not
// Base64 and not a line break either.
constexpr unsigned char kLowestCharacter = '(';

constexpr std::array<int8_t, 128> MakeDecodeTable() {
  std::array<int8_t, 128> table{};
  for (auto& value : table) value = -1;
  for (int i = 0; i < 64; ++i) table[size_t(static_cast<unsigned char>(kAlphabet[i]))] = int8_t(i);
  return table;
}

constexpr std::array<int8_t, 128> kDecodeTable = MakeDecodeTable();

bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }

}  // namespace

QString NewBase64StringFromBytes(const void* bytes, uint32_t length) {
  if (length == 0 || !bytes) return QString();
  const auto* in = static_cast<const unsigned char*>(bytes);
  const qsizetype characters = (qsizetype(length) + 2) / 3 * 4;
  const qsizetype lineFeeds = (characters - 1) / kLineLength;
  try {
    QByteArray text;
    text.reserve(characters + lineFeeds);
    qsizetype onLine = 0;
    auto put = [&](char c) {
      if (onLine == kLineLength) {
        text.append('\n');
        onLine = 0;
      }
      text.append(c);
      ++onLine;
    };
    uint32_t i = 0;
    for (; i + 3 <= length; i += 3) {
      const uint32_t group = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
      put(kAlphabet[(group >> 18) & 63]);
      put(kAlphabet[(group >> 12) & 63]);
      put(kAlphabet[(group >> 6) & 63]);
      put(kAlphabet[group & 63]);
    }
    if (const uint32_t left = length - i; left > 0) {
      const uint32_t group = uint32_t(in[i]) << 16 | (left == 2 ? uint32_t(in[i + 1]) << 8 : 0u);
      put(kAlphabet[(group >> 18) & 63]);
      put(kAlphabet[(group >> 12) & 63]);
      put(left == 2 ? kAlphabet[(group >> 6) & 63] : '=');
      put('=');
    }
    return QString::fromLatin1(text);
  } catch (const std::bad_alloc& exception) {
    LogException(exception, QStringLiteral("Base64 encoding"));
    return QString();
  }
}

QString NewBase64StringFromBytes(const QByteArray& data) {
  if (data.size() > qsizetype(UINT32_MAX)) {
    FLAssert(false, "Data too long for Base64");
    return QString();
  }
  return NewBase64StringFromBytes(data.constData(), uint32_t(data.size()));
}

std::optional<QByteArray> NewDataFromBase64String(const QString& text) {
  QStringEncoder encoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
  const QByteArray bytes = encoder(text);
  if (encoder.hasError()) {
    FLAssert(false, "Can't convert string to ASCII");
    return std::nullopt;
  }
  QByteArray result;
  result.reserve(bytes.size() / 4 * 3 + 3);
  uint32_t accumulator = 0;
  int bits = 0;
  auto take = [&](uint32_t value) {
    accumulator = (accumulator << 6) | value;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      result.append(char((accumulator >> bits) & 0xFF));
      accumulator &= (1u << bits) - 1;
    }
  };
  const qsizetype count = bytes.size();
  for (qsizetype i = 0; i < count; ++i) {
    const char c = bytes[i];
    if (IsLineBreak(c)) continue;
    const auto code = static_cast<unsigned char>(c);
    if (code < kLowestCharacter || code >= 128) {
      FLAssert(false, "base64 character out of range");
      return std::nullopt;
    }
    if (c == '=') {
      // Padding ends the data. The last completed byte holds only pad bits, so it is dropped.
      qsizetype remaining = 0;
      for (qsizetype j = i; j < count; ++j)
        if (!IsLineBreak(bytes[j])) ++remaining;
      FLAssert(remaining < 3, "Unexpected pad character found mid-stream");
      take(0);
      if (!result.isEmpty()) result.chop(1);
      return result;
    }
    const int8_t value = kDecodeTable[code];
    if (value < 0) {
      FLAssert(false, "Illegal base64 character");
      return std::nullopt;
    }
    take(uint32_t(value));
  }
  return result;
}
