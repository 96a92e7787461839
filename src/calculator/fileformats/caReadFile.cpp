#include "calculator/fileformats/caReadFile.h"

#include "platform/FLError.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

bool ReadWholeFile(const QString& path, QByteArray* bytes, FLError* error) {
  auto fail = [error](int code) {
    SetError(error, code, QString::fromLocal8Bit(std::strerror(code)), kFLPosixErrorDomain);
    return false;
  };
  errno = 0;
  std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
  if (!file) return fail(errno ? errno : EIO);
  bytes->clear();
  char buffer[65536];
  try {
    while (true) {
      const size_t n = std::fread(buffer, 1, sizeof buffer, file);
      if (n > 0) bytes->append(buffer, qsizetype(n));
      if (n < sizeof buffer) break;
    }
  } catch (const std::bad_alloc&) {
    std::fclose(file);
    return fail(ENOMEM);
  }
  const bool failed = std::ferror(file);
  const int code = errno;
  std::fclose(file);
  if (failed) return fail(code ? code : EIO);
  return true;
}
