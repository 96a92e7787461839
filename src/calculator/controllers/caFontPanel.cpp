#include "calculator/controllers/caFontPanel.h"

#include "calculator/model/CADocument.h"

#include <QFontDatabase>
#include <QFontDialog>
#include <QRawFont>
#include <QSignalBlocker>

#include <array>

namespace {

// A face's stretch as the face itself declares it (the width class of its OS/2 table). The font
// database gives faces without their stretch, so a condensed face would pass for a normal one.
int FaceStretch(const QFont& face) {
  static constexpr std::array<int, 9> kWidthClasses = {QFont::UltraCondensed, QFont::ExtraCondensed,
                                                       QFont::Condensed,      QFont::SemiCondensed,
                                                       QFont::Unstretched,    QFont::SemiExpanded,
                                                       QFont::Expanded,       QFont::ExtraExpanded,
                                                       QFont::UltraExpanded};
  const QByteArray table = QRawFont::fromFont(face).fontTable("OS/2");
  if (table.size() >= 8) {
    const int widthClass = (uchar(table[6]) << 8) | uchar(table[7]);
    if (widthClass >= 1 && widthClass <= 9) return kWidthClasses[size_t(widthClass - 1)];
  }
  return face.stretch() == QFont::AnyStretch ? int(QFont::Unstretched) : face.stretch();
}

}  // namespace

void ShowFontInPanel(QFontDialog* panel, QFont font, QFont* shown) {
  const QString family = font.family();
  const int stretch = font.stretch() == QFont::AnyStretch ? int(QFont::Unstretched) : font.stretch();
  QString exact;
  QString regular;
  for (const QString& style : QFontDatabase::styles(family)) {
    const QFont face = QFontDatabase::font(family, style, 12);
    const int faceStretch = FaceStretch(face);
    if (exact.isEmpty() && face.italic() == font.italic() && face.weight() == font.weight() && faceStretch == stretch)
      exact = style;
    if (regular.isEmpty() && !face.italic() && face.weight() == QFont::Normal && faceStretch == QFont::Unstretched)
      regular = style;
  }
  const QString style = exact.isEmpty() ? regular : exact;
  if (!style.isEmpty()) font.setStyleName(style);
  {
    const QSignalBlocker block(panel);
    panel->setCurrentFont(font);
  }
  *shown = panel->currentFont();
}

QFont FontFromPanelChoice(const QFont& current, const QFont& chosen, const QFont& shown, bool* familyChanged) {
  QFont font = current;
  *familyChanged = chosen.family() != shown.family();
  if (*familyChanged) font.setFamily(chosen.family());
  // A new family fills the style list afresh and picks an entry the user did not choose: the
  // style stays as it was, and the panel shows it in the new family.
  if (!*familyChanged && (chosen.weight() != shown.weight() || chosen.italic() != shown.italic())) {
    font.setWeight(chosen.weight());
    font.setItalic(chosen.italic());
  }
  if (chosen.pointSizeF() > 0 && chosen.pointSizeF() != shown.pointSizeF()) font.setPointSizeF(chosen.pointSizeF());
  if (chosen.underline() != shown.underline()) font.setUnderline(chosen.underline());
  if (chosen.strikeOut() != shown.strikeOut()) font.setStrikeOut(chosen.strikeOut());
  font.setStyleName(QString());
  return font;
}

void RelayLongTextForFont(CADocument& document) {
  document.bumpSuppressRedraws(true);
  document.invalidateAllLongText();
  document.layOutLongText();
  document.bumpSuppressRedraws(false);
}
