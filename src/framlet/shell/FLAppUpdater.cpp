#include "framlet/shell/FLAppUpdater.h"

#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLAppUpdaterThread.h"
#include "platform/BundleInfo.h"
#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <climits>

FLAppUpdater& FLAppUpdater::sharedInstance() {
  // Lives as long as the process, like its window.
  static FLAppUpdater* updater = new FLAppUpdater;
  return *updater;
}

FLAppUpdater::FLAppUpdater()
    : pageUrl_(QString::fromLatin1(kFLDownloadsPageUrl)), executableName_(BundleName()), shortVersion_(BundleShortVersion()) {
  ui_ = BuildCheckUpdatesWindow();
  for (const FLCheckerPane* pane : {&ui_.mainPane, &ui_.checkingPane, &ui_.availablePane, &ui_.downloadPane,
                                    &ui_.upToDatePane, &ui_.checkFailPane, &ui_.downloadFailPane}) {
    SetAppName(pane->pane, executableName_);
    if (pane->proceed) connect(pane->proceed, &QPushButton::clicked, this, &FLAppUpdater::proceed);
    if (pane->cancel) connect(pane->cancel, &QPushButton::clicked, this, &FLAppUpdater::cancel);
  }
  availableStringCopy_ = ui_.availableField->text();
  connect(ui_.window, &QDialog::rejected, this, &FLAppUpdater::cancel);
  connect(ui_.autoCheck, &QCheckBox::toggled, this, [this](bool on) { autoCheck_ = on; });
  connect(ui_.checkMonthly, &QCheckBox::toggled, this, [this](bool on) { checkMonthly_ = on; });
  loadSettings();
}

void FLAppUpdater::loadSettings() {
  const qint64 seconds = UserDefaults::standardUserDefaults().stringForKey(QLatin1String(kFLLastUpdateCheckKey)).toLongLong();
  lastCheckDate_ = seconds > 0 ? QDateTime::fromSecsSinceEpoch(seconds) : QDateTime();
  UserDefaults& shared = UserDefaults::sharedDefaults();
  autoCheck_ = shared.boolForKey(QLatin1String(kFLAutoUpdateKey));
  checkMonthly_ = shared.boolForKey(QLatin1String(kFLAutoUpdateMonthlyKey));
  ScheduleCheckerTimer(this, autoCheckTimer_, false, kFLUpdateTimerMs, {});
}

void FLAppUpdater::setApplication(const QString& executableName, const QString& shortVersion) {
  executableName_ = executableName;
  shortVersion_ = shortVersion;
}

bool FLAppUpdater::isTimerRunning() const { return autoCheckTimer_ && autoCheckTimer_->isActive(); }

void FLAppUpdater::startAutoCheck() {
  ScheduleCheckerTimer(this, autoCheckTimer_, autoCheck_, kFLUpdateTimerMs, [this] { autoCheckTimerFired(); });
}

void FLAppUpdater::autoCheckTimerFired() {
  if (currentDownload_ || ui_.window->isVisible()) return;
  if (!g_calendar) LogAssert("Call FLKernal to set g_calendar", __func__, __FILE__, __LINE__);
  if (lastCheckDate_.isValid() && !IsUpdateCheckDue(lastCheckDate_, now(), checkMonthly_)) return;
  startCheck(false);
}

void FLAppUpdater::startCheck(bool reportFailure) {
  if (currentDownload_) {
    LogText(QStringLiteral("Overlapping downloads"));
    return;
  }
  updatePath_.clear();
  checkRequest_ = true;
  success_ = false;
  reportFailure_ = reportFailure;
  currentDownload_ = std::make_unique<FLAppUpdaterThread>();
  currentDownload_->setPageUrl(pageUrl_);
  currentDownload_->setApplication(executableName_, shortVersion_);
  connect(currentDownload_.get(), &FLAppUpdaterThread::finished, this, &FLAppUpdater::jobFinished);
  currentDownload_->start();
}

void FLAppUpdater::startDownload() {
  checkRequest_ = false;
  success_ = false;
  reportFailure_ = true;
  currentDownload_ = std::make_unique<FLAppUpdaterThread>();
  currentDownload_->setDownloadPath(updatePath_);
  connect(currentDownload_.get(), &FLAppUpdaterThread::finished, this, &FLAppUpdater::jobFinished);
  connect(currentDownload_.get(), &FLAppUpdaterThread::doneLengthChanged, this, &FLAppUpdater::reportDownloadProgress);
  currentDownload_->start();
}

void FLAppUpdater::jobFinished() {
  if (!currentDownload_) return;
  success_ = currentDownload_->wasSuccessful();
  if (success_) {
    updatePath_ = currentDownload_->downloadPath();
    if (checkRequest_) versionPath_ = currentDownload_->versionPath();
  } else if (!checkRequest_) {
    updatePath_.clear();
  }
  ReleaseUpdaterJob(currentDownload_, this, false);
  if (!success_ && !reportFailure_) return;
  if (checkRequest_)
    reportCheckResults();
  else
    reportDownloadResults();
}

void FLAppUpdater::reportCheckResults() {
  if (success_) {
    lastCheckDate_ = now();
    UserDefaults::standardUserDefaults().setString(QString::number(lastCheckDate_.toSecsSinceEpoch()),
                                                   QLatin1String(kFLLastUpdateCheckKey));
  }
  ui_.checkSpinner->setRange(0, 1);
  QWidget* pane = nullptr;
  if (!updatePath_.isEmpty()) {
    ui_.availableField->setText(AvailableText(availableStringCopy_, versionPath_));
    pane = ui_.availablePane.pane;
  } else if (!reportFailure_) {
    return;
  } else {
    pane = success_ ? ui_.upToDatePane.pane : ui_.checkFailPane.pane;
  }
  setPane(pane);
  if (!ui_.window->isVisible()) RunCheckerModally(ui_.window);
}

void FLAppUpdater::reportDownloadProgress() {
  if (!currentDownload_) return;
  const qint64 done = currentDownload_->doneLength();
  const qint64 total = currentDownload_->totalLength();
  ui_.downloadAmountField->setText(DownloadAmountText(done, total));
  const int maximum = total > 0 ? int(std::min<qint64>(total, INT_MAX)) : kFLUnknownDownloadLength;
  if (ui_.downloadSpinner->maximum() != maximum) ui_.downloadSpinner->setRange(0, maximum);
  ui_.downloadSpinner->setValue(int(std::min<qint64>(done, maximum)));
}

void FLAppUpdater::reportDownloadResults() {
  if (updatePath_.isEmpty()) {
    setPane(ui_.downloadFailPane.pane);
    if (!ui_.window->isVisible()) RunCheckerModally(ui_.window);
    return;
  }
  if (fileOpener_) {
    fileOpener_(updatePath_);
  } else {
    RevealInFileViewer(updatePath_);
    QDesktopServices::openUrl(QUrl::fromLocalFile(updatePath_));
  }
  endModal();
}

void FLAppUpdater::displayUpdateDialog() {
  if (ui_.window->isVisible()) {
    ui_.window->raise();
    return;
  }
  ui_.autoCheck->setChecked(autoCheck_);
  ui_.checkMonthly->setChecked(checkMonthly_);
  setPane(ui_.mainPane.pane);
  dialogFromMenu_ = true;
  RunCheckerModally(ui_.window);
}

void FLAppUpdater::endModal() {
  ui_.window->hide();
  if (!dialogFromMenu_) return;
  dialogFromMenu_ = false;
  UserDefaults& shared = UserDefaults::sharedDefaults();
  shared.setBool(autoCheck_, QLatin1String(kFLAutoUpdateKey));
  shared.setBool(checkMonthly_, QLatin1String(kFLAutoUpdateMonthlyKey));
  shared.synchronize();
  startAutoCheck();
}

void FLAppUpdater::proceed() {
  if (currentPane_ == ui_.mainPane.pane) {
    setPane(ui_.checkingPane.pane);
    ui_.checkSpinner->setRange(0, 0);
    startCheck(true);
  } else if (currentPane_ == ui_.availablePane.pane) {
    ui_.downloadSpinner->setRange(0, 0);
    ui_.downloadSpinner->setValue(0);
    ui_.downloadAmountField->clear();
    setPane(ui_.downloadPane.pane);
    startDownload();
  } else {
    endModal();
  }
}

void FLAppUpdater::cancel() {
  updatePath_.clear();
  ReleaseUpdaterJob(currentDownload_, this, true);
  endModal();
}

void FLAppUpdater::setPane(QWidget* pane) { SetCheckerPane(ui_.window, currentPane_, pane); }
