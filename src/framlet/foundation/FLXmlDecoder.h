// A pull reader for the XML that FLXmlEncoder writes, and for SVG: the caller asks for one tag
// at a time and gets an integer key for its name, its attributes, its value and whether it
// opens, closes or completes an element. It reads untrusted files and never reads past the text.
#pragma once

#include "framlet/foundation/flGuardedMapping.h"
#include "framlet/foundation/flSeededHash.h"
#include "platform/FLError.h"

#include <QAnyStringView>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <vector>

// Tag name to key. One process-wide table is filled at launch (the spreadsheet's tags 1-88, the
// text engine's from 1000); a decoder may carry its own instead.
using FLXmlKeyTable = QHash<QString, uint32_t>;

// One entry of a subsystem's tag list, registered with FLXmlDecoder::addDecoderKeys.
struct FLXmlTagKey {
  uint32_t key;
  const char* tag;
};

// The position and level that skipTag leaves behind, for unskipTag.
struct FLXmlSkipMark {
  qsizetype index = 0;
  int64_t level = 0;
};

class FLXmlDecoder {
 public:
  // The key of a run of text between elements, met while coalescing mixed content; its name is "?".
  static constexpr int32_t kTextNodeKey = 55555;

  // White space, comments and "<!" declarations at the start are skipped; the rest must begin
  // with "<?xml" or "<svg". Anything else gives nullptr.
  static std::unique_ptr<FLXmlDecoder> withString(const QString& text);
  // The bytes as UTF-8 (a leading byte-order mark is dropped); nullptr when they are not valid
  // UTF-8 or not accepted as XML. The text is read as it stands, never converted: a caller that
  // moves its bytes in keeps no second copy while a large document is read.
  static std::unique_ptr<FLXmlDecoder> withData(QByteArray data);
  // A file as UTF-8. A read failure fills `error` with the file system's reason; a text that is
  // not accepted, with "I don't understand the file format". A regular file is read through a
  // read-only mapping rather than copied: what lies behind the reading is given back to the
  // system piece by piece as the reading moves on, so a large file is never held whole (the
  // kernel reads a given-back piece again should a caller look back at its text). Only a regular
  // file of at most kMaxFileSize bytes is read. Should the file be cut short while it is read,
  // the reading stops with the error "I don't understand the file format" (see fileChanged).
  static std::unique_ptr<FLXmlDecoder> withFile(const QString& path, FLError* error);
  // The same for a file that must be a regular file of at most `maxSize` bytes (a FIFO or a
  // device in its place would hang the reading or fill the memory); nullptr when it is not, cannot
  // be read, or is not accepted, with `error` saying which: the reason of ReadRegularFile
  // (flFileSupport.h), kNotUtf8Reason, or "I don't understand the file format". `pieceSize` is
  // how much is given back at a time, in whole pages.
  static constexpr qsizetype kDefaultPieceSize = qsizetype(1) << 20;
  static constexpr const char* kNotUtf8Reason = "Its text is not UTF-8.";
  static constexpr const char* kNotUnderstoodReason = "I don't understand the file format";
  static std::unique_ptr<FLXmlDecoder> withRegularFile(const QString& path, int64_t maxSize,
                                                       qsizetype pieceSize = kDefaultPieceSize,
                                                       FLError* error = nullptr);
  // The largest file withFile reads.
  static constexpr int64_t kMaxFileSize = int64_t(1) << 30;
  ~FLXmlDecoder();

  FLXmlDecoder(const FLXmlDecoder&) = delete;
  FLXmlDecoder& operator=(const FLXmlDecoder&) = delete;

  // Reads the next tag: true when one was read; false at the end of the text or on an error
  // (after which every call gives false and isDone is true).
  bool getNextTag();
  bool isDone() const;
  void forceDone();
  // Each tag read counts as a piece made on the thread's current meter (FLReadingMeter): once the
  // meter is past its budget the reading ends, as at an error, so that what is built of a text
  // too large for the memory stops where the budget does. Off unless asked for: a reading whose
  // caller cannot tell a text cut short (an undo record) is never cut short.
  void setMetered(bool metered) { metered_ = metered; }
  bool metered() const { return metered_; }
  static constexpr const char* kPastBudgetReason = "Reading it would take more memory than there is.";

  int32_t key() const { return state_.key; }
  const QString& xmlTag() const { return state_.tagName(); }
  int64_t level() const { return state_.level; }
  // Where the current tag begins in the text, how far the text has been read (in bytes of its
  // UTF-8), and the text between two places: what a reader needs to tell elements written alike.
  qsizetype tagStart() const { return state_.tagStartIndex; }
  qsizetype position() const { return state_.charIndex; }
  QUtf8StringView text(qsizetype from, qsizetype to) const {
    return from < to ? QUtf8StringView(xml_.constData() + from, to - from) : QUtf8StringView();
  }
  bool startTag() const { return state_.startTag; }
  // The current element is closed: a closing tag, an empty element, or a value followed by
  // its own closing tag.
  bool endTag() const { return state_.endTag; }
  // The decoded text value; null when the tag has none.
  const QString& value() const {
    if (state_.valueTo >= 0) makeValue();
    return state_.value;
  }
  const QHash<QString, QString>& attributes() const;
  // In SVG documents only: name, value, name, value ... in document order.
  const QStringList& orderedAttributes() const { return state_.orderedAttributes; }
  bool isSvg() const { return state_.svg; }

  // How many kept names the reading has compared with the names it met: it grows with the names
  // read, whatever number of them differ.
  int64_t namesCompared() const { return namesCompared_; }
  // How many names the reading keeps now: a few dozen recent ones and those still in use,
  // however many distinct names the document holds.
  size_t namesKept() const { return names_.size(); }

  const QString& error() const { return error_; }
  // The mapped file lost pages while it was read (another program cut it short): what was read
  // is not the file. getNextTag then fails with "I don't understand the file format".
  bool fileChanged() const;
  void setError(const QString& error) { error_ = error; }

  // This decoder's own table; when unset the process-wide one is used.
  const std::shared_ptr<const FLXmlKeyTable>& keyDecoder() const { return keyDecoder_; }
  void setKeyDecoder(std::shared_ptr<const FLXmlKeyTable> table) {
    keyDecoder_ = std::move(table);
    rekeyNames();
  }
  // Tag names may begin with a digit; a name made of digits only reads as that key.
  bool allowNumericTags() const { return allowNumericTags_; }
  void setAllowNumericTags(bool allow) {
    allowNumericTags_ = allow;
    rekeyNames();
  }
  // Attribute names may hold any characters but "/", "=" and ">".
  bool allowSpaceInAttr() const { return allowSpaceInAttr_; }
  void setAllowSpaceInAttr(bool allow) { allowSpaceInAttr_ = allow; }

  // The value's leading integer, 0 when there is none.
  int64_t integerValue() const;
  int64_t longValue() const;
  // The value looked up in the key table, 0 when absent.
  int64_t decodeValue() const;
  // The value's (or the attribute's) index in a word list, by decodeValue(text, values).
  int64_t decodeValueFromValues(std::span<const char* const> values) const;
  int64_t decodeAttribute(QAnyStringView name, std::span<const char* const> values) const;
  bool tagHasAttributes() const { return !state_.attributeSpans.empty(); }
  // Read straight from the text: no string is made for a plain number.
  int64_t integerAttributeForTag(QAnyStringView name) const;
  // Null when the tag has no such attribute.
  QString stringAttributeForTag(QAnyStringView name) const;

  // For an element that is still open: its raw text from the opening tag through its matching
  // closing tag, moving behind it and lowering the level. Null when the element is already
  // closed or its closing tag is missing.
  QString extractTag();
  // Skips the rest of the current element, nested elements of the same name included, and reads
  // its closing tag; without one the position moves to the end. An element that is already
  // closed is left as it is. The mark restores the position with unskipTag.
  FLXmlSkipMark skipTag();
  void unskipTag(const FLXmlSkipMark& mark);
  // Moves behind the next "<name>" (without attributes) and makes it the current tag at level 2.
  bool skipToTag(const QString& name);
  // The next tag's name without consuming it, with copies of its attributes and value when asked;
  // null when there is no next tag.
  QString followingTagWithAttributes(QHash<QString, QString>* attributes, QString* value);
  // For an element that is still open: gathers the text of all its descendants into its value,
  // a blank between pieces that would otherwise touch, and leaves it as the current, closed tag.
  void coalesceMixedContent();

  // The process-wide key table. It must be installed before keys are added to it.
  static const std::shared_ptr<FLXmlKeyTable>& sharedKeyDecoder();
  static void setSharedKeyDecoder(std::shared_ptr<FLXmlKeyTable> table);
  // "Set the key decoder dictionary first" without a table; "Duplicate tag" when the name is
  // already there, and the new key replaces the old one.
  static void addDecoderKey(uint32_t key, const QString& tag);
  static void addDecoderKeys(std::span<const FLXmlTagKey> keys);
  // When set, words missing from a word list are answered with 0 without an assertion.
  static void allowUnknownValues(bool allow);
  // Character references (validated; astral characters become surrogate pairs) and the entities
  // quot, lt, gt, apos, nbsp and amp replaced by their characters.
  static QString decodeEscapes(const QString& text);
  // The index of the first word equal to the text ignoring case; 0 for an empty text, and 0 with
  // the assertion "Unknown value string" when nothing matches.
  static int64_t decodeValue(const QString& text, std::span<const char* const> values);

 private:
  static int64_t decodeWord(QStringView text, std::span<const char* const> values);
  struct InternedName {
    QString name;
    // The name's bytes when they are not ASCII; an ASCII name's bytes are its characters.
    QByteArray utf8;
    // The seeded hash of its bytes, and the next kept name of the same hash.
    size_t hash;
    mutable const InternedName* sameHash;
    int32_t key;
    // The last tag read that used the name, and how many kept states (a look-ahead's, a
    // coalescing's) refer to it: a name in use is never let go.
    mutable uint64_t lastUse = 0;
    mutable int held = 0;
    // Whether the bytes are this name's.
    bool is(QByteArrayView bytes) const;
  };
  // An attribute as it stands in the text: its value is decoded only when asked for.
  struct AttributeSpan {
    // One of the interned names, which stay in place while a tag refers to them.
    const QString* name = nullptr;
    const InternedName* interned = nullptr;
    qsizetype start = 0;
    qsizetype length = 0;
  };
  // Everything a tag read changes, kept together so a look-ahead can put it all back.
  struct State {
    qsizetype charIndex = 0;
    qsizetype tagStartIndex = 0;
    int64_t level = 0;
    // The tag's name: one of the interned names (no string is copied per tag), or its own.
    const QString* tagRef = nullptr;
    // The interned name, when it is one, for telling its closing tag quickly by its bytes.
    const InternedName* tagInterned = nullptr;
    QString tagOwn;
    const QString& tagName() const { return tagRef ? *tagRef : tagOwn; }
    void setTagName(const QString& name) {
      tagOwn = name;
      tagRef = nullptr;
      tagInterned = nullptr;
    }
    int32_t key = 0;
    std::vector<AttributeSpan> attributeSpans;
    // Built from the spans on first use.
    mutable QHash<QString, QString> attributes;
    mutable bool attributesBuilt = false;
    QStringList orderedAttributes;
    // Made from the text on first use when it is one stretch of it (valueTo not negative).
    mutable QString value;
    qsizetype valueFrom = 0;
    mutable qsizetype valueTo = -1;
    bool startTag = false;
    bool endTag = false;
    bool haveRoot = false;
    bool svg = false;
    bool started = false;
  };

  explicit FLXmlDecoder(QByteArray text);
  // Valid UTF-8 without a byte-order mark.
  static std::unique_ptr<FLXmlDecoder> withUtf8(QByteArray text);
  // An open regular file mapped, its size known; nullptr when it cannot be mapped or is refused.
  // `mapped` tells the two apart: false when the caller may still read the file instead.
  // `notUtf8` tells a text that is not UTF-8 from one that is not XML.
  static std::unique_ptr<FLXmlDecoder> withMappedFile(int fd, qsizetype size, qsizetype pieceSize, bool* mapped,
                                                      bool* notUtf8);
  // The reading of withFile and withRegularFile; `error` is ReadRegularFile's, kNotUtf8Reason or
  // "I don't understand the file format".
  static std::unique_ptr<FLXmlDecoder> readFile(const QString& path, int64_t maxSize, qsizetype pieceSize,
                                                FLError* error);
  // Gives back the mapped pages wholly behind the current tag but the last piece.
  void releaseConsumed();
  // The byte at the index, NUL outside the text.
  char at(qsizetype index) const { return index >= 0 && index < xml_.size() ? xml_[index] : '\0'; }
  bool fail(qsizetype offset);
  int skipNonTags(qsizetype& position) const;
  bool atElement(qsizetype position) const;
  int32_t keyForName(const QString& name) const;
  // The name and key of a tag or attribute name in the text; repeated names share one string.
  const InternedName& internName(QByteArrayView name);
  // Lets the oldest interned name that no tag uses go, out of the table too, once the reading
  // keeps as many names as it may.
  void makeRoomForName();
  void forgetOldestName();
  // Marks the names of a state as used by the tag being read, or holds them for a kept state.
  void useNames(const State& state, int hold = 0);
  // The keys of the interned names again, after the table or the numeric rule changed.
  void rekeyNames();
  void makeValue() const;
  const AttributeSpan* findAttribute(QAnyStringView name) const;
  QString attributeValue(const AttributeSpan& span) const;
  void clearAttributes();
  bool identifyNextTag(bool afterValue);
  bool extractValue();
  bool extractAttributes();
  bool readTag();
  static constexpr int kPlainNotTaken = -1;
  static constexpr int kPlainFailed = 0;
  static constexpr int kPlainRead = 1;
  int readPlainTag();
  qsizetype findMatchingClose(qsizetype from, const QString& name, qsizetype* closeEnd) const;

  // The text as UTF-8, held here or (for a mapped file) referring to the mapping without a copy;
  // the view is what is read, and every index into it counts bytes.
  QByteArray owned_;
  QByteArrayView xml_;
  // A mapped file: the whole mapping, where the text starts in it (behind a byte-order mark), how
  // much is given back at a time and how far it has been.
  struct Mapping {
    std::unique_ptr<FLGuardedMapping> file;
    qsizetype textOffset = 0;
    qsizetype pieceSize = 0;
    qsizetype releasedTo = 0;
  };
  Mapping mapping_;
  // The start of the last character: the scans stop short of it.
  qsizetype limit_ = 0;
  State state_;
  // The room the usual values are decoded into (see makeValue).
  mutable QString spareValue_;
  QString error_;
  std::shared_ptr<const FLXmlKeyTable> keyDecoder_;
  // Oldest first; a list, so that a name stays where it is while others come and go.
  std::list<InternedName> names_;
  // The same names by the hash of their bytes, the first of each hash: a damaged or hostile
  // document may hold many thousands of names, each of which must still be found at once. The
  // table holds the hash alone, so that a look-up reads no other name but one of the same hash.
  FLHashMap<size_t, const InternedName*> namesByHash_;
  int64_t namesCompared_ = 0;
  struct RecentName {
    uint64_t prefix = 0;
    qsizetype size = -1;
    const InternedName* name = nullptr;
  };
  std::array<RecentName, 64> recentNames_{};
  // Counts the tags read: a name used by the tag being read or the one before is in use.
  uint64_t tagSerial_ = 1;
  bool coalescing_ = false;
  bool allowNumericTags_ = false;
  bool allowSpaceInAttr_ = false;
  bool metered_ = false;
};
