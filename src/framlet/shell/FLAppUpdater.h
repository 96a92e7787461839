// The update checker: looks on the maker's downloads page for a newer version, tells the user,
// and on request downloads it into the Downloads folder and opens it. It checks on its own once
// a week (or month) when the user allows it; the settings are shared with the maker's other
// programs. The network work runs on a worker thread (FLAppUpdaterThread).
#pragma once

#include "framlet/shell/flCheckerWindows.h"
#include "framlet/shell/flUpdateChecking.h"

#include <QDateTime>
#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>

class FLAppUpdaterThread;
class QTimer;

// Settings: the last successful check in the application's own defaults, whole seconds since
// 1970 as a decimal text; the automatic checks in the shared domain.
inline constexpr const char* kFLLastUpdateCheckKey = "com.orvandel.shared.lastUpdateCheck";
inline constexpr const char* kFLAutoUpdateKey = "com.orvandel.shared.autoUpdate";
inline constexpr const char* kFLAutoUpdateMonthlyKey = "com.orvandel.shared.autoUpdateMonthly";
inline constexpr int kFLUpdateTimerMs = 86400 * 1000;
// The download bar's length while the size of the download is not known.
inline constexpr int kFLUnknownDownloadLength = 5242880;

class FLAppUpdater : public QObject {
  Q_OBJECT

 public:
  static FLAppUpdater& sharedInstance();

  // Starts the daily timer (and a check at once) when automatic checks are on; stops it when off.
  void startAutoCheck();
  // The dialog of the menu item; when it ends the check boxes' settings are stored.
  void displayUpdateDialog();
  void autoCheckTimerFired();
  void startCheck(bool reportFailure);
  void proceed();
  void cancel();
  void reportCheckResults();
  void reportDownloadResults();
  void reportDownloadProgress();
  void setPane(QWidget* pane);

  QDateTime lastCheckDate() const { return lastCheckDate_; }
  QString updatePath() const { return updatePath_; }
  FLVersion versionPath() const { return versionPath_; }
  bool autoCheck() const { return autoCheck_; }
  bool checkMonthly() const { return checkMonthly_; }
  bool isRunningJob() const { return currentDownload_ != nullptr; }
  bool isTimerRunning() const;
  const FLCheckUpdatesUi& ui() const { return ui_; }
  QWidget* currentPane() const { return currentPane_; }

  // Reads the stored settings again and forgets any timer (at creation, and in tests).
  void loadSettings();
  // Where the checks look and what they compare with; the clock; what opens a download.
  void setPageUrl(const QUrl& url) { pageUrl_ = url; }
  void setApplication(const QString& executableName, const QString& shortVersion);
  void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }
  void setFileOpener(std::function<void(const QString& path)> opener) { fileOpener_ = std::move(opener); }

 private:
  FLAppUpdater();
  void jobFinished();
  void startDownload();
  void endModal();
  QDateTime now() const { return clock_ ? clock_() : QDateTime::currentDateTime(); }

  std::unique_ptr<FLAppUpdaterThread> currentDownload_;
  QTimer* autoCheckTimer_ = nullptr;
  QString updatePath_;
  FLVersion versionPath_;
  bool checkRequest_ = false;
  bool reportFailure_ = false;
  bool success_ = false;
  QWidget* currentPane_ = nullptr;
  FLCheckUpdatesUi ui_;
  bool autoCheck_ = false;
  bool checkMonthly_ = false;
  bool dialogFromMenu_ = false;
  QDateTime lastCheckDate_;
  QString availableStringCopy_;
  QUrl pageUrl_;
  QString executableName_;
  QString shortVersion_;
  std::function<QDateTime()> clock_;
  std::function<void(const QString&)> fileOpener_;
};
