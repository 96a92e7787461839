#include "framlet/foundation/flTextServices.h"

#include "framlet/foundation/flCharacterClasses.h"

#include <array>

namespace {

struct Scheme {
  const char* name;
  bool slashes;  // "//" must follow the colon ("~/" too for the file scheme)
};

constexpr std::array<Scheme, 8> kSchemes = {{
    {"dict", true},
    {"file", true},
    {"jotlet", true},
    {"http", true},
    {"https", true},
    {"mailto", false},
    {"message", false},
    {"news", false},
}};

constexpr const char* kFileScheme = "file";
constexpr char16_t kTilde = u'~';

bool IsUrlCharacter(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) return true;
  switch (c) {
    case u'!': case u'#': case u'$': case u'%': case u'&': case u'\'': case u'(': case u')':
    case u'*': case u'+': case u',': case u'-': case u'.': case u'/': case u':': case u';':
    case u'=': case u'?': case u'@': case u'_':
      return true;
    default:
      return false;
  }
}

// The word procedures' view of a text: out of range reads as the end.
class Reader {
 public:
  Reader(int64_t first, int64_t limit, FetchCharacterProc fetch, const void* context)
      : first_(first), limit_(limit), fetch_(fetch), context_(context) {}

  bool inRange(int64_t i) const { return i >= first_ && i < limit_; }
  char16_t at(int64_t i) const {
    if (!inRange(i)) return 0;
    bool end = false;
    const char16_t c = fetch_(i, &end, context_);
    return end ? 0 : c;
  }
  // Character class for words: "_" counts as a lower-case letter.
  uint32_t classAt(int64_t i) const {
    if (!inRange(i)) return kCharClassOther;
    const char16_t c = at(i);
    if (c == u'_') return kCharClassLower;
    return TypeOfChar(c);
  }
  bool isWordChar(int64_t i) const {
    const uint32_t cls = classAt(i);
    return inRange(i) && cls >= kCharClassUpper && cls <= kCharClassDigit;
  }
  bool isLetter(int64_t i) const {
    const uint32_t cls = classAt(i);
    return inRange(i) && (cls == kCharClassUpper || cls == kCharClassLower);
  }
  bool isDigit(int64_t i) const { return inRange(i) && classAt(i) == kCharClassDigit; }
  bool isNewline(int64_t i) const { return inRange(i) && IsNewline(at(i)); }
  bool isTab(int64_t i) const { return inRange(i) && at(i) == u'\t'; }
  // White space that is neither a line break nor a tab.
  bool isBlank(int64_t i) const {
    return inRange(i) && classAt(i) == kCharClassSpace && !IsNewline(at(i)) && at(i) != u'\t';
  }
  bool isApostrophe(int64_t i) const {
    const char16_t c = at(i);
    return inRange(i) && (c == u'\'' || c == u'\u2019');
  }

  // Characters that join the word characters on either side into one word.
  bool joinsWord(int64_t i, bool scanBeganHere, bool backward) const {
    if (!inRange(i)) return false;
    const char16_t c = at(i);
    if (isApostrophe(i)) {
      // Backward the letter before is needed; forward the letter after.
      const bool needed = backward ? isLetter(i - 1) : isLetter(i + 1);
      const bool other = backward ? isLetter(i + 1) : isLetter(i - 1);
      return needed && (!scanBeganHere || other);
    }
    if (c == u',' || c == u'.') return isDigit(i - 1) && isDigit(i + 1);
    if (c == u'\u00AD')
      return (isLetter(i - 1) || isDigit(i - 1)) && (isLetter(i + 1) || isDigit(i + 1));
    return false;
  }

  int64_t first() const { return first_; }
  int64_t limit() const { return limit_; }

 private:
  int64_t first_;
  int64_t limit_;
  FetchCharacterProc fetch_;
  const void* context_;
};

int64_t ScanWordBackward(const Reader& r, int64_t i) {
  while (i > r.first() && (r.isWordChar(i - 1) || r.joinsWord(i - 1, false, true))) --i;
  return i;
}

int64_t ScanWordForward(const Reader& r, int64_t i) {
  while (i < r.limit() && (r.isWordChar(i) || r.joinsWord(i, false, false))) ++i;
  return i;
}

}  // namespace

bool IsValidUrl(const QString& text) {
  const qsizetype n = text.size();
  qsizetype separator = -1;
  for (qsizetype i = 0; i < n; ++i) {
    if (text[i] == u':' || text[i] == u'.') {
      separator = i;
      break;
    }
  }
  if (separator < 0 || n - (separator + 1) < 3) return false;

  qsizetype check = 0;  // where the plain URL-character test begins
  const Scheme* scheme = nullptr;
  QString schemeName;
  if (text[separator] == u'.') {
    if (separator != 3 || text.left(3).compare(QLatin1String("www"), Qt::CaseInsensitive) != 0)
      return false;
  } else {
    if (separator < 4 || separator > 7) return false;
    schemeName = text.left(separator).toLower();
    for (const Scheme& s : kSchemes)
      if (schemeName == QLatin1String(s.name)) scheme = &s;
    if (!scheme) return false;
  }

  const char16_t after = text[separator + 1].unicode();
  const bool fileHome = scheme && schemeName == QLatin1String(kFileScheme) && after == kTilde;
  if (!IsUrlCharacter(after) && !fileHome) return false;

  if (scheme) {
    if (scheme->slashes) {
      if (n - (separator + 1) < 5) return false;
      if (text[separator + 2] != u'/') return false;
      if (after != u'/' && !fileHome) return false;
      check = separator + 3;
    } else {
      check = separator + 2;
    }
  }
  for (qsizetype i = check; i < n; ++i)
    if (!IsUrlCharacter(text[i].unicode())) return false;
  return true;
}

char16_t FetchCharacterFromString(int64_t index, bool* end, const void* context) {
  const QString* string = static_cast<const QString*>(context);
  if (end) *end = false;
  if (!string || index < 0 || index >= string->size()) {
    if (end) *end = true;
    return 0;
  }
  return string->at(index).unicode();
}

int64_t StartOfWord(int64_t position, int64_t first, int64_t limit, FetchCharacterProc fetch,
                    const void* context) {
  if (position < 0) return position + 1;
  const Reader r(first, limit, fetch, context);
  if (position <= first) return first;
  if (position >= limit) position = limit - 1;
  if (position < first) return first;

  if (r.isNewline(position)) return position;
  if (r.isTab(position)) {
    int64_t i = position;
    while (i > first && r.isTab(i - 1)) --i;
    return i;
  }
  int64_t i = position;
  if (r.isBlank(i)) {
    // A position in the blanks after a word belongs to that word.
    while (i > first && r.isBlank(i - 1)) --i;
    if (i == first || !r.isWordChar(i - 1)) return i;
    return ScanWordBackward(r, i - 1);
  }
  if (r.isWordChar(i) || r.joinsWord(i, true, true)) return ScanWordBackward(r, i);
  // A boundary character begins a run of its own class ("..." is one unit).
  const uint32_t cls = r.classAt(i);
  while (i > first && r.classAt(i - 1) == cls && !r.isNewline(i - 1) && !r.isTab(i - 1) &&
         !r.isWordChar(i - 1))
    --i;
  return i;
}

int64_t EndOfWord(int64_t position, int64_t first, int64_t limit, FetchCharacterProc fetch,
                  bool includeTrailingWhite, const void* context) {
  if (position >= limit) return position;
  const Reader r(first, limit, fetch, context);
  if (position < first) position = first;

  if (r.isNewline(position)) return position + 1;
  int64_t i = position;
  if (r.isTab(i)) {
    while (i < limit && r.isTab(i)) ++i;
    return i;
  }
  if (r.isWordChar(i) || r.joinsWord(i, true, false)) {
    i = ScanWordForward(r, i + 1);
  } else if (r.isBlank(i)) {
    while (i < limit && r.isBlank(i)) ++i;
    return i;
  } else {
    const uint32_t cls = r.classAt(i);
    while (i < limit && r.classAt(i) == cls && !r.isNewline(i) && !r.isTab(i) && !r.isWordChar(i))
      ++i;
  }
  if (includeTrailingWhite)
    while (i < limit && r.isBlank(i)) ++i;
  return i;
}

int64_t StartOfWord(const QString& text, int64_t position) {
  return StartOfWord(position, 0, text.size(), FetchCharacterFromString, &text);
}

int64_t EndOfWord(const QString& text, int64_t position, bool includeTrailingWhite) {
  return EndOfWord(position, 0, text.size(), FetchCharacterFromString, includeTrailingWhite,
                   &text);
}
