#include "framlet/shell/FLAlertController.h"

#include "platform/BundleInfo.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPushButton>

namespace {

constexpr const char* kDontShowAgainTitle = "Don't show this message again";
constexpr const char* kDontAskAgainTitle = "Don't ask again";
constexpr const char* kOkTitle = "OK";

constexpr double kTitleFontScale = 1.2;
constexpr int kTitleBarButtonsPerSide = 3;
constexpr int kTitleBarButtonGap = 8;

}  // namespace

FLAlertController::FLAlertController(const QString& message, const QString& moreInfo,
                                     const QStringList& buttonStrings, bool showSuppressButton, QWidget* parent)
    : QMessageBox(parent) {
  setObjectName(QStringLiteral("FLAlertWindow"));
  setWindowTitle(BundleName());
  setIcon(QMessageBox::Warning);
  setText(message);
  if (!moreInfo.isEmpty()) setInformativeText(moreInfo);
  const QStringList titles =
      buttonStrings.isEmpty() ? QStringList{QApplication::translate("FLAlert", kOkTitle)} : buttonStrings.mid(0, 3);
  for (qsizetype i = 0; i < titles.size(); ++i) {
    const QMessageBox::ButtonRole role =
        i == 0 ? QMessageBox::AcceptRole : (i == 1 ? QMessageBox::RejectRole : QMessageBox::DestructiveRole);
    buttons_.append(addButton(titles[i], role));
  }
  setDefaultButton(qobject_cast<QPushButton*>(buttons_.first()));
  if (buttons_.size() > 1) setEscapeButton(buttons_[1]);
  if (showSuppressButton) {
    suppression_ = new QCheckBox(titles.size() <= 1 ? QApplication::translate("FLAlert", kDontShowAgainTitle)
                                                    : QApplication::translate("FLAlert", kDontAskAgainTitle));
    setCheckBox(suppression_);
  }
  fitTitle();
}

int AlertTitleBarWidth(const QString& title, const QFont& font) {
  // Title bars set the title in bold, often a little larger than the text, centred between
  // the window's buttons (up to three, with the menu button or icon on the other side).
  QFont titleFont = font;
  titleFont.setBold(true);
  if (font.pointSizeF() > 0)
    titleFont.setPointSizeF(font.pointSizeF() * kTitleFontScale);
  else if (font.pixelSize() > 0)
    titleFont.setPixelSize(int(font.pixelSize() * kTitleFontScale + 0.5));
  const QFontMetrics metrics(titleFont);
  return metrics.horizontalAdvance(title) + 2 * kTitleBarButtonsPerSide * (metrics.height() + kTitleBarButtonGap);
}

void FLAlertController::fitTitle() {
  // The box sizes itself to its texts and buttons only: a short message would leave too
  // narrow a window for the desktop to show its title whole. The button row spans the box, so
  // its least width is the box's.
  if (auto* buttonRow = findChild<QDialogButtonBox*>()) {
    buttonRow->setMinimumWidth(AlertTitleBarWidth(windowTitle(), font()));
  }
}

void FLAlertController::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::FontChange) fitTitle();
  QMessageBox::changeEvent(event);
}

int FLAlertController::code() const {
  const qsizetype index = buttons_.indexOf(clickedButton());
  // Escape on a one-button alert still means the second button.
  return index < 0 ? 1 : int(index);
}

bool FLAlertController::suppressed() const { return suppression_ && suppression_->isChecked(); }

void FLAlertController::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && buttons_.size() < 2) {
    // The second button is out of sight, but Escape still answers with its code.
    done(1);
    return;
  }
  if (buttons_.size() > 2 && (event->modifiers() & Qt::ControlModifier) && !event->text().isEmpty()) {
    const QString title = buttons_[2]->text().remove(QLatin1Char('&'));
    QString typed = event->text();
    if (typed.at(0).unicode() < 32) typed = QKeySequence(event->key()).toString();
    if (!title.isEmpty() && typed.compare(title.left(1), Qt::CaseInsensitive) == 0) {
      buttons_[2]->click();
      return;
    }
  }
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    buttons_.first()->click();
    return;
  }
  QMessageBox::keyPressEvent(event);
}
