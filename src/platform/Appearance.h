// Light or dark appearance and the accent colour, judged from the application's palette, which
// the desktop's theme sets; palette changes are watched so the program can redraw in the new look.
#pragma once

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPalette>

// Posted with no object after the appearance changes between light and dark.
inline constexpr const char* kDarkModeNotification = "orvandel.darkMode";

class Appearance : public QObject {
  Q_OBJECT

 public:
  // Made on first use; watches the application object when there is a GUI application.
  static Appearance& sharedInstance();

  // Dark when the window colour's lightness is below one half.
  static bool IsDarkPalette(const QPalette& palette);

  bool isDark() const { return dark_; }
  // The highlight colour of the application palette: the desktop's accent.
  QColor accentColor() const;

 signals:
  // Once per change between light and dark, after isDark() has taken the new value.
  void darkModeChanged(bool dark);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Appearance();
  void paletteChanged();

  bool dark_ = false;
};

// A template image drawn in the given colour: every pixel takes the colour, keeping its own
// coverage (alpha), as the desktop tints monochrome tool images to suit light and dark.
QImage TintedTemplateImage(const QImage& image, const QColor& color);
