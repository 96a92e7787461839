// The framework's own directive formatter: printf-like pieces plus numbers in English words,
// ordinal suffixes, letter labels, Roman numerals, footnote marks, four-character codes and
// lengths. List markers ("%>I", "%>a"), generated names, row heights and comma integers use it.
#pragma once

#include <QString>

#include <concepts>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

// One argument of FormatString, checked against its directive when it is used instead of being
// read blindly as a machine word.
struct FLFormatWord {
  enum class Kind { Integer, Real, SignedPointer, UnsignedPointer, CString, Text, Null };
  Kind kind = Kind::Null;
  uint64_t bits = 0;  // an integer's two's-complement pattern
  bool isSigned = false;
  long double real = 0;
  const int64_t* signedPointer = nullptr;
  const uint64_t* unsignedPointer = nullptr;
  const char* cString = nullptr;  // read in Mac OS Roman by "%s"
  QString text;

  FLFormatWord(bool v) : kind(Kind::Integer), bits(v ? 1 : 0) {}
  FLFormatWord(char v) : kind(Kind::Integer), bits(uint64_t(int64_t(v))), isSigned(true) {}
  FLFormatWord(char16_t v) : kind(Kind::Integer), bits(v) {}
  FLFormatWord(QChar v) : kind(Kind::Integer), bits(v.unicode()) {}
  template <std::signed_integral T>
  FLFormatWord(T v) : kind(Kind::Integer), bits(uint64_t(int64_t(v))), isSigned(true) {}
  template <std::unsigned_integral T>
  FLFormatWord(T v) : kind(Kind::Integer), bits(uint64_t(v)) {}
  template <typename T>
    requires std::is_enum_v<T>
  FLFormatWord(T v) : FLFormatWord(static_cast<std::underlying_type_t<T>>(v)) {}
  FLFormatWord(float v) : kind(Kind::Real), real(v) {}
  FLFormatWord(double v) : kind(Kind::Real), real(v) {}
  FLFormatWord(long double v) : kind(Kind::Real), real(v) {}
  // "%D" takes a pointer to a signed 64-bit integer, "%y" and "%Y" one to an unsigned one.
  template <std::signed_integral T>
    requires(sizeof(T) == 8)
  FLFormatWord(const T* v) : kind(Kind::SignedPointer), signedPointer(reinterpret_cast<const int64_t*>(v)) {}
  template <std::unsigned_integral T>
    requires(sizeof(T) == 8)
  FLFormatWord(const T* v) : kind(Kind::UnsignedPointer), unsignedPointer(reinterpret_cast<const uint64_t*>(v)) {}
  FLFormatWord(const char* v) : kind(Kind::CString), cString(v) {}
  FLFormatWord(const QString& v) : kind(Kind::Text), text(v) {}
  FLFormatWord(QLatin1StringView v) : kind(Kind::Text), text(v) {}
  FLFormatWord(const std::string& v) : kind(Kind::Text), text(QString::fromStdString(v)) {}
  FLFormatWord(std::nullptr_t) : kind(Kind::Null) {}
  // Any class with a description() prints through "%@".
  template <typename T>
    requires requires(const T& t) {
      { t.description() } -> std::convertible_to<QString>;
    }
  FLFormatWord(const T& v) : kind(Kind::Text), text(v.description()) {}
};

QString FormatStringArgs(const QString& format, std::initializer_list<FLFormatWord> args);

template <typename... Args>
QString FormatString(const QString& format, const Args&... args) {
  return FormatStringArgs(format, {FLFormatWord(args)...});
}

template <typename... Args>
QString FormatString(const char* format, const Args&... args) {
  return FormatStringArgs(QString::fromUtf8(format), {FLFormatWord(args)...});
}

// The words of "%a" and "%I": "one hundred twenty-three", "twenty-first"; "!" from 10 to the
// 12th on, where the scale words end.
QString FormatTextNumber(uint64_t value, bool ordinal, bool capitalise);

// Lengths ("%m") are written by the application shell's measure formatter, installed at launch:
// (length in EMU, maximum decimals, scalar, show units, unit code) -> text. Until then, and
// after installing an empty function, lengths are written in points.
using FLMeasureTextFormatter =
    std::function<QString(int64_t emu, int decimals, bool scalar, bool showUnits, int unitCode)>;
// Returns the formatter it replaces (empty while the built-in one was in use).
FLMeasureTextFormatter SetMeasureFormatter(FLMeasureTextFormatter formatter);
