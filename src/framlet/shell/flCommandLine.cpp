#include "framlet/shell/flCommandLine.h"

#include <QFileInfo>
#include <QSysInfo>
#include <QUrl>

FLCommandLine ParseCommandLine(const QStringList& arguments) {
  FLCommandLine line;
  bool optionsEnded = false;
  for (const QString& argument : arguments.mid(1)) {
    if (!optionsEnded && argument == QLatin1String("--")) {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && argument.startsWith(QLatin1Char('-'))) {
      if (argument == QLatin1String(kPrintOption)) line.print = true;
      continue;
    }
    const QUrl url(argument);
    line.documents.append(
        CleanDocumentPath(QFileInfo(url.isLocalFile() ? LocalPathOfFileUrl(url) : argument).absoluteFilePath()));
  }
  return line;
}

QString CleanDocumentPath(const QString& path) {
  if (path.isEmpty()) return path;
  const bool rooted = path.startsWith(QLatin1Char('/'));
  const bool otherHost = path.startsWith(QLatin1String("//")) && !path.startsWith(QLatin1String("///"));
  QStringList steps = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  steps.removeAll(QStringLiteral("."));
  const QString joined = steps.join(QLatin1Char('/'));
  if (!rooted) return joined.isEmpty() ? QStringLiteral(".") : joined;
  return (otherHost && !joined.isEmpty() ? QStringLiteral("//") : QStringLiteral("/")) + joined;
}

QString LocalPathOfFileUrl(const QUrl& url) {
  const QString host = url.host();
  if (host.isEmpty() || host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
      host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0) {
    QUrl local(url);
    local.setHost(QString());
    return local.toLocalFile();
  }
  return url.toLocalFile();
}
