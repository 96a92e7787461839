// The printf-style formatting the rest of the system uses for messages and log lines:
// printf directives plus "%@", which prints an object's description. Arguments are
// checked at run time against the directive, never read blindly off the stack.
#pragma once

#include <QByteArray>
#include <QString>

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

struct FLFormatArg {
  enum class Kind { Signed, Unsigned, Real, CString, Text, Pointer };
  Kind kind = Kind::Signed;
  int64_t i = 0;
  uint64_t u = 0;
  long double r = 0;
  const char* c = nullptr;
  QString text;
  const void* p = nullptr;

  FLFormatArg(bool v) : kind(Kind::Signed), i(v ? 1 : 0) {}
  FLFormatArg(char v) : kind(Kind::Signed), i(v) {}
  FLFormatArg(char16_t v) : kind(Kind::Unsigned), u(v) {}
  FLFormatArg(char32_t v) : kind(Kind::Unsigned), u(v) {}
  template <std::signed_integral T>
  FLFormatArg(T v) : kind(Kind::Signed), i(static_cast<int64_t>(v)) {}
  template <std::unsigned_integral T>
  FLFormatArg(T v) : kind(Kind::Unsigned), u(static_cast<uint64_t>(v)) {}
  template <typename T>
    requires std::is_enum_v<T>
  FLFormatArg(T v) : FLFormatArg(static_cast<std::underlying_type_t<T>>(v)) {}
  FLFormatArg(float v) : kind(Kind::Real), r(v) {}
  FLFormatArg(double v) : kind(Kind::Real), r(v) {}
  FLFormatArg(long double v) : kind(Kind::Real), r(v) {}
  FLFormatArg(const char* v) : kind(Kind::CString), c(v) {}
  FLFormatArg(char* v) : kind(Kind::CString), c(v) {}
  FLFormatArg(const std::string& v) : kind(Kind::Text), text(QString::fromStdString(v)) {}
  FLFormatArg(std::string_view v)
      : kind(Kind::Text), text(QString::fromUtf8(v.data(), qsizetype(v.size()))) {}
  FLFormatArg(const QString& v) : kind(Kind::Text), text(v) {}
  FLFormatArg(const QByteArray& v) : kind(Kind::Text), text(QString::fromUtf8(v)) {}
  FLFormatArg(QLatin1StringView v) : kind(Kind::Text), text(v) {}
  FLFormatArg(std::nullptr_t) : kind(Kind::Pointer), p(nullptr) {}
  // Any class with a description() answering a QString prints through "%@".
  template <typename T>
    requires requires(const T& t) {
      { t.description() } -> std::convertible_to<QString>;
    }
  FLFormatArg(const T& v) : kind(Kind::Text), text(v.description()) {}
  template <typename T>
    requires(!std::is_same_v<std::remove_cv_t<T>, char>)
  FLFormatArg(T* v) : kind(Kind::Pointer), p(v) {}
};

// Formats with printf semantics; "%@" takes any argument and prints its text form, "%s" takes
// C strings and texts alike. Missing arguments print as "(null)" rather than reading garbage.
QString StringWithFormatArgs(const char* format, std::initializer_list<FLFormatArg> args);
QString StringWithFormatArgs(const QString& format, std::initializer_list<FLFormatArg> args);

template <typename... Args>
QString StringWithFormat(const char* format, const Args&... args) {
  return StringWithFormatArgs(format, {FLFormatArg(args)...});
}

template <typename... Args>
QString StringWithFormat(const QString& format, const Args&... args) {
  return StringWithFormatArgs(format, {FLFormatArg(args)...});
}
