// The XML writer: exact output, because archives written here are compared and read back by
// older and newer versions alike.
#include "framlet/foundation/FLXmlEncoder.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flStringExtensions.h"

#include <algorithm>

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

}  // namespace

FLXmlEncoder::FLXmlEncoder(qsizetype capacity) {
  if (capacity > 0) xml_.reserve(capacity);
  xml_ = QString::fromLatin1(kXmlDeclaration);
}

FLXmlEncoder FLXmlEncoder::forSvg() {
  FLXmlEncoder encoder;
  encoder.xml_.clear();
  encoder.svg_ = true;
  return encoder;
}

void FLXmlEncoder::addAttribute(const QString& name, const QString& value) {
  if (value.isEmpty()) {
    ENCODER_ASSERT(kEmptyStringAttribute);
    return;
  }
  attributes_ << name << createEscapedStringForXml(value);
}

void FLXmlEncoder::addAttribute(const QString& name, int64_t number) {
  // Grid coordinates are 64-bit; they are written whole.
  attributes_ << name << QString::number(number);
}

void FLXmlEncoder::writeIndent() { xml_.append(QString(qsizetype(level_), QLatin1Char('\t'))); }

void FLXmlEncoder::openTag(const QString& tag, const QString& value, bool safe) { open(tag, &value, safe); }

void FLXmlEncoder::open(const QString& tag, const QString* value, bool safe) {
  pendingChild_ = false;
  writeIndent();
  xml_ += QLatin1Char('<');
  xml_ += tag;
  if (svg_ && empty_) {
    if (tag != QLatin1String(kSvgRootTag)) ENCODER_ASSERT(kRootMustBeSvg);
    xml_ += QLatin1String(kSvgNamespaceAttribute);
  }
  for (qsizetype i = 0; i + 1 < attributes_.size(); i += 2) {
    xml_ += QLatin1Char(' ');
    xml_ += attributes_[i];
    xml_ += QLatin1String("=\"");
    xml_ += attributes_[i + 1];
    xml_ += QLatin1Char('"');
  }
  attributes_.clear();
  if (!value) {
    xml_ += QLatin1String(">\n");
    ++level_;
  } else if (value->isEmpty()) {
    xml_ += QLatin1String("/>\n");
  } else {
    xml_ += QLatin1Char('>');
    xml_ += safe ? *value : createEscapedStringForXml(*value);
    xml_ += QLatin1String("</");
    xml_ += tag;
    xml_ += QLatin1String(">\n");
  }
  empty_ = false;
}

void FLXmlEncoder::openTag(const QString& tag) {
  open(tag, nullptr, false);
  pendingChild_ = true;
}

void FLXmlEncoder::openAndCloseTag(const QString& tag) { openTag(tag, QString(), true); }

void FLXmlEncoder::addTag(const QString& tag, const QString& string) {
  if (tag.isEmpty()) {
    ENCODER_ASSERT(kNoTag);
    return;
  }
  openTag(tag, string, false);
}

void FLXmlEncoder::addTag(const QString& tag, int64_t number) { openTag(tag, QString::number(number), true); }

void FLXmlEncoder::closeTag(const QString& tag) {
  if (level_ == 0) {
    // Going below zero would indent the rest of the document by 2^64 tabs.
    ENCODER_ASSERT(kNothingToClose);
    return;
  }
  --level_;
  if (pendingChild_ && xml_.endsWith(QLatin1Char('\n'))) {
    xml_.chop(1);
  } else {
    writeIndent();
  }
  xml_ += QLatin1String("</");
  xml_ += tag;
  xml_ += QLatin1String(">\n");
  pendingChild_ = false;
}

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
  const qsizetype cut = qsizetype(std::min<uint64_t>(point.length, uint64_t(xml_.size())));
  savedTail_ = xml_.mid(cut);
  xml_.truncate(cut);
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
    const qsizetype cut = qsizetype(std::min<uint64_t>(insertionStack_.back().length, uint64_t(xml_.size())));
    xml_.truncate(cut);
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
