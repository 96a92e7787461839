#include "framlet/shell/FLActionHandler.h"

#include "framlet/shell/FLWindowTabContainer.h"
#include "framlet/shell/FLWindowTabManager.h"

#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/FLLogger.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFormatString.h"
#include "framlet/shell/FLAboutController.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLAppUpdater.h"
#include "framlet/shell/FLDocumentAppDelegate.h"
#include "framlet/shell/FLNewsUpdater.h"
#include "framlet/shell/FLWindowTabContainer.h"
#include "framlet/shell/FLWindowTabManager.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/BundleInfo.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QWidget>

#include <algorithm>

namespace {

// Unreserved characters and those a URL path may hold.
constexpr const char* kUrlPathAllowed = "!$&'()*+,;=:@/-._~";

QByteArray EncodeForMail(const QString& text) {
  return QUrl::toPercentEncoding(text, kUrlPathAllowed).replace("&", "%26");
}

}  // namespace

FLActionHandler& FLActionHandler::sharedInstance() {
  static FLActionHandler* handler = new FLActionHandler;  // lives as long as the process
  return *handler;
}

bool FLActionHandler::validateMenuItem(QAction* item) const {
  if (!item) return false;
  const QString name = item->objectName();
  if (name == QLatin1String(kVisitWebsiteAction)) return true;
  static const char* const kModalFree[] = {kNextWindowAction,      kCopyLogsAction,  kEmailLogsAction,
                                           kContactOrvandelAction, kDonationsAction, kShowAboutAction,
                                           kCheckUpdatesAction,    kCheckNewsUpdatesAction};
  const bool known = std::any_of(std::begin(kModalFree), std::end(kModalFree),
                                 [&name](const char* action) { return name == QLatin1String(action); });
  return known && !HasModalWindow();
}

bool FLActionHandler::perform(const QString& actionName) {
  const struct {
    const char* name;
    void (FLActionHandler::*perform)();
  } kActions[] = {
      {kCopyLogsAction, &FLActionHandler::copyLogs},     {kEmailLogsAction, &FLActionHandler::emailLogs},
      {kNextWindowAction, &FLActionHandler::nextWindow}, {kShowAboutAction, &FLActionHandler::showAbout},
      {kVisitWebsiteAction, &FLActionHandler::visitWebsite}, {kDonationsAction, &FLActionHandler::donations},
      {kCheckUpdatesAction, &FLActionHandler::checkUpdates}, {kCheckNewsUpdatesAction, &FLActionHandler::checkNewsUpdates},
  };
  for (const auto& action : kActions) {
    if (actionName == QLatin1String(action.name)) {
      (this->*action.perform)();
      return true;
    }
  }
  if (actionName == QLatin1String(kContactOrvandelAction)) {
    contactOrvandel(false);
    return true;
  }
  return false;
}

bool FLActionHandler::openUrl(const QUrl& url) const {
  if (!url.isValid()) return false;
  return urlOpener_ ? urlOpener_(url) : QDesktopServices::openUrl(url);
}

QString FLActionHandler::collectLogs() const {
  return logCollector_ ? logCollector_() : FLLogger::sharedInstance().allLogsForApp(QString(), QString());
}

void FLActionHandler::copyLogs() {
  try {
    const QString logs = collectLogs();
    if (!logs.isEmpty()) CopyStringToPasteboard(logs);
  } catch (const std::exception& exception) {
    LogException(exception, QStringLiteral("copyLogs failed"));
  }
}

QUrl FLActionHandler::mailUrl(const QString& subject, const QString& body) {
  const QByteArray text = QByteArray("mailto:") + kOrvandelSupportAddress + "?subject=" + EncodeForMail(subject) +
                          "&body=" + EncodeForMail(body);
  return QUrl::fromEncoded(text, QUrl::StrictMode);
}

QString FLActionHandler::mailedLogs(const QString& logs) {
  const QByteArray bytes = logs.toUtf8();
  if (bytes.size() <= kMailedLogLimit) return logs;
  qsizetype start = bytes.size() - kMailedLogLimit;
  // Not inside a character, and from a line's start where one is near.
  while (start < bytes.size() && (uchar(bytes[start]) & 0xC0) == 0x80) ++start;
  const qsizetype lineStart = bytes.indexOf('\n', start);
  if (lineStart >= 0 && lineStart - start < 1024) start = lineStart + 1;
  return QApplication::translate("FLActionHandler",
                                 "[The log is longer than a mail message can carry: these are its last 64 KB. "
                                 "Choose Copy Logs and paste them into a mail to send them whole.]") +
         QStringLiteral("\n\n") + QString::fromUtf8(bytes.mid(start));
}

void FLActionHandler::emailLogs() {
  const QString logs = collectLogs();
  if (logs.isEmpty()) return;
  const QString subject = FormatString("Logs for %@ %@", BundleName(), BundleShortVersion());
  if (!openUrl(mailUrl(subject, mailedLogs(logs)))) {
    FLAlert::sharedInstance().giveAlertMessage(
        QApplication::translate("FLActionHandler", "Contact failed."),
        FormatString(
            "Please choose Copy Logs (hold the Alt key in the Help menu), paste the logs into a mail and send it to %@.",
            QString::fromLatin1(kOrvandelSupportAddress)));
  }
}

void FLActionHandler::contactOrvandel(bool problemReport) {
  const QString kind = problemReport ? QStringLiteral("Problem report") : QStringLiteral("Question or comment");
  const QString subject = FormatString("%@ (%@ %@)", kind, BundleName(), BundleShortVersion());
  const QString body = FormatString("--- Please do not delete this line: %@ %@, %@ ---\n\n", BundleName(),
                                    BundleShortVersion(), g_systemVersionString);
  if (!openUrl(mailUrl(subject, body))) {
    FLAlert::sharedInstance().giveAlertMessage(
        QApplication::translate("FLActionHandler", "Contact failed."),
        FormatString("Please visit %@ or write to %@.", QString::fromLatin1(kOrvandelWebsite),
                     QString::fromLatin1(kOrvandelSupportAddress)));
  }
}

void FLActionHandler::nextWindow() {
  const QList<QWidget*> windows = OrderedWindows();
  QWidget* main = MainWindow();
  if (!main || windows.size() < 2 || !windows.contains(main)) return;
  const FLDocumentAppDelegate* delegate = FLDocumentAppDelegate::sharedDelegate();
  // The main window's own tabs are not other windows: the tab bar steps through those.
  const QList<QWidget*> mainTabs = FLWindowTabManager::sharedInstance().tabbedWindows(main);
  for (qsizetype i = windows.size() - 1; i >= 0 && windows[i] != main; --i) {
    QWidget* candidate = windows[i];
    if (IsPanel(candidate) || mainTabs.contains(candidate)) continue;
    if (delegate && !delegate->shouldBringWindowForward(candidate)) continue;
    // A window among tabs comes forward as its group: with the tab that was selected there.
    if (const FLWindowTabContainer* container = FLWindowTabContainer::containerOf(candidate)) {
      if (QWidget* selected = container->selectedWindow()) candidate = selected;
    }
    MakeKeyAndOrderFront(candidate);
    return;
  }
}

void FLActionHandler::showAbout() {
  const FLDocumentAppDelegate* delegate = FLDocumentAppDelegate::sharedDelegate();
  QString description = delegate ? delegate->aboutString() : QString();
  if (description.isEmpty()) description = QString::fromLatin1(kDefaultAboutString);
  FLAboutController::introduceTamselApp(description);
}

void FLActionHandler::visitWebsite() { openUrl(QUrl(QString::fromLatin1(kOrvandelWebsite))); }

void FLActionHandler::donations() { openUrl(QUrl(QString::fromLatin1(kOrvandelWebsite) + QStringLiteral("/donate/"))); }

void FLActionHandler::checkUpdates() { FLAppUpdater::sharedInstance().displayUpdateDialog(); }

void FLActionHandler::checkNewsUpdates() { FLNewsUpdater::sharedInstance().displayUpdateDialog(); }
