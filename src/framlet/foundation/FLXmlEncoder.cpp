// The XML writer: exact output, because archives written here are compared and read back by
// older and newer versions alike.
#include "framlet/foundation/FLXmlEncoder.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flStringExtensions.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace {

constexpr const char* kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
constexpr const char* kSvgRootTag = "svg";
constexpr const char* kSvgNamespaceAttribute = " xmlns=\"http://www.w3.org/2000/svg\"";

constexpr const char* kEmptyStringAttribute = "Nil or zero-length string attribute";
constexpr const char* kNoTag = "No tag specified";
constexpr const char* kRootMustBeSvg = "Root tag must be SVG";
constexpr const char* kInsertionInProgress = "Insertion already in progress";
constexpr const char* kNoSavedPoint = "saveInsertionPoint not called";
constexpr const char* kNoInsertionInProgress = "No insertion";
constexpr const char* kNothingToClose = "closeTag without an open tag";

#define ENCODER_ASSERT(message) LogAssert((message), __func__, __FILE__, __LINE__)

// The pieces of an append that are rarely needed, kept out of line so that the usual one stays
// small where it is inlined.
Q_NEVER_INLINE void AppendLatin1BeyondAscii(FLXmlEncoder::Bytes& bytes, QLatin1StringView piece) {
  bytes += QString(piece).toStdString();
}

Q_NEVER_INLINE void AppendUtf16(FLXmlEncoder::Bytes& bytes, QStringView piece) {
  // ASCII is narrowed in place; anything else is encoded whole.
  const size_t at = bytes.size();
  char* out = bytes.extend(size_t(piece.size()));
  for (const char16_t u : std::u16string_view(piece.utf16(), size_t(piece.size()))) {
    if (u >= 0x80) {
      bytes.resize(at);
      bytes += piece.toString().toStdString();
      return;
    }
    *out++ = char(u);
  }
}

// Appends a piece as UTF-8; names and numbers go straight into the bytes, with no string made on
// the way. Every piece is whole (markup stands on either side), so converting piece by piece
// gives the bytes converting the whole text at once would.
Q_ALWAYS_INLINE void Append(FLXmlEncoder::Bytes& bytes, QAnyStringView piece) {
  piece.visit([&bytes](auto view) {
    using View = decltype(view);
    if constexpr (std::is_same_v<View, QUtf8StringView>) {
      bytes.append(reinterpret_cast<const char*>(view.data()), size_t(view.size()));
    } else if constexpr (std::is_same_v<View, QLatin1StringView>) {
      if (std::all_of(view.begin(), view.end(), [](char c) { return uchar(c) < 0x80; }))
        bytes.append(view.data(), size_t(view.size()));
      else
        AppendLatin1BeyondAscii(bytes, view);
    } else {
      AppendUtf16(bytes, view);
    }
  });
}

// Appends a text escaped as the escaping procedures would, then as UTF-8. A text of printable
// ASCII without any of the characters markup reserves, nearly every value of a sheet, is the
// same escaped: it is narrowed straight into the bytes. Anything else goes the general way.
template <typename Text, typename Whole>
void AppendEscaped(FLXmlEncoder::Bytes& bytes, Text text, Whole whole) {
  const size_t at = bytes.size();
  char* out = bytes.extend(size_t(text.size()));
  for (const auto unit : text) {
    // A byte above 127 (Latin-1 beyond ASCII) reads as negative: out of the range, as it should.
    const uint32_t u = uint32_t(unit);
    if (u < 0x20 || u >= 0x7F || u == '&' || u == '<' || u == '>' || u == '"') {
      bytes.resize(at);
      Append(bytes, whole());
      return;
    }
    *out++ = char(u);
  }
}

std::u16string_view Units(const QString& text) {
  return std::u16string_view(reinterpret_cast<const char16_t*>(text.constData()), size_t(text.size()));
}

// Appends ' name="value"', the value escaped as attributes are (`whole` escapes it the general way).
template <typename Text, typename Whole>
void AppendAttribute(FLXmlEncoder::Bytes& attributes, QAnyStringView name, Text value, Whole whole) {
  attributes += ' ';
  Append(attributes, name);
  attributes += "=\"";
  AppendEscaped(attributes, value, whole);
  attributes += '"';
}

// The decimal digits of a number, as QString::number writes them.
class Digits {
 public:
  explicit Digits(int64_t number) : end_(std::to_chars(buffer_, buffer_ + sizeof buffer_, number).ptr) {}
  QUtf8StringView text() const { return QUtf8StringView(buffer_, end_); }

 private:
  char buffer_[24];
  char* end_;
};

}  // namespace

FLXmlEncoder::FLXmlEncoder(qsizetype capacity) {
  if (capacity > 0) xml_.reserve(size_t(capacity));
  xml_ += kXmlDeclaration;
}

FLXmlEncoder FLXmlEncoder::forSvg() {
  FLXmlEncoder encoder;
  encoder.xml_.clear();
  encoder.svg_ = true;
  return encoder;
}

void FLXmlEncoder::addAttribute(QAnyStringView name, const QString& value) {
  if (value.isEmpty()) {
    ENCODER_ASSERT(kEmptyStringAttribute);
    return;
  }
  AppendAttribute(attributes_, name, Units(value), [&value] { return createEscapedAttributeForXml(value); });
}

void FLXmlEncoder::addAttribute(QAnyStringView name, QLatin1StringView value) {
  if (value.isEmpty()) {
    ENCODER_ASSERT(kEmptyStringAttribute);
    return;
  }
  AppendAttribute(attributes_, name, std::string_view(value.data(), size_t(value.size())),
                  [value] { return createEscapedAttributeForXml(QString(value)); });
}

void FLXmlEncoder::addAttribute(QAnyStringView name, int64_t number) {
  // Grid coordinates are 64-bit; they are written whole.
  attributes_ += ' ';
  Append(attributes_, name);
  attributes_ += "=\"";
  Append(attributes_, Digits(number).text());
  attributes_ += '"';
}

void FLXmlEncoder::writeIndent() {
  char* const out = xml_.extend(size_t(level_));
  if (level_ <= 16) {
    for (uint64_t i = 0; i < level_; ++i) out[i] = '\t';
  } else {
    std::memset(out, '\t', size_t(level_));
  }
}

void FLXmlEncoder::Bytes::expand(size_t count) { grow(std::max(capacity_ * 2, size_ + count)); }

void FLXmlEncoder::Bytes::grow(size_t capacity) {
  storage_.resize(qsizetype(capacity));
  begin_ = storage_.data();
  capacity_ = capacity;
}

QByteArray FLXmlEncoder::Bytes::take() {
  storage_.resize(qsizetype(size_));
  QByteArray taken = std::move(storage_);
  storage_ = QByteArray();
  begin_ = nullptr;
  capacity_ = 0;
  size_ = 0;
  return taken;
}

void FLXmlEncoder::openTag(QAnyStringView tag, const QString& value, bool safe) { open(tag, &value, safe); }

void FLXmlEncoder::writeStart(QAnyStringView tag) {
  pendingChild_ = false;
  writeIndent();
  xml_ += '<';
  Append(xml_, tag);
  if (svg_ && empty_) {
    if (!QAnyStringView::equal(tag, QLatin1String(kSvgRootTag))) ENCODER_ASSERT(kRootMustBeSvg);
    xml_ += kSvgNamespaceAttribute;
  }
  xml_ += attributes_;
  attributes_.clear();  // keeps its room for the next element's
  empty_ = false;
}

void FLXmlEncoder::writeValueAndEnd(QAnyStringView tag, QAnyStringView value) {
  xml_ += '>';
  Append(xml_, value);
  xml_ += "</";
  Append(xml_, tag);
  xml_ += ">\n";
}

void FLXmlEncoder::open(QAnyStringView tag, const QString* value, bool safe) {
  writeStart(tag);
  if (!value) {
    xml_ += ">\n";
    ++level_;
  } else if (value->isEmpty()) {
    xml_ += "/>\n";
  } else if (safe) {
    writeValueAndEnd(tag, *value);
  } else {
    xml_ += '>';
    AppendEscaped(xml_, Units(*value), [value] { return createEscapedStringForXml(*value); });
    xml_ += "</";
    Append(xml_, tag);
    xml_ += ">\n";
  }
}

void FLXmlEncoder::openTag(QAnyStringView tag) {
  open(tag, nullptr, false);
  pendingChild_ = true;
}

void FLXmlEncoder::openAndCloseTag(QAnyStringView tag) { openTag(tag, QString(), true); }

void FLXmlEncoder::addTag(QAnyStringView tag, const QString& string) {
  if (tag.isEmpty()) {
    ENCODER_ASSERT(kNoTag);
    return;
  }
  openTag(tag, string, false);
}

void FLXmlEncoder::addTag(QAnyStringView tag, QLatin1StringView string) {
  if (tag.isEmpty()) {
    ENCODER_ASSERT(kNoTag);
    return;
  }
  writeStart(tag);
  if (string.isEmpty()) {
    xml_ += "/>\n";
    return;
  }
  xml_ += '>';
  AppendEscaped(xml_, std::string_view(string.data(), size_t(string.size())),
                [string] { return createEscapedStringForXml(QString(string)); });
  xml_ += "</";
  Append(xml_, tag);
  xml_ += ">\n";
}

void FLXmlEncoder::addTag(QAnyStringView tag, int64_t number) {
  writeStart(tag);
  writeValueAndEnd(tag, Digits(number).text());
}

void FLXmlEncoder::closeTag(QAnyStringView tag) {
  if (level_ == 0) {
    // Going below zero would indent the rest of the document by 2^64 tabs.
    ENCODER_ASSERT(kNothingToClose);
    return;
  }
  --level_;
  if (pendingChild_ && !xml_.empty() && xml_.back() == '\n') {
    xml_.pop_back();
  } else {
    writeIndent();
  }
  xml_ += "</";
  Append(xml_, tag);
  xml_ += ">\n";
  pendingChild_ = false;
}

// Closing the element opened last takes back the line end written after it.
QByteArrayView FLXmlEncoder::settled() const {
  if (!insertionStack_.empty() || savedLevel_ != kNoInsertion) return {};
  const size_t held = pendingChild_ && !xml_.empty() && xml_.back() == '\n' ? 1 : 0;
  return QByteArrayView(xml_.data(), qsizetype(xml_.size() - held));
}

void FLXmlEncoder::discardSettled() { xml_.eraseFront(size_t(settled().size())); }

void FLXmlEncoder::saveInsertionPoint() { insertionStack_.push_back({level_, uint64_t(xml_.size())}); }

void FLXmlEncoder::beginInsertion() {
  if (savedLevel_ != kNoInsertion) {
    ENCODER_ASSERT(kInsertionInProgress);
    return;
  }
  if (insertionStack_.empty()) {
    ENCODER_ASSERT(kNoSavedPoint);
    return;
  }
  const InsertionPoint& point = insertionStack_.back();
  const size_t cut = size_t(std::min<uint64_t>(point.length, uint64_t(xml_.size())));
  savedTail_ = xml_.from(cut);
  xml_.resize(cut);
  savedLevel_ = level_;
  savedPendingChild_ = pendingChild_;
  level_ = point.level;
}

void FLXmlEncoder::endInsertion() {
  if (savedLevel_ == kNoInsertion) {
    ENCODER_ASSERT(kNoInsertionInProgress);
    return;
  }
  level_ = savedLevel_;
  savedLevel_ = kNoInsertion;
  popInsertionPoint();
  xml_ += savedTail_;
  savedTail_.clear();
}

void FLXmlEncoder::cancelInsertion() {
  if (savedLevel_ == kNoInsertion) {
    popInsertionPoint();
    return;
  }
  if (!insertionStack_.empty()) {
    const size_t cut = size_t(std::min<uint64_t>(insertionStack_.back().length, uint64_t(xml_.size())));
    xml_.resize(cut);
  }
  level_ = savedLevel_;
  savedLevel_ = kNoInsertion;
  pendingChild_ = savedPendingChild_;
  popInsertionPoint();
  xml_ += savedTail_;
  savedTail_.clear();
}

void FLXmlEncoder::popInsertionPoint() {
  if (insertionStack_.empty()) {
    ENCODER_ASSERT(kNoSavedPoint);
    return;
  }
  insertionStack_.pop_back();
}
