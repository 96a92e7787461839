#include "framlet/shell/FLAlert.h"

#include "framlet/shell/FLAlertController.h"

#include "framlet/foundation/flBase.h"
#include "platform/BundleInfo.h"

#include <QApplication>
#include <QTimer>

#include <exception>

namespace {

int g_activeAlerts = 0;
bool g_sheetSuppression = false;

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
  FLAlertController box(request.message, request.moreInfo, request.buttonStrings, request.showSuppressButton);
  box.exec();
  if (suppress && request.showSuppressButton) *suppress = box.suppressed();
  return box.code();
}

bool FLAlert::sheetSuppressionFlag() { return g_sheetSuppression; }

FLAlertController* FLAlert::startAlertMessage(const QString& message, const QString& moreInfo,
                                              const QStringList& buttonStrings, bool showSuppressButton,
                                              QWidget* hostWindow, SheetCallback callback) {
  if (buttonStrings.size() > kMaxButtons) FLAssert(false, "Only 3 buttons allowed");
  auto* alert = new FLAlertController(message, moreInfo, buttonStrings, showSuppressButton, hostWindow);
  alert->setWindowModality(hostWindow ? Qt::WindowModal : Qt::ApplicationModal);
  QObject::connect(alert, &QDialog::finished, alert, [alert, showSuppressButton, callback = std::move(callback)] {
    if (showSuppressButton) g_sheetSuppression = alert->suppressed();
    alert->hide();
    if (callback) callback(alert, alert->code());
    alert->deleteLater();
  });
  alert->open();
  return alert;
}
