// Appearance from the application palette.
#include "platform/Appearance.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>

namespace {

QPalette ApplicationPalette() { return QGuiApplication::palette(); }

}  // namespace

Appearance& Appearance::sharedInstance() {
  // Never destroyed: the kernel keeps its connection for the process's life.
  static Appearance* appearance = new Appearance;
  return *appearance;
}

Appearance::Appearance() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  dark_ = IsDarkPalette(ApplicationPalette());
  // The application object receives ApplicationPaletteChange once per palette change, whether
  // the program set the palette or the desktop theme changed it.
  QCoreApplication::instance()->installEventFilter(this);
}

bool Appearance::IsDarkPalette(const QPalette& palette) {
  return palette.color(QPalette::Active, QPalette::Window).lightnessF() < 0.5;
}

QColor Appearance::accentColor() const {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return QColor();
  return ApplicationPalette().color(QPalette::Active, QPalette::Highlight);
}

bool Appearance::eventFilter(QObject* watched, QEvent* event) {
  if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationPaletteChange)
    paletteChanged();
  return QObject::eventFilter(watched, event);
}

void Appearance::paletteChanged() {
  bool dark = IsDarkPalette(ApplicationPalette());
  if (dark == dark_) return;
  dark_ = dark;
  emit darkModeChanged(dark);
}

QImage TintedTemplateImage(const QImage& image, const QColor& color) {
  if (image.isNull()) return QImage();
  QImage tinted = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&tinted);
  painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  painter.fillRect(tinted.rect(), color);
  painter.end();
  return tinted;
}
