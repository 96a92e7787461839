// Character references of HTML and XML text: escaping the few characters markup reserves and
// replacing references by their characters. Kept apart from the other string procedures because
// the metadata importer carries its own copy of this file and of the character classes, and
// nothing else of the framework.
#include "framlet/foundation/flHtmlEscaping.h"

#include "framlet/foundation/flCharacterClasses.h"

#include <QChar>
#include <QStringView>

#include <algorithm>
#include <array>
#include <optional>

namespace {

struct NamedReference {
  const char* name;
  char16_t character;
};

constexpr std::array<NamedReference, 6> kNamedReferences = {{
    {"quot", u'"'}, {"lt", u'<'}, {"gt", u'>'}, {"apos", u'\''}, {"nbsp", u' '}, {"amp", u'&'}}};

// Longest reference name between "&" and ";".
constexpr qsizetype kMaxReferenceName = 12;

bool IsSpace(QChar c) { return IsWhiteSpaceOrNewline(c.unicode()); }

// The text of a numeric reference's name ("#233", "#xE9"), U+FFFD for a value that is no
// Unicode scalar value (zero, a surrogate, past U+10FFFF); nothing when the digits are not
// digits, so the reference counts as unknown.
std::optional<QString> NumericReferenceText(QStringView name) {
  if (name.size() < 2 || name[0] != QLatin1Char('#')) return std::nullopt;
  const bool hex = name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X');
  const QStringView digits = name.mid(hex ? 2 : 1);
  if (digits.isEmpty()) return std::nullopt;
  uint64_t value = 0;
  for (QChar c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0 || (!hex && digit > 9)) return std::nullopt;
    // At most ten digits fit in the name, so the value cannot overflow.
    value = value * (hex ? 16 : 10) + uint64_t(digit);
  }
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return QString(QChar(0xFFFD));
  const char32_t character = char32_t(value);
  return QString::fromUcs4(&character, 1);
}

// What a reference between "&" and ";" stands for; unknown references vanish.
QString ReferenceText(QStringView name) {
  for (const NamedReference& reference : kNamedReferences)
    if (name == QLatin1String(reference.name)) return QString(QChar(reference.character));
  return NumericReferenceText(name).value_or(QString());
}

}  // namespace

int HexDigitValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9') return u - u'0';
  if (u >= u'a' && u <= u'f') return u - u'a' + 10;
  if (u >= u'A' && u <= u'F') return u - u'A' + 10;
  return -1;
}

void unescapeForHtml(QString& string) {
  qsizetype ampersand = string.indexOf(QLatin1Char('&'));
  if (ampersand < 0) return;
  QString result;
  result.reserve(string.size());
  qsizetype copied = 0;
  const qsizetype length = string.size();
  while (ampersand >= 0) {
    // A reference's ";" comes within the longest name, before any "<", ">", "&" or white space;
    // otherwise the "&" is text.
    qsizetype semicolon = -1;
    const qsizetype limit = std::min(length, ampersand + kMaxReferenceName + 2);
    for (qsizetype j = ampersand + 1; j < limit; ++j) {
      const QChar c = string[j];
      if (c == QLatin1Char(';')) {
        semicolon = j;
        break;
      }
      if (c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('&') || IsSpace(c)) break;
    }
    if (semicolon < 0) {
      ampersand = string.indexOf(QLatin1Char('&'), ampersand + 1);
      continue;
    }
    result += QStringView(string).mid(copied, ampersand - copied);
    result += ReferenceText(QStringView(string).mid(ampersand + 1, semicolon - ampersand - 1));
    copied = semicolon + 1;
    ampersand = string.indexOf(QLatin1Char('&'), copied);
  }
  if (copied == 0) return;
  result += QStringView(string).mid(copied);
  string = result;
}

namespace {

// A character that XML 1.0 cannot hold at all: a lone surrogate or U+FFFE/U+FFFF.
bool IsOutsideXml(const QString& string, qsizetype i) {
  const QChar c = string[i];
  if (c.unicode() >= 0xFFFE) return true;
  if (c.isHighSurrogate()) return !(i + 1 < string.size() && string[i + 1].isLowSurrogate());
  if (c.isLowSurrogate()) return !(i > 0 && string[i - 1].isHighSurrogate());
  return false;
}

// The one escaping of text for markup. Controls (other than tab, line feed and return) become a
// space each, then "&", ">", "<" and '"' become entities. A page also loses format characters,
// which would be invisible in it; an XML archive keeps them (a joiner inside an emoji sequence
// is part of the text) and loses only what XML cannot hold.
// XML readers turn a raw return into a line feed everywhere, and tab and line feed into spaces in
// an attribute value; written as character references they come back as they were.
enum class Markup { Html, XmlText, XmlAttribute };

const char* XmlReference(char16_t u, Markup markup) {
  if (markup == Markup::Html) return nullptr;
  if (u == u'\r') return "&#13;";
  if (markup != Markup::XmlAttribute) return nullptr;
  if (u == u'\t') return "&#9;";
  if (u == u'\n') return "&#10;";
  return nullptr;
}

QString EscapeForMarkup(const QString& string, Markup markup) {
  const bool forXml = markup != Markup::Html;
  const auto isControl = [](char16_t u) { return (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || (u >= 0x7F && u <= 0x9F); };
  if (forXml) {
    qsizetype i = 0;
    for (; i < string.size(); ++i) {
      const char16_t u = string[i].unicode();
      // Printable ASCII other than the four is kept as it is: nearly all of a sheet's text.
      if (u >= 0x20 && u < 0x7F && u != u'&' && u != u'<' && u != u'>' && u != u'"') continue;
      if (u == u'&' || u == u'<' || u == u'>' || u == u'"' || isControl(u) || IsOutsideXml(string, i) ||
          XmlReference(u, markup)) {
        break;
      }
    }
    if (i == string.size()) return string;
  }
  QString result;
  result.reserve(string.size() + string.size() / 8);
  for (qsizetype i = 0; i < string.size(); ++i) {
    const QChar c = string[i];
    if (forXml) {
      if (isControl(c.unicode()) || IsOutsideXml(string, i)) {
        result += QLatin1Char(' ');
        continue;
      }
      if (const char* reference = XmlReference(c.unicode(), markup)) {
        result += QLatin1String(reference);
        continue;
      }
    } else {
      // A pair of surrogates is one character.
      const bool pair = c.isHighSurrogate() && i + 1 < string.size() && string[i + 1].isLowSurrogate();
      const char32_t codePoint = pair ? QChar::surrogateToUcs4(c, string[i + 1]) : char32_t(c.unicode());
      const QChar::Category category = QChar::category(codePoint);
      if ((category == QChar::Other_Control || category == QChar::Other_Format) && codePoint != u'\t' &&
          codePoint != u'\n' && codePoint != u'\r') {
        result += QLatin1Char(' ');
        if (pair) ++i;
        continue;
      }
    }
    switch (c.unicode()) {
      case u'&': result += QLatin1String("&amp;"); break;
      case u'>': result += QLatin1String("&gt;"); break;
      case u'<': result += QLatin1String("&lt;"); break;
      case u'"': result += QLatin1String("&quot;"); break;
      default: result += c; break;
    }
  }
  return result;
}

}  // namespace

QString createEscapedStringForHtml(const QString& string) { return EscapeForMarkup(string, Markup::Html); }

QString createEscapedStringForXml(const QString& string) { return EscapeForMarkup(string, Markup::XmlText); }

QString createEscapedAttributeForXml(const QString& string) {
  return EscapeForMarkup(string, Markup::XmlAttribute);
}

QString createUnescapedStringForHtml(const QString& string) {
  QString result = string;
  unescapeForHtml(result);
  return result;
}
