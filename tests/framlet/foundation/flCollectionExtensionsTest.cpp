// The framework's collection, URL and file conveniences.
#include "framlet/foundation/flCollectionExtensions.h"

#include "framlet/foundation/FLArray.h"

#include "support/LogCapture.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(CollectionExtensions, SortedStringSearchGivesTheInsertionPoint) {
  const QStringList fruit = {"apple", "Banana", "cherry"};
  const struct { const char* find; bool found; uint64_t index; } cases[] = {
      {"banana", true, 1}, {"APPLE", true, 0}, {"Cherry", true, 2},
      {"blueberry", false, 2}, {"aardvark", false, 0}, {"zucchini", false, 3},
  };
  for (const auto& c : cases) {
    uint64_t index = 99;
    EXPECT_EQ(isStringInSortedArray(fruit, c.find, &index), c.found) << c.find;
    EXPECT_EQ(index, c.index) << c.find;
  }
  uint64_t index = 99;
  EXPECT_FALSE(isStringInSortedArray({}, "x", &index));
  EXPECT_EQ(index, 0u);
}

TEST(CollectionExtensions, IndexSetArchives) {
  IndexSet set;
  for (uint64_t i : {1u, 2u, 3u, 7u, 9u, 10u}) set.addIndex(i);
  EXPECT_EQ(archive(set), "1-3 7 9-10");
  EXPECT_EQ(indexSetWithArchive("1-3 7 9-10"), set);
  EXPECT_EQ(archive(IndexSet()), "");
  EXPECT_TRUE(indexSetWithArchive("").isEmpty());

  const struct { const char* text; const char* archived; } cases[] = {
      {"5", "5"},
      {"0-2000000000", "0-2000000000"},  // one run, not two billion entries
      {"3-1 4", "4"},                    // a reversed run holds nothing
      {"1  2", "1-2"}, {"x7y", "7"}, {"-5 8", "8"},
      {"99999999999999999999999 6", "6"},  // too large for an index: dropped
      {"9 7 3-5 1", "1 3-5 7 9"}, {"8-9 2-7 1", "1-9"},  // any order gives the same runs
      {"4-6 1-10 3", "1-10"},
  };
  for (const auto& c : cases) EXPECT_EQ(archive(indexSetWithArchive(c.text)), c.archived) << c.text;
}

TEST(CollectionExtensions, RemoveItemTakesFoldersButNotLinkTargets) {
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  const QString folder = scratch.filePath("folder");
  ASSERT_TRUE(QDir().mkpath(folder + "/inner"));
  ASSERT_TRUE(WriteFileBytes(folder + "/inner/a.txt"));
  const QString link = scratch.filePath("link");
  ASSERT_TRUE(QFile::link(folder, link));

  removeItemAtPath(link);
  EXPECT_FALSE(QFileInfo(link).isSymLink());
  EXPECT_TRUE(QFile::exists(folder + "/inner/a.txt"));
  removeItemAtPath(folder);
  EXPECT_FALSE(QFile::exists(folder));
  removeItemAtPath(folder);  // already gone: nothing happens
  removeItemAtPath(QString());
}

}  // namespace
