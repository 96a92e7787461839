#include "framlet/shell/flInterfaceSupport.h"

#include "framlet/foundation/flBase.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QFontDialog>
#include <QImageReader>
#include <QKeyEvent>
#include <QScreen>
#include <QWidget>

namespace {

constexpr int kStandardScreenWidth = 1250;

}  // namespace

void ClosePanels() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (!widget->isVisible() || widget->isModal()) continue;
    if (qobject_cast<QFontDialog*>(widget) || qobject_cast<QColorDialog*>(widget)) widget->hide();
  }
}

void SetStandardWindowSize(QWidget* window) {
  if (!window) return;
  QScreen* screen = window->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect visible = screen->availableGeometry();
  if (visible.width() >= kStandardScreenWidth) {
    window->setGeometry(visible.x(), visible.y(), visible.width() * 3 / 4, visible.height());
  } else if (!window->isMaximized()) {
    window->showMaximized();
  }
}

int FunctionKeyForEvent(const QKeyEvent& event) {
  const int key = event.key();
  if (key >= Qt::Key_F1 && key <= Qt::Key_F16) return key - Qt::Key_F1 + 1;
  return 0;
}

const QStringList& PasteboardImageTypes() {
  static const QStringList types = [] {
    QStringList list{QStringLiteral("image/jpeg"), QStringLiteral("image/jp2"), QStringLiteral("image/tiff"),
                     QStringLiteral("image/gif"),  QStringLiteral("image/png"), QStringLiteral("image/bmp")};
    for (const QByteArray& type : QImageReader::supportedMimeTypes()) {
      const QString name = QString::fromLatin1(type);
      if (!list.contains(name)) list.append(name);
    }
    return list;
  }();
  return types;
}

void CopyStringToPasteboard(const QString& text) {
  try {
    QGuiApplication::clipboard()->setText(text);
  } catch (const std::exception& exception) {
    LogException(exception, QStringLiteral("Copy string failed"));
  }
}
