// Writes an XML document as text in memory, one element per line, indented with tabs: the
// format of the native package, the cell archive on the clipboard and every undo archive.
// FLXmlDecoder reads it back.
#pragma once

#include <QAnyStringView>
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class FLXmlEncoder {
 public:
  // The text starts with the XML declaration and a newline; `capacity` reserves room for that
  // many bytes when it is not zero.
  explicit FLXmlEncoder(qsizetype capacity = 0);
  // An SVG document: no declaration, and the first element written, which must be "svg", gets
  // the SVG namespace declaration.
  static FLXmlEncoder forSvg();

  // Attributes are queued and written, in the order queued, into the next element opened.
  // The string is escaped; an empty or null one is refused with an assertion.
  void addAttribute(QAnyStringView name, const QString& value);
  // The same for a Latin-1 word, which needs no string made on the way.
  void addAttribute(QAnyStringView name, QLatin1StringView value);
  void addAttribute(QAnyStringView name, int64_t number);

  // Writes a whole element on one line, the value escaped unless `safe`; an empty (or null)
  // value writes an empty element "<t/>".
  void openTag(QAnyStringView tag, const QString& value, bool safe);
  // Opens an element that will hold children. Closing it before anything else is written
  // gives "<t></t>" on one line.
  void openTag(QAnyStringView tag);
  void openAndCloseTag(QAnyStringView tag);
  // One element with the escaped string as its value; an empty (or null) string gives "<t/>".
  // An empty tag is refused with an assertion and writes nothing.
  void addTag(QAnyStringView tag, const QString& string);
  // The same for a Latin-1 text, written without a QString made of it.
  void addTag(QAnyStringView tag, QLatin1StringView string);
  void addTag(QAnyStringView tag, int64_t number);
  // Closes the innermost open element; the caller names it, the writer keeps no stack of names.
  void closeTag(QAnyStringView tag);

  // Insertion points let a writer go back and put elements at an earlier place of the text
  // after writing what follows it: save a point, write on, begin the insertion (what follows
  // the point is set aside), write what belongs there, then end it (the text set aside comes
  // back) or cancel it (what was written since the beginning is dropped instead).
  void saveInsertionPoint();
  void beginInsertion();
  void endInsertion();
  // During an insertion: drops what the insertion wrote, restores the text set aside and the
  // level, and removes the point. Otherwise it only removes the most recent saved point.
  void cancelInsertion();

  // The text is kept as UTF-8: `utf8` gives it as it goes into a file, `xml` as a string.
  QByteArrayView utf8() const { return QByteArrayView(xml_.data(), qsizetype(xml_.size())); }
  QString xml() const { return QString::fromUtf8(utf8()); }
  // The text as utf8() gives it, taken out without a copy: the last call on the writer.
  QByteArray takeUtf8() { return xml_.take(); }
  bool isEmpty() const { return empty_; }
  // For writing a long document in pieces: the text written so far that nothing can change any
  // more, to be passed on and then forgotten with discardSettled. Empty while an insertion
  // point is saved (the text after it may still move).
  QByteArrayView settled() const;
  void discardSettled();
  QString savedTail() const { return QString::fromStdString(savedTail_); }
  void setSavedTail(const QString& tail) { savedTail_ = tail.toStdString(); }

 private:
  struct InsertionPoint {
    uint64_t level;
    uint64_t length;
  };

 public:
  // Text as it is written: a string of bytes that grows without a call for each short piece and
  // keeps its room when cut back. What the writer's helpers append to.
  class Bytes {
   public:
    Bytes() = default;
    Bytes(const Bytes& other) { *this += other; }
    Bytes(Bytes&& other) noexcept { swap(other); }
    Bytes& operator=(const Bytes& other) {
      if (this != &other) {
        clear();
        *this += other;
      }
      return *this;
    }
    Bytes& operator=(Bytes&& other) noexcept {
      Bytes(std::move(other)).swap(*this);
      return *this;
    }

    const char* data() const { return begin_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    char back() const { return begin_[size_ - 1]; }
    void pop_back() { --size_; }
    void clear() { size_ = 0; }
    // The room is not filled: a long text's pages are touched only as it is written.
    void reserve(size_t capacity) {
      if (capacity > capacity_) grow(capacity);
    }
    // Room for `count` more bytes at the end, to be filled through the pointer given.
    char* extend(size_t count) {
      if (capacity_ - size_ < count) expand(count);
      char* const out = begin_ + size_;
      size_ += count;
      return out;
    }
    // The bytes written, handed over without a copy; the text is left empty, with no room.
    QByteArray take();
    // Cuts the text back, or lengthens it by bytes the caller fills.
    void resize(size_t size) {
      if (size > size_)
        extend(size - size_);
      else
        size_ = size;
    }
    void append(const char* bytes, size_t count) {
      char* const out = extend(count);
      // Names and markup are a few bytes: copied in place, quicker than a call to copy memory.
      if (count <= 16) {
        for (size_t i = 0; i < count; ++i) out[i] = bytes[i];
      } else {
        std::memcpy(out, bytes, count);
      }
    }
    Bytes& operator+=(char c) {
      *extend(1) = c;
      return *this;
    }
    Bytes& operator+=(std::string_view text) {
      append(text.data(), text.size());
      return *this;
    }
    Bytes& operator+=(const Bytes& other) {
      append(other.data(), other.size());
      return *this;
    }
    void eraseFront(size_t count) {
      std::memmove(begin_, begin_ + count, size_ - count);
      size_ -= count;
    }
    std::string from(size_t at) const { return std::string(data() + at, size_ - at); }

   private:
    void expand(size_t count);
    void grow(size_t capacity);
    void swap(Bytes& other) noexcept {
      storage_.swap(other.storage_);
      std::swap(begin_, other.begin_);
      std::swap(capacity_, other.capacity_);
      std::swap(size_, other.size_);
    }
    // Owned alone, never shared: begin_ is its data and capacity_ its size.
    QByteArray storage_;
    char* begin_ = nullptr;
    size_t capacity_ = 0;
    size_t size_ = 0;
  };

 private:
  static constexpr uint64_t kNoInsertion = UINT64_MAX;

  // The core of every opening: without a value the element's children follow and the level
  // goes up; with one, the element is written whole.
  void open(QAnyStringView tag, const QString* value, bool safe);
  // Writes the indent, "<", the name and the queued attributes.
  void writeStart(QAnyStringView tag);
  // Writes ">", the value as it stands, and the closing tag.
  void writeValueAndEnd(QAnyStringView tag, QAnyStringView value);
  void writeIndent();
  void popInsertionPoint();

  Bytes xml_;
  // The queued attributes as they will stand in the tag: ' name="value"' each.
  Bytes attributes_;
  uint64_t level_ = 0;
  bool pendingChild_ = false;
  bool empty_ = true;
  bool svg_ = false;
  std::string savedTail_;
  uint64_t savedLevel_ = kNoInsertion;
  bool savedPendingChild_ = false;
  std::vector<InsertionPoint> insertionStack_;
};
