#include "framlet/shell/FLNewsUpdaterThread.h"

QString FLNewsUpdaterThread::destinationFor(const QUrl&, QString*) const { return temporaryPath(QStringLiteral("html")); }
