#include "calculator/fileformats/caPackageWriter.h"

#include "platform/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr mode_t kFolderMode = 0777;  // less the process's umask
constexpr mode_t kFileMode = 0666;
// Pieces at least this large are sent on to the disk as soon as they are written.
constexpr qsizetype kEarlyWritebackBytes = qsizetype(256) << 10;

void SetPosixError(FLError* error, int code) {
  SetError(error, code, QString::fromLocal8Bit(std::strerror(code)), kFLPosixErrorDomain);
}

}  // namespace

bool CreatePackageFolder(const QString& path, FLError* error) {
  const QByteArray native = QFile::encodeName(path);
  if (::mkdir(native.constData(), kFolderMode) == 0) return true;
  SetPosixError(error, errno);
  return false;
}

bool WritePackageTextFile(const QString& path, const QString& text, FLError* error) {
  const QByteArray bytes = text.toUtf8();
  return WritePackageTextFile(path, QByteArrayView(bytes), error);
}

bool WritePackageTextFile(const QString& path, QByteArrayView bytes, FLError* error) {
  CAPackageFileStream file;
  return file.open(path, error) && file.write(bytes, error) && file.close(error);
}

CAPackageFileStream::~CAPackageFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

bool CAPackageFileStream::open(const QString& path, FLError* error) {
  const QByteArray native = QFile::encodeName(path);
  fd_ = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode);
  if (fd_ >= 0) return true;
  SetPosixError(error, errno);
  return false;
}

bool CAPackageFileStream::write(QByteArrayView bytes, FLError* error) {
  if (fd_ < 0) {
    SetPosixError(error, EBADF);
    return false;
  }
  const char* next = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd_, next, size_t(left));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      SetPosixError(error, written < 0 ? errno : ENOSPC);
      return false;
    }
    next += written;
    left -= written;
  }
  // A large piece starts on its way to the disk at once, while the next is being made: the
  // flush that ends the saving then waits for the last pieces only. Only a hint: the flush
  // still decides.
  if (bytes.size() >= kEarlyWritebackBytes)
    (void)::sync_file_range(fd_, off_t(offset_), off_t(bytes.size()), SYNC_FILE_RANGE_WRITE);
  offset_ += bytes.size();
  return true;
}

bool CAPackageFileStream::close(FLError* error) {
  if (fd_ < 0) {
    SetPosixError(error, EBADF);
    return false;
  }
  const int result = ::close(fd_);
  fd_ = -1;
  if (result == 0) return true;
  SetPosixError(error, errno);
  return false;
}

bool SyncPackage(const QString& path, FLError* error) {
  const QFileInfo info(path);
  if (info.isSymLink()) return true;
  if (info.isDir()) {
    const QDir folder(path);
    for (const QString& name : folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
      if (!SyncPackage(folder.filePath(name), error)) return false;
  }
  const QByteArray native = QFile::encodeName(path);
  const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | (info.isDir() ? O_DIRECTORY : 0));
  if (fd < 0) {
    SetPosixError(error, errno);
    return false;
  }
  int result = ::fsync(fd);
  // Some file systems cannot flush a folder; what they hold is flushed all the same.
  if (result != 0 && info.isDir() && (errno == EINVAL || errno == ENOTSUP)) result = 0;
  const int code = errno;
  ::close(fd);
  if (result == 0) return true;
  SetPosixError(error, code);
  return false;
}

