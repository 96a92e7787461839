// The framework's collection, URL and file conveniences.
#include "framlet/foundation/flCollectionExtensions.h"

#include "framlet/foundation/FLArray.h"

#include "support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(CollectionExtensions, SortedStringSearchGivesTheInsertionPoint) {
  const QStringList fruit = {"apple", "Banana", "cherry"};
  const struct {
    const char* find;
    bool found;
    uint64_t index;
  } cases[] = {
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

TEST(CollectionExtensions, StringMembershipIgnoresCase) {
  const QStringList names = {"Sum", "Average", "sum"};
  EXPECT_EQ(indexOfString(names, "SUM"), 0u);
  EXPECT_EQ(indexOfString(names, "average"), 1u);
  EXPECT_EQ(indexOfString(names, ""), FLNotFound);
  EXPECT_EQ(indexOfString(QStringList(), "x"), FLNotFound);
  EXPECT_TRUE(containsString(names, "aVeRaGe"));
  EXPECT_FALSE(containsString(names, "Count"));
}

TEST(CollectionExtensions, ValuesOfDictionariesAndLists) {
  const QVariantMap dictionary = {
      {"yes", true}, {"no", false}, {"textYes", "YES"}, {"textNo", "NO"}, {"one", 1},
      {"count", "42 rows"}, {"real", 2.75}, {"ratio", " -1.5e2x"}, {"huge", 1e300},
  };
  const struct {
    const char* key;
    bool boolean, defaultYes;
    int64_t integer;
    float real;
  } cases[] = {
      {"yes", true, true, 1, 1.0f},       {"no", false, false, 0, 0.0f},
      {"textYes", true, true, 0, 0.0f},   {"textNo", false, false, 0, 0.0f},
      {"one", true, true, 1, 1.0f},       {"count", true, true, 42, 42.0f},
      {"real", true, true, 2, 2.75f},     {"ratio", true, true, -1, -150.0f},
      {"huge", true, true, 0, float(1e300)}, {"missing", false, true, 0, 0.0f},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(boolForKey(dictionary, c.key), c.boolean) << c.key;
    EXPECT_EQ(defaultYesBoolForKey(dictionary, c.key), c.defaultYes) << c.key;
    EXPECT_EQ(integerForKey(dictionary, c.key), c.integer) << c.key;
    EXPECT_EQ(floatForKey(dictionary, c.key), c.real) << c.key;
  }
  const QVariantList list = {7, "12", 3.9};
  EXPECT_EQ(integerAtIndex(list, 0), 7);
  EXPECT_EQ(integerAtIndex(list, 1), 12);
  EXPECT_EQ(integerAtIndex(list, 2), 3);
  LogCapture log;
  EXPECT_EQ(integerAtIndex(list, 3), 0);
  EXPECT_TRUE(log.contains("Index beyond end of array"));
}

TEST(CollectionExtensions, UserDefaultsMissingBoolIsYes) {
  UserDefaults defaults("com.orvandel.test.collections");
  defaults.removeObjectForKey("flag");
  EXPECT_TRUE(defaultYesBoolForKey(defaults, "flag"));
  defaults.setBool(false, "flag");
  EXPECT_FALSE(defaultYesBoolForKey(defaults, "flag"));
  defaults.setBool(true, "flag");
  EXPECT_TRUE(defaultYesBoolForKey(defaults, "flag"));
  defaults.removeObjectForKey("flag");
}

TEST(CollectionExtensions, IndexSetArchives) {
  IndexSet set;
  for (uint64_t i : {1u, 2u, 3u, 7u, 9u, 10u}) set.addIndex(i);
  EXPECT_EQ(archive(set), "1-3 7 9-10");
  EXPECT_EQ(indexSetWithArchive("1-3 7 9-10"), set);
  EXPECT_EQ(archive(IndexSet()), "");
  EXPECT_TRUE(indexSetWithArchive("").isEmpty());

  const struct {
    const char* text;
    const char* archived;
  } cases[] = {
      {"5", "5"},
      {"0-2000000000", "0-2000000000"},  // one run, not two billion entries
      {"3-1 4", "4"},                    // a reversed run holds nothing
      {"1  2", "1-2"},
      {"x7y", "7"},
      {"-5 8", "8"},
      {"99999999999999999999999 6", "6"},  // too large for an index: dropped
  };
  for (const auto& c : cases) EXPECT_EQ(archive(indexSetWithArchive(c.text)), c.archived) << c.text;
}

TEST(CollectionExtensions, CanonicalPaths) {
  EXPECT_EQ(canonicalPath(QUrl::fromLocalFile("/home/u/x")), "/home/u/x");
  EXPECT_EQ(canonicalPath(QUrl::fromLocalFile("/media/Disk/x/")), "/media/Disk/x");
  EXPECT_EQ(canonicalPath(QUrl::fromLocalFile("/")), "/");
  EXPECT_EQ(canonicalPath(QUrl("https://example.org/a/b/")), "/a/b/");
  EXPECT_TRUE(isCanonicallyEqual(QUrl::fromLocalFile("/a/b/"), QUrl::fromLocalFile("/a/b")));
  EXPECT_FALSE(isCanonicallyEqual(QUrl::fromLocalFile("/a/b"), QUrl::fromLocalFile("/a/c")));
  EXPECT_TRUE(isCanonicallyEqual(QUrl(), QUrl()));
}

TEST(CollectionExtensions, RemoveItemTakesFoldersButNotLinkTargets) {
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  const QString folder = scratch.filePath("folder");
  ASSERT_TRUE(QDir().mkpath(folder + "/inner"));
  QFile file(folder + "/inner/a.txt");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
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

TEST(CollectionExtensions, PanelsAndFields) {
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  QFile file(scratch.filePath("a.csv"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  QFileDialog dialog;
  jumpToFolder(dialog, scratch.filePath("a.csv"));
  EXPECT_EQ(dialog.directory().absolutePath(), QDir(scratch.path()).absolutePath());
  jumpToFolder(dialog, "/no/such/place");
  EXPECT_EQ(dialog.directory().absolutePath(), QDir(scratch.path()).absolutePath());

  QLineEdit field;
  setString(field, "x");
  EXPECT_EQ(field.text(), "x");
  setString(field, QString());
  EXPECT_EQ(field.text(), "");

  EXPECT_FALSE(showInFinder(QString()));
  EXPECT_FALSE(showInFinder(scratch.filePath("missing.csv")));
}

TEST(CollectionExtensions, MissingResourceImageAsserts) {
  LogCapture log;
  EXPECT_EQ(loadImage("NoSuchImage", "png"), nullptr);
  EXPECT_TRUE(log.contains("Image not found"));
}

}  // namespace
