// Feeds arbitrary lines to the reader of open requests, which another process sends over the
// local socket: a request is an array of non-empty texts or nothing, never a crash.
#include "framlet/shell/FLOpenRequestChannel.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

int FuzzOpenRequest(const uint8_t* data, size_t size) {
  const QByteArray line(reinterpret_cast<const char*>(data), qsizetype(size));
  const std::optional<QStringList> paths = FLOpenRequestServer::parseRequest(line);
  if (paths) {
    for (const QString& path : *paths) {
      if (path.isEmpty()) std::abort();
    }
  }
  return 0;
}
