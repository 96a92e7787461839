// The pull reader. Every scan is bounded by the text's length and moves forward, so a hostile
// file can at worst be refused with an offset; it can never make the reader loop or read past
// the text.
#include "framlet/foundation/FLXmlDecoder.h"

#include "platform/StringValues.h"

#include "framlet/foundation/flBase.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>

namespace {

constexpr const char* kNotValidXml = "this is not a valid XML file (offset 0x%x)";
constexpr const char* kMalformedCdata = "malformed CDATA at offset 0x%x";
constexpr const char* kNotUnderstood = "I don't understand the file format";
constexpr const char* kSetKeyDecoderFirst = "Set the key decoder dictionary first";
constexpr const char* kDuplicateTag = "Duplicate tag";
constexpr const char* kUnknownValue = "Unknown value string";
constexpr const char* kEndingTagDiffers = "Ending tag not the same as starting";

// The file system's reading errors, as the platform numbers them.
constexpr int kFileReadUnknownError = 256;
constexpr int kFileReadNoPermissionError = 257;
constexpr int kFileReadNoSuchFileError = 260;

constexpr const char* kTextNodeName = "?";
constexpr const char* kSvgRootTag = "svg";
constexpr char16_t kXmlStart[] = u"<?xml";
constexpr char16_t kSvgStart[] = u"<svg";
constexpr char16_t kDeclarationEnd[] = u"?>";
constexpr char16_t kCommentStart[] = u"<!--";
constexpr char16_t kCommentEnd[] = u"-->";
constexpr char16_t kCdataStart[] = u"<![CDATA[";
constexpr char16_t kCdataEnd[] = u"]]>";
constexpr qsizetype kCommentStartLength = 4;
constexpr qsizetype kCommentEndLength = 3;
constexpr qsizetype kCdataStartLength = 9;
constexpr qsizetype kCdataEndLength = 3;

// Results of skipping what lies between tags.
constexpr int kSkipFailed = 0;
constexpr int kSkipAtTag = 1;
constexpr int kSkipAtText = 23;

struct NamedEntity {
  const char16_t* text;
  qsizetype length;
  char16_t character;
};
constexpr NamedEntity kNamedEntities[] = {
    {u"&quot;", 6, u'"'}, {u"&lt;", 4, u'<'},        {u"&gt;", 4, u'>'},
    {u"&apos;", 6, u'\''}, {u"&nbsp;", 6, u'\u00A0'}, {u"&amp;", 5, u'&'},
};

// Process-wide, filled on the main thread at launch before any reading.
std::shared_ptr<FLXmlKeyTable> g_sharedKeyTable;
bool g_allowUnknownValues = false;

#define DECODER_ASSERT(message) LogAssert((message), __func__, __FILE__, __LINE__)

bool IsSpace(QChar c) { return c.isSpace(); }
bool IsAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }
bool IsNameStart(QChar c) { return c.isLetter() || c == u':' || c == u'_'; }
bool IsNameChar(QChar c) { return IsNameStart(c) || IsAsciiDigit(c) || c == u'-' || c == u'.'; }

bool IsAllSpace(const QString& text) {
  for (QChar c : text)
    if (!IsSpace(c)) return false;
  return true;
}

int DigitValue(QChar c, int base) {
  const char16_t u = c.unicode();
  int digit = -1;
  if (u >= u'0' && u <= u'9') digit = u - u'0';
  else if (u >= u'a' && u <= u'f') digit = u - u'a' + 10;
  else if (u >= u'A' && u <= u'F') digit = u - u'A' + 10;
  return digit < base ? digit : -1;
}

}  // namespace

// ----- creation

FLXmlDecoder::FLXmlDecoder(const QString& text) : xml_(text), limit_(text.size() - 1) {}

std::unique_ptr<FLXmlDecoder> FLXmlDecoder::withString(const QString& text) {
  if (text.isEmpty()) return nullptr;
  std::unique_ptr<FLXmlDecoder> decoder(new FLXmlDecoder(text));
  qsizetype start = 0;
  if (decoder->skipNonTags(start) != kSkipAtTag || start >= decoder->limit_) return nullptr;
  const QStringView rest = QStringView(text).mid(start);
  if (rest.startsWith(QStringView(kSvgStart))) {
    decoder->state_.svg = true;
    decoder->state_.xmlTag = QString::fromLatin1(kSvgRootTag);
  } else if (!rest.startsWith(QStringView(kXmlStart))) {
    return nullptr;
  }
  decoder->state_.charIndex = start;
  return decoder;
}

std::unique_ptr<FLXmlDecoder> FLXmlDecoder::withData(const QByteArray& data) {
  QByteArrayView bytes(data);
  if (bytes.startsWith("\xEF\xBB\xBF")) bytes = bytes.sliced(3);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (utf8.hasError()) return nullptr;
  return withString(text);
}

std::unique_ptr<FLXmlDecoder> FLXmlDecoder::withFile(const QString& path, FLError* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    const int code = !file.exists()                                  ? kFileReadNoSuchFileError
                     : file.error() == QFileDevice::PermissionsError ? kFileReadNoPermissionError
                                                                     : kFileReadUnknownError;
    SetError(error, code, file.errorString(), kFLCocoaErrorDomain);
    return nullptr;
  }
  const QByteArray data = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    SetError(error, kFileReadUnknownError, file.errorString(), kFLCocoaErrorDomain);
    return nullptr;
  }
  std::unique_ptr<FLXmlDecoder> decoder = withData(data);
  if (!decoder) SetError(error, 0, QString::fromLatin1(kNotUnderstood));
  return decoder;
}

// ----- scanning

QChar FLXmlDecoder::at(qsizetype index) const {
  return index >= 0 && index < xml_.size() ? xml_[index] : QChar();
}

bool FLXmlDecoder::fail(qsizetype offset) {
  if (error_.isEmpty()) error_ = StringWithFormat(kNotValidXml, uint64_t(offset));
  return false;
}

int FLXmlDecoder::skipNonTags(qsizetype& position) const {
  const qsizetype n = xml_.size();
  while (position < limit_) {
    const QChar c = xml_[position];
    if (IsSpace(c)) {
      ++position;
      continue;
    }
    if (c == u'&') {
      // Between the elements of mixed content an entity is text like any other.
      if (coalescing_) return kSkipAtText;
      const QChar next = at(position + 1);
      if (next == u'<' || IsSpace(next)) return kSkipFailed;
      const qsizetype semicolon = xml_.indexOf(u';', position + 1);
      position = semicolon < 0 ? limit_ : semicolon + 1;
      continue;
    }
    if (c == u'<') {
      // Comments and declarations both begin "<!": elements, nearly every tag, are told at once.
      if (n - position >= 7 && xml_[position + 1] == u'!') {
        const QStringView rest = QStringView(xml_).mid(position);
        if (rest.startsWith(QStringView(kCommentStart))) {
          const qsizetype end = xml_.indexOf(QStringView(kCommentEnd), position + kCommentStartLength);
          if (end < 0) return kSkipFailed;
          position = end + kCommentEndLength;
          continue;
        }
        // A declaration, possibly with nested "<...>" parts of its own.
        qsizetype depth = 1;
        qsizetype scan = position + 2;
        for (; scan < n; ++scan) {
          if (xml_[scan] == u'<') ++depth;
          else if (xml_[scan] == u'>' && --depth == 0) break;
        }
        if (scan >= n) return kSkipFailed;
        position = scan + 1;
        continue;
      }
      return kSkipAtTag;
    }
    return coalescing_ ? kSkipAtText : kSkipFailed;
  }
  return kSkipAtTag;
}

const QString& FLXmlDecoder::internName(QStringView name, int32_t* key) {
  // A document uses a few dozen names: a short list searched from the most recent is quicker
  // than hashing, and spares a string for each tag and attribute read.
  constexpr size_t kMostNames = 128;
  for (auto it = names_.rbegin(); it != names_.rend(); ++it) {
    if (it->name.size() == name.size() && std::equal(name.begin(), name.end(), it->name.constData())) {
      *key = it->key;
      return it->name;
    }
  }
  if (names_.size() >= kMostNames) names_.erase(names_.begin());
  QString copy = name.toString();
  const int32_t found = keyForName(copy);
  names_.push_back({std::move(copy), found});
  *key = found;
  return names_.back().name;
}

int32_t FLXmlDecoder::keyForName(const QString& name) const {
  const FLXmlKeyTable* table = keyDecoder_ ? keyDecoder_.get() : g_sharedKeyTable.get();
  if (table) {
    const auto found = table->constFind(name);
    if (found != table->constEnd()) return int32_t(found.value());
  }
  if (allowNumericTags_ && !name.isEmpty()) {
    int64_t number = 0;
    for (QChar c : name) {
      if (!IsAsciiDigit(c)) return 0;
      number = number * 10 + (c.unicode() - u'0');
      if (number > INT32_MAX) return 0;
    }
    return int32_t(number);
  }
  return 0;
}

bool FLXmlDecoder::identifyNextTag(bool afterValue) {
  State& s = state_;
  qsizetype p = s.charIndex;
  const int skipped = skipNonTags(p);
  if (skipped == kSkipAtText) {
    if (afterValue) return false;
    s.charIndex = p;
    s.tagStartIndex = p;
    s.xmlTag = QString::fromLatin1(kTextNodeName);
    s.key = kTextNodeKey;
    s.startTag = false;
    s.endTag = false;
    return true;
  }
  if (skipped == kSkipFailed || p >= limit_) {
    if (!afterValue) s.charIndex = p;
    return false;
  }
  const qsizetype tagStart = p++;
  const bool closing = at(p) == u'/';
  if (closing) ++p;
  const qsizetype nameStart = p;
  const QChar first = at(p);
  if (IsNameStart(first) || (allowNumericTags_ && IsAsciiDigit(first))) {
    ++p;
    while (p < xml_.size() && IsNameChar(xml_[p])) ++p;
  }
  if (p == nameStart) {
    if (!afterValue) s.charIndex = p;
    return false;
  }
  int32_t key = 0;
  const QString name = internName(QStringView(xml_).mid(nameStart, p - nameStart), &key);
  if (!afterValue) {
    s.charIndex = p;
    s.tagStartIndex = tagStart;
    s.xmlTag = name;
    s.key = key;
    s.startTag = !closing;
    s.endTag = closing;
    return true;
  }
  // After a value only the element's own closing tag is taken. Names without a key are told
  // apart by name, or any unknown closing tag would close any unknown element.
  const bool sameElement = s.key != 0 ? key == s.key : name == s.xmlTag;
  if (!closing || !sameElement) return false;
  while (p < xml_.size() && IsSpace(xml_[p])) ++p;
  if (at(p) != u'>') return false;
  s.charIndex = p + 1;
  s.endTag = true;
  return true;
}

bool FLXmlDecoder::extractValue() {
  State& s = state_;
  const qsizetype n = xml_.size();
  const qsizetype valueStart = s.charIndex;
  qsizetype p = valueStart;
  while (p < limit_ && IsSpace(xml_[p])) ++p;
  if (p >= limit_) {
    s.charIndex = p;
    return false;
  }
  QString value;
  bool hadSection = false;
  qsizetype segment = valueStart;
  for (;;) {
    const qsizetype lt = xml_.indexOf(u'<', p);
    if (lt < 0 || lt >= limit_) {
      s.charIndex = lt < 0 ? limit_ : lt;
      return false;
    }
    if (lt == p && segment == valueStart && lt > segment) {
      // Only the indent before a child: one of a few texts, shared rather than made anew.
      int32_t unusedKey = 0;
      value = internName(QStringView(xml_).mid(segment, lt - segment), &unusedKey);
    } else {
      value += decodeEscapes(xml_.mid(segment, lt - segment));
    }
    if (n - lt > 12 && QStringView(xml_).mid(lt).startsWith(QStringView(kCdataStart))) {
      const qsizetype end = xml_.indexOf(QStringView(kCdataEnd), lt + kCdataStartLength);
      if (end < 0) {
        if (error_.isEmpty()) error_ = StringWithFormat(kMalformedCdata, uint64_t(lt));
        s.charIndex = lt;
        return false;
      }
      value += QStringView(xml_).mid(lt + kCdataStartLength, end - lt - kCdataStartLength);
      hadSection = true;
      segment = p = end + kCdataEndLength;
      continue;
    }
    p = lt;
    break;
  }
  s.charIndex = p;
  s.value = value;
  identifyNextTag(true);
  if (s.svg && !hadSection && !s.endTag && IsAllSpace(value)) s.value = QString();
  return true;
}

bool FLXmlDecoder::extractAttributes() {
  State& s = state_;
  const qsizetype n = xml_.size();
  qsizetype p = s.charIndex;
  auto isAttributeNameChar = [this](QChar c) {
    if (allowSpaceInAttr_) return c != u'/' && c != u'=' && c != u'>';
    return c.isLetter() || IsAsciiDigit(c) || c == u'-' || c == u':' || c == u'_';
  };
  for (;;) {
    while (p < n && IsSpace(xml_[p])) ++p;
    const qsizetype nameStart = p;
    while (p < n && isAttributeNameChar(xml_[p])) ++p;
    if (p == nameStart) {
      if (at(p) == u'/' && at(p + 1) == u'>') {
        s.charIndex = p + 2;
        s.endTag = true;
        return true;
      }
      if (at(p) == u'>') {
        s.charIndex = p + 1;
        return true;
      }
      s.charIndex = p;
      return false;
    }
    int32_t unusedKey = 0;
    const QString name = internName(QStringView(xml_).mid(nameStart, p - nameStart), &unusedKey);
    if (at(p) != u'=' || p >= n - 4) {
      s.charIndex = p;
      return false;
    }
    ++p;
    const QChar quote = at(p);
    if (quote != u'"' && quote != u'\'') {
      s.charIndex = p;
      return false;
    }
    const qsizetype close = xml_.indexOf(quote, p + 1);
    if (close < 0) {
      s.charIndex = p;
      return false;
    }
    s.attributeSpans.push_back({name, p + 1, close - p - 1});
    if (s.svg) s.orderedAttributes << name << attributeValue(s.attributeSpans.back());
    p = close + 1;
  }
}

bool FLXmlDecoder::readTag() {
  State& s = state_;
  if (!identifyNextTag(false)) return false;
  s.value = QString();
  clearAttributes();
  s.orderedAttributes.clear();
  if (s.key == kTextNodeKey) return extractValue();
  if (!s.haveRoot) {
    s.haveRoot = true;
    if (s.xmlTag == QLatin1String(kSvgRootTag)) s.svg = true;
  }
  qsizetype p = s.charIndex;
  while (p < xml_.size() && IsSpace(xml_[p])) ++p;
  if (!s.startTag) {
    if (at(p) != u'>') {
      s.charIndex = p;
      return false;
    }
    s.charIndex = p + 1;
    --s.level;
    return true;
  }
  s.charIndex = p;
  const QChar c = at(p);
  if (c == u'/') {
    if (at(p + 1) != u'>') return false;
    s.charIndex = p + 2;
    s.endTag = true;
    return true;
  }
  if (c == u'>') {
    s.charIndex = p + 1;
  } else if (c.isLetter()) {
    if (!extractAttributes()) return false;
    if (s.endTag) return true;
  } else {
    return false;
  }
  if (!extractValue()) return false;
  if (!s.endTag) ++s.level;
  return true;
}

bool FLXmlDecoder::getNextTag() {
  if (!error_.isEmpty()) return false;
  State& s = state_;
  if (!s.started) {
    s.started = true;
    if (!s.svg) {
      const qsizetype end = xml_.indexOf(QStringView(kDeclarationEnd), s.charIndex);
      if (end < 0) return fail(s.charIndex);
      s.charIndex = end + 2;
    }
  }
  if (s.charIndex >= limit_) return false;
  // White space and comments after the last element are the end of the text, not an error.
  qsizetype p = s.charIndex;
  if (skipNonTags(p) == kSkipAtTag) {
    s.charIndex = p;
    if (p >= limit_) return false;
  }
  return readTag() || fail(s.charIndex);
}

bool FLXmlDecoder::isDone() const { return state_.charIndex >= limit_ || !error_.isEmpty(); }

void FLXmlDecoder::forceDone() { state_.charIndex = limit_; }

// ----- values and attributes

int64_t FLXmlDecoder::integerValue() const { return LeadingInteger(state_.value); }

int64_t FLXmlDecoder::longValue() const { return LeadingInteger(state_.value); }

int64_t FLXmlDecoder::decodeValue() const {
  const FLXmlKeyTable* table = keyDecoder_ ? keyDecoder_.get() : g_sharedKeyTable.get();
  if (!table) return 0;
  return int64_t(table->value(state_.value, 0));
}

int64_t FLXmlDecoder::decodeValueFromValues(std::span<const char* const> values) const {
  return decodeValue(state_.value, values);
}

void FLXmlDecoder::clearAttributes() {
  state_.attributeSpans.clear();
  if (state_.attributesBuilt) state_.attributes.clear();
  state_.attributesBuilt = false;
}

// A name given twice keeps its last value, as it always has.
const FLXmlDecoder::AttributeSpan* FLXmlDecoder::findAttribute(QAnyStringView name) const {
  const std::vector<AttributeSpan>& spans = state_.attributeSpans;
  // The readers ask by Latin-1 names: compared here character by character, without the
  // general conversion.
  const AttributeSpan* latinMatch = nullptr;
  const bool latin = name.visit([&](auto view) {
    if constexpr (std::is_same_v<decltype(view), QLatin1StringView>) {
      const auto* characters = reinterpret_cast<const unsigned char*>(view.data());
      const qsizetype size = view.size();
      for (auto it = spans.rbegin(); it != spans.rend() && !latinMatch; ++it) {
        if (it->name.size() != size) continue;
        const QChar* own = it->name.constData();
        qsizetype i = 0;
        while (i < size && own[i].unicode() == characters[i]) ++i;
        if (i == size) latinMatch = &*it;
      }
      return true;
    } else {
      return false;
    }
  });
  if (latin) return latinMatch;
  for (auto it = spans.rbegin(); it != spans.rend(); ++it)
    if (QAnyStringView::equal(it->name, name)) return &*it;
  return nullptr;
}

QString FLXmlDecoder::attributeValue(const AttributeSpan& span) const {
  const QString value = decodeEscapes(xml_.mid(span.start, span.length));
  return value.isNull() ? QStringLiteral("") : value;
}

const QHash<QString, QString>& FLXmlDecoder::attributes() const {
  if (!state_.attributesBuilt) {
    state_.attributes.clear();
    for (const AttributeSpan& span : state_.attributeSpans) state_.attributes.insert(span.name, attributeValue(span));
    state_.attributesBuilt = true;
  }
  return state_.attributes;
}

int64_t FLXmlDecoder::decodeAttribute(QAnyStringView name, std::span<const char* const> values) const {
  const AttributeSpan* span = findAttribute(name);
  if (!span) return decodeValue(QString(), values);
  const QStringView raw = QStringView(xml_).mid(span->start, span->length);
  return raw.contains(u'&') ? decodeValue(attributeValue(*span), values) : decodeWord(raw, values);
}

int64_t FLXmlDecoder::integerAttributeForTag(QAnyStringView name) const {
  const AttributeSpan* span = findAttribute(name);
  if (!span) return 0;
  const QStringView raw = QStringView(xml_).mid(span->start, span->length);
  return raw.contains(u'&') ? LeadingInteger(attributeValue(*span)) : LeadingInteger(raw);
}

QString FLXmlDecoder::stringAttributeForTag(QAnyStringView name) const {
  const AttributeSpan* span = findAttribute(name);
  return span ? attributeValue(*span) : QString();
}

// ----- moving over whole elements

// The start of the closing tag that matches an element opened before `from`, counting nested
// elements of the same name and passing over comments and CDATA sections; -1 when none.
qsizetype FLXmlDecoder::findMatchingClose(qsizetype from, const QString& name, qsizetype* closeEnd) const {
  const QStringView text(xml_);
  qsizetype depth = 1;
  qsizetype p = from;
  for (;;) {
    const qsizetype lt = xml_.indexOf(u'<', p);
    if (lt < 0) return -1;
    const QStringView rest = text.mid(lt);
    if (rest.startsWith(QStringView(kCommentStart))) {
      const qsizetype end = xml_.indexOf(QStringView(kCommentEnd), lt + kCommentStartLength);
      if (end < 0) return -1;
      p = end + kCommentEndLength;
      continue;
    }
    if (rest.startsWith(QStringView(kCdataStart))) {
      const qsizetype end = xml_.indexOf(QStringView(kCdataEnd), lt + kCdataStartLength);
      if (end < 0) return -1;
      p = end + kCdataEndLength;
      continue;
    }
    const bool closing = at(lt + 1) == u'/';
    const qsizetype nameAt = lt + (closing ? 2 : 1);
    if (text.mid(nameAt).startsWith(name) && !IsNameChar(at(nameAt + name.size()))) {
      const qsizetype gt = xml_.indexOf(u'>', nameAt + name.size());
      if (gt < 0) return -1;
      if (closing) {
        if (--depth == 0) {
          *closeEnd = gt + 1;
          return lt;
        }
      } else if (xml_[gt - 1] != u'/') {
        ++depth;
      }
      p = gt + 1;
      continue;
    }
    p = lt + 1;
  }
}

QString FLXmlDecoder::extractTag() {
  State& s = state_;
  if (!error_.isEmpty() || !s.startTag || s.endTag) return QString();
  qsizetype closeEnd = 0;
  const qsizetype close = findMatchingClose(s.charIndex, s.xmlTag, &closeEnd);
  if (close < 0) return QString();
  const QString raw = xml_.mid(s.tagStartIndex, closeEnd - s.tagStartIndex);
  s.charIndex = closeEnd;
  --s.level;
  s.endTag = true;
  return raw;
}

FLXmlSkipMark FLXmlDecoder::skipTag() {
  State& s = state_;
  const FLXmlSkipMark mark{s.charIndex, s.level};
  if (!error_.isEmpty() || !s.startTag || s.endTag) return mark;
  qsizetype closeEnd = 0;
  const qsizetype close = findMatchingClose(s.charIndex, s.xmlTag, &closeEnd);
  if (close < 0) {
    s.charIndex = limit_;
    return mark;
  }
  s.charIndex = close;
  getNextTag();
  return mark;
}

void FLXmlDecoder::unskipTag(const FLXmlSkipMark& mark) {
  state_.charIndex = std::clamp<qsizetype>(mark.index, 0, xml_.size());
  state_.level = mark.level;
}

bool FLXmlDecoder::skipToTag(const QString& name) {
  State& s = state_;
  if (!error_.isEmpty() || name.isEmpty()) return false;
  const QString opening = QLatin1Char('<') + name + QLatin1Char('>');
  const qsizetype found = xml_.indexOf(opening, s.charIndex);
  if (found < 0) return false;
  s.started = true;
  s.charIndex = found + opening.size();
  s.tagStartIndex = found;
  s.level = 2;
  s.xmlTag = name;
  s.key = keyForName(name);
  s.value = QString();
  s.startTag = true;
  s.endTag = false;
  clearAttributes();
  s.orderedAttributes.clear();
  return true;
}

QString FLXmlDecoder::followingTagWithAttributes(QHash<QString, QString>* attributes, QString* value) {
  if (!error_.isEmpty()) return QString();
  const State saved = state_;
  QString name;
  if (getNextTag()) {
    name = state_.xmlTag;
    if (attributes) *attributes = this->attributes();
    if (value) *value = state_.value;
  }
  state_ = saved;
  return name;
}

void FLXmlDecoder::coalesceMixedContent() {
  State& s = state_;
  if (!error_.isEmpty() || !s.startTag || s.endTag) return;
  const int32_t keptKey = s.key;
  const QString keptName = s.xmlTag;
  const int64_t keptLevel = s.level;
  const std::vector<AttributeSpan> keptAttributes = s.attributeSpans;
  const QStringList keptOrdered = s.orderedAttributes;
  QString text = s.value.isNull() ? QStringLiteral("") : s.value;

  coalescing_ = true;
  bool closedByOwnTag = false;
  while (getNextTag()) {
    if (s.level < keptLevel) {
      const bool sameElement = keptKey != 0 ? s.key == keptKey : s.xmlTag == keptName;
      closedByOwnTag = !s.startTag && sameElement;
      break;
    }
    if (s.value.isEmpty()) continue;
    if (!text.isEmpty() && !IsSpace(text.back()) && !IsSpace(s.value.front())) text += QLatin1Char(' ');
    text += s.value;
  }
  if (!closedByOwnTag) DECODER_ASSERT(kEndingTagDiffers);
  coalescing_ = false;

  s.key = keptKey;
  s.xmlTag = keptName;
  clearAttributes();
  s.attributeSpans = keptAttributes;
  s.orderedAttributes = keptOrdered;
  s.startTag = true;
  s.endTag = true;
  s.value = text;
}

// ----- the process-wide table and word lists

const std::shared_ptr<FLXmlKeyTable>& FLXmlDecoder::sharedKeyDecoder() { return g_sharedKeyTable; }

void FLXmlDecoder::setSharedKeyDecoder(std::shared_ptr<FLXmlKeyTable> table) {
  g_sharedKeyTable = std::move(table);
}

void FLXmlDecoder::addDecoderKey(uint32_t key, const QString& tag) {
  if (!g_sharedKeyTable) {
    DECODER_ASSERT(kSetKeyDecoderFirst);
    return;
  }
  if (g_sharedKeyTable->contains(tag)) DECODER_ASSERT(kDuplicateTag);
  g_sharedKeyTable->insert(tag, key);
}

void FLXmlDecoder::addDecoderKeys(std::span<const FLXmlTagKey> keys) {
  for (const FLXmlTagKey& entry : keys) addDecoderKey(entry.key, QString::fromUtf8(entry.tag));
}

void FLXmlDecoder::allowUnknownValues(bool allow) { g_allowUnknownValues = allow; }

int64_t FLXmlDecoder::decodeValue(const QString& text, std::span<const char* const> values) {
  return decodeWord(text, values);
}

int64_t FLXmlDecoder::decodeWord(QStringView text, std::span<const char* const> values) {
  if (text.isEmpty()) return 0;
  // Between ASCII texts the comparison is letter for letter whatever the case, done here without
  // the general one's conversions; its case folding reaches beyond ASCII, so anything else still
  // goes through it.
  const auto isAscii = [](auto c) { return uint32_t(c) < 0x80; };
  const auto lower = [](uint32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  const bool asciiText =
      std::all_of(text.begin(), text.end(), [&](QChar c) { return isAscii(c.unicode()); });
  for (size_t i = 0; i < values.size(); ++i) {
    const char* value = values[i];
    if (!value) continue;
    const auto* bytes = reinterpret_cast<const unsigned char*>(value);
    const size_t length = std::strlen(value);
    if (asciiText && std::all_of(bytes, bytes + length, isAscii)) {
      if (qsizetype(length) != text.size()) continue;
      qsizetype j = 0;
      while (j < text.size() && lower(text[j].unicode()) == lower(bytes[j])) ++j;
      if (j == text.size()) return int64_t(i);
    } else if (QAnyStringView::compare(text, QUtf8StringView(value), Qt::CaseInsensitive) == 0) {
      return int64_t(i);
    }
  }
  if (!g_allowUnknownValues) DECODER_ASSERT(kUnknownValue);
  return 0;
}

QString FLXmlDecoder::decodeEscapes(const QString& text) {
  if (text.isEmpty() || !text.contains(u'&')) return text;
  const qsizetype n = text.size();
  // A numeric reference with no ";" or blank anywhere after it runs to the end of the text.
  qsizetype lastTerminator = n - 1;
  while (lastTerminator >= 0 && text[lastTerminator] != u';' && text[lastTerminator] != u' ') --lastTerminator;

  QString out;
  out.reserve(n);
  qsizetype runStart = 0;
  qsizetype i = 0;
  auto flushRun = [&](qsizetype end) {
    if (end > runStart) out += QStringView(text).mid(runStart, end - runStart);
  };
  while (i < n) {
    if (text[i] != u'&') {
      ++i;
      continue;
    }
    flushRun(i);
    if (i + 1 < n && text[i + 1] == u'#') {
      const bool hex = i + 2 < n && text[i + 2] == u'x';
      const int base = hex ? 16 : 10;
      const qsizetype digitsStart = i + (hex ? 3 : 2);
      if (lastTerminator < digitsStart) {
        // As always: a reference cut off by the end of the text loses only its "&#" or "&#x".
        i = runStart = digitsStart;
        continue;
      }
      qsizetype p = digitsStart;
      uint32_t code = 0;
      bool valid = true;
      for (; p < n && text[p] != u';' && text[p] != u' '; ++p) {
        const int digit = DigitValue(text[p], base);
        if (digit < 0) {
          valid = false;
          break;
        }
        code = code * uint32_t(base) + uint32_t(digit);
        if (code > 0x10FFFF) {
          valid = false;
          break;
        }
      }
      valid = valid && p > digitsStart && p < n && code != 0 && !(code >= 0xD800 && code <= 0xDFFF);
      if (valid) {
        const char32_t character = code;
        out += QString::fromUcs4(&character, 1);
        i = runStart = p + 1;
        continue;
      }
      // Not a character reference after all: it stays as written.
      runStart = i;
      ++i;
      continue;
    }
    bool matched = false;
    for (const NamedEntity& entity : kNamedEntities) {
      if (QStringView(text).mid(i).startsWith(QStringView(entity.text, entity.length))) {
        out += QChar(entity.character);
        i = runStart = i + entity.length;
        matched = true;
        break;
      }
    }
    if (!matched) {
      runStart = i;
      ++i;
    }
  }
  flushRun(n);
  return out;
}
