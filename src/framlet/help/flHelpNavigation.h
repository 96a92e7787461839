// What the help window knows without a widget: the outline of topics made from the help
// document's chapter names, the back-and-forward history, the zoom steps and the quick search's
// translation of caret codes into a find of the text engine.
#pragma once

#include "framlet/foundation/flHelpHook.h"
#include "glimmet/storage/gmTypes.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// One chapter of the help. Level 0 is a topic, level 1 (one leading tab) a sub-topic and level 2
// (two tabs) a third-level entry; each lists the entries under it. A chapter whose parent is
// missing stays reachable by index but out of the outline.
struct FLHelpTopic {
  QString name;  // without its leading tabs
  int level = 0;
  int64_t index = 0;
  FLHelpTopic* parent = nullptr;
  std::vector<FLHelpTopic*> topics;
  bool expandable() const { return level < 2 && !topics.empty(); }
};

class FLHelpTopicTree {
 public:
  void build(const QStringList& chapterNames);
  const std::vector<FLHelpTopic*>& topics() const { return topics_; }
  int64_t chapterCount() const { return int64_t(chapterMap_.size()); }
  // The entry of a chapter (the chapter map), nullptr outside it.
  FLHelpTopic* chapter(int64_t index) const;
  // Whether the entry hangs in the outline.
  static bool inOutline(const FLHelpTopic* topic);
  // The records to expand so that the chapter's row shows: the nearest topic before it, and the
  // nearest record of any level when that is another one.
  std::vector<FLHelpTopic*> recordsToExpandFor(int64_t index) const;

 private:
  std::vector<std::unique_ptr<FLHelpTopic>> chapterMap_;
  std::vector<FLHelpTopic*> topics_;
};

// A place visited: a document and a selection in it.
struct FLHelpPlace {
  const void* doc = nullptr;
  uint32_t first = 0;
  uint32_t limit = 0;
  bool operator==(const FLHelpPlace&) const = default;
};

class FLHelpHistory {
 public:
  FLHelpHistory() { places_.reserve(100); }
  // Drops the places after the current one and appends this one.
  void record(const FLHelpPlace& place);
  int64_t position() const { return position_; }
  int64_t count() const { return int64_t(places_.size()); }
  bool canGoBack() const { return position_ >= 1; }
  bool canGoForward() const { return position_ + 1 < count(); }
  // Moves and answers the place; nothing when there is none that way.
  std::optional<FLHelpPlace> back();
  std::optional<FLHelpPlace> forward();

 private:
  std::vector<FLHelpPlace> places_;
  int64_t position_ = -1;
};

// The next zoom step in or out from zoom, or nothing when none applies.
std::optional<double> FLHelpZoomIn(double zoom);
std::optional<double> FLHelpZoomOut(double zoom);
int FLHelpZoomPercent(double zoom);

// Find types of the text engine that the help's search sets.
inline constexpr int kFLHelpFindNone = 0;
inline constexpr int kFLHelpFindText = 10;
struct FLHelpFind {
  QString findString;
  int findType = kFLHelpFindNone;
};
// The search field's text as a find: caret codes translated; one special code alone finds its
// kind of object; a text keeps at most 255 characters.
FLHelpFind FLHelpQuickSearch(const QString& text);
// The reverse: special characters shown as their caret codes.
QString FLHelpCaretCodedString(const QString& text);

// Find option bits.
inline constexpr uint64_t kFLHelpWholeWords = 1, kFLHelpIgnoreCase = 2, kFLHelpWrap = 4, kFLHelpFromStart = 8;

// Where the sentence that begins at cp ends: after its full stop, question or exclamation mark, or
// at its paragraph's end.
uint32_t FLHelpSentenceLimit(GlimmetDoc* doc, uint32_t cp);
// The first cp of a chapter's text (behind its chapter knot), and the chapter that holds cp.
uint32_t FLHelpChapterBodyStart(GlimmetDoc* doc, uint32_t chapter);
uint32_t FLHelpChapterLimit(GlimmetDoc* doc, uint32_t chapter);
uint32_t FLHelpChapterOfCp(GlimmetDoc* doc, uint32_t cp);
