// The help window's text view: the engine's draft view over one chapter of the help document,
// scrolling only vertically and zooming by scaling its bounds. Beside the view's own mouse and
// key handling it offers the window controller a selection, scroll position and zoom in cps.
#pragma once

#include "glimmet/layout/GMDraftView.h"
#include "glimmet/storage/gmTypes.h"

#include <QFont>

#include <cstdint>

class FLGlimmetHelpWC;

class FLGlimmetHelpView : public GMDraftView {
  Q_OBJECT

 public:
  explicit FLGlimmetHelpView(QWidget* parent = nullptr);

  FLGlimmetHelpWC* windowController() const { return windowController_; }
  void setWindowController(FLGlimmetHelpWC* controller) { windowController_ = controller; }

  // Shows the chapter from its start.
  void showChapter(uint32_t chapter);
  uint32_t chapter() const;
  // The cps the view shows: from the chapter's text to its end.
  uint32_t firstCp() const;
  uint32_t limitCp() const;

  void selectCps(uint32_t first, uint32_t limit);
  DocRange selectedCps() const;
  QString selectedPlainText() const;
  bool hasSelection() const;
  void showSelection();
  // The cp of the first line shown, and scrolling so that a cp's line comes first.
  uint32_t scrollCp() const;
  void setScrollCp(uint32_t cp);

  double zoom() const { return zoomValue(); }
  void setZoomValue(double zoom) override;
  void setHelpFont(const QFont& font);

 signals:
  void focused();

 protected:
  void becomeFirstResponder() override;

 private:
  Pane* pane() const;
  void trash();

  FLGlimmetHelpWC* windowController_ = nullptr;
};
