// The help window's text pane: one chapter of an engine document shown read-only, with the
// document's character and paragraph formatting, scaled by the zoom and set in the help font.
// Positions in the pane map to the document's cps both ways, so that selections, the history
// and the search speak in cps.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QFont>
#include <QTextBrowser>

#include <cstdint>
#include <vector>

class FLHelpTextView : public QTextBrowser {
  Q_OBJECT

 public:
  explicit FLHelpTextView(QWidget* parent = nullptr);

  // Shows the chapter (doc nullptr: nothing).
  void showChapter(GlimmetDoc* doc, uint32_t chapter);
  GlimmetDoc* doc() const { return doc_; }
  uint32_t chapter() const { return chapter_; }
  // The cps the pane shows: from the chapter's text to its end.
  uint32_t firstCp() const { return cps_.empty() ? 0 : cps_.front(); }
  uint32_t limitCp() const { return limit_; }

  // The selection in cps; an empty one is the insertion point.
  void selectCps(uint32_t first, uint32_t limit);
  DocRange selectedCps() const;
  QString selectedPlainText() const;
  void showSelection();
  // The cp at the top of the pane, and scrolling so that a cp is there.
  uint32_t scrollCp() const;
  void setScrollCp(uint32_t cp);

  double zoom() const { return zoom_; }
  void setZoom(double zoom);
  // The family and size of the help's body text; other sizes keep their proportion to it.
  void setHelpFont(const QFont& font);

 signals:
  void focused();

 protected:
  void focusInEvent(QFocusEvent* event) override;

 private:
  void rebuild();
  int positionOfCp(uint32_t cp) const;
  uint32_t cpOfPosition(int position) const;

  GlimmetDoc* doc_ = nullptr;
  uint32_t chapter_ = 0;
  uint32_t limit_ = 0;
  std::vector<uint32_t> cps_;  // the cp of each position of the shown text
  double zoom_ = 1.0;
  QFont helpFont_;
  bool haveHelpFont_ = false;
};
