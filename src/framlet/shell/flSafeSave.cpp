#include "framlet/shell/flSafeSave.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flStringExtensions.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QCryptographicHash>
#include <QHash>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

FLRenameProbe g_renameProbe;
FLBootTimeProbe g_bootTimeProbe;
FLLockWriteProbe g_lockWriteProbe;
FLDeviceProbe g_deviceProbe;

// The device number a status gives, as a test may pretend the disk was mounted again.
unsigned long long DeviceOf(const struct stat& info) {
  return g_deviceProbe ? g_deviceProbe(info.st_dev) : info.st_dev;
}

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// What a GUID string looks like: 36 characters, upper-case hex in groups of 8-4-4-4-12.
constexpr int kGuidLength = 36;
bool IsGuidAt(QStringView text, qsizetype at) {
  if (text.size() < at + kGuidLength) return false;
  for (int i = 0; i < kGuidLength; ++i) {
    const char16_t c = text[at + i].unicode();
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? c != u'-' : !((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'))) return false;
  }
  return true;
}

// What follows the GUID in a lock file's name, and in the name the old item is set aside under.
constexpr char kLockSuffix = '~';
constexpr const char* kAsideSuffix = ".old";
// What a lock file holds while its temporary is the only copy of a finished version.
constexpr char kKeptMark[] = "kept\n";
// What it holds from the swap on: "swap", the finished item's device and inode, then the
// device, inode and modification time (seconds, nanoseconds) of what was at the target's name
// (zeros for nothing), then the finished item's modification time (a record without it comes
// from an earlier version). The devices are only told: a disk mounted again may come back as
// another device, so the items are known by what is stable within their folder.
constexpr char kSwapMark[] = "swap";

// What is at a name in a folder, told apart from what is put there later.
struct ItemIdentity {
  unsigned long long device = 0, inode = 0;
  long long seconds = 0, nanoseconds = 0;
  bool operator==(const ItemIdentity&) const = default;
};

ItemIdentity IdentityAt(int folder, const QByteArray& name) {
  struct stat info {};
  if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) return {};
  return {DeviceOf(info), info.st_ino, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

// The same item in one folder, across mounts: the inode and the modification time.
bool SameInFolder(const ItemIdentity& one, const ItemIdentity& other) {
  return one.inode == other.inode && one.seconds == other.seconds && one.nanoseconds == other.nanoseconds;
}

// Writes the lock file's whole content from its start.
bool WriteLock(int lock, const QByteArray& content) {
  if (g_lockWriteProbe && !g_lockWriteProbe()) {
    errno = EROFS;
    return false;
  }
  if (::pwrite(lock, content.constData(), size_t(content.size()), 0) != ssize_t(content.size())) return false;
  (void)::ftruncate(lock, off_t(content.size()));
  return true;
}

// ".<name>." for the target, the name shortened so that the GUID, the longest of the suffixes
// and the extension still fit.
QString TemporaryPrefix(const QString& targetName, const QString& extension) {
  const int extensionBytes = extension.isEmpty() ? 0 : int(Native(extension).size()) + 1;
  const int room = kLongestFileName - 2 - kGuidLength - extensionBytes - int(std::strlen(kAsideSuffix));
  return QLatin1Char('.') + DistinctNameWithin(targetName, std::max(room, 0)) + QLatin1Char('.');
}

// When the system started, in seconds since 1970: nothing changed before then is being written
// by a process still running.
time_t BootTime() {
  static const time_t boot = [] {
    QFile stat(QStringLiteral("/proc/stat"));
    if (stat.open(QIODevice::ReadOnly)) {
      for (QByteArray line = stat.readLine(); !line.isEmpty(); line = stat.readLine()) {
        if (line.startsWith("btime ")) return time_t(line.mid(6).trimmed().toLongLong());
      }
    }
    timespec now {}, up {};
    if (::clock_gettime(CLOCK_REALTIME, &now) != 0 || ::clock_gettime(CLOCK_BOOTTIME, &up) != 0) return time_t(0);
    return now.tv_sec - up.tv_sec;
  }();
  return boot;
}

// The names in the folder, in the order the file system gives them.
QStringList FolderEntries(const QString& folderPath) {
  QStringList names;
  const int fd = ::open(Native(folderPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return names;
  DIR* listing = ::fdopendir(fd);
  if (!listing) {
    ::close(fd);
    return names;
  }
  while (const dirent* entry = ::readdir(listing)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names.append(QFile::decodeName(entry->d_name));
  }
  ::closedir(listing);
  return names;
}

// A name in the save's folder, with its form in the file-system encoding made before the swap
// begins: from then on nothing the swap does allocates, so that no failure can stop it half-way.
struct FolderEntry {
  QString name;
  QByteArray native;
  explicit FolderEntry(const QString& entry) : name(entry), native(Native(entry)) {}
};

// The probe sees the paths the save was given, whatever became of the folder since.
bool Probe(const FLSaveTemporary& temporary, const QString& fromName, const QString& toName) {
  if (!g_renameProbe) return true;
  const QDir folder(QFileInfo(temporary.path()).absolutePath());
  return g_renameProbe(folder.filePath(fromName), folder.filePath(toName));
}

bool ExistsAt(int folder, const QByteArray& name) {
  struct stat info {};
  return ::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

bool ExistsAt(int folder, const QString& name) { return ExistsAt(folder, Native(name)); }

bool IsPlainFileAt(int folder, const QByteArray& name) {
  struct stat info {};
  return ::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode);
}

// Renames within the folder; on failure *error holds the system's reason.
bool RenameAt(const FLSaveTemporary& temporary, const FolderEntry& from, const FolderEntry& to, int* error) {
  if (!Probe(temporary, from.name, to.name)) {
    if (error) *error = EIO;
    return false;
  }
  const int folder = temporary.folder();
  if (::renameat(folder, from.native.constData(), folder, to.native.constData()) == 0) return true;
  if (error) *error = errno;
  return false;
}

// Swaps two items in one step, so that no moment finds nothing at either name. `refused` tells a
// file system that cannot (the caller then renames) from a failure; `gone` tells that one of
// the two was not there.
bool ExchangeAt(const FLSaveTemporary& temporary, const FolderEntry& first, const FolderEntry& second, int* error,
                bool* refused, bool* gone = nullptr) {
  *refused = false;
  if (gone) *gone = false;
  if (!Probe(temporary, first.name, second.name)) {
    if (error) *error = EIO;
    return false;
  }
  const int folder = temporary.folder();
  if (::renameat2(folder, first.native.constData(), folder, second.native.constData(), RENAME_EXCHANGE) == 0)
    return true;
  const int failure = errno;
  *refused = failure == EINVAL || failure == ENOSYS || failure == EOPNOTSUPP || failure == ENOTSUP || failure == EXDEV;
  if (gone) *gone = failure == ENOENT;
  if (error) *error = failure;
  return false;
}

bool RemoveAt(const FLSaveTemporary& temporary, const FolderEntry& entry) {
  return RemoveItemQuietlyAt(temporary.folder(), entry.native.constData());
}

// How deep a folder being removed may go: a package is a few levels, and each takes a listing's
// buffer on the stack.
constexpr int kDeepestRemoval = 48;

bool RemoveTreeAt(int folder, const char* name, int depth) {
  if (::unlinkat(folder, name, 0) == 0 || errno == ENOENT) return true;
  if (errno != EISDIR || depth >= kDeepestRemoval) return false;
  const int listed = ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (listed < 0) return errno == ENOENT;
  // Read into a buffer on the stack, pass after pass while one removes something: what is
  // removed while the listing is read may make it skip an entry.
  alignas(struct dirent64) char listing[1024];
  for (bool removed = true; removed;) {
    removed = false;
    if (::lseek(listed, 0, SEEK_SET) != 0) break;
    for (ssize_t got; (got = ::getdents64(listed, listing, sizeof listing)) > 0;) {
      for (ssize_t at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const struct dirent64*>(listing + at);
        at += entry->d_reclen;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (RemoveTreeAt(listed, entry->d_name, depth + 1)) removed = true;
      }
    }
  }
  ::close(listed);
  return ::unlinkat(folder, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
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

// Whether what a save left under its names (`left`) is a version it kept, by what its lock file
// says: marked kept, or finished and swapped for a target that is no longer what it was then.
bool KeptByLock(int folder, int lock, const QStringList& left, const QByteArray& targetName) {
  char content[160] = {};
  const ssize_t got = ::pread(lock, content, sizeof content - 1, 0);
  if (got <= 0) return false;
  const QByteArray mark(content, got);
  if (mark.startsWith(kKeptMark)) return true;
  if (!mark.startsWith(QByteArray(kSwapMark) + ' ') || !mark.endsWith('\n')) return false;
  const QList<QByteArray> fields = mark.trimmed().split(' ');
  if (fields.size() != 7 && fields.size() != 9) return false;
  bool ok = true;
  const auto count = [&](int at) {
    bool read = false;
    const unsigned long long value = fields[at].toULongLong(&read);
    ok = ok && read;
    return value;
  };
  const auto number = [&](int at) {
    bool read = false;
    const long long value = fields[at].toLongLong(&read);
    ok = ok && read;
    return value;
  };
  const bool timed = fields.size() == 9;
  const ItemIdentity written{count(1), count(2), timed ? number(7) : 0, timed ? number(8) : 0};
  const ItemIdentity before{count(3), count(4), number(5), number(6)};
  if (!ok) return false;
  // The finished version by its inode, or by its time where the file system makes up inodes
  // afresh at each mount; anything else there is the old item a swap left behind.
  const bool finished = std::any_of(left.begin(), left.end(), [&](const QString& name) {
    const ItemIdentity item = IdentityAt(folder, Native(name));
    return item.inode != 0 && (item.inode == written.inode ||
                               (timed && item.seconds == written.seconds && item.nanoseconds == written.nanoseconds));
  });
  // The target still as it was: the swap never took effect, and the version was never the
  // user's to lose.
  return finished && (before.inode == 0 || !SameInFolder(IdentityAt(folder, targetName), before));
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

QString DistinctNameWithin(const QString& name, int bytes) {
  const QByteArray native = Native(name);
  if (native.size() <= bytes) return name;
  const QString tail =
      QLatin1Char('-') +
      QString::fromLatin1(QCryptographicHash::hash(native, QCryptographicHash::Sha256).left(4).toHex());
  return FileNameWithin(name, std::max(bytes - int(tail.size()), 0)) + tail;
}

QString TemporaryPathFor(const QString& target, const QString& extension) {
  const QFileInfo info(target);
  QString name = TemporaryPrefix(info.fileName(), extension) + guidString();
  if (!extension.isEmpty()) name += QLatin1Char('.') + extension;
  return QDir(info.absolutePath()).filePath(name);
}

void FLSaveTemporary::name(const QString& target, const QString& extension, qsizetype guidEnd) {
  path_ = TemporaryPathFor(target, extension);
  const QString fileName = QFileInfo(path_).fileName();
  itemName_ = Native(fileName);
  asideName_ = itemName_ + kAsideSuffix;
  lockName_ = Native(fileName.left(guidEnd) + QLatin1Char(kLockSuffix));
}

FLSaveTemporary::FLSaveTemporary(const QString& target, const QString& extension) {
  const QFileInfo info(target);
  folderPath_ = info.absolutePath();
  const qsizetype guidEnd = TemporaryPrefix(info.fileName(), extension).size() + kGuidLength;
  name(target, extension, guidEnd);
  folder_ = ::open(Native(folderPath_).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) {
    claimError_ = errno;
    return;
  }
  // A sweep that opened the lock file before this save locked it may take it for abandoned and
  // remove it; the save then claims another name.
  claimError_ = EBUSY;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt > 0) {
      // Nothing but the folder is held while the new name is made.
      try {
        name(target, extension, guidEnd);
      } catch (...) {
        ::close(folder_);
        folder_ = -1;
        throw;
      }
    }
    lock_ = ::openat(folder_, lockName_.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock_ < 0) {
      claimError_ = errno;  // a read-only folder: nothing can be written there
      return;
    }
    int locked = ::flock(lock_, LOCK_EX);
    while (locked != 0 && errno == EINTR) locked = ::flock(lock_, LOCK_EX);
    // A file system without flock keeps the lock file all the same: no sweep there can take
    // the lock, so none removes what it stands for.
    if (locked != 0 || StillNamed(folder_, lockName_, lock_)) {
      claimError_ = 0;
      return;
    }
    ::close(lock_);
    lock_ = -1;
  }
}

FLSaveTemporary::~FLSaveTemporary() {
  if (lock_ >= 0) {
    // A version that did not take the target's place goes, unless the save kept it or the swap
    // has moved what was at the target's name (what is left then is the sweeps' to judge).
    if (!kept_ && !swapTookEffect()) discard();
    // Unlinked before it is unlocked: a sweep that gets the lock then finds no name. While
    // something stays under the temporary's name (a version that did not reach its own, or an
    // old one that would not go), the lock file stays with it and tells the sweeps what it is.
    const bool leftover = ExistsAt(folder_, itemName_) || ExistsAt(folder_, asideName_);
    if (!leftover) ::unlinkat(folder_, lockName_.constData(), 0);
    ::close(lock_);
  }
  if (folder_ >= 0) ::close(folder_);
}

bool FLSaveTemporary::discard() const {
  if (folder_ < 0) return !ExistsAt(AT_FDCWD, Native(path_));
  return RemoveItemQuietlyAt(folder_, itemName_.constData());
}

bool FLSaveTemporary::swapTookEffect() const {
  if (!swapNoted_) return false;
  struct stat info {};
  if (::fstatat(folder_, swapTargetName_.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) return swapTargetInode_ != 0;
  return info.st_ino != swapTargetInode_ || info.st_mtim.tv_sec != swapTargetSeconds_ ||
         info.st_mtim.tv_nsec != swapTargetNanoseconds_;
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
  if (folder_ < 0 || ::fstatat(folder_, itemName_.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) return;
  writtenDevice_ = DeviceOf(info);
  writtenInode_ = info.st_ino;
  writtenSeconds_ = info.st_mtim.tv_sec;
  writtenNanoseconds_ = info.st_mtim.tv_nsec;
}

bool FLSaveTemporary::keep() const {
  kept_ = true;
  // Writing into the lock file needs no change to the folder, so it works in a folder that has
  // just turned read-only, though not on a disk that has: the record of the swap then speaks
  // for the copy.
  if (lock_ >= 0 && WriteLock(lock_, QByteArray(kKeptMark))) return true;
  LogString("Can't mark %@ as kept: %@", path_, ErrnoText(lock_ >= 0 ? errno : EBADF));
  return false;
}

bool FLSaveTemporary::noteSwap(const QString& targetName) const {
  if (folder_ < 0) return false;
  swapTargetName_ = Native(targetName);
  const ItemIdentity target = IdentityAt(folder_, swapTargetName_);
  swapTargetInode_ = target.inode;
  swapTargetSeconds_ = target.seconds;
  swapTargetNanoseconds_ = target.nanoseconds;
  swapNoted_ = true;
  if (lock_ < 0 || writtenInode_ == 0) return false;
  const QByteArray record = QByteArray(kSwapMark) + ' ' + QByteArray::number(writtenDevice_) + ' ' +
                            QByteArray::number(writtenInode_) + ' ' + QByteArray::number(target.device) + ' ' +
                            QByteArray::number(target.inode) + ' ' + QByteArray::number(target.seconds) + ' ' +
                            QByteArray::number(target.nanoseconds) + ' ' + QByteArray::number(writtenSeconds_) +
                            ' ' + QByteArray::number(writtenNanoseconds_) + '\n';
  return WriteLock(lock_, record);
}

bool FLSaveTemporary::holdsWrittenItem() const {
  struct stat info {};
  if (folder_ < 0 || ::fstatat(folder_, itemName_.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return writtenInode_ == 0 || (DeviceOf(info) == writtenDevice_ && info.st_ino == writtenInode_);
}

void RemoveStaleTemporaries(const QString& target) {
  const QFileInfo info(target);
  const QString folderPath = info.absolutePath();
  const QString prefix = TemporaryPrefix(info.fileName(), pathExtension(info.fileName()));
  // The same target saved under another type gives another extension and so another cut; both
  // shapes are swept.
  QStringList prefixes{prefix, TemporaryPrefix(info.fileName(), QString())};
  prefixes.removeDuplicates();
  // Each save's names by the stem they share (".<name>.<GUID>"): one pass over the folder.
  QHash<QString, QStringList> items;
  QStringList locked;
  for (const QString& name : FolderEntries(folderPath)) {
    for (const QString& p : prefixes) {
      if (!name.startsWith(p) || !IsGuidAt(name, p.size())) continue;
      const qsizetype stemLength = p.size() + kGuidLength;
      if (name.size() == stemLength + 1 && name.back() == QLatin1Char(kLockSuffix)) {
        locked.append(name.left(stemLength));
      } else if (name.size() == stemLength || name[stemLength] == QLatin1Char('.')) {
        items[name.left(stemLength)].append(name);
      }
      break;
    }
  }
  if (locked.isEmpty() && items.isEmpty()) return;
  const int folder = ::open(Native(folderPath).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return;
  const QDir dir(folderPath);
  const auto removeAll = [&](const QStringList& names) {
    bool all = true;
    for (const QString& name : names) {
      const QString path = dir.filePath(name);
      if (!RemoveItemAtPath(path)) {
        LogString("Can't remove %@, left by an unfinished save", path);
        all = false;
      }
    }
    return all;
  };
  for (const QString& stem : locked) {
    const QStringList left = items.take(stem);
    const QByteArray nativeLock = Native(stem + QLatin1Char(kLockSuffix));
    const int lock = ::openat(folder, nativeLock.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (lock < 0) continue;
    // A save that still runs holds the lock; one that ended has unlinked the name, or left it
    // with what it could not clear or had to keep.
    if (::flock(lock, LOCK_EX | LOCK_NB) == 0 && StillNamed(folder, nativeLock, lock)) {
      const bool kept = !left.isEmpty() && KeptByLock(folder, lock, left, Native(info.fileName()));
      if (!kept && removeAll(left)) ::unlinkat(folder, nativeLock.constData(), 0);
    }
    ::close(lock);
  }
  // No lock file: made before the system started, or never swept.
  const time_t boot = g_bootTimeProbe ? time_t(g_bootTimeProbe()) : BootTime();
  for (auto it = items.cbegin(); it != items.cend(); ++it) {
    struct stat status {};
    if (boot == 0 || ::fstatat(folder, Native(it.key() + QLatin1Char(kLockSuffix)).constData(), &status,
                               AT_SYMLINK_NOFOLLOW) == 0)
      continue;
    const bool old = std::all_of(it.value().begin(), it.value().end(), [&](const QString& name) {
      struct stat item {};
      return ::fstatat(folder, Native(name).constData(), &item, AT_SYMLINK_NOFOLLOW) == 0 &&
             item.st_ctim.tv_sec < boot;
    });
    if (old) removeAll(it.value());
  }
  ::close(folder);
}

void SetRenameProbe(FLRenameProbe probe) { g_renameProbe = std::move(probe); }

void SetBootTimeProbe(FLBootTimeProbe probe) { g_bootTimeProbe = std::move(probe); }

void SetLockWriteProbe(FLLockWriteProbe probe) { g_lockWriteProbe = std::move(probe); }

void SetDeviceProbe(FLDeviceProbe probe) { g_deviceProbe = std::move(probe); }

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

FLFileStamp FileStampOf(const QString& path) {
  FLFileStamp stamp;
  struct stat info {};
  if (path.isEmpty() || ::stat(Native(path).constData(), &info) != 0) return stamp;
  stamp.valid = true;
  stamp.device = DeviceOf(info);
  stamp.inode = info.st_ino;
  const auto take = [&stamp](const struct stat& item) {
    if (item.st_mtim.tv_sec > stamp.seconds ||
        (item.st_mtim.tv_sec == stamp.seconds && item.st_mtim.tv_nsec > stamp.nanoseconds)) {
      stamp.seconds = item.st_mtim.tv_sec;
      stamp.nanoseconds = item.st_mtim.tv_nsec;
    }
    if (!S_ISDIR(item.st_mode)) stamp.size += item.st_size;
    ++stamp.items;
  };
  take(info);
  if (!S_ISDIR(info.st_mode)) return stamp;
  QDirIterator parts(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                     QDirIterator::Subdirectories);
  while (parts.hasNext()) {
    struct stat part {};
    if (::lstat(Native(parts.next()).constData(), &part) == 0) take(part);
  }
  return stamp;
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

bool RemoveItemQuietlyAt(int folder, const char* name) { return RemoveTreeAt(folder, name, 0); }

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
  // Everything the swap needs is made before it begins: once the first name has moved, nothing
  // may fail for memory until the items are where they belong.
  const FolderEntry item(QFileInfo(temporary.path()).fileName());
  const FolderEntry name(QFileInfo(target).fileName());
  const FolderEntry backup(backupPath.isEmpty() ? QString() : QFileInfo(backupPath).fileName());
  const FolderEntry aside(item.name + QLatin1String(kAsideSuffix));
  const QString placedPath = QDir(temporary.folderPath()).filePath(name.name);
  int error = 0;
  // The system's reason, said once the items are where they stay.
  const auto fail = [&](bool backupStep = false) {
    if (backupFailed) *backupFailed = backupStep;
    if (reason) *reason = ErrnoText(error == 0 ? EIO : error);
    return false;
  };
  // Where the item is now, should the folder have moved meanwhile; the name made beforehand
  // when that cannot be found for memory (the item is in place all the same).
  const auto placed = [&] {
    if (!placedAt) return true;
    try {
      *placedAt = QDir(temporary.folderPath()).filePath(name.name);
    } catch (const std::bad_alloc&) {
      *placedAt = placedPath;
    }
    return true;
  };
  // The new item must be the one the writer made, there to the end: without it there is nothing
  // to put in place.
  if (!temporary.holdsWrittenItem()) {
    error = ENOENT;
    return fail();
  }
  // From here on the new version may be all there is of the document: the sweeps must know it.
  temporary.noteSwap(name.name);
  // A target gone meanwhile (or never there) leaves its name to the new item.
  const auto takeFreeName = [&] { return RenameAt(temporary, item, name, &error) ? placed() : fail(); };
  if (!ExistsAt(folder, name.native)) return takeFreeName();

  if (!backup.name.isEmpty()) {
    if (ExistsAt(folder, backup.native)) RemoveAt(temporary, backup);
    if (IsPlainFileAt(folder, name.native) && IsPlainFileAt(folder, item.native)) {
      // A second name for the old file is the backup; the rename over it then swaps atomically.
      if (::linkat(folder, name.native.constData(), folder, backup.native.constData(), 0) == 0) {
        if (RenameAt(temporary, item, name, &error)) return placed();
        ::unlinkat(folder, backup.native.constData(), 0);
        return fail();
      }
    }
    // The new item and the old swap names in one step; the old one then becomes the backup, or
    // comes back should it not.
    bool refused = false, gone = false;
    if (ExchangeAt(temporary, item, name, &error, &refused, &gone)) {
      // Another save of the same document may have left its backup there meanwhile.
      if (ExistsAt(folder, backup.native)) RemoveAt(temporary, backup);
      if (RenameAt(temporary, item, backup, &error)) return placed();
      ExchangeAt(temporary, item, name, nullptr, &refused);
      return fail(true);
    }
    if (gone && ExistsAt(folder, item.native) && !ExistsAt(folder, name.native)) return takeFreeName();
    if (!refused) return fail();
    // A file system that cannot swap: the old item moves to the backup name and comes back
    // should the new one not take its place.
    if (!RenameAt(temporary, name, backup, &error)) return fail(true);
    if (RenameAt(temporary, item, name, &error)) return placed();
    RenameAt(temporary, backup, name, nullptr);
    return fail();
  }

  if (IsPlainFileAt(folder, name.native) && IsPlainFileAt(folder, item.native))
    return RenameAt(temporary, item, name, &error) ? placed() : fail();
  bool refused = false, gone = false;
  if (ExchangeAt(temporary, item, name, &error, &refused, &gone)) {
    RemoveAt(temporary, item);
    return placed();
  }
  if (gone && ExistsAt(folder, item.native) && !ExistsAt(folder, name.native)) return takeFreeName();
  if (!refused) return fail();
  if (!RenameAt(temporary, name, aside, &error)) return fail();
  if (!RenameAt(temporary, item, name, &error)) {
    RenameAt(temporary, aside, name, nullptr);
    return fail();
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
    const QString from = QFileInfo(temporary.path()).fileName();
    if (!Probe(temporary, from, candidate)) break;
    if (::renameat2(at, Native(from).constData(), at, Native(candidate).constData(), RENAME_NOREPLACE) == 0)
      return folder.filePath(candidate);
    if (errno != EEXIST) break;
  }
  return folder.filePath(QFileInfo(temporary.path()).fileName());
}
