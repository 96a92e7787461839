#include "framlet/shell/FLAlert.h"

#include "framlet/foundation/flBase.h"
#include "platform/BundleInfo.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <exception>

namespace {

int g_activeAlerts = 0;

constexpr int kMaxButtons = 3;

}  // namespace

FLAlert& FLAlert::sharedInstance() {
  static FLAlert alert;
  return alert;
}

bool FLAlert::isAlertActive() { return g_activeAlerts > 0; }

FLAlert::ModalRunner FLAlert::setModalRunner(ModalRunner runner) {
  ModalRunner previous = std::move(runner_);
  runner_ = std::move(runner);
  return previous;
}

int FLAlert::giveAlertMessage(const QString& message, const QString& moreInfo, const QStringList& buttonStrings,
                              bool* suppress) {
  return giveAlertMessage(message, moreInfo, buttonStrings, suppress, buttonStrings.isEmpty());
}

int FLAlert::giveAlertMessage(const QString& message, const QString& moreInfo, const QStringList& buttonStrings,
                              bool* suppress, bool allowDelay) {
  if (suppress) *suppress = false;
  FLAlertRequest request{message, moreInfo, buttonStrings, suppress != nullptr};
  if (request.buttonStrings.size() > kMaxButtons) {
    FLAssert(false, "Only 3 buttons allowed");
    request.buttonStrings = request.buttonStrings.mid(0, kMaxButtons);
  }
  ++g_activeAlerts;
  int code = kCancelCode;
  bool failed = false;
  try {
    if (!qApp) throw std::runtime_error("no application object");
    code = runner_ ? runner_(request, suppress) : runMessageBox(request, suppress);
  } catch (const std::exception& exception) {
    LogException(exception, QStringLiteral("giveAlertMessage"));
    failed = true;
  } catch (...) {
    LogException(QStringLiteral("unknown"), QStringLiteral("giveAlertMessage"));
    failed = true;
  }
  --g_activeAlerts;
  if (!failed) return code;
  if (allowDelay && qApp) {
    const QStringList strings{message, moreInfo};
    QTimer::singleShot(0, qApp, [strings] { FLAlert::sharedInstance().giveAlertWithStrings(strings); });
  }
  return kCancelCode;
}

void FLAlert::giveAlertWithStrings(const QStringList& strings) {
  giveAlertMessage(strings.value(0), strings.value(1), {}, nullptr, false);
}

int FLAlert::runMessageBox(const FLAlertRequest& request, bool* suppress) {
  QMessageBox box;
  box.setWindowTitle(BundleName());
  box.setIcon(QMessageBox::Warning);
  box.setText(request.message);
  if (!request.moreInfo.isEmpty()) box.setInformativeText(request.moreInfo);
  const QStringList titles =
      request.buttonStrings.isEmpty() ? QStringList{QApplication::translate("FLAlert", "OK")} : request.buttonStrings;
  QList<QAbstractButton*> buttons;
  for (qsizetype i = 0; i < titles.size(); ++i) {
    const QMessageBox::ButtonRole role =
        i == 0 ? QMessageBox::AcceptRole : (i == 1 ? QMessageBox::RejectRole : QMessageBox::DestructiveRole);
    buttons.append(box.addButton(titles[i], role));
  }
  box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
  if (buttons.size() > 1) box.setEscapeButton(buttons[1]);
  QCheckBox* check = nullptr;
  if (request.showSuppressButton) {
    check = new QCheckBox(titles.size() <= 1 ? QApplication::translate("FLAlert", "Don't show this message again")
                                             : QApplication::translate("FLAlert", "Don't ask again"));
    box.setCheckBox(check);
  }
  box.exec();
  if (suppress && check) *suppress = check->isChecked();
  const qsizetype index = buttons.indexOf(box.clickedButton());
  // Escape on a one-button alert still means the second button.
  return index < 0 ? kCancelCode : int(index);
}
