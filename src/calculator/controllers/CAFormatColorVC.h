// The colour pane of the format panel: the text and background colours of the formats of the
// panel's domain, each from a colour well or its favourite-colours pull-down.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"
#include "framlet/shell/FLFavoriteColorDelegate.h"
#include "framlet/shell/FLUndoManager.h"

#include <cstdint>

class CAColorWell;

class CAFormatColorVC : public CAFormatBaseVC, public FLFavoriteColorDelegate {
  Q_OBJECT

 public:
  explicit CAFormatColorVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}

  CAColorWell* textColorSwatch() const { return textColorSwatch_; }
  CAColorWell* backgroundColorSwatch() const { return backgroundColorSwatch_; }
  QToolButton* textFavorites() const { return textFavorites_; }
  QToolButton* backgroundFavorites() const { return backgroundFavorites_; }

  void selectionChanged() override;
  // The text (or background) colour of the domain's formats as one undoable step; no colour clears
  // it. Ignored while the pane shows a colour itself or the document blocks colours.
  void setKolor(Kolor kolor, bool forText);
  // The colour panel's no-colour box: clears the colour of the active well.
  void noColor();

  Kolor kolorForPopup(QToolButton* popup) override;
  Kolor defaultKolorForPopup(QToolButton* popup) override;
  void changeKolor(Kolor kolor, QToolButton* popup) override;

 protected:
  QWidget* loadView() override;

 private:
  // Shows the colour in the well without the document reacting to it.
  void showKolor(CAColorWell* well, Kolor kolor);

  CAColorWell* textColorSwatch_ = nullptr;
  CAColorWell* backgroundColorSwatch_ = nullptr;
  QToolButton* textFavorites_ = nullptr;
  QToolButton* backgroundFavorites_ = nullptr;
  uint32_t undoID_ = kFLNoUndoID;
  bool blockChanges_ = false;
};
