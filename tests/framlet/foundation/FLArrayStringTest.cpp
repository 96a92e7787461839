#include "framlet/foundation/FLArrayString.h"
#include "support/LogCapture.h"


#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// A string array with a uint32 per string, the value being the string's starting position.
std::unique_ptr<FLArrayString> Names(const QStringList& names) {
  auto array = FLArrayString::withEntrySize(4);
  for (const QString& name : names) {
    uint32_t value = uint32_t(array->count());
    EXPECT_EQ(array->addEntry(&value, name), uint64_t(value));
  }
  return array;
}

QStringList Strings(const FLArrayString& array) {
  QStringList strings;
  for (uint64_t i = 0; i < array.count(); ++i) {
    QString string = array.stringAtIndex(i);
    strings << (string.isNull() ? QStringLiteral("<none>") : string);
  }
  return strings;
}

std::vector<uint32_t> Values(FLArrayString& array) {
  std::vector<uint32_t> values;
  for (uint64_t i = 0; i < array.count(); ++i) values.push_back(*static_cast<uint32_t*>(array.entryAtIndex(i)));
  return values;
}

TEST(FLArrayString, FindStringCaseInsensitively) {
  auto sorted = Names({"Body", "Heading", "title"});
  struct { const char* string; bool isSorted; bool found; uint64_t index; } cases[] = {
      {"HEADING", true, true, 1}, {"Caption", true, false, 1}, {"zeta", true, false, 3},
      {"body", true, true, 0},    {"TITLE", false, true, 2},   {"zeta", false, false, 3}, {"a", true, false, 0},
  };
  for (const auto& c : cases) {
    uint64_t index = 99;
    EXPECT_EQ(sorted->findString(QString::fromLatin1(c.string), c.isSorted, &index), c.found) << c.string;
    EXPECT_EQ(index, c.index) << c.string;
  }
  auto empty = Names({});
  uint64_t index = 99;
  EXPECT_FALSE(empty->findString(QStringLiteral("x"), true, &index));
  EXPECT_EQ(index, 0u);
  LogCapture capture;
  EXPECT_FALSE(sorted->findString(QString(), true, &index));
  EXPECT_EQ(index, FLNotFound);
  EXPECT_EQ(capture.assertMessages(), QStringList{"Empty string"});
}

TEST(FLArrayString, SortedInsertionGoesInFrontOfAnEqualString) {
  auto array = Names({"Body", "Heading", "title"});
  uint32_t value = 9;
  EXPECT_TRUE(array->insertEntryWithSortedString(&value, QStringLiteral("body")));
  EXPECT_TRUE(array->insertEntryWithSortedString(&value, QStringLiteral("Index")));
  EXPECT_EQ(Strings(*array), (QStringList{"body", "Body", "Heading", "Index", "title"}));
  EXPECT_EQ(Values(*array), (std::vector<uint32_t>{9, 0, 1, 9, 2}));
  LogCapture capture;
  EXPECT_FALSE(array->insertEntryWithSortedString(&value, QStringLiteral("")));
  EXPECT_EQ(array->count(), 5u);
  EXPECT_EQ(capture.assertMessages(), (QStringList{"Empty string", "Insert beyond end of array"}));
}

TEST(FLArrayString, CopyEntriesReplacesTheStringsItHeld) {
  auto source = Names({"x", "y", "z"});
  auto target = Names({"old"});
  EXPECT_TRUE(target->copyEntries(source->firstEntry(), source->count()));
  EXPECT_EQ(Strings(*target), (QStringList{"x", "y", "z"}));
  // Its own records as the source, moved down by one.
  EXPECT_TRUE(target->copyEntries(static_cast<uint8_t*>(target->firstEntry()) + 12, 2));
  EXPECT_EQ(Strings(*target), (QStringList{"y", "z"}));
  source.reset();
  EXPECT_EQ(Values(*target), (std::vector<uint32_t>{1, 2}));
}

}  // namespace
