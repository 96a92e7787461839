// Unique names, user folders, permissions and file attributes.
#include "framlet/foundation/flFileSupport.h"

#include "framlet/foundation/flBase.h"
#include "platform/FLError.h"
#include "platform/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <new>
#include <vector>

namespace {

constexpr const char* kUntitledName = "untitled";
constexpr const char* kZipExtension = "zip";
constexpr int kMaxNumberedNames = 99;
constexpr const char* kCantGetPermissions = "Can't get permissions for %@. %@";
constexpr const char* kCantChangePermissions = "Can't change permissions of %@. %@";

QString ErrorReason(int error) {
  QString reason = qt_error_string(error);
  return reason.isEmpty() ? QStringLiteral("An unknown error occurred.") : reason;
}

QString WithoutSeparators(QString text) {
  text.remove(QLatin1Char('/'));
  text.remove(QLatin1Char(':'));
  return text;
}

// The extension of a file name as the original platform saw it: what follows the last dot,
// when that dot is neither the first nor the last character.
QString PathExtension(const QString& name) {
  qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot <= 0 || dot == name.size() - 1) return QString();
  return name.mid(dot + 1);
}

QString JoinPath(const QString& folder, const QString& fileName) {
  if (folder.isEmpty()) return fileName;
  if (folder.endsWith(QLatin1Char('/'))) return folder + fileName;
  return folder + QLatin1Char('/') + fileName;
}

// The status of the path itself (a link's own, not its target's); logs when it cannot be read.
bool ReadLinkStatus(const QString& path, const QByteArray& encoded, struct stat* status) {
  if (::lstat(encoded.constData(), status) == 0) return true;
  LogString(kCantGetPermissions, path, ErrorReason(errno));
  return false;
}

bool NameIsTaken(const QString& path) {
  QFileInfo info(path);
  return info.exists() || info.isSymLink();
}

}  // namespace

bool IsRegularFileOfAtMost(const QString& path, int64_t maxSize) {
  struct stat info;
  return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode) &&
         int64_t(info.st_size) <= maxSize;
}

namespace {

// The file opened for reading, after the checks every whole-file reading makes: a regular file
// of at most maxSize bytes. -1 on failure, with the error set.
int OpenRegularFile(const QString& path, int64_t maxSize, int64_t* size, FLError* error) {
  const auto fail = [error](int fd, int code, const QString& reason) {
    if (fd >= 0) ::close(fd);
    SetError(error, code, reason, kFLPosixErrorDomain);
    return -1;
  };
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int code = errno;
    return fail(-1, code, ErrorReason(code));
  }
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    const int code = errno;
    return fail(fd, code, ErrorReason(code));
  }
  if (S_ISDIR(info.st_mode)) return fail(fd, EISDIR, ErrorReason(EISDIR));
  if (!S_ISREG(info.st_mode)) return fail(fd, EINVAL, QString::fromLatin1(kNotRegularFileReason));
  if (int64_t(info.st_size) > maxSize) return fail(fd, EFBIG, QString::fromLatin1(kFileTooLargeReason));
  *size = int64_t(info.st_size);
  return fd;
}

struct FileCloser {
  int fd;
  ~FileCloser() { ::close(fd); }
};

// Fills the buffer from the file as far as it holds; the bytes read, or -1 with errno set.
qsizetype ReadFull(int fd, char* buffer, qsizetype length) {
  qsizetype done = 0;
  while (done < length) {
    const ssize_t got = ::read(fd, buffer + done, size_t(length - done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += got;
  }
  return done;
}

}  // namespace

std::optional<QByteArray> ReadRegularFile(const QString& path, int64_t maxSize, FLError* error) {
  int64_t size = 0;
  const int fd = OpenRegularFile(path, maxSize, &size, error);
  if (fd < 0) return std::nullopt;
  const FileCloser closer{fd};
  const auto fail = [error](int code) {
    SetError(error, code, ErrorReason(code), kFLPosixErrorDomain);
    return std::nullopt;
  };
  QByteArray bytes;
  try {
    bytes.resize(qsizetype(size));
  } catch (const std::bad_alloc&) {
    return fail(ENOMEM);
  }
  // A file that shrank while it was read gives what it held; one that grew, what it held when
  // it was asked.
  const qsizetype done = ReadFull(fd, bytes.data(), bytes.size());
  if (done < 0) return fail(errno);
  bytes.truncate(done);
  return bytes;
}

std::optional<QByteArray> ReadRegularFileHead(const QString& path, int64_t maxSize, qsizetype headBytes,
                                              FLError* error) {
  int64_t size = 0;
  const int fd = OpenRegularFile(path, maxSize, &size, error);
  if (fd < 0) return std::nullopt;
  const FileCloser closer{fd};
  QByteArray bytes;
  try {
    bytes.resize(qsizetype(std::clamp<int64_t>(size, 0, std::max<qsizetype>(headBytes, 0))));
  } catch (const std::bad_alloc&) {
    SetError(error, ENOMEM, ErrorReason(ENOMEM), kFLPosixErrorDomain);
    return std::nullopt;
  }
  const qsizetype done = ReadFull(fd, bytes.data(), bytes.size());
  if (done < 0) {
    const int code = errno;
    SetError(error, code, ErrorReason(code), kFLPosixErrorDomain);
    return std::nullopt;
  }
  bytes.truncate(done);
  return bytes;
}

bool ReadRegularFileInPieces(const QString& path, int64_t maxSize, qsizetype pieceSize,
                             const std::function<void(int64_t)>& sized,
                             const std::function<bool(QByteArrayView, bool)>& piece, FLError* error) {
  int64_t size = 0;
  const int fd = OpenRegularFile(path, maxSize, &size, error);
  if (fd < 0) return false;
  const FileCloser closer{fd};
  if (sized) sized(size);
  QByteArray buffer;
  try {
    buffer.resize(std::max<qsizetype>(1, std::min<qsizetype>(pieceSize, qsizetype(size))));
  } catch (const std::bad_alloc&) {
    SetError(error, ENOMEM, ErrorReason(ENOMEM), kFLPosixErrorDomain);
    return false;
  }
  int64_t done = 0;
  for (;;) {
    const qsizetype want = qsizetype(std::min<int64_t>(buffer.size(), size - done));
    const qsizetype got = want > 0 ? ReadFull(fd, buffer.data(), want) : 0;
    if (got < 0) {
      const int code = errno;
      SetError(error, code, ErrorReason(code), kFLPosixErrorDomain);
      return false;
    }
    done += got;
    // As whole: a file that shrank gives what it held, one that grew what it held when asked.
    const bool last = got < want || done >= size;
    if (!piece(QByteArrayView(buffer.constData(), got), last)) return false;
    if (last) return true;
  }
}

QString UniqueFileNameCore(const QString& folder, const QString& name, const QString& givenExtension) {
  QString base = WithoutSeparators(name);
  if (base.isEmpty()) base = QString::fromLatin1(kUntitledName);
  // The extension comes from code, but a separator in it would still lead out of the folder.
  QString extension = WithoutSeparators(givenExtension);

  QString candidate;
  if (!extension.isEmpty()) {
    if (extension.compare(QLatin1String(kZipExtension), Qt::CaseInsensitive) == 0) {
      QString own = PathExtension(base);
      if (!own.isEmpty()) {
        extension = own + QLatin1Char('.') + QLatin1String(kZipExtension);
        base.chop(own.size() + 1);
      }
    }
    base.remove(QLatin1Char('.'));
    // A name of dots alone would otherwise give a hidden file with no name.
    if (base.isEmpty()) base = QString::fromLatin1(kUntitledName);
    candidate = base + QLatin1Char('.') + extension;
  } else {
    candidate = base;
  }

  QString path = JoinPath(folder, candidate);
  if (!NameIsTaken(path)) return path;

  for (int number = 1; number <= kMaxNumberedNames; ++number) {
    candidate = extension.isEmpty() ? StringWithFormat("%@-%d", base, number)
                                    : StringWithFormat("%@-%d.%@", base, number, extension);
    path = JoinPath(folder, candidate);
    if (!NameIsTaken(path)) return path;
  }

  candidate = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
  if (!extension.isEmpty()) candidate += QLatin1Char('.') + extension;
  return JoinPath(folder, candidate);
}

QString UniqueFileName(const QString& folder, const QString& name, const QString& extension) {
  return UniqueFileNameCore(folder, name, extension);
}

QString HomeFolderPath() {
  static const QString home = [] {
    QString path = qEnvironmentVariable("HOME");
    if (path.isEmpty() || !QDir::isAbsolutePath(path)) {
      // No usable $HOME: the password entry of the current user, as the original looked it up.
      if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        path = QString::fromLocal8Bit(entry->pw_dir);
    }
    path = QDir::cleanPath(path);
    if (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
    return path;
  }();
  return home;
}

QString PathForUserFolder(FLUserFolder folder) {
  QString path;
  switch (folder) {
    case FLUserFolder::ApplicationSupport:
      path = ApplicationSupportFolder();
      break;
    case FLUserFolder::Downloads:
      path = DownloadsFolder();
      break;
  }
  if (path.isEmpty()) return QString();
  if (!QFileInfo::exists(path) && !QDir().mkpath(path)) return QString();
  return path;
}

uint32_t PermissionsForFile(const QString& path, bool* isFolder) {
  if (isFolder) *isFolder = false;
  struct stat status {};
  if (!ReadLinkStatus(path, QFile::encodeName(path), &status)) return 0;
  if (isFolder) *isFolder = S_ISDIR(status.st_mode);
  return uint32_t(status.st_mode & 07777);
}

void GiveUserFilePermissions(const QString& path) {
  constexpr uint32_t kUserReadWrite = S_IRUSR | S_IWUSR;
  // Walked with a stack of its own, last entry first, so a deep tree cannot exhaust the call stack.
  std::vector<QString> pending{path};
  while (!pending.empty()) {
    const QString current = std::move(pending.back());
    pending.pop_back();
    const QByteArray encoded = QFile::encodeName(current);
    struct stat status {};
    if (!ReadLinkStatus(current, encoded, &status)) continue;
    const bool isFolder = S_ISDIR(status.st_mode);
    const uint32_t bits = uint32_t(status.st_mode & 07777);
    // A link's own bits are always complete; its target is never touched.
    if (!S_ISLNK(status.st_mode) && (bits & kUserReadWrite) != kUserReadWrite) {
      if (::chmod(encoded.constData(), mode_t(bits | kUserReadWrite)) != 0) {
        LogString(kCantChangePermissions, current, ErrorReason(errno));
        continue;
      }
    }
    if (!isFolder) continue;
    const QStringList entries =
        QDir(current).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) pending.push_back(JoinPath(current, entry));
  }
}

void GetFinderAttributes(const QString& path, FinderAttributes* attributes) {
  if (!attributes) return;
  *attributes = FinderAttributes{};
  if (path.isEmpty()) return;
  const QByteArray encoded = QFile::encodeName(path);
  struct statx status {};
  if (::statx(AT_FDCWD, encoded.constData(), AT_SYMLINK_NOFOLLOW, STATX_MODE | STATX_TYPE | STATX_BTIME, &status) != 0)
    return;
  attributes->valid = 1;
  attributes->permissions = uint32_t(status.stx_mode & 07777);
  if (status.stx_mask & STATX_BTIME)
    attributes->creationTime = double(status.stx_btime.tv_sec) + double(status.stx_btime.tv_nsec) / 1e9;
  // The inode flags can only be read through an open file; devices and pipes are never opened.
  if (S_ISREG(status.stx_mode) || S_ISDIR(status.stx_mode)) {
    int fd = ::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      int flags = 0;
      if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) attributes->immutable = 1;
      ::close(fd);
    }
  }
}

bool SetFinderAttributes(const QString& path, const FinderAttributes& attributes) {
  if (!attributes.valid || path.isEmpty()) return false;
  // Creation time, label and hidden extension have no place on Linux.
  return ::chmod(QFile::encodeName(path).constData(), mode_t(attributes.permissions & 0777)) == 0;
}

void SwapBuffers(void* a, void* b, size_t length) {
  if (length == 0 || a == b) return;
  if (!a || !b) {
    FLAssert(false, "Null buffer to swap");
    return;
  }
  auto* first = static_cast<unsigned char*>(a);
  auto* second = static_cast<unsigned char*>(b);
  const uintptr_t start1 = reinterpret_cast<uintptr_t>(first);
  const uintptr_t start2 = reinterpret_cast<uintptr_t>(second);
  if (start1 < start2 + length && start2 < start1 + length) {
    FLAssert(false, "Overlapping buffers to swap");
    return;
  }
  // In place, byte for byte: no scratch block to allocate, so the swap cannot fail.
  std::swap_ranges(first, first + length, second);
}

bool NameIsUnreadable(const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  const QStringList names = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QString folder = QStringLiteral("/");
  for (const QString& name : names) {
    const QString item = QDir(folder).filePath(name);
    struct stat info {};
    if (::lstat(QFile::encodeName(item).constData(), &info) == 0) {
      folder = item;
      continue;
    }
    // The first name on the way that names nothing: is it the reading of another one's bytes?
    DIR* entries = ::opendir(QFile::encodeName(folder).constData());
    if (!entries) return false;
    const QByteArray written = QFile::encodeName(name);
    bool unreadable = false;
    while (const dirent* entry = ::readdir(entries)) {
      const QByteArray bytes(entry->d_name);
      if (bytes != written && QFile::decodeName(bytes) == name) {
        unreadable = true;
        break;
      }
    }
    ::closedir(entries);
    return unreadable;
  }
  return false;
}

std::optional<QString> PackageEntryPath(const QString& package, const QString& entry) {
  const QString path = QDir(package).filePath(entry);
  const QString inside = QFileInfo(package).canonicalFilePath();
  const QString target = QFileInfo(path).canonicalFilePath();
  if (target.isEmpty()) return path;
  if (inside.isEmpty() || !target.startsWith(inside + QLatin1Char('/'))) return std::nullopt;
  return target;
}
