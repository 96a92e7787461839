#include "framlet/shell/FLNewsUpdater.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flDates.h"
#include "framlet/shell/FLNewsUpdaterThread.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "framlet/shell/flUpdateChecking.h"
#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextFrame>
#include <QTimer>

namespace {

constexpr const char* kNewsLinkTitle = "Orvandel news page";
constexpr const char* kNewsWindowTitle = "Orvandel News";
constexpr const char* kCheckWindowTitle = "Check for Orvandel News";

}  // namespace

FLNewsUpdater& FLNewsUpdater::sharedInstance() {
  static FLNewsUpdater* updater = new FLNewsUpdater;  // lives as long as the process
  return *updater;
}

FLNewsUpdater::FLNewsUpdater() {
  ui_ = BuildNewsUpdatesWindow();
  for (const FLCheckerPane* pane :
       {&ui_.mainPane, &ui_.checkingPane, &ui_.upToDatePane, &ui_.newsDisplayPane, &ui_.checkFailPane}) {
    if (pane->proceed) connect(pane->proceed, &QPushButton::clicked, this, &FLNewsUpdater::proceed);
    if (pane->cancel) connect(pane->cancel, &QPushButton::clicked, this, &FLNewsUpdater::cancel);
  }
  connect(ui_.window, &QDialog::rejected, this, &FLNewsUpdater::cancel);
  connect(ui_.autoCheck, &QCheckBox::toggled, this, [this](bool on) { autoCheck_ = on; });
  setNewsUrl(QUrl(QString::fromLatin1(kFLNewsPageUrl)));
  loadSettings();
}

void FLNewsUpdater::setNewsUrl(const QUrl& url) {
  newsUrl_ = url;
  newsLink_ = LinkText(url.toString(), QString::fromLatin1(kNewsLinkTitle));
}

void FLNewsUpdater::loadSettings() {
  refreshToday();
  autoCheck_ = UserDefaults::sharedDefaults().boolForKey(QLatin1String(kFLAutoNewsCheckKey));
  ScheduleCheckerTimer(this, autoCheckTimer_, false, kFLNewsTimerMs, {});
}

void FLNewsUpdater::refreshToday() { today_ = DayIndexForDate(clock_ ? clock_() : QDate::currentDate()); }

void FLNewsUpdater::startAutoCheck() {
  ScheduleCheckerTimer(this, autoCheckTimer_, autoCheck_, kFLNewsTimerMs, [this] { autoCheckTimerFired(); });
}

void FLNewsUpdater::autoCheckTimerFired() {
  refreshToday();
  if (currentDownload_ || ui_.window->isVisible()) return;
  // At most one check a day, for all of the maker's programs.
  if (today_ <= UserDefaults::sharedDefaults().integerForKey(QLatin1String(kFLLastNewsCheckKey))) return;
  checkNowRequest_ = false;
  startCheck(false);
}

void FLNewsUpdater::startCheck(bool reportFailure) {
  if (currentDownload_) {
    LogText(QStringLiteral("Overlapping downloads"));
    return;
  }
  newsPath_.clear();
  reportFailure_ = reportFailure;
  currentDownload_ = std::make_unique<FLNewsUpdaterThread>(newsUrl_);
  connect(currentDownload_.get(), &FLAppUpdaterThread::finished, this, &FLNewsUpdater::jobFinished);
  currentDownload_->start();
}

void FLNewsUpdater::jobFinished() {
  if (!currentDownload_) return;
  const bool success = currentDownload_->wasSuccessful();
  newsPath_ = success ? currentDownload_->downloadPath() : QString();
  ReleaseUpdaterJob(currentDownload_, this, false);
  if (!success && !reportFailure_) {
    checkNowRequest_ = false;
    return;
  }
  reportCheckResults();
}

void FLNewsUpdater::updateDateField(QLabel* field, int32_t dayIndex) { field->setText(NewsDateText(dayIndex)); }

void FLNewsUpdater::reportCheckResults() {
  UserDefaults& shared = UserDefaults::sharedDefaults();
  const int32_t previous = int32_t(shared.integerForKey(QLatin1String(kFLLastNewsDateKey)));
  int32_t latest = 0;
  bool haveNews = false;
  FLNewsDocument news;
  if (!newsPath_.isEmpty()) {
    updateDateField(ui_.lastCheckField, today_);
    shared.setInteger(today_, QLatin1String(kFLLastNewsCheckKey));
    QFile file(newsPath_);
    if (file.open(QIODevice::ReadOnly)) {
      news.setPage(file.read(kFLMaxPageBytes));
      haveNews = HandleNewsText(news, previous, today_, &latest, ui_.newsView->palette().color(QPalette::Text));
    }
    file.close();
    QFile::remove(newsPath_);
    newsPath_.clear();
  }
  ui_.checkSpinner->setRange(0, 1);
  QWidget* pane = nullptr;
  if (!haveNews) {
    if (reportFailure_) pane = ui_.checkFailPane.pane;
  } else if (latest > previous) {
    updateDateField(ui_.lastUpdateField, latest);
    shared.setInteger(latest, QLatin1String(kFLLastNewsDateKey));
    ui_.newsView->setHtml(news.toHtml());
    // The text sits 8 points in from the sides and flush with the top.
    QTextFrameFormat inset = ui_.newsView->document()->rootFrame()->frameFormat();
    inset.setMargin(0);
    inset.setLeftMargin(8);
    inset.setRightMargin(8);
    ui_.newsView->document()->rootFrame()->setFrameFormat(inset);
    ui_.window->setWindowTitle(QString::fromLatin1(kNewsWindowTitle));
    pane = ui_.newsDisplayPane.pane;
  } else {
    pane = ui_.upToDatePane.pane;
  }
  // New news shows even after an automatic check; the rest only when the user asked.
  if (pane && (checkNowRequest_ || pane == ui_.newsDisplayPane.pane)) {
    setPane(pane);
    if (!ui_.window->isVisible()) RunCheckerModally(ui_.window);
  }
  checkNowRequest_ = false;
  shared.synchronize();
}

void FLNewsUpdater::displayUpdateDialog() {
  if (ui_.window->isVisible()) {
    ui_.window->raise();
    return;
  }
  setPane(ui_.mainPane.pane);
  ui_.window->setWindowTitle(QString::fromLatin1(kCheckWindowTitle));
  refreshToday();
  ui_.newsLinkView->setText(newsLink_);
  UserDefaults& shared = UserDefaults::sharedDefaults();
  updateDateField(ui_.lastCheckField, int32_t(shared.integerForKey(QLatin1String(kFLLastNewsCheckKey))));
  updateDateField(ui_.lastUpdateField, int32_t(shared.integerForKey(QLatin1String(kFLLastNewsDateKey))));
  ui_.autoCheck->setChecked(autoCheck_);
  dialogFromMenu_ = true;
  RunCheckerModally(ui_.window);
}

void FLNewsUpdater::endModal() {
  ui_.window->hide();
  if (!dialogFromMenu_) return;
  dialogFromMenu_ = false;
  UserDefaults& shared = UserDefaults::sharedDefaults();
  shared.setBool(autoCheck_, QLatin1String(kFLAutoNewsCheckKey));
  shared.synchronize();
  startAutoCheck();
}

void FLNewsUpdater::proceed() {
  checkNowRequest_ = true;
  setPane(ui_.checkingPane.pane);
  ui_.checkSpinner->setRange(0, 0);
  startCheck(true);
}

void FLNewsUpdater::cancel() {
  if (!newsPath_.isEmpty()) QFile::remove(newsPath_);
  newsPath_.clear();
  ReleaseUpdaterJob(currentDownload_, this, true);
  endModal();
}

void FLNewsUpdater::setPane(QWidget* pane) { SetCheckerPane(ui_.window, currentPane_, pane); }
