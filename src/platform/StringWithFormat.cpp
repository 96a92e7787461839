// Run-time interpretation of printf directives over checked arguments.
#include "platform/StringWithFormat.h"

#include <cinttypes>
#include <clocale>
#include <cstdio>
#include <vector>

#include <locale.h>

namespace {

// The directives write numbers as the system's formatting does, whatever the C library's
// locale (which the application takes from the desktop): "%f" always with ".".
class CNumericLocale {
 public:
  CNumericLocale() : previous_(c_ ? uselocale(c_) : locale_t(nullptr)) {}
  ~CNumericLocale() {
    if (c_) uselocale(previous_);
  }
  CNumericLocale(const CNumericLocale&) = delete;
  CNumericLocale& operator=(const CNumericLocale&) = delete;

 private:
  static inline const locale_t c_ = newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
  locale_t previous_;
};

QString FormatOne(const std::string& directive, char conversion, const FLFormatArg* arg) {
  if (!arg) return QStringLiteral("(null)");
  using Kind = FLFormatArg::Kind;

  auto printfInto = [](const std::string& fmt, auto value) {
    const CNumericLocale numeric;
    char stackBuffer[128];
    int needed = std::snprintf(stackBuffer, sizeof stackBuffer, fmt.c_str(), value);
    if (needed < 0) return QString();
    if (size_t(needed) < sizeof stackBuffer) return QString::fromUtf8(stackBuffer, needed);
    std::vector<char> big(size_t(needed) + 1);
    std::snprintf(big.data(), big.size(), fmt.c_str(), value);
    return QString::fromUtf8(big.data(), needed);
  };

  switch (conversion) {
    case 'd':
    case 'i': {
      int64_t v = arg->kind == Kind::Signed     ? arg->i
                  : arg->kind == Kind::Unsigned ? int64_t(arg->u)
                  : arg->kind == Kind::Real     ? int64_t(arg->r)
                                                : 0;
      return printfInto(directive + PRId64, v);
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o': {
      uint64_t v = arg->kind == Kind::Unsigned ? arg->u
                   : arg->kind == Kind::Signed ? uint64_t(arg->i)
                   : arg->kind == Kind::Real   ? uint64_t(int64_t(arg->r))
                   : arg->kind == Kind::Pointer ? uint64_t(uintptr_t(arg->p))
                                                : 0;
      const char* length = conversion == 'u'   ? PRIu64
                           : conversion == 'x' ? PRIx64
                           : conversion == 'X' ? PRIX64
                                               : PRIo64;
      return printfInto(directive + length, v);
    }
    case 'c':
    case 'C': {
      uint64_t v = arg->kind == Kind::Signed ? uint64_t(arg->i) : arg->u;
      if (v <= 0xFFFF) return QString(QChar(char16_t(v)));
      return QString::fromUcs4(reinterpret_cast<const char32_t*>(&v), 1);
    }
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A': {
      long double v = arg->kind == Kind::Real       ? arg->r
                      : arg->kind == Kind::Signed   ? (long double)arg->i
                      : arg->kind == Kind::Unsigned ? (long double)arg->u
                                                    : 0.0L;
      return printfInto(directive + 'L' + conversion, v);
    }
    case 'p':
      return printfInto(directive + 'p', arg->p);
    case 's':
    case 'S':
    case '@': {
      QString text;
      switch (arg->kind) {
        case Kind::CString: text = arg->c ? QString::fromUtf8(arg->c) : QStringLiteral("(null)"); break;
        case Kind::Text: text = arg->text; break;
        case Kind::Signed: text = QString::number(arg->i); break;
        case Kind::Unsigned: text = QString::number(arg->u); break;
        case Kind::Real: text = QString::number(double(arg->r), 'g', 17); break;
        case Kind::Pointer:
          text = arg->p ? QStringLiteral("0x%1").arg(quintptr(arg->p), 0, 16) : QStringLiteral("(null)");
          break;
      }
      // Width and precision still apply to texts ("%-10s", "%.3s").
      if (directive.size() > 1) {
        bool left = false;
        size_t pos = 1;
        while (pos < directive.size() && std::string("-+ #0").find(directive[pos]) != std::string::npos) {
          if (directive[pos] == '-') left = true;
          ++pos;
        }
        int width = 0;
        while (pos < directive.size() && isdigit(uchar(directive[pos]))) width = width * 10 + (directive[pos++] - '0');
        if (pos < directive.size() && directive[pos] == '.') {
          ++pos;
          int precision = 0;
          while (pos < directive.size() && isdigit(uchar(directive[pos])))
            precision = precision * 10 + (directive[pos++] - '0');
          text.truncate(precision);
        }
        if (text.size() < width) {
          QString pad(width - text.size(), QLatin1Char(' '));
          text = left ? text + pad : pad + text;
        }
      }
      return text;
    }
    default:
      return QString();
  }
}

template <typename Char>
QString Format(const Char* format, qsizetype length, std::initializer_list<FLFormatArg> args) {
  QString out;
  const FLFormatArg* next = args.begin();
  auto take = [&]() -> const FLFormatArg* { return next != args.end() ? next++ : nullptr; };
  auto toInt = [](const FLFormatArg* a) -> int {
    if (!a) return 0;
    if (a->kind == FLFormatArg::Kind::Signed) return int(a->i);
    if (a->kind == FLFormatArg::Kind::Unsigned) return int(a->u);
    return 0;
  };

  qsizetype runStart = 0;
  auto flushRun = [&](qsizetype end) {
    if (end <= runStart) return;
    if constexpr (sizeof(Char) == 1)
      out += QString::fromUtf8(reinterpret_cast<const char*>(format + runStart), end - runStart);
    else
      out += QStringView(format + runStart, end - runStart);
  };

  for (qsizetype i = 0; i < length; ++i) {
    if (format[i] != '%') continue;
    flushRun(i);
    qsizetype j = i + 1;
    if (j < length && format[j] == '%') {
      out += QLatin1Char('%');
      i = j;
      runStart = j + 1;
      continue;
    }
    std::string directive = "%";
    while (j < length && std::string_view("-+ #0'").find(char(format[j])) != std::string_view::npos) {
      if (format[j] != '\'') directive += char(format[j]);
      ++j;
    }
    if (j < length && format[j] == '*') {
      directive += std::to_string(toInt(take()));
      ++j;
    } else {
      while (j < length && format[j] >= '0' && format[j] <= '9') directive += char(format[j++]);
    }
    if (j < length && format[j] == '.') {
      directive += '.';
      ++j;
      if (j < length && format[j] == '*') {
        directive += std::to_string(std::max(0, toInt(take())));
        ++j;
      } else {
        while (j < length && format[j] >= '0' && format[j] <= '9') directive += char(format[j++]);
      }
    }
    // Length modifiers carry no information here: the argument knows its own width.
    while (j < length && std::string_view("hlLqjzt").find(char(format[j])) != std::string_view::npos) ++j;
    if (j >= length) {
      runStart = i;
      break;
    }
    char conversion = char(format[j]);
    out += FormatOne(directive, conversion, take());
    i = j;
    runStart = j + 1;
  }
  flushRun(length);
  return out;
}

}  // namespace

QString StringWithFormatArgs(const char* format, std::initializer_list<FLFormatArg> args) {
  if (!format) return QString();
  return Format(format, qsizetype(std::strlen(format)), args);
}

QString StringWithFormatArgs(const QString& format, std::initializer_list<FLFormatArg> args) {
  return Format(format.utf16(), format.size(), args);
}
