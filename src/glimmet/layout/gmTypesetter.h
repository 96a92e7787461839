// The typesetter under the line formatter: how much of a stretch of styled text fits in a width,
// the typeset line of it with its measures and caret offsets, and drawing it. The real one sets
// text with Qt's text layout on a 72-dpi device (a pixel is a point); a fixed-advance one gives
// exact, font-free geometry for tests.
#pragma once

#include "framlet/foundation/flFonts.h"
#include "glimmet/storage/gmProperties.h"

#include <QFont>
#include <QPointF>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QPainter;

// The text of a segment: one string and the character properties of each stretch of it.
struct GMSegmentText {
  struct Attributes {
    int start = 0;
    int length = 0;
    PropRecord props;  // character properties (kind 0)
    bool recolour = false;  // black text takes the system text colour
  };
  QString text;
  std::vector<Attributes> attributes;
};

struct GMFontMetrics {
  float ascent = 0, descent = 0, leading = 0;
};

// A typeset line of the units [0, length) of a segment's text.
class TypesetLine {
 public:
  virtual ~TypesetLine() = default;
  virtual float width() const = 0;  // typographic width, trailing white space included
  virtual float ascent() const = 0;
  virtual float descent() const = 0;
  virtual float leading() const = 0;
  virtual float trailingWhitespaceWidth() const = 0;
  virtual int length() const = 0;
  // The x of the caret before the unit at index (the width at or past the end).
  virtual float offsetForIndex(int index) const = 0;
  // The caret index nearest x.
  virtual int indexForPosition(float x) const = 0;
  // Draws the line with its baseline starting at origin.
  virtual void draw(QPainter& painter, QPointF origin) const = 0;
};

class Typesetter {
 public:
  virtual ~Typesetter() = default;
  // The number of units from the start that fit in width, at a place where a line may break;
  // trailing white space does not count against the width. 0 when not even one unit fits.
  virtual int suggestLineBreak(const GMSegmentText& text, float width) = 0;
  virtual std::shared_ptr<TypesetLine> createLine(const GMSegmentText& text, int length) = 0;
  // The line stretched to width by widening its spaces; nullptr when it cannot be.
  virtual std::shared_ptr<TypesetLine> createJustifiedLine(const GMSegmentText& text, int length, float width) = 0;
  virtual GMFontMetrics fontMetrics(const PropRecord& chars) = 0;
  // The underline thickness; position gets the distance of the underline below the baseline.
  virtual float underlineMetrics(const PropRecord& chars, float* position) = 0;
  // The typographic width of one unit in the properties' font.
  virtual float advance(char16_t unit, const PropRecord& chars) = 0;
  // The font's bounding-box width (0 when it has none).
  virtual float boundingWidth(const PropRecord& chars) = 0;
  // Draws one unit with its baseline starting at origin, in a colour.
  virtual void drawUnit(QPainter& painter, QPointF origin, char16_t unit, const PropRecord& chars,
                        const QColor& color) = 0;
};

// The typesetter in use: Qt's unless one is installed. SetTypesetter returns the previous one
// (nullptr: the default).
Typesetter& CurrentTypesetter();
Typesetter* SetTypesetter(Typesetter* typesetter);

// The font of character properties at a size in points, on the 72-dpi device.
QFont FontForProperties(const PropRecord& chars);
// The member of a family (its faces, in order) that shows its bold: the lightest face of bold
// weight or heavier with the wanted slant; else, in a family of two or more, the first whose name
// says bold, black or demi (a name saying semibold first does not count), a slanted one only when
// italic is wanted. None keeps the font made bold by its weight.
std::optional<FLFontFace> BoldMemberOfFamily(const QList<FLFontFace>& members, bool italic);

// A typesetter whose every unit is half its font size wide (zero-width spaces and kinks
// nothing), with ascent 0.75 and descent 0.25 of the size and no leading. Lines break after
// spaces and hyphens, else anywhere. Drawing fills a box of each unit that is not white space:
// its advance less one point wide and its ascent high, in the text colour.
class FixedAdvanceTypesetter : public Typesetter {
 public:
  int suggestLineBreak(const GMSegmentText& text, float width) override;
  std::shared_ptr<TypesetLine> createLine(const GMSegmentText& text, int length) override;
  std::shared_ptr<TypesetLine> createJustifiedLine(const GMSegmentText& text, int length, float width) override;
  GMFontMetrics fontMetrics(const PropRecord& chars) override;
  float underlineMetrics(const PropRecord& chars, float* position) override;
  float advance(char16_t unit, const PropRecord& chars) override;
  float boundingWidth(const PropRecord& chars) override;
  void drawUnit(QPainter& painter, QPointF origin, char16_t unit, const PropRecord& chars,
                const QColor& color) override;
};

// Installs a typesetter while it lives.
class TypesetterScope {
 public:
  explicit TypesetterScope(Typesetter* typesetter) : previous_(SetTypesetter(typesetter)) {}
  ~TypesetterScope() { SetTypesetter(previous_); }
  TypesetterScope(const TypesetterScope&) = delete;
  TypesetterScope& operator=(const TypesetterScope&) = delete;

 private:
  Typesetter* previous_;
};

// The text colour of character properties: black is left to the drawing's default unless the
// stretch is recoloured, when it is the system text colour.
QColor TextColorFor(const PropRecord& chars, bool recolour);
