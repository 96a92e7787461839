#include "glimmet/storage/GMTextStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

std::u16string Contents(const GMTextStore& store) {
  std::u16string text(store.length(), u'\0');
  store.read(0, store.length(), text.data());
  return text;
}

// Many small edits at random places give thousands of pieces across many chunks; every
// replacement must agree with the same edit on a plain string.
TEST(TextStore, RandomReplacementsAgreeWithAPlainString) {
  GMTextStore store;
  std::u16string model;
  std::mt19937 random(7);
  for (int step = 0; step < 20000; ++step) {
    const uint32_t length = uint32_t(model.size()), first = length ? random() % (length + 1) : 0;
    const uint32_t removed = length > first && random() % 3 == 0 ? random() % std::min<uint32_t>(length - first, 40) : 0;
    std::u16string text(random() % 4, char16_t(u'a' + step % 26));
    if (step % 500 == 0) text.assign(5000, u'#');  // now and then a block of its own
    ASSERT_TRUE(store.replace(first, first + removed, text.data(), uint32_t(text.size())));
    model.replace(first, removed, text);
    ASSERT_EQ(store.length(), model.size()) << step;
    if (step % 97 == 0) {
      ASSERT_EQ(Contents(store), model) << step;
      const uint32_t probe = model.empty() ? 0 : random() % uint32_t(model.size());
      if (!model.empty()) {
        EXPECT_EQ(store.at(probe), model[probe]);
        uint32_t limit = 0;
        const char16_t* unit = store.pointerAt(probe, &limit);
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(*unit, model[probe]);
        // A cursor walks on across pieces and chunks as the string does.
        GMTextStore::Cursor cursor(store, probe);
        for (uint32_t cp = probe; cp < std::min<uint32_t>(probe + 3000, uint32_t(model.size())); cp += 7, cursor.advance(7))
          ASSERT_EQ(cursor.unit(), model[cp]) << cp;
        EXPECT_GT(limit, probe);
      }
    }
  }
  EXPECT_GT(store.pieceCount(), 2000u);
  EXPECT_EQ(Contents(store), model);
  // A cursor reads the same units walking forwards, backwards and by jumps.
  GMTextStore::Cursor cursor(store, 0);
  for (uint32_t cp = 0; cp < model.size(); ++cp, cursor.next()) ASSERT_EQ(cursor.unit(), model[cp]) << cp;
  EXPECT_EQ(cursor.unit(), 0);
  for (uint32_t cp = uint32_t(model.size()); cp-- > 0;) {
    cursor.previous();
    ASSERT_EQ(cursor.unit(), model[cp]) << cp;
  }
  for (uint32_t cp : {uint32_t(model.size() / 2), uint32_t(model.size() / 2 - 40), 17u, uint32_t(model.size())}) {
    cursor.seek(cp);
    EXPECT_EQ(cursor.unit(), cp < model.size() ? model[cp] : 0) << cp;
  }
  // Near seeks, within a piece and over seams, and the span before the cursor agree with the string.
  for (int step = 0; step < 3000; ++step) {
    const int64_t near = int64_t(cursor.cp()) + int64_t(random() % 129) - 64;
    const uint32_t cp = uint32_t(std::clamp<int64_t>(near, 0, int64_t(model.size()) - 1));
    cursor.seek(cp);
    ASSERT_EQ(cursor.unit(), model[cp]) << cp;
    uint32_t count = 0;
    const char16_t* end = cursor.spanBefore(&count);
    ASSERT_TRUE(count >= 1 && count <= cp + 1) << cp;
    ASSERT_EQ(std::u16string(end - count, end), model.substr(cp + 1 - count, count)) << cp;
  }
  // Deleting everything leaves an empty, still usable stream.
  ASSERT_TRUE(store.replace(0, store.length(), nullptr, 0));
  EXPECT_EQ(store.length(), 0u);
  const char16_t unit = u'z';
  ASSERT_TRUE(store.replace(0, 0, &unit, 1));
  EXPECT_EQ(Contents(store), u"z");
}

}  // namespace

namespace {

// Searches start from the chunk and piece last found: edits and reads that move on through a
// stream of thousands of chunks (a table filled cell by cell, a scan forwards or backwards) walk
// a few pieces each, so four times the work walks about four times as far.
TEST(TextStore, SearchesThatMoveOnWalkLittle) {
  // Each pattern works on a stream of n pairs of units, n times.
  const struct {
    const char* name;
    void (*work)(GMTextStore& store, uint32_t n);
  } cases[] = {
      {"inserts after each pair in turn",
       [](GMTextStore& store, uint32_t n) {
         for (uint32_t i = 0; i < n; ++i) ASSERT_TRUE(store.replace(3 * i + 2, 3 * i + 2, u"x", 1));
       }},
      {"reads forwards",
       [](GMTextStore& store, uint32_t n) {
         for (uint32_t cp = 0; cp < 2 * n; cp += 2) ASSERT_NE(store.at(cp), 0);
       }},
      {"reads backwards",
       [](GMTextStore& store, uint32_t n) {
         for (uint32_t cp = 2 * n; cp-- > 0;) ASSERT_NE(store.at(cp), 0);
       }},
      {"deletes after each pair in turn",
       [](GMTextStore& store, uint32_t n) {
         for (uint32_t i = 0; i + 1 < n; ++i) ASSERT_TRUE(store.replace(i + 1, i + 2, nullptr, 0));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint64_t walked[2] = {};
    for (int size = 0; size < 2; ++size) {
      const uint32_t n = size == 0 ? 20000 : 80000;
      GMTextStore store;
      // Each pair put before the others is a piece of its own: thousands of chunks.
      for (uint32_t i = 0; i < n; ++i) {
        const char16_t pair[2] = {u'a', char16_t(u'a' + i % 26)};
        ASSERT_TRUE(store.replace(0, 0, pair, 2));
      }
      const uint64_t before = store.searchSteps();
      c.work(store, n);
      walked[size] = store.searchSteps() - before;
    }
    EXPECT_GT(walked[0], 0u);
    EXPECT_LE(walked[1], walked[0] * 9 / 2);
  }
}

}  // namespace
