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
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

FLRenameProbe g_renameProbe;

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool RenameItem(const QString& from, const QString& to, QString* reason) {
  if (g_renameProbe && !g_renameProbe(from, to)) {
    if (reason) *reason = ErrnoText(EIO);
    return false;
  }
  if (::rename(Native(from).constData(), Native(to).constData()) == 0) return true;
  if (reason) *reason = ErrnoText(errno);
  return false;
}

// Swaps two items in one step, so that no moment finds nothing at either name. `refused` tells a
// file system that cannot (the caller then renames) from a failure.
bool ExchangeItems(const QString& first, const QString& second, QString* reason, bool* refused) {
  *refused = false;
  if (g_renameProbe && !g_renameProbe(first, second)) {
    if (reason) *reason = ErrnoText(EIO);
    return false;
  }
  if (::renameat2(AT_FDCWD, Native(first).constData(), AT_FDCWD, Native(second).constData(), RENAME_EXCHANGE) == 0)
    return true;
  const int error = errno;
  *refused = error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == EXDEV;
  if (reason) *reason = ErrnoText(error);
  return false;
}

bool IsPlainFile(const QString& path) {
  struct stat info {};
  return ::lstat(Native(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool Exists(const QString& path) {
  struct stat info {};
  return ::lstat(Native(path).constData(), &info) == 0;
}

}  // namespace

QString TemporaryPathFor(const QString& target, const QString& extension) {
  const QFileInfo info(target);
  QString name = QLatin1Char('.') + info.fileName() + QLatin1Char('.') + guidString();
  if (!extension.isEmpty()) name += QLatin1Char('.') + extension;
  return QDir(info.absolutePath()).filePath(name);
}

void RemoveStaleTemporaries(const QString& target) {
  const QFileInfo info(target);
  const QString prefix = QLatin1Char('.') + info.fileName() + QLatin1Char('.');
  // Only names this save makes: the prefix, a GUID, and an extension or nothing.
  static const QRegularExpression kGuidAndExtension(
      QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}(\\.[^/]*)?$"));
  const QStringList names =
      QDir(info.absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QString& name : names) {
    if (!name.startsWith(prefix) || !kGuidAndExtension.match(QStringView(name).mid(prefix.size())).hasMatch())
      continue;
    const QString path = QDir(info.absolutePath()).filePath(name);
    if (!RemoveItemAtPath(path)) LogString("Can't remove %@, left by an unfinished save", path);
  }
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

bool ReplaceItemAtPath(const QString& temporary, const QString& target, const QString& backup, QString* reason,
                       bool* backupFailed) {
  if (backupFailed) *backupFailed = false;
  if (!Exists(target)) return RenameItem(temporary, target, reason);

  if (!backup.isEmpty()) {
    RemoveItemAtPath(backup);
    if (IsPlainFile(target) && IsPlainFile(temporary)) {
      // A second name for the old file is the backup; the rename over it then swaps atomically.
      if (::link(Native(target).constData(), Native(backup).constData()) == 0) {
        if (RenameItem(temporary, target, reason)) return true;
        ::unlink(Native(backup).constData());
        return false;
      }
    }
    // The new item and the old swap names in one step; the old one then becomes the backup, or
    // comes back should it not.
    bool refused = false;
    if (ExchangeItems(temporary, target, reason, &refused)) {
      if (RenameItem(temporary, backup, reason)) return true;
      if (backupFailed) *backupFailed = true;
      ExchangeItems(temporary, target, nullptr, &refused);
      return false;
    }
    if (!refused) return false;
    // A file system that cannot swap: the old item moves to the backup name and comes back
    // should the new one not take its place.
    if (!RenameItem(target, backup, reason)) {
      if (backupFailed) *backupFailed = true;
      return false;
    }
    if (RenameItem(temporary, target, reason)) return true;
    RenameItem(backup, target, nullptr);
    return false;
  }

  if (IsPlainFile(target) && IsPlainFile(temporary)) return RenameItem(temporary, target, reason);
  bool refused = false;
  if (ExchangeItems(temporary, target, reason, &refused)) {
    RemoveItemAtPath(temporary);
    return true;
  }
  if (!refused) return false;
  const QString aside = TemporaryPathFor(target, QStringLiteral("old"));
  if (!RenameItem(target, aside, reason)) return false;
  if (!RenameItem(temporary, target, reason)) {
    RenameItem(aside, target, nullptr);
    return false;
  }
  RemoveItemAtPath(aside);
  return true;
}
