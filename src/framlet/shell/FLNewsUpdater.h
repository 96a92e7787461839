// The news checker: fetches the maker's news page at most once a day, keeps the items newer than
// the last ones the user saw, and shows them. Its state is in the shared domain, so one check
// serves all of the maker's programs.
#pragma once

#include "framlet/shell/flCheckerWindows.h"

#include <QDate>
#include <QObject>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>

class FLAppUpdaterThread;
class QTimer;

inline constexpr const char* kFLAutoNewsCheckKey = "com.orvandel.shared.autoNewsCheck";
inline constexpr const char* kFLLastNewsCheckKey = "com.orvandel.shared.lastNewsCheck";
inline constexpr const char* kFLLastNewsDateKey = "com.orvandel.shared.lastNewsDate";
inline constexpr int kFLNewsTimerMs = 3600 * 1000;

class FLNewsUpdater : public QObject {
  Q_OBJECT

 public:
  static FLNewsUpdater& sharedInstance();

  void startAutoCheck();
  void displayUpdateDialog();
  void autoCheckTimerFired();
  void startCheck(bool reportFailure);
  void proceed();
  void cancel();
  void reportCheckResults();
  void setPane(QWidget* pane);

  const QString& newsPath() const { return newsPath_; }
  bool isRunningJob() const { return currentDownload_ != nullptr; }
  bool autoCheck() const { return autoCheck_; }
  int32_t today() const { return today_; }
  const FLNewsUpdatesUi& ui() const { return ui_; }
  QWidget* currentPane() const { return currentPane_; }

  void loadSettings();
  void setNewsUrl(const QUrl& url);
  void setClock(std::function<QDate()> clock) { clock_ = std::move(clock); }

 private:
  FLNewsUpdater();
  void jobFinished();
  void endModal();
  void refreshToday();
  void updateDateField(QLabel* field, int32_t dayIndex);

  std::unique_ptr<FLAppUpdaterThread> currentDownload_;
  FLNewsUpdatesUi ui_;
  QWidget* currentPane_ = nullptr;
  QString newsLink_;
  QUrl newsUrl_;
  QString newsPath_;
  QTimer* autoCheckTimer_ = nullptr;
  int32_t today_ = 0;
  bool reportFailure_ = false;
  bool autoCheck_ = false;
  bool checkNowRequest_ = false;
  bool dialogFromMenu_ = false;
  std::function<QDate()> clock_;
};
