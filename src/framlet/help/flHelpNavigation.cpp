#include "framlet/help/flHelpNavigation.h"

#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmKnots.h"

#include <algorithm>
#include <array>
#include <cmath>

// ---- Topics

void FLHelpTopicTree::build(const QStringList& chapterNames) {
  chapterMap_.clear();
  topics_.clear();
  FLHelpTopic* levelZero = nullptr;
  FLHelpTopic* levelOne = nullptr;
  for (qsizetype i = 0; i < chapterNames.size(); ++i) {
    const QString& name = chapterNames[i];
    auto topic = std::make_unique<FLHelpTopic>();
    topic->index = int64_t(i);
    if (name.startsWith(QLatin1String("\t\t"))) {
      topic->level = 2;
      topic->name = name.mid(2);
      topic->parent = levelOne;
      if (levelOne) levelOne->topics.push_back(topic.get());
    } else if (name.startsWith(u'\t')) {
      topic->level = 1;
      topic->name = name.mid(1);
      topic->parent = levelZero;
      if (levelZero) levelZero->topics.push_back(topic.get());
      levelOne = topic.get();
    } else {
      topic->name = name;
      topics_.push_back(topic.get());
      levelZero = topic.get();
      levelOne = nullptr;
    }
    chapterMap_.push_back(std::move(topic));
  }
}

FLHelpTopic* FLHelpTopicTree::chapter(int64_t index) const {
  return index >= 0 && index < chapterCount() ? chapterMap_[size_t(index)].get() : nullptr;
}

bool FLHelpTopicTree::inOutline(const FLHelpTopic* topic) {
  while (topic && topic->level > 0) topic = topic->parent;
  return topic != nullptr;
}

std::vector<FLHelpTopic*> FLHelpTopicTree::recordsToExpandFor(int64_t index) const {
  std::vector<FLHelpTopic*> records;
  FLHelpTopic* top = nullptr;
  for (int64_t i = std::min(index, chapterCount() - 1); i >= 0 && !top; --i)
    if (chapterMap_[size_t(i)]->level == 0) top = chapterMap_[size_t(i)].get();
  if (top && top->expandable()) records.push_back(top);
  for (int64_t i = std::min(index, chapterCount() - 1); i >= 0; --i) {
    FLHelpTopic* record = chapterMap_[size_t(i)].get();
    if (record->level == 2) continue;
    if (record != top && record->expandable() && inOutline(record)) records.push_back(record);
    break;
  }
  return records;
}

// ---- History

void FLHelpHistory::record(const FLHelpPlace& place) {
  places_.resize(size_t(position_ + 1));
  places_.push_back(place);
  position_ = count() - 1;
}

std::optional<FLHelpPlace> FLHelpHistory::back() {
  if (!canGoBack()) return std::nullopt;
  return places_[size_t(--position_)];
}

std::optional<FLHelpPlace> FLHelpHistory::forward() {
  if (!canGoForward()) return std::nullopt;
  return places_[size_t(++position_)];
}

// ---- Zoom

namespace {

constexpr std::array<double, 10> kZoomSteps = {0.5, 0.75, 1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0, 4.0};

}  // namespace

std::optional<double> FLHelpZoomIn(double zoom) {
  const auto step = std::find_if(kZoomSteps.begin(), kZoomSteps.end(), [zoom](double s) { return zoom <= s; });
  if (step == kZoomSteps.end()) return 1.0;
  if (step + 1 == kZoomSteps.end()) return std::nullopt;
  return zoom == *step ? *(step + 1) : *step;
}

std::optional<double> FLHelpZoomOut(double zoom) {
  const auto step = std::find_if(kZoomSteps.begin(), kZoomSteps.end(), [zoom](double s) { return zoom <= s; });
  if (step == kZoomSteps.end()) return 1.0;
  if (step == kZoomSteps.begin()) return std::nullopt;
  return *(step - 1);
}

int FLHelpZoomPercent(double zoom) { return int(zoom * 100); }

// ---- Search strings

FLHelpFind FLHelpQuickSearch(const QString& text) {
  FLHelpFind find;
  find.findString = text;
  TranslateCodes(find.findString, true);
  static constexpr int kSpecialTypes[] = {8, 4, 6, 5, 11};  // ^g ^c ^d ^> ^v
  if (find.findString.size() == 1 && find.findString[0].unicode() >= 1 && find.findString[0].unicode() <= 5) {
    find.findType = kSpecialTypes[find.findString[0].unicode() - 1];
  } else if (!find.findString.isEmpty()) {
    find.findType = kFLHelpFindText;
    if (find.findString.size() >= 256) find.findString.truncate(255);
  }
  return find;
}

QString FLHelpCaretCodedString(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (QChar c : text) {
    switch (c.unicode()) {
      case 1: out += QLatin1String("^g"); break;
      case 2: out += QLatin1String("^c"); break;
      case 3: out += QLatin1String("^d"); break;
      case 4: out += QLatin1String("^>"); break;
      case 5: out += QLatin1String("^v"); break;
      case 9: out += QLatin1String("^t"); break;
      case 10: out += QLatin1String("^p"); break;
      case 11: out += QLatin1String("^m"); break;
      case 12: out += QLatin1String("^n"); break;
      case u'^': out += QLatin1String("^^"); break;
      case 0xAD: out += QLatin1String("^-"); break;
      case 0x2028: out += QLatin1String("^l"); break;
      default: out += c; break;
    }
  }
  return out;
}

// ---- The help text

uint32_t FLHelpSentenceLimit(GlimmetDoc* doc, uint32_t cp) {
  const uint32_t end = uint32_t(doc->totalLength);
  for (; cp < end; ++cp) {
    const char16_t c = doc->text.at(cp);
    if (IsBreakChar(c)) return cp;
    if ((c == u'.' || c == u'?' || c == u'!') && (cp + 1 >= end || doc->text.at(cp + 1) == u' ' ||
                                                   IsBreakChar(doc->text.at(cp + 1))))
      return cp + 1;
  }
  return end;
}

uint32_t FLHelpChapterBodyStart(GlimmetDoc* doc, uint32_t chapter) {
  if (chapter >= doc->chapterCps.count()) return uint32_t(doc->userLength);
  const uint32_t limit = KnotLimitCp(doc, doc->chapterCps.cpAt(chapter));
  return limit == kGMNone ? doc->chapterCps.cpAt(chapter) : limit;
}

uint32_t FLHelpChapterLimit(GlimmetDoc* doc, uint32_t chapter) {
  return chapter + 1 < doc->chapterCps.count() ? doc->chapterCps.cpAt(chapter + 1) : uint32_t(doc->totalLength);
}

uint32_t FLHelpChapterOfCp(GlimmetDoc* doc, uint32_t cp) {
  const uint32_t index = doc->chapterCps.indexOfCp(cp);
  return index == kGMNone ? 0 : index;
}
