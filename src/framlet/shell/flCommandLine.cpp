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
    line.documents.append(QFileInfo(url.isLocalFile() ? LocalPathOfFileUrl(url) : argument).absoluteFilePath());
  }
  return line;
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
