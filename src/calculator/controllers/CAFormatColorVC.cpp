#include "calculator/controllers/CAFormatColorVC.h"

#include "calculator/controllers/CAColorWell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/caUndoArchives.h"

#include <QGridLayout>

QWidget* CAFormatColorVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Color"));
  auto* grid = new QGridLayout(view);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(4);
  const CAColorRow text = AddColorRow(grid, 0, QStringLiteral("Text"), QStringLiteral("textColorSwatch"), this);
  const CAColorRow back =
      AddColorRow(grid, 1, QStringLiteral("Background"), QStringLiteral("backgroundColorSwatch"), this);
  textColorSwatch_ = text.well;
  textFavorites_ = text.favorites;
  backgroundColorSwatch_ = back.well;
  backgroundFavorites_ = back.favorites;
  for (CAColorWell* well : {textColorSwatch_, backgroundColorSwatch_}) {
    well->setDocumentSource([this] { return document(); });
    connect(well, &CAColorWell::colorChosen, this, [this, well] { setKolor(well->kolor(), well == textColorSwatch_); });
    connect(well, &CAColorWell::noColorChosen, this, &CAFormatColorVC::noColor);
  }
  view->resize(view->sizeHint());
  return view;
}

void CAFormatColorVC::showKolor(CAColorWell* well, Kolor kolor) {
  CADocument* target = document();
  if (target) target->suppressColorChange(true);
  well->setKolor(kolor);
  if (target) target->suppressColorChange(false);
}

void CAFormatColorVC::selectionChanged() {
  if (!document() || !textColorSwatch_) return;
  const CAFormat* format = document()->formatForDomain(formatDomain());
  blockChanges_ = false;
  undoID_ = kFLNoUndoID;
  const auto shown = [format](uint64_t mask, Kolor kolor) {
    return format && format->hasPropertyForMask(mask) ? kolor : kNoKolor;
  };
  showKolor(textColorSwatch_, shown(kFormatTextColor, format ? format->textKolor() : kNoKolor));
  showKolor(backgroundColorSwatch_, shown(kFormatBackground, format ? format->backgroundKolor() : kNoKolor));
}

void CAFormatColorVC::setKolor(Kolor kolor, bool forText) {
  CADocument* target = document();
  if (blockChanges_ || !target || !windowController() || target->isLocked() || target->colorChangeBlock() != 0) return;
  // A fully transparent colour from the panel counts as none.
  if (!KolorIsColor(kolor)) kolor = kNoKolor;
  const int32_t domain = formatDomain();
  const GridRange range = target->selectionAdaptedToDomain(domain);
  const bool isColor = KolorIsColor(kolor);
  if (!recordFormatStep(&undoID_, kUndoColor, range, domain, isColor)) return;
  // No colour creates no rows, columns or cells.
  for (CAFormat* format : target->formatsInRange(range, domain, isColor)) {
    if (forText)
      format->setTextKolor(kolor);
    else
      format->setBackgroundKolor(kolor);
  }
  redrawSelection();
  if (isColor) CAColorWell::uncheckNoColorButton();
}

void CAFormatColorVC::noColor() {
  if (blockChanges_) return;
  CAColorWell* well = CAColorWell::activeColorWell(view());
  if (!well) return;
  setKolor(kNoKolor, well != backgroundColorSwatch_);
  blockChanges_ = true;
  showKolor(well, kNoKolor);
  blockChanges_ = false;
}

Kolor CAFormatColorVC::kolorForPopup(QToolButton* popup) {
  const CAFormat* format = document() ? document()->formatForDomain(formatDomain()) : nullptr;
  const bool text = popup == textFavorites_;
  if (!format || !format->hasPropertyForMask(text ? kFormatTextColor : kFormatBackground)) return kNoKolor;
  return text ? format->textKolor() : format->backgroundKolor();
}

Kolor CAFormatColorVC::defaultKolorForPopup(QToolButton* popup) {
  return popup == textFavorites_ ? g_blackKolor : kNoKolor;
}

void CAFormatColorVC::changeKolor(Kolor kolor, QToolButton* popup) {
  const bool text = popup == textFavorites_;
  setKolor(kolor, text);
  showKolor(text ? textColorSwatch_ : backgroundColorSwatch_, KolorIsColor(kolor) ? kolor : kNoKolor);
}
