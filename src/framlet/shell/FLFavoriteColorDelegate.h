// What a colour control's owner (a formatting pane) tells the favourite-colour pull-down.
#pragma once

#include "framlet/foundation/Kolor.h"

class QToolButton;

class FLFavoriteColorDelegate {
 public:
  virtual ~FLFavoriteColorDelegate() = default;
  // The colour the control now shows.
  virtual Kolor kolorForPopup(QToolButton* popup) = 0;
  // The colour that "Default" stands for.
  virtual Kolor defaultKolorForPopup(QToolButton* popup) = 0;
  // The user chose a colour.
  virtual void changeKolor(Kolor kolor, QToolButton* popup) = 0;
};
