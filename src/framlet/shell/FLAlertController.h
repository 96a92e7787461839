// The framework's alert window: a message, an optional more-info text, one to three buttons and
// an optional "don't show again" check box, laid out by the message box so that it grows with
// its texts. A button's code is the index of its title. Return and Enter press the first button,
// Escape the second (present even on a one-button alert, out of sight), and Ctrl with the first
// letter of the third button's title presses the third.
#pragma once

#include <QMessageBox>
#include <QStringList>

class QCheckBox;
class QFont;

class FLAlertController : public QMessageBox {
  Q_OBJECT

 public:
  FLAlertController(const QString& message, const QString& moreInfo, const QStringList& buttonStrings,
                    bool showSuppressButton, QWidget* parent = nullptr);

  // The code of the button that ended the alert; the second button's when none did.
  int code() const;
  QCheckBox* suppressionButton() const { return suppression_; }
  bool suppressed() const;
  QAbstractButton* buttonAt(int code) const { return buttons_.value(code); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Keeps the box at least as wide as a title bar needs to show its title whole.
  void fitTitle();

  QList<QAbstractButton*> buttons_;
  QCheckBox* suppression_ = nullptr;
};

// The width a desktop's title bar takes to show `title` whole beside its buttons, for a window
// whose text is set in `font`.
int AlertTitleBarWidth(const QString& title, const QFont& font);
