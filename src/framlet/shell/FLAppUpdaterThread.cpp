#include "framlet/shell/FLAppUpdaterThread.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFileSupport.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QUuid>

QString FLAppUpdaterThread::temporaryPath(const QString& extension) {
  QString name = QStringLiteral("orvandel-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
  if (!extension.isEmpty()) name += QLatin1Char('.') + extension;
  return QDir(QDir::tempPath()).filePath(name);
}

struct FLAppUpdaterThread::Outcome {
  bool success = false;
  QString path;
  FLVersion version;
  QString reason;
};

FLAppUpdaterThread::FLAppUpdaterThread(QObject* parent) : QObject(parent), pageUrl_(QString::fromLatin1(kFLDownloadsPageUrl)) {}

FLAppUpdaterThread::~FLAppUpdaterThread() {
  if (!thread_) return;
  // A finished job's file stays; the worker may still be winding down when the job goes.
  if (working_ && cancelled_) {
    cancelled_->store(true);
    abortWorker();
  }
  thread_->quit();
  thread_->wait();
}

void FLAppUpdaterThread::abortWorker() {
  if (!worker_) return;
  QMetaObject::invokeMethod(worker_.get(), [worker = worker_.get()] {
    for (QNetworkReply* reply : worker->findChildren<QNetworkReply*>()) reply->abort();
  }, Qt::QueuedConnection);
}

void FLAppUpdaterThread::setApplication(const QString& executableName, const QString& shortVersion) {
  productWord_ = ProductWord(executableName);
  const std::optional<FLVersion> running = RunningVersion(shortVersion);
  runningVersionValid_ = running.has_value();
  runningVersion_ = running.value_or(FLVersion{});
}

QUrl FLAppUpdaterThread::sourceUrl() const { return checkRequest_ ? pageUrl_ : QUrl(downloadPath_); }

int FLAppUpdaterThread::timeoutMs() const { return checkRequest_ ? kFLCheckTimeoutMs : kFLFileTimeoutMs; }

qint64 FLAppUpdaterThread::maximumBytes() const { return isFileDownload() ? kFLMaxDownloadBytes : kFLMaxPageBytes; }

QString FLAppUpdaterThread::destinationFor(const QUrl& url, QString* reason) const {
  if (!isFileDownload()) return temporaryPath(QString());
  const QString folder = PathForUserFolder(FLUserFolder::Downloads);
  if (folder.isEmpty()) {
    LogText(QStringLiteral("Can't find or create download folder"));
    *reason = QStringLiteral("Can't find or create download folder");
    return {};
  }
  return QDir(folder).filePath(SafeDownloadFileName(url));
}

void FLAppUpdaterThread::start() {
  if (working_) return;
  checkRequest_ = downloadPath_.isEmpty();
  working_ = true;
  success_ = false;
  downloadVersion_ = FLVersion{};
  doneLength_ = totalLength_ = 0;
  failureReason_.clear();
  cancelled_ = std::make_shared<std::atomic<bool>>(false);

  const QUrl url = sourceUrl();
  QString reason;
  const QString destination = url.isValid() ? destinationFor(url, &reason) : QString();
  if (destination.isEmpty()) {
    Outcome failed;
    failed.reason = reason.isEmpty() ? QStringLiteral("Bad address") : reason;
    QTimer::singleShot(0, this, [this, failed, flag = cancelled_] {
      if (!flag->load()) complete(failed);
    });
    return;
  }

  const int timeout = timeoutMs();
  const qint64 maximum = maximumBytes();
  const bool fileDownload = isFileDownload();
  const QString productWord = productWord_;
  const FLVersion running = runningVersion_;
  const bool runningValid = runningVersionValid_;
  const QString pageAddress = pageUrl_.toString();
  const std::shared_ptr<std::atomic<bool>> cancelled = cancelled_;
  FLAppUpdaterThread* self = this;  // outlives the worker: the destructor waits for it

  thread_ = std::make_unique<QThread>();
  thread_->setObjectName(QStringLiteral("FLAppUpdaterThread"));
  worker_ = std::make_unique<QObject>();
  worker_->moveToThread(thread_.get());
  // The network objects end on their own thread, just before it stops.
  connect(thread_.get(), &QThread::finished, worker_.get(), [worker = worker_.get(), cancelled] {
    // A download called off leaves no part of its file behind.
    if (cancelled->load()) {
      for (QFile* file : worker->findChildren<QFile*>()) {
        file->close();
        file->remove();
      }
    }
    const QObjectList children = worker->children();
    qDeleteAll(children);
  }, Qt::DirectConnection);
  connect(thread_.get(), &QThread::started, worker_.get(), [=, worker = worker_.get()] {
    auto report = [self, cancelled](const Outcome& outcome) {
      QMetaObject::invokeMethod(self, [self, cancelled, outcome] {
        if (!cancelled->load()) self->complete(outcome);
      }, Qt::QueuedConnection);
      QThread::currentThread()->quit();
    };
    auto* file = new QFile(destination, worker);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      report(Outcome{false, {}, {}, file->errorString()});
      return;
    }
    auto* manager = new QNetworkAccessManager(worker);
    QNetworkRequest request(url);
    request.setTransferTimeout(timeout);
    QNetworkReply* reply = manager->get(request);
    auto done = std::make_shared<qint64>(0);
    auto total = std::make_shared<qint64>(0);
    auto refusal = std::make_shared<QString>();
    auto progress = [self, cancelled, done, total, fileDownload] {
      if (!fileDownload) return;
      QMetaObject::invokeMethod(self, [self, cancelled, d = *done, t = *total] {
        if (cancelled->load()) return;
        self->totalLength_ = t;
        self->doneLength_ = d;
        emit self->doneLengthChanged(d, t);
      }, Qt::QueuedConnection);
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, worker, [=] {
      *total = std::max<qint64>(reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(), 0);
      *done = 0;
      if (*total > maximum) {
        *refusal = QStringLiteral("The file is larger than %1 bytes.").arg(maximum);
        reply->abort();
        return;
      }
      progress();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, worker, [=] {
      const QByteArray chunk = reply->readAll();
      if (!refusal->isEmpty()) return;
      if (*done + chunk.size() > maximum) {
        *refusal = QStringLiteral("The file is larger than %1 bytes.").arg(maximum);
        reply->abort();
        return;
      }
      if (file->write(chunk) != chunk.size()) {
        *refusal = file->errorString();
        reply->abort();
        return;
      }
      *done += chunk.size();
      progress();
    });
    QObject::connect(reply, &QNetworkReply::finished, worker, [=] {
      reply->deleteLater();
      file->close();
      Outcome outcome;
      if (cancelled->load()) {
        file->remove();
        report(outcome);
        return;
      }
      if (!refusal->isEmpty() || reply->error() != QNetworkReply::NoError) {
        outcome.reason = refusal->isEmpty() ? reply->errorString() : *refusal;
        LogText(QStringLiteral("Download %1 failed: %2").arg(url.toString(), outcome.reason));
        file->remove();
        report(outcome);
        return;
      }
      if (fileDownload) {
        outcome.success = true;
        outcome.path = destination;
        report(outcome);
        return;
      }
      // A check: look through the page for a newer version.
      QByteArray page;
      if (file->open(QIODevice::ReadOnly)) page = file->read(maximum + 1);
      file->close();
      file->remove();
      const FLDownloadsPage found = FindNewestVersion(page, productWord);
      if (!found.found || !runningValid) {
        outcome.reason = QStringLiteral("The downloads page lists no version of this application.");
      } else {
        outcome.success = true;
        outcome.version = found.version;
        if (found.version.value() > running.value()) outcome.path = pageAddress + QLatin1Char('/') + found.link;
      }
      report(outcome);
    });
  });
  thread_->start();
}

void FLAppUpdaterThread::cancel() {
  if (!working_) return;
  if (cancelled_) cancelled_->store(true);
  abortWorker();
  complete(Outcome{false, {}, {}, QStringLiteral("Cancelled")});
}

void FLAppUpdaterThread::complete(const Outcome& outcome) {
  if (!working_) return;
  working_ = false;
  success_ = outcome.success;
  failureReason_ = outcome.reason;
  downloadPath_ = outcome.success ? outcome.path : QString();
  if (checkRequest_ && outcome.success) downloadVersion_ = outcome.version;
  emit finished();
}

void ReleaseUpdaterJob(std::unique_ptr<FLAppUpdaterThread>& job, QObject* observer, bool cancel) {
  if (!job) return;
  job->disconnect(observer);
  if (cancel) job->cancel();
  job.release()->deleteLater();
}
