#include "framlet/shell/flCommandLine.h"

#include <QFileInfo>
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
    line.documents.append(QFileInfo(url.isLocalFile() ? url.toLocalFile() : argument).absoluteFilePath());
  }
  return line;
}
