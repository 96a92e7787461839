// A colour control of the format panes: shows a Kolor, and a click opens the shared colour panel
// for it. The panel acts on one well at a time, the active one; its "Default color (or no color)"
// box asks the active well's owner for no colour.
#pragma once

#include "framlet/foundation/Kolor.h"

#include <QToolButton>

#include <functional>

class CADocument;

class CAColorWell : public QToolButton {
  Q_OBJECT

 public:
  explicit CAColorWell(QWidget* parent = nullptr);

  Kolor kolor() const { return kolor_; }
  // Shows the colour; sends nothing.
  void setKolor(Kolor kolor);
  // The document whose colour reactions pause while the panel takes the well's colour.
  void setDocumentSource(std::function<CADocument*()> source) { documentSource_ = std::move(source); }
  // Opens the shared panel on this well's colour and makes the well the active one.
  void activate();
  // The panel no longer acts on this well.
  void deactivate();

  // The well the panel acts on, when it lies inside the view; else null.
  static CAColorWell* activeColorWell(const QWidget* view);
  // Clears the panel's no-colour box, once a real colour was chosen.
  static void uncheckNoColorButton();

  // The same panel acting on something other than a well (a window's text colour, the labels'
  // colour): it shows `current` (black when none), and each colour picked goes to `chosen`, the
  // no-colour box to `noColor`. Opening it changes nothing; no well is active meanwhile.
  static void showPanelFor(QWidget* window, Kolor current, std::function<void(Kolor)> chosen,
                           std::function<void()> noColor);
  static bool panelVisible();
  // The panel's window once it was made; null before.
  static QWidget* panelWindow();
  // Closes the panel (Escape does too); nothing changes.
  static void closePanel();
  // Closes the panel when it acts for that document window (one of its wells, or the window
  // itself), and lets go of what it acted on there.
  static void closePanelOver(const QWidget* window);

 signals:
  // The panel's colour reached the well (the well's action).
  void colorChosen();
  // The panel's no-colour box was checked while the well was active.
  void noColorChosen();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  Kolor kolor_ = kNoKolor;
  std::function<CADocument*()> documentSource_;
};

class FLFavoriteColorDelegate;
class QGridLayout;

// One labelled row of a format pane: a colour well and its favourite-colours pull-down, whose
// manager belongs to the pull-down and asks the delegate.
struct CAColorRow {
  CAColorWell* well = nullptr;
  QToolButton* favorites = nullptr;
};
CAColorRow AddColorRow(QGridLayout* grid, int row, const QString& label, const QString& name,
                       FLFavoriteColorDelegate* delegate);
