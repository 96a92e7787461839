#include "framlet/foundation/FLArrayString.h"
#include "support/LogCapture.h"

#include <QRegularExpression>

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

TEST(FLArrayString, CreationIgnoresUseAllEntries) {
  LogCapture capture;
  auto array = FLArrayString::withEntrySize(6, 4, true);
  ASSERT_NE(array, nullptr);
  EXPECT_EQ(array->count(), 0u);
  EXPECT_EQ(array->entryLength(), 6u);
  EXPECT_EQ(array->allocatedCount(), 10u);
  EXPECT_EQ(FLArrayString::withEntrySize(3), nullptr);
  EXPECT_EQ(capture.assertMessages(), (QStringList{"useAllEntries not supported for string arrays", "Bad length"}));
}

TEST(FLArrayString, FindStringCaseInsensitively) {
  auto sorted = Names({"Body", "Heading", "title"});
  struct {
    const char* string;
    bool isSorted;
    bool found;
    uint64_t index;
  } cases[] = {
      {"HEADING", true, true, 1}, {"Caption", true, false, 1}, {"zeta", true, false, 3},
      {"body", true, true, 0},    {"TITLE", false, true, 2},   {"zeta", false, false, 3},
      {"a", true, false, 0},
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

TEST(FLArrayString, RecordsWithoutAStringAreSkippedOrSortFirst) {
  auto array = Names({QString(), "Beta", QString()});
  uint64_t index = 0;
  EXPECT_TRUE(array->findString(QStringLiteral("beta"), false, &index));
  EXPECT_EQ(index, 1u);
  auto sorted = Names({QString(), "Beta"});
  EXPECT_TRUE(sorted->findString(QStringLiteral("beta"), true, &index));
  EXPECT_EQ(index, 1u);
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

TEST(FLArrayString, ReplaceEntryDeletesAppendsOrReplaces) {
  auto array = Names({"one", "two"});
  uint32_t value = 7;
  EXPECT_TRUE(array->replaceEntry(&value, QStringLiteral("three"), 2));
  EXPECT_TRUE(array->replaceEntry(nullptr, QStringLiteral("TWO"), 1));
  EXPECT_TRUE(array->replaceEntry(nullptr, QString(), 0));
  EXPECT_EQ(Strings(*array), (QStringList{"TWO", "three"}));
  EXPECT_EQ(Values(*array), (std::vector<uint32_t>{1, 7}));
}

TEST(FLArrayString, ReplaceEntryPastTheCountIsRefused) {
  auto array = Names({"one", "two"});
  uint32_t value = 7;
  LogCapture capture;
  EXPECT_FALSE(array->replaceEntry(&value, QStringLiteral("far"), 3));
  EXPECT_FALSE(array->replaceEntry(&value, QString(), 5));
  EXPECT_FALSE(array->replaceEntry(&value, QString(), 2));
  EXPECT_EQ(Strings(*array), (QStringList{"one", "two"}));
  EXPECT_EQ(capture.assertMessages(), (QStringList{"index > usedCount", "index > usedCount", "index >= usedCount"}));
}

TEST(FLArrayString, BadIndexesGiveNothingAndZeroedData) {
  auto array = Names({"one"});
  LogCapture capture;
  uint32_t buffer = 55;
  EXPECT_TRUE(array->stringAndEntry(&buffer, 1).isNull());
  EXPECT_EQ(buffer, 0u);
  buffer = 55;
  array->getEntry(&buffer, 4);
  EXPECT_EQ(buffer, 0u);
  EXPECT_EQ(*static_cast<uint32_t*>(array->entryAtIndex(3)), 0u);
  array->replaceEntryAtIndex(1, &buffer);
  array->deleteEntryAtIndex(1);
  EXPECT_EQ(capture.assertMessages().size(), 5);
  EXPECT_TRUE(capture.assertMessages().filter(QStringLiteral("index >= usedCount")).size() == 5);
  EXPECT_EQ(array->stringAndEntry(&buffer, 0), QStringLiteral("one"));
}

TEST(FLArrayString, CopyHoldsItsOwnStrings) {
  auto array = Names({"alpha", QString(), "gamma"});
  auto copy = array->copy();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->allocatedCount(), array->allocatedCount());
  uint32_t value = 42;
  array->replaceEntry(&value, QStringLiteral("changed"), 0);
  array->deleteAllEntries();
  array.reset();
  EXPECT_EQ(Strings(*copy), (QStringList{"alpha", "<none>", "gamma"}));
  EXPECT_EQ(Values(*copy), (std::vector<uint32_t>{0, 1, 2}));
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

TEST(FLArrayString, DefaultSortIsByStringIgnoringCase) {
  const QStringList original{"delta", "Alpha", QString(), "charlie", "BRAVO", "alpha"};
  auto array = Names(original);
  array->sortStringEntriesWithContext(nullptr, nullptr);
  const QStringList strings = Strings(*array);
  EXPECT_EQ(strings.mid(0, 1), QStringList{"<none>"});
  EXPECT_EQ(strings.mid(3), (QStringList{"BRAVO", "charlie", "delta"}));
  EXPECT_EQ(strings.mid(1, 2).join(QLatin1Char(',')).toLower(), QStringLiteral("alpha,alpha"));
  // Each record's data still belongs to its string.
  for (uint64_t i = 0; i < array->count(); ++i)
    EXPECT_EQ(array->stringAtIndex(i), original[*static_cast<uint32_t*>(array->entryAtIndex(i))]);
}

TEST(FLArrayString, SortBlockSeesStringsDataAndContext) {
  auto array = Names({"a", "b", "c", "d"});
  int context = 0;
  // By the data, descending.
  array->sortStringEntriesWithContext(&context, [](const QString& stringA, const void* dataA, const QString&,
                                                   const void* dataB, void* c) {
    ++*static_cast<int*>(c);
    EXPECT_FALSE(stringA.isNull());
    return *static_cast<const uint32_t*>(dataA) < *static_cast<const uint32_t*>(dataB) ? 1 : -1;
  });
  EXPECT_GT(context, 0);
  EXPECT_EQ(Strings(*array), (QStringList{"d", "c", "b", "a"}));

  auto keysOnly = FLArrayString::withEntrySize(0);
  keysOnly->addEntry(nullptr, QStringLiteral("q"));
  keysOnly->addEntry(nullptr, QString());
  keysOnly->sortStringEntriesWithContext(nullptr, [](const QString& a, const void* dataA, const QString& b,
                                                     const void* dataB, void*) {
    EXPECT_EQ(dataA, nullptr);
    EXPECT_EQ(dataB, nullptr);
    EXPECT_TRUE(a.isEmpty() || b.isEmpty()) << "the record without a string is given the empty string";
    return QString::compare(a, b) > 0 ? 1 : -1;
  });
  EXPECT_EQ(Strings(*keysOnly), (QStringList{"<none>", "q"}));
  EXPECT_EQ(keysOnly->entryAtIndex(0), nullptr);
}

TEST(FLArrayString, EnumerationGivesStringsAndData) {
  auto array = Names({"a", QString(), "c"});
  QStringList seen;
  array->enumerateEntriesAndStringsUsingBlock([&](const QString& string, void* data, uint64_t index, bool& stop) {
    EXPECT_EQ(*static_cast<uint32_t*>(data), index);
    seen << (string.isNull() ? QStringLiteral("<none>") : string);
    stop = index == 1;
  });
  EXPECT_EQ(seen, (QStringList{"a", "<none>"}));
}

TEST(FLArrayString, BaseOperationsThatWouldSplitStringsFromRecordsAreRefused) {
  auto array = Names({"b", "a"});
  FLArray& base = *array;
  LogCapture capture;
  base.setCount(0);
  base.sortEntriesWithContext(nullptr, [](const void*, const void*, void*) { return 1; });
  bool called = false;
  base.enumerateEntriesUsingBlock([&](void*, uint64_t, bool&) { called = true; });
  EXPECT_FALSE(called);
  EXPECT_EQ(Strings(*array), (QStringList{"b", "a"}));
  EXPECT_EQ(capture.assertMessages(), (QStringList{"Not legal for string arrays", "Don't do this on string arrays", ""}));
  // Records added through the base class carry no string.
  uint32_t value = 3;
  EXPECT_EQ(base.addEntry(&value), 2u);
  EXPECT_TRUE(base.insertEntry(&value, 0));
  EXPECT_EQ(Strings(*array), (QStringList{"<none>", "b", "a", "<none>"}));
}

}  // namespace
