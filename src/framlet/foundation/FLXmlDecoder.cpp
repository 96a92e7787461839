// The pull reader. Every scan is bounded by the text's length and moves forward, so a hostile
// file can at worst be refused with an offset; it can never make the reader loop or read past
// the text.
#include "framlet/foundation/FLXmlDecoder.h"

#include "platform/StringValues.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/flSeededHash.h"

#include <QFile>
#include <QStringDecoder>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>
#include <optional>
#include <type_traits>

namespace {

constexpr const char* kNotValidXml = "this is not a valid XML file (offset 0x%x)";
constexpr const char* kMalformedCdata = "malformed CDATA at offset 0x%x";
constexpr const char* kNotUnderstood = FLXmlDecoder::kNotUnderstoodReason;
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
constexpr const char* kXmlStart = "<?xml";
constexpr const char* kSvgStart = "<svg";
constexpr const char* kDeclarationEnd = "?>";
constexpr const char* kCommentStart = "<!--";
constexpr const char* kCommentEnd = "-->";
constexpr const char* kCdataStart = "<![CDATA[";
constexpr const char* kCdataEnd = "]]>";
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
bool IsAsciiNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '_' ||
         c == '-' || c == '.';
}

bool IsAllSpace(const QString& text) {
  for (QChar c : text)
    if (!IsSpace(c)) return false;
  return true;
}

// The character that starts at a byte of valid UTF-8 and its length in bytes, 0 past the end.
// A character beyond the Basic Multilingual Plane is a surrogate pair to QChar, neither letter
// nor space: it is given as a lone surrogate, which the tests below all refuse.
QChar CharacterAt(QByteArrayView text, qsizetype p, qsizetype* length) {
  if (p < 0 || p >= text.size()) {
    *length = 0;
    return QChar();
  }
  const auto byte = [&](qsizetype i) { return uchar(text[i]); };
  const uchar lead = byte(p);
  if (lead < 0x80) {
    *length = 1;
    return QChar(lead);
  }
  if (lead >= 0xC0 && lead < 0xE0 && p + 1 < text.size()) {
    *length = 2;
    return QChar(char16_t(((lead & 0x1F) << 6) | (byte(p + 1) & 0x3F)));
  }
  if (lead >= 0xE0 && lead < 0xF0 && p + 2 < text.size()) {
    *length = 3;
    return QChar(char16_t(((lead & 0x0F) << 12) | ((byte(p + 1) & 0x3F) << 6) | (byte(p + 2) & 0x3F)));
  }
  *length = lead >= 0xF0 ? std::min<qsizetype>(4, text.size() - p) : 1;
  return QChar(char16_t(0xD800));
}

// The length of the character at `p` when it passes the test, else 0. Markup is ASCII: its
// bytes are tested as they stand.
template <typename Test>
qsizetype LengthIf(QByteArrayView text, qsizetype p, Test test) {
  if (p >= 0 && p < text.size() && uchar(text[p]) < 0x80) return test(QChar(uchar(text[p]))) ? 1 : 0;
  qsizetype length = 0;
  const QChar c = CharacterAt(text, p, &length);
  return length > 0 && test(c) ? length : 0;
}

// QChar's white space below 128.
Q_ALWAYS_INLINE bool IsAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

qsizetype SpaceBeyondAscii(QByteArrayView text, qsizetype p) { return LengthIf(text, p, IsSpace); }

Q_ALWAYS_INLINE qsizetype SpaceAt(QByteArrayView text, qsizetype p) {
  // ASCII, as nearly all of it is, told at once.
  if (p >= 0 && p < text.size() && uchar(text[p]) < 0x80) return IsAsciiSpace(text[p]) ? 1 : 0;
  return SpaceBeyondAscii(text, p);
}

qsizetype SkipSpaces(QByteArrayView text, qsizetype p) {
  while (const qsizetype length = SpaceAt(text, p)) p += length;
  return p;
}

bool IsAscii(QByteArrayView text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x80; });
}

// The text of a stretch of the document. Nearly every stretch is ASCII, widened byte by byte
// more cheaply than the general conversion starts up.
QString Decoded(QByteArrayView bytes) {
  if (!IsAscii(bytes)) return QString::fromUtf8(bytes);
  QString text(bytes.size(), Qt::Uninitialized);
  std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char16_t*>(text.data()));
  return text;
}

// A short ASCII text widened in place, anything else decoded: the 16-bit text the word and
// number readers take, with no allocation for the usual attribute.
class Widened {
 public:
  explicit Widened(QByteArrayView bytes) {
    if (bytes.size() <= qsizetype(sizeof short_ / sizeof *short_) && IsAscii(bytes)) {
      std::copy(bytes.begin(), bytes.end(), short_);
      view_ = QStringView(short_, bytes.size());
    } else {
      long_ = QString::fromUtf8(bytes);
      view_ = long_;
    }
  }
  Widened(const Widened&) = delete;
  Widened& operator=(const Widened&) = delete;
  QStringView view() const { return view_; }

 private:
  char16_t short_[64];
  QString long_;
  QStringView view_;
};

int DigitValue(QChar c, int base) {
  const char16_t u = c.unicode();
  int digit = -1;
  if (u >= u'0' && u <= u'9') digit = u - u'0';
  else if (u >= u'a' && u <= u'f') digit = u - u'a' + 10;
  else if (u >= u'A' && u <= u'F') digit = u - u'A' + 10;
  return digit < base ? digit : -1;
}

}  // namespace

// A stretch of text with its references and entities replaced. The usual one, ASCII without
// any, is widened in the one pass that finds there is nothing else to do.
static QString DecodedText(QByteArrayView raw) {
  QString text(raw.size(), Qt::Uninitialized);
  char16_t* out = reinterpret_cast<char16_t*>(text.data());
  for (qsizetype i = 0; i < raw.size(); ++i) {
    const uchar c = uchar(raw[i]);
    if (c >= 0x80 || c == '&') return FLXmlDecoder::decodeEscapes(Decoded(raw));
    out[i] = c;
  }
  return text;
}

// ----- creation

FLXmlDecoder::FLXmlDecoder(QByteArray text) : owned_(std::move(text)), xml_(owned_) {
  // The scans stop short of the last character, as they always have.
  limit_ = xml_.size() - 1;
  while (limit_ > 0 && (uchar(xml_[limit_]) & 0xC0) == 0x80) --limit_;
}

std::unique_ptr<FLXmlDecoder> FLXmlDecoder::withUtf8(QByteArray text) {
  if (text.isEmpty()) return nullptr;
  std::unique_ptr<FLXmlDecoder> decoder(new FLXmlDecoder(std::move(text)));
  qsizetype start = 0;
  if (decoder->skipNonTags(start) != kSkipAtTag || start >= decoder->limit_) return nullptr;
  const QByteArrayView rest = QByteArrayView(decoder->xml_).sliced(start);
  if (rest.startsWith(kSvgStart)) {
    decoder->state_.svg = true;
    decoder->state_.setTagName(QString::fromLatin1(kSvgRootTag));
  } else if (!rest.startsWith(kXmlStart)) {
    return nullptr;
  }
  decoder->state_.charIndex = start;
  return decoder;
}

std::unique_ptr<FLXmlDecoder> FLXmlDecoder::withString(const QString& text) { return withUtf8(text.toUtf8()); }

std::unique_ptr<FLXmlDecoder> FLXmlDecoder::withData(QByteArray data) {
  if (data.startsWith("\xEF\xBB\xBF")) data.remove(0, 3);
  if (!QByteArrayView(data).isValidUtf8()) return nullptr;
  return withUtf8(std::move(data));
}

std::unique_ptr<FLXmlDecoder> FLXmlDecoder::withFile(const QString& path, FLError* error) {
  FLError readError;
  std::unique_ptr<FLXmlDecoder> decoder = readFile(path, kMaxFileSize, kDefaultPieceSize, &readError);
  if (decoder) return decoder;
  if (readError.domain != QLatin1String(kFLPosixErrorDomain)) {
    SetError(error, 0, QString::fromLatin1(kNotUnderstood));
  } else {
    // In the file domain, as the platform's reading reports them.
    const int code = readError.code == ENOENT                              ? kFileReadNoSuchFileError
                     : readError.code == EACCES || readError.code == EPERM ? kFileReadNoPermissionError
                                                                           : kFileReadUnknownError;
    SetError(error, code, readError.reason, kFLCocoaErrorDomain);
  }
  return nullptr;
}

std::unique_ptr<FLXmlDecoder> FLXmlDecoder::withRegularFile(const QString& path, int64_t maxSize,
                                                            qsizetype pieceSize, FLError* error) {
  return readFile(path, maxSize, pieceSize, error);
}

std::unique_ptr<FLXmlDecoder> FLXmlDecoder::readFile(const QString& path, int64_t maxSize, qsizetype pieceSize,
                                                     FLError* error) {
  const auto refuse = [error](bool notUtf8) -> std::unique_ptr<FLXmlDecoder> {
    SetError(error, 0, QString::fromLatin1(notUtf8 ? kNotUtf8Reason : kNotUnderstood));
    return nullptr;
  };
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  struct stat info;
  if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && int64_t(info.st_size) <= maxSize &&
      info.st_size > 0) {
    bool mapped = false;
    bool notUtf8 = false;
    std::unique_ptr<FLXmlDecoder> decoder =
        withMappedFile(fd, qsizetype(info.st_size), pieceSize, &mapped, &notUtf8);
    ::close(fd);
    if (mapped) return decoder ? std::move(decoder) : refuse(notUtf8);
  } else if (fd >= 0) {
    ::close(fd);
  }
  // What cannot be mapped (an empty file, a file system that maps nothing) is read the ordinary
  // way, which also tells why anything else is refused.
  std::optional<QByteArray> bytes = ReadRegularFile(path, maxSize, error);
  if (!bytes) return nullptr;
  QByteArray data = std::move(*bytes);
  if (data.startsWith("\xEF\xBB\xBF")) data.remove(0, 3);
  if (!QByteArrayView(data).isValidUtf8()) return refuse(true);
  std::unique_ptr<FLXmlDecoder> decoder = withUtf8(std::move(data));
  return decoder ? std::move(decoder) : refuse(false);
}

std::unique_ptr<FLXmlDecoder> FLXmlDecoder::withMappedFile(int fd, qsizetype size, qsizetype pieceSize,
                                                           bool* mapped, bool* notUtf8) {
  *mapped = false;
  *notUtf8 = false;
  std::unique_ptr<FLGuardedMapping> file = FLGuardedMapping::map(fd, size_t(size));
  if (!file) return nullptr;
  *mapped = true;
  const char* bytes = file->data();
  const qsizetype page = qsizetype(::sysconf(_SC_PAGESIZE));
  const qsizetype piece = std::max(page, (pieceSize + page - 1) / page * page);

  const QByteArrayView whole(bytes, size);
  const qsizetype textOffset = whole.startsWith("\xEF\xBB\xBF") ? 3 : 0;
  // The whole text is checked before anything is read, as a text held in memory is, but a piece
  // at a time: each piece is given back once checked. A piece ends before a character's first
  // byte, so that no character is split between two.
  bool valid = true;
  for (qsizetype from = textOffset; valid && from < size;) {
    // The next boundary, past the one a character split there made the last piece stop short of.
    qsizetype to = std::min(size, ((from + 4) / piece + 1) * piece);
    for (int back = 0; back < 3 && to < size && (uchar(bytes[to]) & 0xC0) == 0x80 && to - 1 > from; ++back) --to;
    valid = whole.sliced(from, to - from).isValidUtf8();
    file->release(size_t(from), size_t(to));
    from = to;
  }
  // A file cut short while it was checked has zeros where its end was: it was not what was checked.
  if (file->faulted()) return nullptr;
  *notUtf8 = !valid;
  std::unique_ptr<FLXmlDecoder> decoder;
  if (valid) decoder = withUtf8(QByteArray::fromRawData(bytes + textOffset, size - textOffset));
  if (!decoder || file->faulted()) return nullptr;
  decoder->mapping_ = Mapping{std::move(file), textOffset, piece, 0};
  return decoder;
}

FLXmlDecoder::~FLXmlDecoder() {
  // The text refers to the mapping: it goes first.
  xml_ = QByteArrayView();
  owned_ = QByteArray();
  mapping_.file.reset();
}

bool FLXmlDecoder::fileChanged() const { return mapping_.file && mapping_.file->faulted(); }

void FLXmlDecoder::releaseConsumed() {
  // Everything before the current tag but one piece is behind the reading; what a caller may
  // still ask for there is read again from the file.
  const qsizetype reading = mapping_.textOffset + std::min(state_.tagStartIndex, state_.charIndex);
  const qsizetype releaseTo = (reading - mapping_.pieceSize) / mapping_.pieceSize * mapping_.pieceSize;
  if (releaseTo <= mapping_.releasedTo) return;
  mapping_.file->release(size_t(mapping_.releasedTo), size_t(releaseTo));
  mapping_.releasedTo = releaseTo;
}

// ----- scanning

bool FLXmlDecoder::fail(qsizetype offset) {
  if (error_.isEmpty())
    error_ = fileChanged() ? QString::fromLatin1(kNotUnderstood) : StringWithFormat(kNotValidXml, uint64_t(offset));
  return false;
}

// Nearly every scan between tags already stands at the next element's "<": told without the
// whole scan (which gives the same answer there).
Q_ALWAYS_INLINE bool FLXmlDecoder::atElement(qsizetype position) const {
  return position < limit_ && xml_[position] == '<' && xml_[position + 1] != '!';
}

int FLXmlDecoder::skipNonTags(qsizetype& position) const {
  const qsizetype n = xml_.size();
  while (position < limit_) {
    // The indent between tags, ASCII white space, passed over in a tight loop.
    while (position < limit_ && IsAsciiSpace(xml_[position])) ++position;
    if (position >= limit_) break;
    const char c = xml_[position];
    if (const qsizetype space = SpaceAt(xml_, position)) {
      position += space;
      continue;
    }
    if (c == '&') {
      // Between the elements of mixed content an entity is text like any other.
      if (coalescing_) return kSkipAtText;
      if (at(position + 1) == '<' || SpaceAt(xml_, position + 1)) return kSkipFailed;
      const qsizetype semicolon = xml_.indexOf(';', position + 1);
      position = semicolon < 0 ? limit_ : semicolon + 1;
      continue;
    }
    if (c == '<') {
      // Comments and declarations both begin "<!": elements, nearly every tag, are told at once.
      if (n - position >= 7 && xml_[position + 1] == '!') {
        const QByteArrayView rest = QByteArrayView(xml_).sliced(position);
        if (rest.startsWith(kCommentStart)) {
          const qsizetype end = xml_.indexOf(kCommentEnd, position + kCommentStartLength);
          if (end < 0) return kSkipFailed;
          position = end + kCommentEndLength;
          continue;
        }
        // A declaration, possibly with nested "<...>" parts of its own.
        qsizetype depth = 1;
        qsizetype scan = position + 2;
        for (; scan < n; ++scan) {
          if (xml_[scan] == '<') ++depth;
          else if (xml_[scan] == '>' && --depth == 0) break;
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

bool FLXmlDecoder::InternedName::is(QByteArrayView bytes) const {
  // Names are short: compared in place, quicker than a call to compare memory.
  if (!utf8.isNull()) {
    if (utf8.size() != bytes.size()) return false;
    const char* own = utf8.constData();
    qsizetype i = 0;
    while (i < bytes.size() && own[i] == bytes[i]) ++i;
    return i == bytes.size();
  }
  if (name.size() != bytes.size()) return false;
  const char16_t* own = reinterpret_cast<const char16_t*>(name.utf16());
  qsizetype i = 0;
  while (i < bytes.size() && own[i] == char16_t(uchar(bytes[i]))) ++i;
  return i == bytes.size();
}

const FLXmlDecoder::InternedName& FLXmlDecoder::internName(QByteArrayView name) {
  // Most names are found at once in a small table by their length and first eight bytes, which
  // spares hashing the whole name for each tag and attribute read.
  uint64_t prefix = 0;
  const qsizetype prefixLength = std::min<qsizetype>(8, name.size());
  for (qsizetype i = 0; i < prefixLength; ++i) prefix |= uint64_t(uchar(name[i])) << (8 * i);
  const size_t slot = size_t((prefix * 0x9E3779B97F4A7C15ull) >> 58) ^ (size_t(name.size()) & 63);
  RecentName& recent = recentNames_[slot];
  ++namesCompared_;
  if (recent.name && recent.size == name.size() && recent.prefix == prefix &&
      (name.size() <= 8 || recent.name->is(name))) {
    recent.name->lastUse = tagSerial_;
    return *recent.name;
  }
  const size_t hash = FLSeededHash()(name);
  const InternedName*& first = namesByHash_[hash];
  for (const InternedName* kept = first; kept; kept = kept->sameHash) {
    ++namesCompared_;
    if (kept->is(name)) {
      kept->lastUse = tagSerial_;
      recent = {prefix, name.size(), kept};
      return *kept;
    }
  }
  makeRoomForName();
  QString decoded = Decoded(name);
  const int32_t key = keyForName(decoded);
  names_.push_back({std::move(decoded), IsAscii(name) ? QByteArray() : name.toByteArray(), hash, nullptr, key});
  InternedName& added = names_.back();
  added.lastUse = tagSerial_;
  // The oldest name may have been the first of this hash: the table is asked again.
  const InternedName*& head = namesByHash_[hash];
  added.sameHash = head;
  head = &added;
  recent = {prefix, name.size(), &added};
  return added;
}

void FLXmlDecoder::makeRoomForName() {
  // A document uses a few dozen names; only so many are kept once no tag uses them, so that a
  // document of ever new names (unknown tags, closed at once) holds a few of them at a time.
  constexpr size_t kMostNames = 128;
  // A few of the oldest are looked at, which bounds the work per name: those no longer in use go,
  // those in use go to the back. Names that a long tag kept in use beyond the bound are let go
  // several for each new one, once that tag is read.
  constexpr int kLooks = 4;
  for (int look = 0; look < kLooks && names_.size() >= kMostNames; ++look) {
    const InternedName& oldest = names_.front();
    if (oldest.held == 0 && oldest.lastUse + 1 < tagSerial_) forgetOldestName();
    else names_.splice(names_.end(), names_, names_.begin());
  }
}

void FLXmlDecoder::forgetOldestName() {
  const InternedName* oldest = &names_.front();
  const auto found = namesByHash_.find(oldest->hash);
  if (found != namesByHash_.end()) {
    if (found->second == oldest) {
      if (oldest->sameHash) found->second = oldest->sameHash;
      else namesByHash_.erase(found);
    } else {
      for (const InternedName* kept = found->second; kept; kept = kept->sameHash) {
        if (kept->sameHash == oldest) {
          kept->sameHash = oldest->sameHash;
          break;
        }
      }
    }
  }
  for (RecentName& recent : recentNames_)
    if (recent.name == oldest) recent = RecentName();
  names_.pop_front();
}

void FLXmlDecoder::rekeyNames() {
  for (InternedName& interned : names_) interned.key = keyForName(interned.name);
}

void FLXmlDecoder::useNames(const State& state, int hold) {
  const auto use = [this, hold](const InternedName* interned) {
    if (!interned) return;
    interned->lastUse = tagSerial_;
    interned->held += hold;
  };
  use(state.tagInterned);
  for (const AttributeSpan& span : state.attributeSpans) use(span.interned);
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
  const int skipped = atElement(p) ? kSkipAtTag : skipNonTags(p);
  if (skipped == kSkipAtText) {
    if (afterValue) return false;
    s.charIndex = p;
    s.tagStartIndex = p;
    static const QString textNodeName = QString::fromLatin1(kTextNodeName);
    s.tagRef = &textNodeName;
    s.tagInterned = nullptr;
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
  const bool closing = at(p) == '/';
  // After a value only a closing tag is taken.
  if (afterValue && !closing) return false;
  if (closing) ++p;
  const qsizetype nameStart = p;
  if (afterValue && s.tagInterned) {
    // The element's own closing tag, nearly always what follows a value, told by its bytes.
    const InternedName& own = *s.tagInterned;
    const qsizetype size = own.utf8.isNull() ? own.name.size() : own.utf8.size();
    const qsizetype end = nameStart + size;
    if (end < xml_.size() && own.is(xml_.sliced(nameStart, size)) && !LengthIf(xml_, end, IsNameChar)) {
      const qsizetype gt = SkipSpaces(xml_, end);
      if (at(gt) != '>') return false;
      s.charIndex = gt + 1;
      s.endTag = true;
      return true;
    }
  }
  const bool numeric = allowNumericTags_;
  if (const qsizetype first =
          LengthIf(xml_, p, [numeric](QChar c) { return IsNameStart(c) || (numeric && IsAsciiDigit(c)); })) {
    p += first;
    for (;;) {
      // ASCII name characters, which nearly every name is made of, are told without a QChar.
      const qsizetype end = xml_.size();
      while (p < end && IsAsciiNameChar(xml_[p])) ++p;
      if (p < end && uchar(xml_[p]) < 0x80) break;
      const qsizetype next = LengthIf(xml_, p, IsNameChar);
      if (next == 0) break;
      p += next;
    }
  }
  if (p == nameStart) {
    if (!afterValue) s.charIndex = p;
    return false;
  }
  // A reference into the interned names, which nothing below adds to.
  const InternedName& interned = internName(QByteArrayView(xml_).sliced(nameStart, p - nameStart));
  const QString& name = interned.name;
  const int32_t key = interned.key;
  if (!afterValue) {
    s.charIndex = p;
    s.tagStartIndex = tagStart;
    s.tagRef = &name;
    s.tagInterned = &interned;
    s.key = key;
    s.startTag = !closing;
    s.endTag = closing;
    return true;
  }
  // After a value only the element's own closing tag is taken. Names without a key are told
  // apart by name, or any unknown closing tag would close any unknown element.
  const bool sameElement = s.key != 0 ? key == s.key : name == s.tagName();
  if (!closing || !sameElement) return false;
  p = SkipSpaces(xml_, p);
  if (at(p) != '>') return false;
  s.charIndex = p + 1;
  s.endTag = true;
  return true;
}

bool FLXmlDecoder::extractValue() {
  State& s = state_;
  const qsizetype n = xml_.size();
  const qsizetype valueStart = s.charIndex;
  qsizetype p = valueStart;
  while (p < limit_ && IsAsciiSpace(xml_[p])) ++p;
  while (p < limit_) {
    const qsizetype space = SpaceAt(xml_, p);
    if (space == 0) break;
    p += space;
  }
  if (p >= limit_) {
    s.charIndex = p;
    return false;
  }
  QString value;
  bool hadSection = false;
  qsizetype segment = valueStart;
  for (;;) {
    // The "<" nearly always stands right there (behind an indent) or a few bytes on.
    const qsizetype lt = p < limit_ && xml_[p] == '<' ? p : xml_.indexOf('<', p);
    if (lt < 0 || lt >= limit_) {
      s.charIndex = lt < 0 ? limit_ : lt;
      return false;
    }
    const bool section = n - lt > 12 && xml_[lt + 1] == '!' && QByteArrayView(xml_).sliced(lt).startsWith(kCdataStart);
    if (!section && segment == valueStart && !s.svg) {
      // A value of one stretch is made only when asked for: most, like the indents between
      // tags, never are.
      s.charIndex = lt;
      s.valueFrom = segment;
      s.valueTo = lt;
      // Only a closing tag can end the element here; an element's first child, which the
      // indents come before, is told at once.
      if (!(atElement(lt) && xml_[lt + 1] != '/')) identifyNextTag(true);
      return true;
    }
    if (lt == p && segment == valueStart && lt > segment) {
      // Only the indent before a child: one of a few texts, shared rather than made anew.
      value = internName(QByteArrayView(xml_).sliced(segment, lt - segment)).name;
    } else {
      const QByteArrayView raw = QByteArrayView(xml_).sliced(segment, lt - segment);
      QString decoded = DecodedText(raw);
      if (value.isNull())
        value = std::move(decoded);
      else
        value += decoded;
    }
    if (section) {
      const qsizetype end = xml_.indexOf(kCdataEnd, lt + kCdataStartLength);
      if (end < 0) {
        if (error_.isEmpty()) error_ = StringWithFormat(kMalformedCdata, uint64_t(lt));
        s.charIndex = lt;
        return false;
      }
      value += Decoded(QByteArrayView(xml_).sliced(lt + kCdataStartLength, end - lt - kCdataStartLength));
      hadSection = true;
      segment = p = end + kCdataEndLength;
      continue;
    }
    p = lt;
    break;
  }
  s.charIndex = p;
  s.value = std::move(value);
  identifyNextTag(true);
  if (s.svg && !hadSection && !s.endTag && IsAllSpace(s.value)) s.value = QString();
  return true;
}

bool FLXmlDecoder::extractAttributes() {
  State& s = state_;
  const qsizetype n = xml_.size();
  qsizetype p = s.charIndex;
  // With spaces allowed, a name is any run of bytes but these three, as it was of characters.
  auto attributeNameCharAt = [this](qsizetype index) -> qsizetype {
    if (allowSpaceInAttr_) {
      const char c = xml_[index];
      return c != '/' && c != '=' && c != '>' ? 1 : 0;
    }
    return LengthIf(xml_, index, [](QChar c) {
      return c.isLetter() || IsAsciiDigit(c) || c == u'-' || c == u':' || c == u'_';
    });
  };
  for (;;) {
    p = SkipSpaces(xml_, p);
    const qsizetype nameStart = p;
    while (p < n) {
      const qsizetype length = attributeNameCharAt(p);
      if (length == 0) break;
      p += length;
    }
    if (p == nameStart) {
      if (at(p) == '/' && at(p + 1) == '>') {
        s.charIndex = p + 2;
        s.endTag = true;
        return true;
      }
      if (at(p) == '>') {
        s.charIndex = p + 1;
        return true;
      }
      s.charIndex = p;
      return false;
    }
    const InternedName& interned = internName(QByteArrayView(xml_).sliced(nameStart, p - nameStart));
    const QString& name = interned.name;
    if (at(p) != '=' || p >= n - 4) {
      s.charIndex = p;
      return false;
    }
    ++p;
    const char quote = at(p);
    if (quote != '"' && quote != '\'') {
      s.charIndex = p;
      return false;
    }
    const qsizetype close = xml_.indexOf(quote, p + 1);
    if (close < 0) {
      s.charIndex = p;
      return false;
    }
    s.attributeSpans.push_back({&name, &interned, p + 1, close - p - 1});
    if (s.svg) s.orderedAttributes << name << attributeValue(s.attributeSpans.back());
    p = close + 1;
  }
}

// The usual tag of a spreadsheet's text, read in one pass: an element's name and attributes in
// ASCII, behind an indent of ASCII white space, with the attributes quoted and nothing unusual
// about it. Gives kPlainNotTaken, before changing anything, for whatever else the text holds
// there (comments, text, names or spaces beyond ASCII, malformed markup, the end of the text),
// which the general reading then takes as it always has; otherwise what readTag gives.
int FLXmlDecoder::readPlainTag() {
  State& s = state_;
  const char* const b = xml_.data();
  const qsizetype n = xml_.size();
  qsizetype p = s.charIndex;
  while (p < limit_ && IsAsciiSpace(b[p])) ++p;
  if (p >= limit_ || b[p] != '<') return kPlainNotTaken;
  const qsizetype tagStart = p;
  qsizetype q = p + 1;
  const bool closing = b[q] == '/';
  if (closing) ++q;
  if (q >= limit_) return kPlainNotTaken;
  const char first = b[q];
  const bool letter = (first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z');
  if (!letter && first != '_' && first != ':' && !(allowNumericTags_ && first >= '0' && first <= '9'))
    return kPlainNotTaken;
  const qsizetype nameStart = q;
  ++q;
  while (q < limit_ && IsAsciiNameChar(b[q])) ++q;
  if (q >= limit_ || uchar(b[q]) >= 0x80) return kPlainNotTaken;

  // Nothing interned while this tag is read pushes out a name it uses: they are marked used.
  const InternedName& interned = internName(QByteArrayView(b + nameStart, q - nameStart));
  const auto begin = [&](bool startTag, bool endTag) {
    s.tagStartIndex = tagStart;
    s.tagRef = &interned.name;
    s.tagInterned = &interned;
    s.key = interned.key;
    s.startTag = startTag;
    s.endTag = endTag;
    if (!s.value.isNull()) s.value = QString();
    s.valueTo = -1;
    clearAttributes();
    if (!s.orderedAttributes.isEmpty()) s.orderedAttributes.clear();
  };
  if (closing) {
    if (b[q] != '>') return kPlainNotTaken;
    begin(false, true);
    s.charIndex = q + 1;
    --s.level;
    return kPlainRead;
  }

  constexpr int kMostPlainAttributes = 8;
  // Filled as far as `count`: not cleared beforehand, which would cost more than the reading.
  struct Span {
    const InternedName* interned;
    qsizetype start;
    qsizetype length;
  };
  Span spans[kMostPlainAttributes];
  int count = 0;
  bool empty = false;
  qsizetype r = q;
  for (;;) {
    while (r < limit_ && IsAsciiSpace(b[r])) ++r;
    if (r >= limit_) return kPlainNotTaken;
    const char c = b[r];
    if (c == '>') {
      ++r;
      break;
    }
    if (c == '/') {
      if (b[r + 1] != '>') return kPlainNotTaken;
      r += 2;
      empty = true;
      break;
    }
    // The first attribute's name begins with a letter, the others with any name character.
    const auto attributeChar = [](char a) {
      return (a >= 'a' && a <= 'z') || (a >= 'A' && a <= 'Z') || (a >= '0' && a <= '9') || a == '-' || a == ':' ||
             a == '_';
    };
    const bool startsName = count == 0 ? (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') : attributeChar(c);
    if (!startsName || count == kMostPlainAttributes || r == q) return kPlainNotTaken;
    const qsizetype attributeStart = r;
    while (r < limit_ && attributeChar(b[r])) ++r;
    if (r >= n - 4 || b[r] != '=') return kPlainNotTaken;
    const char quote = b[r + 1];
    if (quote != '"' && quote != '\'') return kPlainNotTaken;
    const void* found = std::memchr(b + r + 2, quote, size_t(n - (r + 2)));
    if (!found) return kPlainNotTaken;
    const qsizetype close = static_cast<const char*>(found) - b;
    spans[count++] = {&internName(QByteArrayView(b + attributeStart, r - attributeStart)), r + 2, close - (r + 2)};
    r = close + 1;
  }
  begin(true, empty);
  for (int i = 0; i < count; ++i)
    s.attributeSpans.push_back({&spans[i].interned->name, spans[i].interned, spans[i].start, spans[i].length});
  s.charIndex = r;
  if (empty) return kPlainRead;
  // The value, as extractValue reads it: the usual one is a stretch of text closed at once by the
  // element's own tag, or the indent before its first child. Sections, comments and the end of
  // the text are left to it.
  const void* found = std::memchr(b + r, '<', size_t(limit_ - r));
  const qsizetype lt = found ? static_cast<const char*>(found) - b : -1;
  if (lt < 0 || b[lt + 1] == '!') {
    if (!extractValue()) return kPlainFailed;
  } else {
    s.charIndex = lt;
    s.valueFrom = r;
    s.valueTo = lt;
    if (b[lt + 1] == '/') {
      const qsizetype nameLength = q - nameStart;
      const qsizetype end = lt + 2 + nameLength;
      if (end < limit_ && b[end] == '>' && std::memcmp(b + lt + 2, b + nameStart, size_t(nameLength)) == 0) {
        s.charIndex = end + 1;
        s.endTag = true;
      } else {
        identifyNextTag(true);
      }
    }
  }
  if (!s.endTag) ++s.level;
  return kPlainRead;
}

bool FLXmlDecoder::readTag() {
  State& s = state_;
  if (!identifyNextTag(false)) return false;
  if (!s.value.isNull()) s.value = QString();
  s.valueTo = -1;
  clearAttributes();
  if (!s.orderedAttributes.isEmpty()) s.orderedAttributes.clear();
  if (s.key == kTextNodeKey) return extractValue();
  if (!s.haveRoot) {
    s.haveRoot = true;
    if (s.tagName() == QLatin1String(kSvgRootTag)) s.svg = true;
  }
  const qsizetype p = SpaceAt(xml_, s.charIndex) ? SkipSpaces(xml_, s.charIndex) : s.charIndex;
  if (!s.startTag) {
    if (at(p) != '>') {
      s.charIndex = p;
      return false;
    }
    s.charIndex = p + 1;
    --s.level;
    return true;
  }
  s.charIndex = p;
  const char c = at(p);
  if (c == '/') {
    if (at(p + 1) != '>') return false;
    s.charIndex = p + 2;
    s.endTag = true;
    return true;
  }
  if (c == '>') {
    s.charIndex = p + 1;
  } else if (LengthIf(xml_, p, [](QChar letter) { return letter.isLetter(); })) {
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
  if (metered_ && !FLReadingMeter::Checkpoint()) {
    error_ = QString::fromLatin1(kPastBudgetReason);
    return false;
  }
  State& s = state_;
  if (!s.started) {
    s.started = true;
    if (!s.svg) {
      const qsizetype end = xml_.indexOf(kDeclarationEnd, s.charIndex);
      if (end < 0) return fail(s.charIndex);
      s.charIndex = end + 2;
    }
  }
  if (s.charIndex >= limit_) return false;
  ++tagSerial_;
  int plain = kPlainNotTaken;
  if (s.haveRoot && !s.svg && !coalescing_ && !allowSpaceInAttr_) plain = readPlainTag();
  bool read = plain == kPlainRead;
  if (plain == kPlainNotTaken) {
    // White space and comments after the last element are the end of the text, not an error.
    qsizetype p = s.charIndex;
    if (atElement(p) || skipNonTags(p) == kSkipAtTag) {
      s.charIndex = p;
      if (p >= limit_) return false;
    }
    read = readTag();
  }
  // Pages gone from under the mapping read as zeros, which no scan takes for a tag: a changed
  // file is told where the reading fails, or here at the next piece, without a look per tag.
  if (mapping_.file && s.charIndex - mapping_.releasedTo >= 2 * mapping_.pieceSize) {
    if (mapping_.file->faulted()) {
      error_ = QString::fromLatin1(kNotUnderstood);
      return false;
    }
    releaseConsumed();
  }
  return read || fail(s.charIndex);
}

bool FLXmlDecoder::isDone() const { return state_.charIndex >= limit_ || !error_.isEmpty(); }

void FLXmlDecoder::forceDone() { state_.charIndex = limit_; }

// ----- values and attributes

void FLXmlDecoder::makeValue() const {
  const QByteArrayView raw = xml_.sliced(state_.valueFrom, state_.valueTo - state_.valueFrom);
  state_.valueTo = -1;
  // The usual value, a short stretch of ASCII without references, goes into a string kept from
  // one value to the next rather than into a new one each time. It is written only while nobody
  // else holds it: a caller that kept an earlier value keeps it as it was.
  constexpr qsizetype kSpareValueRoom = 64;
  if (!raw.isEmpty() && raw.size() <= kSpareValueRoom) {
    if (!spareValue_.isDetached()) spareValue_ = QString(kSpareValueRoom, Qt::Uninitialized);
    spareValue_.resize(raw.size());
    char16_t* out = reinterpret_cast<char16_t*>(spareValue_.data());
    qsizetype i = 0;
    for (; i < raw.size(); ++i) {
      const uchar c = uchar(raw[i]);
      if (c >= 0x80 || c == '&') break;
      out[i] = c;
    }
    if (i == raw.size()) {
      state_.value = spareValue_;
      return;
    }
  }
  state_.value = DecodedText(raw);
}

int64_t FLXmlDecoder::integerValue() const {
  if (state_.valueTo >= 0) {
    // Read from the text, without making the value.
    const QByteArrayView raw = xml_.sliced(state_.valueFrom, state_.valueTo - state_.valueFrom);
    if (!raw.contains('&')) return LeadingInteger(Widened(raw).view());
  }
  return LeadingInteger(value());
}

int64_t FLXmlDecoder::longValue() const { return integerValue(); }

int64_t FLXmlDecoder::decodeValue() const {
  const FLXmlKeyTable* table = keyDecoder_ ? keyDecoder_.get() : g_sharedKeyTable.get();
  if (!table) return 0;
  return int64_t(table->value(value(), 0));
}

int64_t FLXmlDecoder::decodeValueFromValues(std::span<const char* const> values) const {
  return decodeValue(value(), values);
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
        if (it->name->size() != size) continue;
        const QChar* own = it->name->constData();
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
    if (QAnyStringView::equal(*it->name, name)) return &*it;
  return nullptr;
}

QString FLXmlDecoder::attributeValue(const AttributeSpan& span) const {
  const QString value = DecodedText(QByteArrayView(xml_).sliced(span.start, span.length));
  return value.isNull() ? QStringLiteral("") : value;
}

const QHash<QString, QString>& FLXmlDecoder::attributes() const {
  if (!state_.attributesBuilt) {
    state_.attributes.clear();
    for (const AttributeSpan& span : state_.attributeSpans) state_.attributes.insert(*span.name, attributeValue(span));
    state_.attributesBuilt = true;
  }
  return state_.attributes;
}

int64_t FLXmlDecoder::decodeAttribute(QAnyStringView name, std::span<const char* const> values) const {
  const AttributeSpan* span = findAttribute(name);
  if (!span) return decodeValue(QString(), values);
  const QByteArrayView raw = QByteArrayView(xml_).sliced(span->start, span->length);
  if (raw.contains('&')) return decodeValue(attributeValue(*span), values);
  // The usual word, ASCII matching an ASCII word of the list, is found on its bytes; anything
  // else (no match, a word beyond ASCII) is left to the general comparison.
  if (!raw.isEmpty() && IsAscii(raw)) {
    const auto lower = [](uchar c) { return c >= 'A' && c <= 'Z' ? uchar(c + ('a' - 'A')) : c; };
    for (size_t i = 0; i < values.size(); ++i) {
      const auto* word = reinterpret_cast<const uchar*>(values[i]);
      if (!word) continue;
      qsizetype j = 0;
      while (j < raw.size() && word[j] != 0 && word[j] < 0x80 && lower(uchar(raw[j])) == lower(word[j])) ++j;
      if (j == raw.size() && word[j] == 0) return int64_t(i);
      if (word[j] >= 0x80) break;
    }
  }
  return decodeWord(Widened(raw).view(), values);
}

int64_t FLXmlDecoder::integerAttributeForTag(QAnyStringView name) const {
  const AttributeSpan* span = findAttribute(name);
  if (!span) return 0;
  const QByteArrayView raw = QByteArrayView(xml_).sliced(span->start, span->length);
  // The usual attribute, digits alone, is read from its bytes.
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (!raw.isEmpty() && raw.size() <= 18 && std::all_of(raw.begin(), raw.end(), isDigit)) {
    int64_t number = 0;
    for (const char c : raw) number = number * 10 + (c - '0');
    return number;
  }
  return raw.contains('&') ? LeadingInteger(attributeValue(*span)) : LeadingInteger(Widened(raw).view());
}

QString FLXmlDecoder::stringAttributeForTag(QAnyStringView name) const {
  const AttributeSpan* span = findAttribute(name);
  return span ? attributeValue(*span) : QString();
}

// ----- moving over whole elements

// The start of the closing tag that matches an element opened before `from`, counting nested
// elements of the same name and passing over comments and CDATA sections; -1 when none.
qsizetype FLXmlDecoder::findMatchingClose(qsizetype from, const QString& tag, qsizetype* closeEnd) const {
  const QByteArrayView text(xml_);
  const QByteArray name = tag.toUtf8();
  qsizetype depth = 1;
  qsizetype p = from;
  for (;;) {
    const qsizetype lt = xml_.indexOf('<', p);
    if (lt < 0) return -1;
    const QByteArrayView rest = text.sliced(lt);
    if (rest.startsWith(kCommentStart)) {
      const qsizetype end = xml_.indexOf(kCommentEnd, lt + kCommentStartLength);
      if (end < 0) return -1;
      p = end + kCommentEndLength;
      continue;
    }
    if (rest.startsWith(kCdataStart)) {
      const qsizetype end = xml_.indexOf(kCdataEnd, lt + kCdataStartLength);
      if (end < 0) return -1;
      p = end + kCdataEndLength;
      continue;
    }
    const bool closing = at(lt + 1) == '/';
    const qsizetype nameAt = std::min(lt + (closing ? 2 : 1), text.size());
    if (text.sliced(nameAt).startsWith(name) && !LengthIf(text, nameAt + name.size(), IsNameChar)) {
      const qsizetype gt = xml_.indexOf('>', nameAt + name.size());
      if (gt < 0) return -1;
      if (closing) {
        if (--depth == 0) {
          *closeEnd = gt + 1;
          return lt;
        }
      } else if (xml_[gt - 1] != '/') {
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
  const qsizetype close = findMatchingClose(s.charIndex, s.tagName(), &closeEnd);
  if (close < 0) return QString();
  const QString raw = Decoded(QByteArrayView(xml_).sliced(s.tagStartIndex, closeEnd - s.tagStartIndex));
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
  const qsizetype close = findMatchingClose(s.charIndex, s.tagName(), &closeEnd);
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
  const QByteArray opening = '<' + name.toUtf8() + '>';
  const qsizetype found = xml_.indexOf(opening, s.charIndex);
  if (found < 0) return false;
  s.started = true;
  s.charIndex = found + opening.size();
  s.tagStartIndex = found;
  s.level = 2;
  s.setTagName(name);
  s.key = keyForName(name);
  s.value = QString();
  s.valueTo = -1;
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
  useNames(saved, 1);
  const bool read = getNextTag();
  useNames(saved, -1);
  if (read) {
    name = state_.tagName();
    if (attributes) *attributes = this->attributes();
    if (value) *value = FLXmlDecoder::value();
  }
  state_ = saved;
  // The tag restored is the one the next read follows.
  useNames(state_);
  return name;
}

void FLXmlDecoder::coalesceMixedContent() {
  State& s = state_;
  if (!error_.isEmpty() || !s.startTag || s.endTag) return;
  const int32_t keptKey = s.key;
  const QString keptName = s.tagName();
  const int64_t keptLevel = s.level;
  const std::vector<AttributeSpan> keptAttributes = s.attributeSpans;
  const QStringList keptOrdered = s.orderedAttributes;
  QString text = value().isNull() ? QStringLiteral("") : value();

  coalescing_ = true;
  for (const AttributeSpan& span : keptAttributes)
    if (span.interned) ++span.interned->held;
  bool closedByOwnTag = false;
  while (getNextTag()) {
    if (s.level < keptLevel) {
      const bool sameElement = keptKey != 0 ? s.key == keptKey : s.tagName() == keptName;
      closedByOwnTag = !s.startTag && sameElement;
      break;
    }
    const QString& piece = value();
    if (piece.isEmpty()) continue;
    if (!text.isEmpty() && !IsSpace(text.back()) && !IsSpace(piece.front())) text += QLatin1Char(' ');
    text += piece;
  }
  if (!closedByOwnTag) DECODER_ASSERT(kEndingTagDiffers);
  coalescing_ = false;
  for (const AttributeSpan& span : keptAttributes) {
    if (!span.interned) continue;
    --span.interned->held;
    span.interned->lastUse = tagSerial_;
  }

  s.key = keptKey;
  s.setTagName(keptName);
  clearAttributes();
  s.attributeSpans = keptAttributes;
  s.orderedAttributes = keptOrdered;
  s.startTag = true;
  s.endTag = true;
  s.value = text;
  s.valueTo = -1;
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
    if (asciiText) {
      // Compared as far as the two agree, without measuring the word first.
      qsizetype j = 0;
      while (j < text.size() && bytes[j] != 0 && bytes[j] < 0x80 && lower(text[j].unicode()) == lower(bytes[j])) ++j;
      if (j == text.size() && bytes[j] == 0) return int64_t(i);
      if (bytes[j] == 0 || bytes[j] < 0x80) continue;
      // A word beyond ASCII is compared the general way.
      if (QAnyStringView::compare(text, QUtf8StringView(value), Qt::CaseInsensitive) == 0) return int64_t(i);
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
