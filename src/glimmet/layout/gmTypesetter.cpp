#include "framlet/foundation/flSeededHash.h"
#include "glimmet/layout/gmTypesetter.h"

#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flFonts.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr Kolor kLinkBlueKolor = 0x64D92B27;

// Text is measured in points: a device of 72 dots per inch makes a pixel a point.
const QImage& PointDevice() {
  static const QImage device = [] {
    QImage image(1, 1, QImage::Format_ARGB32);
    image.setDotsPerMeterX(2835);
    image.setDotsPerMeterY(2835);
    return image;
  }();
  return device;
}

int16_t SizeOf(const PropRecord& chars) {
  const int16_t size = chars.get<int16_t>(CharField::size);
  return size < kMinFontSize || size > kMaxFontSize ? kDefaultFontSize : size;
}

bool IsWhite(QChar c) { return c.isSpace() && c != QChar(0x00A0); }

// What each space between a line's words must grow by for its text to end at width; 0 when
// there is no space to widen or nothing to add.
float ExtraPerSpace(const GMSegmentText& text, int length, const TypesetLine& plain, float width) {
  int last = length;
  while (last > 0 && IsWhite(text.text.at(last - 1))) --last;
  int spaces = 0;
  for (int i = 0; i < last; ++i) spaces += text.text.at(i) == QChar(u' ');
  const float extra = width - (plain.width() - plain.trailingWhitespaceWidth());
  return spaces == 0 || extra <= 0 ? 0 : extra / float(spaces);
}

// Qt's typesetter.
class QtTypesetLine : public TypesetLine {
 public:
  QtTypesetLine(std::shared_ptr<QTextLayout> layout, int length) : layout_(std::move(layout)), length_(length) {
    line_ = layout_->lineAt(0);
    int last = length_;
    const QString& text = layout_->text();
    while (last > 0 && IsWhite(text.at(last - 1))) --last;
    width_ = float(line_.cursorToX(length_));
    trailing_ = width_ - float(line_.cursorToX(last));
  }
  float width() const override { return width_; }
  float ascent() const override { return float(line_.ascent()); }
  float descent() const override { return float(line_.descent()); }
  float leading() const override { return float(line_.leading()); }
  float trailingWhitespaceWidth() const override { return trailing_; }
  int length() const override { return length_; }
  float offsetForIndex(int index) const override {
    if (index <= 0) return 0;
    if (index >= length_) return width_;
    return float(line_.cursorToX(index));
  }
  // The boundary nearest x; a point exactly on a unit's middle stays before it.
  int indexForPosition(float x) const override {
    float left = 0;
    for (int i = 0; i < length_; ++i) {
      const float right = offsetForIndex(i + 1);
      if (x <= (left + right) / 2) return i;
      left = right;
    }
    return length_;
  }
  void draw(QPainter& painter, QPointF origin) const override {
    layout_->draw(&painter, QPointF(origin.x(), origin.y() - line_.ascent()));
  }

 private:
  std::shared_ptr<QTextLayout> layout_;
  QTextLine line_;
  int length_;
  float width_ = 0;
  float trailing_ = 0;
};

class QtTypesetter : public Typesetter {
 public:
  int suggestLineBreak(const GMSegmentText& text, float width) override {
    auto layout = Layout(text, text.text.size(), 0, true);
    layout->beginLayout();
    QTextLine line = layout->createLine();
    if (!line.isValid()) {
      layout->endLayout();
      return 0;
    }
    line.setLineWidth(std::max(width, 0.0f));
    layout->endLayout();
    const int fit = line.textLength();
    // Qt places one unit even when it is too wide; the caller decides what happens then.
    if (line.naturalTextWidth() > width + 0.001) {
      int last = fit;
      while (last > 0 && IsWhite(text.text.at(last - 1))) --last;
      if (line.cursorToX(last) > width + 0.001 && last <= 2) return 0;
    }
    return fit;
  }
  std::shared_ptr<TypesetLine> createLine(const GMSegmentText& text, int length) override {
    return Line(Layout(text, length, 0, false), length);
  }
  std::shared_ptr<TypesetLine> createJustifiedLine(const GMSegmentText& text, int length, float width) override {
    auto plain = createLine(text, length);
    if (!plain) return nullptr;
    const float perSpace = ExtraPerSpace(text, length, *plain, width);
    return perSpace > 0 ? Line(Layout(text, length, perSpace, false), length) : plain;
  }
  GMFontMetrics fontMetrics(const PropRecord& chars) override {
    const QFontMetricsF metrics(FontForProperties(chars), &PointDevice());
    return {float(metrics.ascent()), float(metrics.descent()), float(metrics.leading())};
  }
  float underlineMetrics(const PropRecord& chars, float* position) override {
    QFont font = FontForProperties(chars);
    font.setBold(false);
    const QFontMetricsF metrics(font, &PointDevice());
    if (position) *position = float(std::abs(metrics.underlinePos()));
    return float(metrics.lineWidth());
  }
  float advance(char16_t unit, const PropRecord& chars) override {
    return float(QFontMetricsF(FontForProperties(chars), &PointDevice()).horizontalAdvance(QChar(unit)));
  }
  float boundingWidth(const PropRecord& chars) override {
    return float(QFontMetricsF(FontForProperties(chars), &PointDevice()).maxWidth());
  }
  void drawUnit(QPainter& painter, QPointF origin, char16_t unit, const PropRecord& chars,
                const QColor& color) override {
    GMSegmentText text;
    text.text = QString(QChar(unit));
    text.attributes.push_back({0, 1, chars, false});
    auto layout = Layout(text, 1, 0, false, color);
    layout->beginLayout();
    QTextLine line = layout->createLine();
    layout->endLayout();
    if (line.isValid()) layout->draw(&painter, QPointF(origin.x(), origin.y() - line.ascent()));
  }

 private:
  static std::shared_ptr<QTextLayout> Layout(const GMSegmentText& text, int length, float wordSpacing, bool wrap,
                                             const QColor& color = QColor()) {
    const PropRecord* first = text.attributes.empty() ? nullptr : &text.attributes.front().props;
    PropRecord base;
    SetBaseProperties(kPropChar, &base);
    auto layout = std::make_shared<QTextLayout>(text.text.left(length), FontForProperties(first ? *first : base),
                                                &PointDevice());
    QList<QTextLayout::FormatRange> ranges;
    for (const GMSegmentText::Attributes& a : text.attributes) {
      if (a.start >= length) break;
      QTextLayout::FormatRange range;
      range.start = a.start;
      range.length = std::min(a.length, length - a.start);
      QFont font = FontForProperties(a.props);
      const int64_t kern = a.props.get<int64_t>(CharField::expand);
      if (kern != 0) font.setLetterSpacing(QFont::AbsoluteSpacing, double(kern) / kEmuPerPoint);
      if (wordSpacing > 0) font.setWordSpacing(wordSpacing);
      range.format.setFont(font);
      range.format.setForeground(color.isValid() ? color : TextColorFor(a.props, a.recolour));
      if (a.props.body[CharField::outline]) range.format.setTextOutline(QPen(range.format.foreground(), 0.5));
      ranges.append(range);
    }
    layout->setFormats(ranges);
    QTextOption option;
    option.setWrapMode(wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::ManualWrap);
    layout->setTextOption(option);
    return layout;
  }
  static std::shared_ptr<TypesetLine> Line(std::shared_ptr<QTextLayout> layout, int length) {
    layout->beginLayout();
    QTextLine line = layout->createLine();
    if (line.isValid()) {
      line.setLineWidth(1000000);
      line.setPosition(QPointF(0, 0));
    }
    layout->endLayout();
    if (!line.isValid()) return nullptr;
    return std::make_shared<QtTypesetLine>(std::move(layout), length);
  }
};

Typesetter* g_installed = nullptr;

// The fixed-advance typesetter's line.
class FixedLine : public TypesetLine {
 public:
  FixedLine(const GMSegmentText& text, int length, float extraPerSpace) : text_(text) {
    text_.text.truncate(length);
    int last = length;
    while (last > 0 && IsWhite(text_.text.at(last - 1))) --last;
    offsets_.push_back(0);
    for (int i = 0; i < length; ++i) {
      const PropRecord& props = PropsAt(i);
      float a = FixedAdvance(text_.text.at(i).unicode(), props);
      if (i < last && text_.text.at(i) == QChar(u' ')) a += extraPerSpace;
      offsets_.push_back(offsets_.back() + a);
      const float size = SizeOf(props) / 4.0f;
      ascent_ = std::max(ascent_, size * 0.75f);
      descent_ = std::max(descent_, size * 0.25f);
    }
    if (length == 0 && !text_.attributes.empty()) {
      const float size = SizeOf(text_.attributes.front().props) / 4.0f;
      ascent_ = size * 0.75f;
      descent_ = size * 0.25f;
    }
    trailing_ = offsets_.back() - offsets_[size_t(last)];
  }
  static float FixedAdvance(char16_t unit, const PropRecord& props) {
    if (unit <= 1 || unit == 0x200B || unit == 0xFEFF) return 0;
    return SizeOf(props) / 8.0f;
  }
  float width() const override { return offsets_.back(); }
  float ascent() const override { return ascent_; }
  float descent() const override { return descent_; }
  float leading() const override { return 0; }
  float trailingWhitespaceWidth() const override { return trailing_; }
  int length() const override { return int(offsets_.size()) - 1; }
  float offsetForIndex(int index) const override { return offsets_[size_t(std::clamp(index, 0, length()))]; }
  int indexForPosition(float x) const override {
    for (int i = 0; i < length(); ++i)
      if (x <= (offsets_[size_t(i)] + offsets_[size_t(i) + 1]) / 2) return i;
    return length();
  }
  void draw(QPainter& painter, QPointF origin) const override {
    for (int i = 0; i < length(); ++i) {
      if (text_.text.at(i).isSpace() || offsets_[size_t(i) + 1] - offsets_[size_t(i)] <= 1) continue;
      const PropRecord& props = PropsAt(i);
      const float size = SizeOf(props) / 4.0f;
      painter.fillRect(QRectF(origin.x() + offsets_[size_t(i)], origin.y() - size * 0.75f,
                              offsets_[size_t(i) + 1] - offsets_[size_t(i)] - 1, size * 0.75f),
                       TextColorFor(props, RecolourAt(i)));
    }
  }

 private:
  const GMSegmentText::Attributes* AttributesAt(int i) const {
    for (const auto& a : text_.attributes)
      if (i >= a.start && i < a.start + a.length) return &a;
    return text_.attributes.empty() ? nullptr : &text_.attributes.back();
  }
  const PropRecord& PropsAt(int i) const {
    static const PropRecord base = [] {
      PropRecord r;
      SetBaseProperties(kPropChar, &r);
      return r;
    }();
    const auto* a = AttributesAt(i);
    return a ? a->props : base;
  }
  bool RecolourAt(int i) const {
    const auto* a = AttributesAt(i);
    return a && a->recolour;
  }
  GMSegmentText text_;
  std::vector<float> offsets_;
  float ascent_ = 0, descent_ = 0, trailing_ = 0;
};

}  // namespace

QFont FontForProperties(const PropRecord& chars) {
  static FLHashMap<uint64_t, QFont> fonts;
  const uint16_t index = chars.get<uint16_t>(CharField::font);
  const int16_t size = SizeOf(chars);
  const bool bold = chars.body[CharField::bold] != 0;
  const bool italic = chars.body[CharField::italic] != 0;
  const uint64_t key = uint64_t(index) << 32 | uint64_t(uint16_t(size)) << 16 | (bold ? 2 : 0) | (italic ? 1 : 0);
  if (auto found = fonts.find(key); found != fonts.end()) return found->second;
  const double points = size / 4.0;
  QString name = FontNameAtIndex(index);
  if (name.isEmpty()) name = QString::fromLatin1(kFLEmptyFontName);
  QFont font = FontWithName(name, points).value_or(UserFont(points));
  if (bold) {
    font.setBold(true);
    if (const auto face = FontFaceForName(name)) {
      if (const auto member = BoldMemberOfFamily(AvailableMembersOfFontFamily(face->family), italic)) {
        if (auto made = FontWithName(member->postScriptName, points)) font = *made;
      }
    }
  }
  if (italic) font.setItalic(true);
  font.setPointSizeF(points);
  font.setHintingPreference(QFont::PreferNoHinting);
  font = QFont(font, &PointDevice());
  fonts.insert_or_assign(key, font);
  return font;
}

std::optional<FLFontFace> BoldMemberOfFamily(const QList<FLFontFace>& members, bool italic) {
  constexpr int kBoldWeight = 200;  // fontconfig's bold
  const FLFontFace* best = nullptr;
  for (const FLFontFace& face : members) {
    if (face.weight >= kBoldWeight && (face.slant != 0) == italic && (!best || face.weight < best->weight))
      best = &face;
  }
  if (best) return *best;
  if (members.size() < 2) return std::nullopt;
  static const char* const heavy[] = {"semibold", "bold", "black", "demi"};
  static const char* const slanted[] = {"italic", "oblique", "slanted", "inclined", "semiita"};
  for (const FLFontFace& face : members) {
    const QString name = (face.postScriptName + QLatin1Char(' ') + face.style).toLower();
    const auto says = [&](const char* word) { return name.contains(QLatin1String(word)); };
    const auto first = std::find_if(std::begin(heavy), std::end(heavy), says);
    if (first == std::end(heavy) || first == std::begin(heavy)) continue;
    if (!italic && std::any_of(std::begin(slanted), std::end(slanted), says)) continue;
    return face;
  }
  return std::nullopt;
}

QColor TextColorFor(const PropRecord& chars, bool recolour) {
  const Kolor color = chars.get<uint32_t>(CharField::color);
  if (recolour && color == g_blackKolor) return QGuiApplication::palette().color(QPalette::Text);
  if (recolour && color == kLinkBlueKolor) return LinkColor();
  if (!KolorIsColor(color)) return QColor(Qt::black);
  return ColorFromKolor(color);
}

Typesetter& CurrentTypesetter() {
  static QtTypesetter qt;
  return g_installed ? *g_installed : qt;
}

Typesetter* SetTypesetter(Typesetter* typesetter) {
  Typesetter* previous = g_installed;
  g_installed = typesetter;
  return previous;
}

int FixedAdvanceTypesetter::suggestLineBreak(const GMSegmentText& text, float width) {
  FixedLine line(text, int(text.text.size()), 0);
  const int n = line.length();
  int lastBreak = 0;
  for (int i = 0; i < n; ++i) {
    const QChar c = text.text.at(i);
    if (IsWhite(c)) {
      lastBreak = i + 1;
      continue;
    }
    if (line.offsetForIndex(i + 1) > width + 0.001f) return lastBreak > 0 ? lastBreak : i;
    if (c == QChar(u'-')) lastBreak = i + 1;
  }
  return n;
}

std::shared_ptr<TypesetLine> FixedAdvanceTypesetter::createLine(const GMSegmentText& text, int length) {
  return std::make_shared<FixedLine>(text, std::clamp(length, 0, int(text.text.size())), 0);
}

std::shared_ptr<TypesetLine> FixedAdvanceTypesetter::createJustifiedLine(const GMSegmentText& text, int length,
                                                                         float width) {
  const FixedLine plain(text, length, 0);
  return std::make_shared<FixedLine>(text, length, ExtraPerSpace(text, length, plain, width));
}

GMFontMetrics FixedAdvanceTypesetter::fontMetrics(const PropRecord& chars) {
  const float size = SizeOf(chars) / 4.0f;
  return {size * 0.75f, size * 0.25f, 0};
}

float FixedAdvanceTypesetter::underlineMetrics(const PropRecord& chars, float* position) {
  if (position) *position = SizeOf(chars) / 48.0f;  // a twelfth of the size
  return 1.0f;
}

float FixedAdvanceTypesetter::advance(char16_t unit, const PropRecord& chars) {
  return FixedLine::FixedAdvance(unit, chars);
}

float FixedAdvanceTypesetter::boundingWidth(const PropRecord& chars) { return SizeOf(chars) / 4.0f; }

void FixedAdvanceTypesetter::drawUnit(QPainter& painter, QPointF origin, char16_t unit, const PropRecord& chars,
                                      const QColor& color) {
  const float a = FixedLine::FixedAdvance(unit, chars);
  const float size = SizeOf(chars) / 4.0f;
  if (a > 1) painter.fillRect(QRectF(origin.x(), origin.y() - size * 0.75f, a - 1, size * 0.75f), color);
}
