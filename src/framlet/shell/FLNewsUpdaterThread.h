// The news checker's download: the maker's news page into a temporary ".html" file, on the
// update checker's worker thread.
#pragma once

#include "framlet/shell/FLAppUpdaterThread.h"

inline constexpr const char* kFLNewsPageUrl = "https://www.orvandel.com/news/index.html";

class FLNewsUpdaterThread : public FLAppUpdaterThread {
  Q_OBJECT

 public:
  explicit FLNewsUpdaterThread(const QUrl& newsUrl, QObject* parent = nullptr)
      : FLAppUpdaterThread(parent), newsUrl_(newsUrl) {}

 protected:
  QUrl sourceUrl() const override { return newsUrl_; }
  int timeoutMs() const override { return kFLCheckTimeoutMs; }
  QString destinationFor(const QUrl& url, QString* reason) const override;
  qint64 maximumBytes() const override { return kFLMaxPageBytes; }
  bool isFileDownload() const override { return true; }

 private:
  QUrl newsUrl_;
};
