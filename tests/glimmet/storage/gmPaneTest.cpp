// The storage side's view of panes and the layout: text invalidation through the installed
// layout, deferral on the main thread only, and per-thread registered ranges.
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"
#include "StorageTestSupport.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

class RecordingLayout : public GMLayoutService {
 public:
  void InvalText(const DocRange& range, bool widen) override { invalidated.push_back({range, widen}); }
  int64_t DraftWidth(GlimmetDoc*, Pane*) override { return 12700 * 300; }
  void SetDefaultFont(GlimmetDoc*, uint8_t* body) override {
    const int16_t size = 40;
    std::memcpy(body + CharField::size, &size, sizeof size);
  }
  void AdjustPaneForEdit(GlimmetDoc*, Pane*, uint32_t first, uint32_t limit, int64_t delta) override {
    edits.push_back({first, limit, delta});
  }
  struct Edit { uint32_t first, limit; int64_t delta; };
  std::vector<std::pair<DocRange, bool>> invalidated;
  std::vector<Edit> edits;
};

class InstalledLayout {
 public:
  explicit InstalledLayout(GMLayoutService* layout) : previous_(SetLayoutService(layout)) {}
  ~InstalledLayout() { SetLayoutService(previous_); }

 private:
  GMLayoutService* previous_;
};

TEST(Panes, OnlyDisplayedDocumentsReachTheLayout) {
  RecordingLayout layout;
  InstalledLayout installed(&layout);
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc\ndef"));
  ASSERT_TRUE(InsertText(doc.get(), 15, QStringLiteral("x")));
  EXPECT_TRUE(layout.invalidated.empty());

  GMPaneView view;
  doc->owner = &view;
  doc->panes[0].view = &view;
  DocRange doomed{doc.get(), 16, 19};  // "c\nd": a paragraph mark goes
  ASSERT_TRUE(ReplaceRangeCore(&doomed, nullptr, nullptr, 0, false));
  ASSERT_FALSE(layout.invalidated.empty());
  EXPECT_EQ(layout.invalidated.front().first, (DocRange{doc.get(), 16, 19}));
  EXPECT_TRUE(layout.invalidated.front().second);
  ASSERT_EQ(layout.edits.size(), 1u);
  EXPECT_EQ(layout.edits[0].delta, -3);

  // Header tabs follow the draft's width in a shown pane.
  PropRecord para = DefaultProps(doc.get(), kPropPara);
  AddHeaderTabs(doc.get(), &doc->panes[0], para.body);
  EXPECT_EQ(para.get<uint32_t>(ParaField::tabs + 4), MakeTab(12700 * 300, 2));
  doc->owner = nullptr;
}

TEST(Panes, NewDocumentsTakeTheHostsDefaultFont) {
  RecordingLayout layout;
  InstalledLayout installed(&layout);
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  EXPECT_EQ(doc->props[doc->styles[0].second].get<int16_t>(CharField::size), 40);
}

TEST(Panes, DeferralIsIgnoredOffTheMainThread) {
  int count = -1;
  std::thread([&] {
    DeferDisplay();
    count = DeferStatus().count;
    UndeferDisplay(2);
  }).join();
  EXPECT_EQ(count, 0);
}

TEST(Panes, RangesRegisteredOnAnotherThreadAreNotAdjustedHere) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abcdef"));
  DocRange mine{doc.get(), 18, 19};
  GMRegisteredRange registered(&mine, 0);
  DocRange theirs{doc.get(), 18, 19};
  bool registeredThere = false;
  std::thread([&] {
    RegisterRange(&theirs, 0);
    registeredThere = IsRangeRegistered(&theirs);
    UnregisterRange(&theirs);
  }).join();
  EXPECT_TRUE(registeredThere);
  EXPECT_FALSE(IsRangeRegistered(&theirs));
  ASSERT_TRUE(InsertText(doc.get(), 15, QStringLiteral("xy")));
  EXPECT_EQ(mine, (DocRange{doc.get(), 20, 21}));
  EXPECT_EQ(theirs, (DocRange{doc.get(), 18, 19}));
}

TEST(Panes, EditsResetTheCheckStatesOfTheParagraphsTheyTouch) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("one\ntwo\nthree"));
  // States 5 from "two" on.
  doc->checkStates.insertSorted(kBody + 4, 5);
  doc->nonZeroCheckStates = 1;
  ASSERT_TRUE(InsertText(doc.get(), kBody + 9, QStringLiteral("x")));  // inside "three"
  auto stateAt = [&](uint32_t cp) { return doc->checkStates.at(doc->checkStates.indexOfCp(cp)); };
  EXPECT_EQ(stateAt(kBody + 1), 0);
  EXPECT_EQ(stateAt(kBody + 5), 5);   // "two" is untouched
  EXPECT_EQ(stateAt(kBody + 10), 0);  // the edited paragraph starts over
}

TEST(Panes, SelectionPropertiesComeFromTheTextOrTheTypingProperties) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc"));
  PropRecord bold = DefaultProps(doc.get(), kPropChar);
  bold.body[CharField::bold] = 1;
  bold.body[CharField::flag10] = 1;
  ASSERT_TRUE(ApplyPropsToRange({doc.get(), kBody, kBody + 1}, bold));
  Select(doc.get(), kBody, kBody + 2);
  Pane* pane = CurrentPane(doc.get());
  uint8_t body[56];
  FetchCharPropsFromSelection(doc.get(), body);
  EXPECT_EQ(body[CharField::bold], 1);
  EXPECT_EQ(body[CharField::flag10], 0);
  pane->selLimit = pane->selFirst;
  pane->insertionProps[CharField::italic] = 1;
  FetchCharPropsFromSelection(doc.get(), body);
  EXPECT_EQ(body[CharField::bold], 0);
  EXPECT_EQ(body[CharField::italic], 1);
}

}  // namespace
