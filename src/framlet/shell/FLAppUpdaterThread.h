// One download of the update checker, run on a worker thread of its own: the downloads page
// (a check, which then looks for a newer version on it) or a file into the Downloads folder.
// The object itself lives on the GUI thread; the worker reports to it through queued calls, so
// its fields change, and its signals are emitted, on the GUI thread only.
#pragma once

#include "framlet/shell/flUpdateChecking.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <atomic>
#include <memory>

class QThread;

// The maker's downloads page; tests point the checkers at a local server instead.
inline constexpr const char* kFLDownloadsPageUrl = "https://www.orvandel.com/downloads";
inline constexpr int kFLCheckTimeoutMs = 30000;
inline constexpr int kFLFileTimeoutMs = 600000;

class FLAppUpdaterThread : public QObject {
  Q_OBJECT

 public:
  explicit FLAppUpdaterThread(QObject* parent = nullptr);
  // Cancels a running download and waits for the worker thread to end.
  ~FLAppUpdaterThread() override;

  // Before start: the URL of a file to download; empty for a check of the downloads page.
  // After a file download: the downloaded file's path; after a check that found a newer
  // version: that version's URL; empty otherwise.
  const QString& downloadPath() const { return downloadPath_; }
  void setDownloadPath(const QString& path) { downloadPath_ = path; }
  // The page a check reads, and the program a check compares with.
  void setPageUrl(const QUrl& url) { pageUrl_ = url; }
  QUrl pageUrl() const { return pageUrl_; }
  void setApplication(const QString& executableName, const QString& shortVersion);

  void start();
  void cancel();
  bool checkRequest() const { return checkRequest_; }
  bool isExecuting() const { return working_; }
  bool isFinished() const { return !working_; }
  bool wasSuccessful() const { return success_; }
  const FLVersion& versionPath() const { return downloadVersion_; }
  qint64 doneLength() const { return doneLength_; }
  qint64 totalLength() const { return totalLength_; }
  // Why the last download failed, for the log and the dialog.
  const QString& failureReason() const { return failureReason_; }

 signals:
  // The job ended, well or not (isFinished is now true).
  void finished();
  void doneLengthChanged(qint64 done, qint64 total);

 protected:
  // What a job fetches and where it goes. The news checker fetches its page instead.
  virtual QUrl sourceUrl() const;
  virtual int timeoutMs() const;
  // Where the downloaded bytes go: a new temporary file for a check (empty answer), the
  // Downloads folder for a file. Empty with a reason: the job fails.
  virtual QString destinationFor(const QUrl& url, QString* reason) const;
  virtual qint64 maximumBytes() const;
  // A new file name in the temporary folder, with the extension when one is given.
  static QString temporaryPath(const QString& extension);
  // Whether the finished download is the job's result (else it is a page to look through).
  virtual bool isFileDownload() const { return !checkRequest_; }

 private:
  struct Outcome;
  void complete(const Outcome& outcome);
  void abortWorker();

  QString downloadPath_;
  QUrl pageUrl_;
  QString productWord_;
  FLVersion runningVersion_;
  bool runningVersionValid_ = false;
  bool checkRequest_ = false;
  bool working_ = false;
  bool success_ = false;
  FLVersion downloadVersion_;
  qint64 totalLength_ = 0;
  qint64 doneLength_ = 0;
  QString failureReason_;
  std::unique_ptr<QThread> thread_;
  // Lives on thread_ and holds the network objects, which go with the thread; the object itself
  // stays until this one goes, so that calls posted to it are always safe.
  std::unique_ptr<QObject> worker_;
  std::shared_ptr<std::atomic<bool>> cancelled_;
};

// Lets go of a job, also from inside its own signal: it stops telling the observer, is called
// off when asked, and goes on the next turn of the event loop.
void ReleaseUpdaterJob(std::unique_ptr<FLAppUpdaterThread>& job, QObject* observer, bool cancel);
