// What a segmented control asks of its owner: the tabs' contents, and the clicks on them.
#pragma once

#include <QVariantList>

#include <cstdint>

class FLToolbarSegments;

class FLToolbarSegmentsDelegate {
 public:
  virtual ~FLToolbarSegmentsDelegate() = default;
  // Each tab's content: a QString or a QImage.
  virtual QVariantList tabsForSegments(FLToolbarSegments* segments) = 0;
  virtual void tabWasSelected(int64_t index, FLToolbarSegments* segments) = 0;
  // Single selection: the selected tab was clicked again.
  virtual void sameTabWasSelected(int64_t /*index*/, FLToolbarSegments* /*segments*/) {}
};
