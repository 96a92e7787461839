#include "framlet/shell/flSafeSave.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flStringExtensions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

FLRenameProbe g_renameProbe;

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// What a GUID string looks like: 36 characters, upper-case hex in groups of 8-4-4-4-12.
constexpr int kGuidLength = 36;
const QRegularExpression& GuidPattern() {
  static const QRegularExpression pattern(
      QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"));
  return pattern;
}

// What follows the GUID in a lock file's name, and in the name the old item is set aside under.
constexpr char kLockSuffix = '~';
constexpr const char* kAsideSuffix = ".old";

// ".<name>." for the target, the name shortened so that the GUID, the longest of the suffixes
// and the extension still fit.
QString TemporaryPrefix(const QString& targetName, const QString& extension) {
  const int extensionBytes = extension.isEmpty() ? 0 : int(Native(extension).size()) + 1;
  const int room = kLongestFileName - 2 - kGuidLength - extensionBytes - int(std::strlen(kAsideSuffix));
  return QLatin1Char('.') + FileNameWithin(targetName, std::max(room, 0)) + QLatin1Char('.');
}

// The probe sees the paths the save was given, whatever became of the folder since.
bool Probe(const FLSaveTemporary& temporary, const QString& fromName, const QString& toName) {
  if (!g_renameProbe) return true;
  const QDir folder(QFileInfo(temporary.path()).absolutePath());
  return g_renameProbe(folder.filePath(fromName), folder.filePath(toName));
}

bool ExistsAt(int folder, const QString& name) {
  struct stat info {};
  return ::fstatat(folder, Native(name).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

bool IsPlainFileAt(int folder, const QString& name) {
  struct stat info {};
  return ::fstatat(folder, Native(name).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode);
}

bool RenameAt(const FLSaveTemporary& temporary, const QString& from, const QString& to, QString* reason) {
  if (!Probe(temporary, from, to)) {
    if (reason) *reason = ErrnoText(EIO);
    return false;
  }
  const int folder = temporary.folder();
  if (::renameat(folder, Native(from).constData(), folder, Native(to).constData()) == 0) return true;
  if (reason) *reason = ErrnoText(errno);
  return false;
}

// Swaps two items in one step, so that no moment finds nothing at either name. `refused` tells a
// file system that cannot (the caller then renames) from a failure; `gone` tells that one of
// the two was not there.
bool ExchangeAt(const FLSaveTemporary& temporary, const QString& first, const QString& second, QString* reason,
                bool* refused, bool* gone = nullptr) {
  *refused = false;
  if (gone) *gone = false;
  if (!Probe(temporary, first, second)) {
    if (reason) *reason = ErrnoText(EIO);
    return false;
  }
  const int folder = temporary.folder();
  if (::renameat2(folder, Native(first).constData(), folder, Native(second).constData(), RENAME_EXCHANGE) == 0)
    return true;
  const int error = errno;
  *refused = error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == EXDEV;
  if (gone) *gone = error == ENOENT;
  if (reason) *reason = ErrnoText(error);
  return false;
}

bool RemoveAt(const FLSaveTemporary& temporary, const QString& name) {
  return RemoveItemAtPath(QDir(temporary.folderPath()).filePath(name));
}

bool Exists(const QString& path) {
  struct stat info {};
  return ::lstat(Native(path).constData(), &info) == 0;
}

// Whether the descriptor is still the file linked under the name in the folder.
bool StillNamed(int folder, const QByteArray& name, int fd) {
  struct stat named {}, held {};
  return ::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &held) == 0 &&
         named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

}  // namespace

QString FileNameWithin(const QString& name, int bytes) {
  if (Native(name).size() <= bytes) return name;
  QString cut = name;
  while (!cut.isEmpty() && Native(cut).size() > bytes) {
    // Never half of a surrogate pair.
    cut.chop(cut.size() >= 2 && cut.back().isLowSurrogate() ? 2 : 1);
  }
  return cut;
}

QString TemporaryPathFor(const QString& target, const QString& extension) {
  const QFileInfo info(target);
  QString name = TemporaryPrefix(info.fileName(), extension) + guidString();
  if (!extension.isEmpty()) name += QLatin1Char('.') + extension;
  return QDir(info.absolutePath()).filePath(name);
}

FLSaveTemporary::FLSaveTemporary(const QString& target, const QString& extension) {
  const QFileInfo info(target);
  folderPath_ = info.absolutePath();
  path_ = TemporaryPathFor(target, extension);
  folder_ = ::open(Native(folderPath_).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) return;
  // A sweep that opened the lock file before this save locked it may take it for abandoned and
  // remove it; the save then claims another name.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt > 0) path_ = TemporaryPathFor(target, extension);
    const QString name = QFileInfo(path_).fileName();
    const qsizetype guidEnd = TemporaryPrefix(info.fileName(), extension).size() + kGuidLength;
    lockName_ = Native(name.left(guidEnd) + QLatin1Char(kLockSuffix));
    lock_ = ::openat(folder_, lockName_.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock_ < 0) return;  // a read-only folder: the writer will say why
    if (::flock(lock_, LOCK_EX) == 0 && StillNamed(folder_, lockName_, lock_)) return;
    ::close(lock_);
    lock_ = -1;
  }
}

FLSaveTemporary::~FLSaveTemporary() {
  if (lock_ >= 0) {
    // Unlinked before it is unlocked: a sweep that gets the lock then finds no name and leaves
    // whatever this save kept under its temporary name.
    ::unlinkat(folder_, lockName_.constData(), 0);
    ::close(lock_);
  }
  if (folder_ >= 0) ::close(folder_);
}

QString FLSaveTemporary::folderPath() const {
  if (folder_ < 0) return folderPath_;
  struct stat held {}, named {};
  if (::fstat(folder_, &held) != 0) return folderPath_;
  if (::stat(Native(folderPath_).constData(), &named) == 0 && named.st_dev == held.st_dev &&
      named.st_ino == held.st_ino)
    return folderPath_;
  char link[PATH_MAX + 1];
  const QByteArray proc = "/proc/self/fd/" + QByteArray::number(folder_);
  const ssize_t length = ::readlink(proc.constData(), link, PATH_MAX);
  if (length <= 0 || held.st_nlink == 0) return folderPath_;
  return QFile::decodeName(QByteArray(link, length));
}

void FLSaveTemporary::setWritten() {
  struct stat info {};
  if (folder_ < 0 || ::fstatat(folder_, Native(QFileInfo(path_).fileName()).constData(), &info,
                               AT_SYMLINK_NOFOLLOW) != 0)
    return;
  writtenDevice_ = info.st_dev;
  writtenInode_ = info.st_ino;
}

bool FLSaveTemporary::holdsWrittenItem() const {
  struct stat info {};
  if (folder_ < 0 || ::fstatat(folder_, Native(QFileInfo(path_).fileName()).constData(), &info,
                               AT_SYMLINK_NOFOLLOW) != 0)
    return false;
  return writtenInode_ == 0 || (info.st_dev == writtenDevice_ && info.st_ino == writtenInode_);
}

void RemoveStaleTemporaries(const QString& target) {
  const QFileInfo info(target);
  const QString folderPath = info.absolutePath();
  const QString prefix = TemporaryPrefix(info.fileName(), pathExtension(info.fileName()));
  // The same target saved under another type gives another extension and so another cut; both
  // shapes are swept.
  QStringList prefixes{prefix, TemporaryPrefix(info.fileName(), QString())};
  prefixes.removeDuplicates();
  const QStringList names =
      QDir(folderPath).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  const int folder = ::open(Native(folderPath).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return;
  for (const QString& lockName : names) {
    if (!lockName.endsWith(QLatin1Char(kLockSuffix))) continue;
    const auto owner = std::find_if(prefixes.begin(), prefixes.end(), [&](const QString& p) {
      return lockName.size() == p.size() + kGuidLength + 1 && lockName.startsWith(p) &&
             GuidPattern().match(QStringView(lockName).mid(p.size())).hasMatch();
    });
    if (owner == prefixes.end()) continue;
    const QByteArray nativeLock = Native(lockName);
    const int lock = ::openat(folder, nativeLock.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (lock < 0) continue;
    // A save that still runs holds the lock; one that ended has unlinked the name.
    if (::flock(lock, LOCK_EX | LOCK_NB) == 0 && StillNamed(folder, nativeLock, lock)) {
      const QString stem = lockName.chopped(1);
      for (const QString& name : names) {
        if (name == stem || name.startsWith(stem + QLatin1Char('.'))) {
          const QString path = QDir(folderPath).filePath(name);
          if (!RemoveItemAtPath(path)) LogString("Can't remove %@, left by an unfinished save", path);
        }
      }
      ::unlinkat(folder, nativeLock.constData(), 0);
    }
    ::close(lock);
  }
  ::close(folder);
}

void SetRenameProbe(FLRenameProbe probe) { g_renameProbe = std::move(probe); }

FLFileAttributes GetFileAttributes(const QString& path) {
  FLFileAttributes attributes;
  const QByteArray native = Native(path);
  struct stat info {};
  if (::stat(native.constData(), &info) != 0) return attributes;
  attributes.valid = true;
  attributes.permissions = info.st_mode & 07777;
  attributes.folder = S_ISDIR(info.st_mode);

  const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) attributes.immutable = (flags & FS_IMMUTABLE_FL) != 0;
    ::close(fd);
  }

  const ssize_t size = ::listxattr(native.constData(), nullptr, 0);
  if (size <= 0) return attributes;
  QByteArray names(size, '\0');
  const ssize_t got = ::listxattr(native.constData(), names.data(), size_t(names.size()));
  if (got <= 0) return attributes;
  for (const QByteArray& name : names.left(got).split('\0')) {
    if (!name.startsWith("user.")) continue;
    const ssize_t length = ::getxattr(native.constData(), name.constData(), nullptr, 0);
    if (length < 0) continue;
    QByteArray value(length, '\0');
    const ssize_t read = ::getxattr(native.constData(), name.constData(), value.data(), size_t(value.size()));
    if (read >= 0) attributes.userAttributes.append({name, value.left(read)});
  }
  return attributes;
}

bool SetFileAttributes(const QString& path, const FLFileAttributes& attributes) {
  if (!attributes.valid) return true;
  const QByteArray native = Native(path);
  unsigned permissions = attributes.permissions;
  struct stat info {};
  if (::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode) != attributes.folder) {
    permissions &= ~0111u;
    if (attributes.folder == false) permissions |= (permissions & 0444u) >> 2;
  }
  bool ok = ::chmod(native.constData(), permissions) == 0;
  for (const auto& [name, value] : attributes.userAttributes) {
    if (::setxattr(native.constData(), name.constData(), value.constData(), size_t(value.size()), 0) != 0) ok = false;
  }
  return ok;
}

bool RemoveItemAtPath(const QString& path) {
  if (path.isEmpty()) return true;
  const QFileInfo info(path);
  if (!info.exists() && !info.isSymLink()) return true;
  if (info.isDir() && !info.isSymLink()) return QDir(path).removeRecursively();
  return QFile::remove(path);
}

QString UniquePathInFolder(const QString& folder, const QString& baseName, const QString& extension) {
  const QDir dir(folder);
  const auto named = [&](const QString& base) {
    return dir.filePath(extension.isEmpty() ? base : base + QLatin1Char('.') + extension);
  };
  QString candidate = named(baseName);
  for (int number = 2; Exists(candidate); ++number) candidate = named(baseName + QLatin1Char(' ') + QString::number(number));
  return candidate;
}

bool ReplaceItemAtPath(const FLSaveTemporary& temporary, const QString& target, const QString& backupPath,
                       QString* reason, bool* backupFailed, QString* placedAt) {
  if (backupFailed) *backupFailed = false;
  const int folder = temporary.folder();
  if (folder < 0) {
    if (reason) *reason = ErrnoText(ENOENT);
    return false;
  }
  const QString item = QFileInfo(temporary.path()).fileName();
  const QString name = QFileInfo(target).fileName();
  const QString backup = backupPath.isEmpty() ? QString() : QFileInfo(backupPath).fileName();
  const auto placed = [&] {
    if (placedAt) *placedAt = QDir(temporary.folderPath()).filePath(name);
    return true;
  };
  // The new item must be the one the writer made, there to the end: without it there is nothing
  // to put in place.
  if (!temporary.holdsWrittenItem()) {
    if (reason) *reason = ErrnoText(ENOENT);
    return false;
  }
  // A target gone meanwhile (or never there) leaves its name to the new item.
  const auto takeFreeName = [&] { return RenameAt(temporary, item, name, reason) && placed(); };
  if (!ExistsAt(folder, name)) return takeFreeName();

  if (!backup.isEmpty()) {
    if (ExistsAt(folder, backup)) RemoveAt(temporary, backup);
    if (IsPlainFileAt(folder, name) && IsPlainFileAt(folder, item)) {
      // A second name for the old file is the backup; the rename over it then swaps atomically.
      if (::linkat(folder, Native(name).constData(), folder, Native(backup).constData(), 0) == 0) {
        if (RenameAt(temporary, item, name, reason)) return placed();
        ::unlinkat(folder, Native(backup).constData(), 0);
        return false;
      }
    }
    // The new item and the old swap names in one step; the old one then becomes the backup, or
    // comes back should it not.
    bool refused = false, gone = false;
    if (ExchangeAt(temporary, item, name, reason, &refused, &gone)) {
      // Another save of the same document may have left its backup there meanwhile.
      if (ExistsAt(folder, backup)) RemoveAt(temporary, backup);
      if (RenameAt(temporary, item, backup, reason)) return placed();
      if (backupFailed) *backupFailed = true;
      ExchangeAt(temporary, item, name, nullptr, &refused);
      return false;
    }
    if (gone && ExistsAt(folder, item) && !ExistsAt(folder, name)) return takeFreeName();
    if (!refused) return false;
    // A file system that cannot swap: the old item moves to the backup name and comes back
    // should the new one not take its place.
    if (!RenameAt(temporary, name, backup, reason)) {
      if (backupFailed) *backupFailed = true;
      return false;
    }
    if (RenameAt(temporary, item, name, reason)) return placed();
    RenameAt(temporary, backup, name, nullptr);
    return false;
  }

  if (IsPlainFileAt(folder, name) && IsPlainFileAt(folder, item))
    return RenameAt(temporary, item, name, reason) && placed();
  bool refused = false, gone = false;
  if (ExchangeAt(temporary, item, name, reason, &refused, &gone)) {
    RemoveAt(temporary, item);
    return placed();
  }
  if (gone && ExistsAt(folder, item) && !ExistsAt(folder, name)) return takeFreeName();
  if (!refused) return false;
  const QString aside = item + QLatin1String(kAsideSuffix);
  if (!RenameAt(temporary, name, aside, reason)) return false;
  if (!RenameAt(temporary, item, name, reason)) {
    RenameAt(temporary, aside, name, nullptr);
    return false;
  }
  RemoveAt(temporary, aside);
  return placed();
}

QString KeepTemporaryVisible(const FLSaveTemporary& temporary, const QString& target) {
  const QString name = QFileInfo(target).fileName();
  const QString extension = pathExtension(name);
  const QString base = fileNameMinusExtension(name);
  const QDir folder(temporary.folderPath());
  for (int number = 2; number < 1000; ++number) {
    const QString suffix = QLatin1Char(' ') + QString::number(number);
    const QString tail = extension.isEmpty() ? suffix : suffix + QLatin1Char('.') + extension;
    const QString candidate = FileNameWithin(base, kLongestFileName - int(Native(tail).size())) + tail;
    if (ExistsAt(temporary.folder(), candidate)) continue;
    const int at = temporary.folder();
    const QByteArray from = Native(QFileInfo(temporary.path()).fileName());
    if (::renameat2(at, from.constData(), at, Native(candidate).constData(), RENAME_NOREPLACE) == 0)
      return folder.filePath(candidate);
    if (errno != EEXIST) break;
  }
  return folder.filePath(QFileInfo(temporary.path()).fileName());
}
