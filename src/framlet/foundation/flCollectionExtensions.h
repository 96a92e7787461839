// Small conveniences the framework adds to lists, dictionaries, user defaults, index sets, URLs,
// the application's resources, files and panels. The sorted-string search, the index-set
// archive and the canonical path carry decisions of their own; the rest are one-liners.
#pragma once

#include "framlet/foundation/FLImage.h"
#include "platform/IndexSet.h"
#include "platform/UserDefaults.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <cstdint>
#include <memory>

class QFileDialog;
class QLineEdit;

// Lists --------------------------------------------------------------------------------------

// Makes room for `more` items after the list's last, so that appending them takes no memory. Where
// the list must grow it grows at least twofold: a list appended to in many small batches, each
// making room for its own, would otherwise be copied whole at every batch.
template <typename List>
void ReserveForMore(List& list, size_t more) {
  using Size = decltype(list.capacity());
  const size_t needed = size_t(list.size()) + more;
  const size_t capacity = size_t(list.capacity());
  if (needed <= capacity) return;
  list.reserve(Size(std::max(needed, capacity * 2)));
}

// Sorts a list read in any order by the key of its items, once, and of several items with one
// key keeps the last read: appending and sorting stays fast for input in reverse order, where
// inserting in place would not.
template <typename List, typename Key>
void SortKeepingLast(List& list, Key key) {
  // Lists read from files are mostly in order already: then there is nothing to do.
  const auto notBefore = [&](const auto& a, const auto& b) { return !(key(a) < key(b)); };
  if (std::adjacent_find(list.begin(), list.end(), notBefore) == list.end()) return;
  std::stable_sort(list.begin(), list.end(), [&](const auto& a, const auto& b) { return key(a) < key(b); });
  size_t kept = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i + 1 < list.size() && key(list[i]) == key(list[i + 1])) continue;
    if (kept != i) list[kept] = std::move(list[i]);
    ++kept;
  }
  list.erase(list.begin() + kept, list.end());
}

// The same for a list of pointers, by the key of what they point at.
template <typename List, typename Key>
void SortByKeyKeepingLast(List& list, Key key) {
  SortKeepingLast(list, [&](const auto& item) { return key(*item); });
}

// Binary search of strings sorted without regard to case: whether the string is there, and its
// index, or the index where it would be inserted.
bool isStringInSortedArray(const QStringList& array, const QString& string, uint64_t* index = nullptr);
// The first element equal to the string without regard to case; FLNotFound for an empty string.
uint64_t indexOfString(const QStringList& array, const QString& string);
bool containsString(const QStringList& array, const QString& string);
// The element's integer value (a text's leading integer); 0 past the end, after an assertion.
int64_t integerAtIndex(const QVariantList& array, uint64_t index);

// Dictionaries and defaults: a missing key gives false, true, 0 and 0 respectively -------------

bool boolForKey(const QVariantMap& dictionary, const QString& key);
bool defaultYesBoolForKey(const QVariantMap& dictionary, const QString& key);
float floatForKey(const QVariantMap& dictionary, const QString& key);
int64_t integerForKey(const QVariantMap& dictionary, const QString& key);
// The stored bool; true when the key has no value.
bool defaultYesBoolForKey(const UserDefaults& defaults, const QString& key);

// Index sets ---------------------------------------------------------------------------------

// "1-3 7 9-10": each run as its first and last index, a single index alone; "" for no index.
QString archive(const IndexSet& set);
// Reads an archive back; text that is not digits, "-" or blanks is skipped.
IndexSet indexSetWithArchive(const QString& archive);

// URLs -----------------------------------------------------------------------------------------

// A path that names the same place however the file was reached: for a file URL its path less a
// final "/"; for other URLs the URL's path.
QString canonicalPath(const QUrl& url);
bool isCanonicallyEqual(const QUrl& url, const QUrl& other);

// Resources, files and panels ----------------------------------------------------------------

// The application resource ":/<name>.<type>" as an image; nullptr, after an assertion, when it
// is missing ("Image not found") or unreadable ("Image can't be loaded").
std::unique_ptr<FLImage> loadImage(const QString& name, const QString& type);
// The application's display name.
QString appName();
// Removes a file, or a folder with everything in it (a link itself, never its target); errors
// are ignored.
void removeItemAtPath(const QString& path);
// Points the dialog at the folder, or at the folder holding the file; nothing for a missing path.
void jumpToFolder(QFileDialog& dialog, const QString& path);
// Sets the field's text, a null string shown as empty.
void setString(QLineEdit& field, const QString& string);
// Opens the folder that holds the file in the desktop's file manager; false for an empty or
// missing path or when nothing could open it.
bool showInFinder(const QString& path);
