// How a cell keeps its format and its rarely used fields: a counted format that cells read
// alike share, and one word for the format and the extras behind it. Every order of giving and
// taking them keeps each as it was set.
#include <gtest/gtest.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "ModelTestSupport.h"

#include <functional>
#include <vector>

namespace {

CAFormat Bold() {
  CAFormat format;
  format.setBold(true);
  return format;
}

TEST(CASharedFormat, CountsItsHoldersThroughCopiesMovesAndReleases) {
  CASharedFormat none;
  EXPECT_FALSE(none);
  EXPECT_FALSE(none.isShared());
  EXPECT_EQ(none.get(), nullptr);

  CASharedFormat first(Bold());
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->bold());
  EXPECT_FALSE(first.isShared());
  const CAFormat* address = first.get();
  {
    CASharedFormat second = first;  // copy
    EXPECT_TRUE(first.isShared());
    EXPECT_TRUE(second.isShared());
    EXPECT_EQ(second.get(), address);
    CASharedFormat third = std::move(second);  // a move adds no holder
    EXPECT_FALSE(second);
    EXPECT_TRUE(first.isShared());
    CASharedFormat& same = third;
    third = same;  // onto itself
    EXPECT_EQ(third.get(), address);
    third = CASharedFormat();  // let go
    EXPECT_FALSE(first.isShared());
  }
  // Out as an address and back, as a holder with a word of its own keeps it.
  void* raw = first.release();
  EXPECT_FALSE(first);
  EXPECT_EQ(CASharedFormat::formatAt(raw), address);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(raw) & 1, 0u);
  EXPECT_FALSE(CASharedFormat::isSharedAt(raw));
  CASharedFormat back = CASharedFormat::adopt(raw);
  EXPECT_EQ(back.get(), address);
  CASharedFormat copy = back;
  EXPECT_TRUE(CASharedFormat::isSharedAt(raw));
  EXPECT_EQ(CASharedFormat::formatAt(nullptr), nullptr);
  EXPECT_FALSE(CASharedFormat::isSharedAt(nullptr));
  // Assigning one holder over another lets the old format go and shares the new one.
  CASharedFormat other(CAFormat{});
  other = copy;
  EXPECT_EQ(other.get(), address);
  EXPECT_TRUE(back.isShared());
}

struct Step {
  const char* what;
  std::function<void(CACell&)> apply;
};

TEST(CACellStorage, FormatAndExtrasKeepEachOtherThroughEveryChange) {
  // Each sequence changes the format and the extras in turn; after every step the cell's format
  // and its extras read as last set.
  ModelEnvironment environment;
  CAFormat italic;
  italic.setItalic(true);
  const std::vector<Step> steps = {
      {"bold", [](CACell& cell) { cell.setFormat(Bold()); }},
      {"note", [](CACell& cell) { cell.setNote(QStringLiteral("n")); }},
      {"italic", [&](CACell& cell) { cell.setFormat(italic); }},
      {"tooltip", [](CACell& cell) { cell.setTooltipCounter(3); }},
      {"no format", [](CACell& cell) { cell.setFormat(std::nullopt); }},
      {"cleared", [](CACell& cell) { cell.clearValue(); }},
      {"no note", [](CACell& cell) { cell.setNote(QString()); }},
      {"no tooltip", [](CACell& cell) { cell.setTooltipCounter(0); }},
      {"bold again", [](CACell& cell) { cell.setFormat(Bold()); }},
      {"cleared again", [](CACell& cell) { cell.clearValue(); }},
      {"overflow", [](CACell& cell) { cell.setExtraColumns(uint64_t(2)); }},
      {"changed in place",
       [](CACell& cell) {
         if (CAFormat* format = cell.format()) format->setStrike(true);
       }},
  };
  // Every rotation of the steps, so that each change meets each state of the other.
  for (size_t start = 0; start < steps.size(); ++start) {
    CACell cell(GridPoint{1, 1}, nullptr);
    std::optional<CAFormat> format;
    QString note;
    uint64_t tooltip = 0;
    uint64_t overflow = 0;
    for (size_t n = 0; n < steps.size(); ++n) {
      const Step& step = steps[(start + n) % steps.size()];
      step.apply(cell);
      const QString name = step.what;
      if (name == "bold" || name == "bold again") format = Bold();
      if (name == "italic") format = italic;
      if (name == "no format") format.reset();
      if (name == "note") note = QStringLiteral("n");
      if (name == "no note") note.clear();
      if (name == "tooltip") tooltip = 3;
      if (name == "no tooltip") tooltip = 0;
      if (name == "overflow") overflow = 2;
      if (name.startsWith("cleared")) overflow = 0;
      if (name == "changed in place" && format) format->setStrike(true);
      const std::string where = std::string(steps[start].what) + " .. " + step.what;
      ASSERT_EQ(cell.format() != nullptr, format.has_value()) << where;
      if (format) {
        EXPECT_EQ(cell.format()->bold(), format->bold()) << where;
        EXPECT_EQ(cell.format()->italic(), format->italic()) << where;
        EXPECT_EQ(cell.format()->strike(), format->strike()) << where;
      }
      EXPECT_EQ(cell.note(), note) << where;
      EXPECT_EQ(cell.tooltipCounter(), tooltip) << where;
      EXPECT_EQ(cell.extraColumns(), overflow) << where;
      EXPECT_EQ(cell.holdsContent(), format.has_value() || !note.isEmpty()) << where;
    }
  }
}

TEST(CACellStorage, ASharedFormatStaysSharedBehindExtrasAndIsCopiedOnChange) {
  ModelEnvironment environment;
  const QString cell = QStringLiteral(
      "<cell x=\"%1\" y=\"0\" type=\"#\"><format><bold>1</bold></format><val>i1</val></cell>");
  QString cells;
  for (int x = 0; x < 4; ++x) cells += cell.arg(x);
  const QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<spreadsheet ver=\"1\"><rows>"
                                     "<row y=\"0\"><cells>") +
                      cells + QStringLiteral("</cells></row></rows></spreadsheet>");
  CADocument read;
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(xml);
  read.loadFromXml(*decoder);
  std::vector<CACell*> all;
  for (int x = 0; x < 4; ++x) all.push_back(read.cellAtGridPoint({x, 0}));
  for (CACell* c : all) ASSERT_TRUE(c && std::as_const(*c).format());
  const CAFormat* shared = std::as_const(*all[0]).format();
  for (CACell* c : all) EXPECT_EQ(std::as_const(*c).format(), shared);

  // Extras coming and going leave the sharing alone.
  all[1]->setNote(QStringLiteral("a note"));
  all[2]->setTooltipCounter(1);
  EXPECT_EQ(std::as_const(*all[1]).format(), shared);
  EXPECT_EQ(std::as_const(*all[2]).format(), shared);
  all[2]->setTooltipCounter(0);
  all[2]->clearValue();
  EXPECT_EQ(std::as_const(*all[2]).format(), shared);

  // Changing a cell's format, with extras or without, gives that cell its own.
  all[1]->format()->setItalic(true);
  all[3]->format()->setUnderline(true);
  EXPECT_NE(std::as_const(*all[1]).format(), shared);
  EXPECT_NE(std::as_const(*all[3]).format(), shared);
  EXPECT_TRUE(all[1]->format()->bold() && all[1]->format()->italic());
  EXPECT_TRUE(all[3]->format()->bold() && all[3]->format()->underline());
  EXPECT_EQ(all[1]->note(), QStringLiteral("a note"));
  for (int x : {0, 2}) {
    EXPECT_EQ(std::as_const(*all[size_t(x)]).format(), shared);
    EXPECT_FALSE(shared->italic() || shared->underline());
  }
  // The last holders let it go without copying it: changing the format of a cell that alone
  // holds it changes it in place.
  all[0]->setFormat(std::nullopt);
  EXPECT_EQ(all[2]->format(), shared);
}

TEST(CACellStorage, FormatsGivenAlikeInASharingScopeAreOneObject) {
  ModelEnvironment environment;
  CABorder border;
  CABorder dotted;
  dotted.setStyle(kBorderDot);
  CANumberFormat percent;
  percent.setDisplay(kDisplayPercent);
  // Each change makes a format that differs from the plain bold one in one property.
  const std::vector<std::pair<const char*, std::function<void(CAFormat&)>>> changes = {
      {"italic", [](CAFormat& f) { f.setItalic(true); }},
      {"underline", [](CAFormat& f) { f.setUnderline(true); }},
      {"strike", [](CAFormat& f) { f.setStrike(true); }},
      {"not bold", [](CAFormat& f) { f.setBold(false); }},
      {"centred", [](CAFormat& f) { f.setAlignment(kAlignmentCenter); }},
      {"red", [](CAFormat& f) { f.setTextKolor(MakeKolor(255, 0, 0)); }},
      {"background", [](CAFormat& f) { f.setBackgroundKolor(kWhiteKolor); }},
      {"border", [&](CAFormat& f) { f.setBorder(&border); }},
      {"percent", [&](CAFormat& f) { f.setNumberFormat(&percent); }},
      {"mask", [](CAFormat& f) { f.setMask(f.mask() | kFormatBackground); }},
  };
  std::vector<std::unique_ptr<CACell>> cells;
  const auto cell = [&cells](int64_t x) {
    cells.push_back(std::make_unique<CACell>(GridPoint{x, 0}, nullptr));
    return cells.back().get();
  };
  {
    const CAFormatSharing sharing;
    CACell* first = cell(0);
    CACell* second = cell(1);
    first->setFormat(Bold());
    second->setFormat(Bold());
    const CAFormat* bold = std::as_const(*first).format();
    EXPECT_EQ(std::as_const(*second).format(), bold);
    std::vector<const CAFormat*> seen = {bold};
    for (const auto& [what, change] : changes) {
      CAFormat format = Bold();
      change(format);
      CACell* a = cell(2);
      CACell* b = cell(3);
      a->setFormat(format);
      b->setFormat(format);
      const CAFormat* shared = std::as_const(*a).format();
      EXPECT_EQ(std::as_const(*b).format(), shared) << what;
      for (const CAFormat* other : seen) EXPECT_NE(shared, other) << what;
      seen.push_back(shared);
    }
    // Borders that differ in style alone are different formats.
    CAFormat solid = Bold();
    solid.setBorder(&border);
    CAFormat dots = Bold();
    dots.setBorder(&dotted);
    CACell* c = cell(4);
    CACell* d = cell(5);
    c->setFormat(solid);
    d->setFormat(dots);
    EXPECT_NE(std::as_const(*c).format(), std::as_const(*d).format());
    // A change goes to the changed cell alone.
    second->format()->setItalic(true);
    EXPECT_FALSE(first->format()->italic());
    EXPECT_TRUE(second->format()->italic());
  }
  // Outside a scope every cell gets its own; a shared format is held as given.
  CACell* e = cell(6);
  CACell* f = cell(7);
  e->setFormat(Bold());
  f->setFormat(Bold());
  EXPECT_NE(std::as_const(*e).format(), std::as_const(*f).format());
  const CASharedFormat look(Bold());
  e->shareFormat(look);
  f->shareFormat(look);
  EXPECT_EQ(std::as_const(*e).format(), look.get());
  EXPECT_EQ(std::as_const(*f).format(), look.get());
  f->format()->setStrike(true);
  EXPECT_FALSE(look->strike());
  EXPECT_TRUE(f->format()->strike());
}

}  // namespace
