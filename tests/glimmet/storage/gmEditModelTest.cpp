// Random edits to the store and to a plain model (a string and per-character property arrays)
// must agree after every step.
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"
#include "StorageTestSupport.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct Model {
  QString text;                  // the body, without the final paragraph mark
  std::vector<uint32_t> chars;   // character property index per unit
  std::vector<uint32_t> paras;   // paragraph property index per unit
};

uint32_t RunAt(const GMCpTable<uint32_t>& runs, uint32_t cp) {
  const uint32_t index = runs.indexOfCp(cp);
  return runs.at(index == kGMNone ? 0 : index);
}

// The model's paragraph (body offsets) around offset i.
std::pair<int, int> ModelParagraph(const Model& model, int i) {
  int first = i;
  while (first > 0 && model.text[first - 1] != u'\n') --first;
  int limit = i;
  while (limit < model.text.size() && model.text[limit] != u'\n') ++limit;
  return {first, std::min<int>(limit + 1, model.text.size())};
}

::testing::AssertionResult Agree(GlimmetDoc* doc, const Model& model) {
  const uint32_t body = BodyStart(doc);
  if (doc->userLength != int32_t(body + model.text.size()))
    return ::testing::AssertionFailure() << "userLength " << doc->userLength << " vs " << body + model.text.size();
  if (doc->totalLength != doc->userLength + 1 || doc->text.length() != uint32_t(doc->totalLength))
    return ::testing::AssertionFailure() << "totalLength";
  const QString text = TextOfRange({doc, body, uint32_t(doc->userLength)});
  if (text != model.text) return ::testing::AssertionFailure() << "text differs";
  if (CharacterAtCp(doc, uint32_t(doc->userLength)) != u'\n') return ::testing::AssertionFailure() << "final mark";
  for (int i = 0; i < model.text.size(); ++i) {
    if (RunAt(doc->charRuns, body + i) != model.chars[i]) return ::testing::AssertionFailure() << "char props at " << i;
    if (RunAt(doc->paraRuns, body + i) != model.paras[i]) return ::testing::AssertionFailure() << "para props at " << i;
  }
  for (uint32_t i = 1; i < doc->charRuns.count(); ++i)
    if (doc->charRuns.cpAt(i) <= doc->charRuns.cpAt(i - 1)) return ::testing::AssertionFailure() << "char runs order";
  for (uint32_t i = 1; i < doc->paraRuns.count(); ++i)
    if (doc->paraRuns.cpAt(i) <= doc->paraRuns.cpAt(i - 1)) return ::testing::AssertionFailure() << "para runs order";
  // The knot table still describes the chapter knot.
  if (doc->knots.count() != 8 || KnotLimitCp(doc, 0) != body) return ::testing::AssertionFailure() << "knots";
  return ::testing::AssertionSuccess();
}

// Lookups near the end of a table take a shortcut; every cp must give what a scan gives, runs
// of equal cps included.
TEST(EditModel, CpTableLookupsAgreeWithAScan) {
  for (const uint32_t size : {0u, 1u, 2u, 33u, 34u, 35u, 200u}) {
    GMCpTable<uint32_t> table;
    for (uint32_t i = 0; i < size; ++i) table.insert(i, i / 3 * 5 + (i % 3 == 2 ? 1 : 0), i);
    const uint32_t last = size == 0 ? 0 : table.cpAt(size - 1);
    for (uint32_t cp = 0; cp <= last + 2; ++cp) {
      uint32_t atOrBefore = kGMNone, atOrAfter = size;
      for (uint32_t i = 0; i < size; ++i)
        if (table.cpAt(i) <= cp) atOrBefore = i;
      for (uint32_t i = size; i-- > 0;)
        if (table.cpAt(i) >= cp) atOrAfter = i;
      ASSERT_EQ(table.indexOfCp(cp), atOrBefore) << size << " " << cp;
      ASSERT_EQ(table.indexOfCpAfter(cp), atOrAfter) << size << " " << cp;
      // A hint anywhere, right or wrong, changes no answer.
      for (uint32_t hint = 0; hint <= size + 1; hint += 1 + hint / 8) {
        ASSERT_EQ(table.indexOfCpNear(cp, hint), atOrBefore) << size << " " << cp << " " << hint;
        ASSERT_EQ(table.indexOfCpAfterNear(cp, hint), atOrAfter) << size << " " << cp << " " << hint;
      }
    }
  }
}

TEST(EditModel, RandomInsertsDeletesAndPropertyChangesAgreeWithAPlainModel) {
  GlimmetDocPtr holder(NewGlimmetDoc(kDocTemporary));
  GlimmetDoc* doc = holder.get();
  const uint32_t body = BodyStart(doc);
  Model model;
  model.text = QStringLiteral("\n");
  model.chars = {RunAt(doc->charRuns, body)};
  model.paras = {RunAt(doc->paraRuns, body)};

  std::vector<uint32_t> charIndexes, paraIndexes;
  for (int size = 20; size <= 80; size += 4) {
    PropRecord record = DefaultProps(doc, kPropChar);
    record.set<int16_t>(CharField::size, int16_t(size * 4));
    record.body[CharField::bold] = size % 8 == 0;
    charIndexes.push_back(IndexForProperties(doc, &record));
    SetDefaultProperties(doc, kPropPara, &record);
    record.set<int64_t>(ParaField::leftIndent, size * 12700);
    paraIndexes.push_back(IndexForProperties(doc, &record));
  }

  std::mt19937 random(20261206);
  const QString alphabet = QStringLiteral("abcdefgh \n");
  auto pick = [&](int count) { return int(random() % uint32_t(count)); };
  for (int step = 0; step < 10000; ++step) {
    const int length = int(model.text.size()), op = pick(10);
    if (op < 4 || length < 2) {
      // Insert 1 to 6 units at a point in the body, never after the body's last paragraph mark.
      const int at = pick(length);
      QString insert;
      for (int n = 1 + pick(6); n > 0; --n) insert += alphabet[pick(int(alphabet.size()))];
      const uint32_t charsAt = model.chars[at], parasAt = model.paras[at];
      DocRange range{doc, body + uint32_t(at), body + uint32_t(at)};
      ASSERT_TRUE(ReplaceRangeWithString(&range, insert)) << step;
      EXPECT_EQ(range, (DocRange{doc, body + uint32_t(at), body + uint32_t(at + insert.size())})) << step;
      model.text.insert(at, insert);
      model.chars.insert(model.chars.begin() + at, insert.size(), charsAt);
      model.paras.insert(model.paras.begin() + at, insert.size(), parasAt);
    } else if (op < 7) {
      // Delete a stretch that ends before the body's last paragraph mark.
      const int at = pick(length - 1), count = 1 + pick(std::min(8, length - 1 - at));
      DocRange range{doc, body + uint32_t(at), body + uint32_t(at + count)};
      ASSERT_TRUE(ReplaceRangeCore(&range, nullptr, nullptr, 0, false)) << step;
      EXPECT_EQ(range, (DocRange{doc, body + uint32_t(at), body + uint32_t(at)})) << step;
      model.text.remove(at, count);
      model.chars.erase(model.chars.begin() + at, model.chars.begin() + at + count);
      model.paras.erase(model.paras.begin() + at, model.paras.begin() + at + count);
    } else if (op < 9) {
      const int at = pick(length), count = pick(std::min(20, length - at) + 1);
      const uint32_t index = charIndexes[size_t(pick(int(charIndexes.size())))];
      ASSERT_TRUE(ApplyPropsToRange({doc, body + uint32_t(at), body + uint32_t(at + count)}, doc->props[index]));
      std::fill(model.chars.begin() + at, model.chars.begin() + at + count, index);
    } else {
      const int at = pick(length), count = pick(std::min(30, length - at) + 1);
      const uint32_t index = paraIndexes[size_t(pick(int(paraIndexes.size())))];
      ASSERT_TRUE(ApplyPropsToRange({doc, body + uint32_t(at), body + uint32_t(at + count)}, doc->props[index]));
      const int first = ModelParagraph(model, at).first;
      const int limit = ModelParagraph(model, std::max(at, at + count - 1)).second;
      std::fill(model.paras.begin() + first, model.paras.begin() + limit, index);
    }
    ASSERT_TRUE(Agree(doc, model)) << "step " << step << " op " << op;
  }
  EXPECT_GT(model.text.size(), 300);
  // The paragraph fetch agrees with the model's paragraphs too.
  for (int i = 0; i < model.text.size(); i += 7) {
    DocRange para;
    PropRecord record;
    FetchParaProps(doc, nullptr, body + uint32_t(i), &para, &record);
    const auto [first, limit] = ModelParagraph(model, i);
    EXPECT_EQ(para, (DocRange{doc, body + uint32_t(first), body + uint32_t(limit)})) << i;
    EXPECT_EQ(record.index, model.paras[size_t(limit - 1)]) << i;
  }
}

// Edits over text full of knots: whatever is deleted, every kink keeps its entry, every entry
// its kink character, and every knot stays whole.
::testing::AssertionResult KnotsConsistent(GlimmetDoc* doc) {
  if (doc->text.length() != uint32_t(doc->totalLength)) return ::testing::AssertionFailure() << "length";
  const auto& knots = doc->knots;
  for (uint32_t i = 0; i < knots.count(); ++i) {
    const uint32_t cp = knots.cpAt(i);
    if (i > 0 && cp <= knots.cpAt(i - 1)) return ::testing::AssertionFailure() << "order at " << cp;
    if (!IsKinkChar(doc->text.at(cp))) return ::testing::AssertionFailure() << "no kink character at " << cp;
    if (knots.at(i).kink == kKinkBegin || knots.at(i).kink == kKinkAtomic) {
      KnotInfo info;
      if (!FetchKnot(doc, cp, &info, 0) || info.first != cp)
        return ::testing::AssertionFailure() << "broken knot at " << cp;
    }
  }
  for (uint32_t cp = 0; cp < uint32_t(doc->totalLength); ++cp)
    if (IsKinkChar(doc->text.at(cp)) && knots.indexAtCp(cp) == kGMNone)
      return ::testing::AssertionFailure() << "kink character without entry at " << cp;
  return ::testing::AssertionSuccess();
}

// A table of one row at cp: its begin kink, the row's begin kink, one kink closing each cell,
// the table's end kink.
void InsertTable(GlimmetDoc* doc, uint32_t cp, uint32_t cells) {
  QString text(2, QChar(0));
  for (uint32_t cell = 0; cell < cells; ++cell) text += QStringLiteral("c") + QChar(1);
  text += QChar(1);
  ASSERT_TRUE(ReplaceRangeSimpleWithString({doc, cp, cp}, nullptr, text));
  auto add = [&](uint32_t at, uint32_t type, uint32_t kink) {
    KnotEntry entry;
    entry.type = type;
    entry.kink = kink;
    doc->knots.insertSorted(at, entry);
  };
  add(cp, kKnotTable, kKinkBegin);
  add(cp + 1, kKnotRow, kKinkBegin);
  for (uint32_t cell = 0; cell < cells; ++cell)
    add(cp + 3 + 2 * cell, kKnotRow, cell + 1 == cells ? kKinkEnd : kKinkMiddle);
  add(cp + 2 + 2 * cells, kKnotTable, kKinkEnd);
  doc->tableCps.insertSorted(cp, GMNoData{});
}

class KnotEdits : public ::testing::TestWithParam<uint32_t> {};

TEST_P(KnotEdits, RandomEditsOverKnotsKeepEveryKnotWhole) {
  GlimmetDocPtr holder(NewGlimmetDoc(kDocTemporary));
  GlimmetDoc* doc = holder.get();
  std::mt19937 random(GetParam());
  // Odd seeds edit as a plain-text pane sees the document, even ones as a pane without display.
  // Some show the knots' slots or every code.
  CurrentPane(doc)->contentsKind = GetParam() % 2 ? kPaneContentsPlain : kPaneContentsNoDisplay;
  CurrentPane(doc)->displayFlags = GetParam() % 5 == 0 ? kPaneShowKnotSlots : GetParam() % 7 == 0 ? kPaneShowAllCodes : 0;
  const uint32_t types[] = {kKnotPicture, kKnotLink, kKnotNote,    kKnotBookmark, kKnotTag,     kKnotCheckbox, kKnotVar,
                            kKnotList,    kKnotShort, kKnotToc,     kKnotDivider,  kKnotTocEntry, kKnotAutonum, kKnotTable};
  const QString alphabet = QStringLiteral("abcd \n");
  PropRecord italic = DefaultProps(doc, kPropChar);
  italic.body[CharField::italic] = 1;
  LogCapture capture;
  for (int step = 0; step < 3000; ++step) {
    const uint32_t body = BodyStart(doc), end = uint32_t(doc->userLength);
    const uint32_t at = body + uint32_t(random() % (end - body + 1)), span = uint32_t(random() % 12);
    const uint32_t limit = std::min(end, at + span);
    const int op = int(random() % 11);
    if (op < 4) {
      QString text;
      for (int n = 1 + int(random() % 5); n > 0; --n) text += alphabet[int(random() % alphabet.size())];
      DocRange range{doc, std::min(at, end), std::min(at, end)};
      ASSERT_TRUE(ReplaceRangeWithString(&range, text)) << step;
    } else if (op < 6) {
      DocRange range{doc, std::min(at, end), std::min(at, end)};
      InsertKnotCore(&range, types[random() % std::size(types)], 0, 0, nullptr, 0, nullptr, false);
    } else if (op < 9) {
      DocRange range{doc, at, limit};
      if (at < end) ReplaceRangeCore(&range, nullptr, nullptr, 0, false);
    } else if (op < 10) {
      ApplyPropsToRange({doc, at, limit}, italic);
    } else {
      KnotInfo around;
      if (at < end && !FetchKnot(doc, at, &around, 0) && !IsKinkChar(doc->text.at(at))) InsertTable(doc, at, 1 + random() % 3);
    }
    ASSERT_TRUE(KnotsConsistent(doc)) << "step " << step << " op " << op;
    // Paragraphs are found around any cp of the body without complaint.
    const uint32_t probe = BodyStart(doc) + uint32_t(random() % (uint32_t(doc->userLength) - BodyStart(doc) + 1));
    DocRange para;
    FetchParaProps(doc, nullptr, probe, &para, nullptr);
    ASSERT_TRUE(capture.assertMessages().isEmpty()) << "step " << step << ": " << qPrintable(capture.assertMessages().join(u", "));
    ASSERT_TRUE(para.first <= probe && probe < para.limit) << step;
    ASSERT_EQ(CharacterAtCp(doc, uint32_t(doc->userLength)), u'\n');
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, KnotEdits, ::testing::Range(1u, 15u));

}  // namespace
