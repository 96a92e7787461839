#include "framlet/foundation/FLFileLocator.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flBase64.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flStringExtensions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringList>

#include <array>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct MethodEntry {
  const char* name;
  const char* serviceFolder;      // where the service keeps its files; null for methods 0-3
  const char* serviceIdentifier;  // the service's application on the original platform
  const char* linuxProcess;       // the command name of its Linux client, where there is one
};

constexpr std::array<MethodEntry, 8> kMethods = {{
    {"_nil_", nullptr, nullptr, nullptr},
    {"_alias_", nullptr, nullptr, nullptr},
    {"_local_", nullptr, nullptr, nullptr},
    {"_cloud_", nullptr, nullptr, nullptr},
    {"_dropbox_", "Dropbox", "com.getdropbox.dropbox", "dropbox"},
    {"_google_", "Google Drive", "com.google.GoogleDrive", nullptr},
    {"_wuala_", "Wuala", "com.wuala.gui.macosx", nullptr},
    {"_1drive_", "OneDrive", "com.microsoft.OneDrive-mac", "onedrive"},
}};

constexpr char kComponentSeparator = '.';
constexpr int kArchiveComponents = 6;
constexpr char kSandboxedMark[] = "sb";
constexpr qsizetype kShortestArchive = 5;
constexpr char kMalformedLocator[] = "Malformed locator %@";
constexpr char kUnknownLocator[] = "Unknown locator %@";

constexpr uint8_t kBinaryArchiveVersion = 0;
constexpr qsizetype kBinaryHeaderSize = 16;

// A Linux bookmark: the file's device and inode and the path where it was, so that a file
// renamed in its folder, or moved to the Trash, is found again.
constexpr char kBookmarkMagic[4] = {'F', 'L', 'b', 'm'};
constexpr uint32_t kBookmarkVersion = 1;
constexpr qsizetype kBookmarkHeaderSize = 25;

struct Bookmark {
  uint64_t device = 0;
  uint64_t inode = 0;
  QString path;
};

void AppendLittleEndian(QByteArray* data, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) data->append(char((value >> (8 * i)) & 0xFF));
}

uint64_t ReadLittleEndian(const QByteArray& data, qsizetype offset, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | uint8_t(data[offset + i]);
  return value;
}

std::optional<QString> StrictUtf8(QByteArrayView bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
  QString text = decoder(bytes);
  if (decoder.hasError()) return std::nullopt;
  return text;
}

std::optional<struct stat> StatusOf(const QString& path) {
  struct stat status {};
  if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0) return std::nullopt;
  return status;
}

std::optional<Bookmark> ParseBookmark(const QByteArray& data) {
  if (data.size() < kBookmarkHeaderSize || std::memcmp(data.constData(), kBookmarkMagic, 4) != 0 ||
      ReadLittleEndian(data, 4, 4) != kBookmarkVersion)
    return std::nullopt;
  std::optional<QString> path = StrictUtf8(QByteArrayView(data).sliced(kBookmarkHeaderSize));
  if (!path || !QDir::isAbsolutePath(*path)) return std::nullopt;
  return Bookmark{ReadLittleEndian(data, 8, 8), ReadLittleEndian(data, 16, 8), *path};
}

bool IsSameFile(const struct stat& status, const Bookmark& bookmark) {
  return uint64_t(status.st_dev) == bookmark.device && uint64_t(status.st_ino) == bookmark.inode;
}

// The entry of `folder` that is the bookmarked file, looked up by inode without a stat of every
// entry.
QString FindInFolder(const QString& folder, const Bookmark& bookmark) {
  DIR* directory = ::opendir(QFile::encodeName(folder).constData());
  if (!directory) return QString();
  QString found;
  while (const dirent* entry = ::readdir(directory)) {
    if (uint64_t(entry->d_ino) != bookmark.inode) continue;
    const QString candidate = folder + QLatin1Char('/') + QFile::decodeName(entry->d_name);
    if (const std::optional<struct stat> status = StatusOf(candidate); status && IsSameFile(*status, bookmark)) {
      found = candidate;
      break;
    }
  }
  ::closedir(directory);
  return found;
}

QString TrashFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
}

// Where the bookmarked file is now, and whether that is not where the bookmark says.
std::optional<QString> ResolveBookmark(const QByteArray& data, const QString& lastPath, bool* stale) {
  const std::optional<Bookmark> bookmark = ParseBookmark(data);
  if (!bookmark) return std::nullopt;
  if (const std::optional<struct stat> status = StatusOf(bookmark->path); status && IsSameFile(*status, *bookmark)) {
    *stale = false;
    return bookmark->path;
  }
  QStringList folders = {QFileInfo(bookmark->path).path(), QFileInfo(lastPath).path(),
                         TrashFolder() + QStringLiteral("/files")};
  folders.removeDuplicates();
  for (const QString& folder : folders) {
    const QString found = FindInFolder(folder, *bookmark);
    if (!found.isEmpty()) {
      *stale = true;
      return found;
    }
  }
  return std::nullopt;
}

QString UserName() {
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_name) return QString::fromLocal8Bit(entry->pw_name);
  return qEnvironmentVariable("USER");
}

bool ProcessRuns(const char* commandName) {
  DIR* processes = ::opendir("/proc");
  if (!processes) return false;
  bool runs = false;
  while (const dirent* entry = ::readdir(processes)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    QFile comm(QStringLiteral("/proc/%1/comm").arg(QLatin1String(entry->d_name)));
    if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == commandName) {
      runs = true;
      break;
    }
  }
  ::closedir(processes);
  return runs;
}

}  // namespace

FLFileLocator::FLFileLocator(const QString& path, int32_t method)
    : method_(method == kMethodNil ? methodFromPath(path) : method), path_(path) {
  setBookmarkFromPath();
}

// ---- Archives

std::optional<FLFileLocator> FLFileLocator::withArchive(const QString& text) {
  if (text.size() < kShortestArchive) return std::nullopt;
  if (text[0] != QLatin1Char('-') && text[0] != QLatin1Char('_')) return std::nullopt;
  const QStringList components = text.split(QLatin1Char(kComponentSeparator));
  if (components.size() != kArchiveComponents) {
    LogString(kMalformedLocator, text);
    return std::nullopt;
  }
  FLFileLocator locator;
  locator.method_ = methodFromName(components[0]);
  if (locator.method_ == kMethodUnknown) {
    LogString(kUnknownLocator, text);
    return std::nullopt;
  }
  if (!components[1].isEmpty()) {
    const std::optional<QString> path = decode(components[1]);
    if (!path) {
      LogString(kMalformedLocator, text);
      return std::nullopt;
    }
    locator.path_ = path->startsWith(QLatin1Char('~')) ? HomeFolderPath() + path->mid(1) : *path;
  }
  if (components[5].isEmpty()) return locator;
  if (const std::optional<QString> base64 = decode(components[5])) {
    if (std::optional<QByteArray> bookmark = NewDataFromBase64String(*base64)) locator.bookmark_ = *bookmark;
  }
  locator.sandboxed_ = !components[2].isEmpty();
  return locator;
}

std::optional<FLFileLocator> FLFileLocator::withObject(const QVariant& object) {
  if (object.typeId() == QMetaType::QString) return withArchive(object.toString());
  if (object.typeId() == QMetaType::QByteArray) return withBinaryArchive(object.toByteArray());
  return std::nullopt;
}

std::optional<FLFileLocator> FLFileLocator::withBinaryArchive(const QByteArray& data) {
  if (data.size() < kBinaryHeaderSize || uint8_t(data[0]) != kBinaryArchiveVersion) return std::nullopt;
  const auto method = int32_t(uint8_t(data[1]));
  if (method >= kMethodUnknown) return std::nullopt;
  const uint64_t length = ReadLittleEndian(data, 4, 4);
  if (length > uint64_t(data.size() - kBinaryHeaderSize)) return std::nullopt;
  std::optional<QString> path = StrictUtf8(QByteArrayView(data).sliced(kBinaryHeaderSize, qsizetype(length)));
  if (!path) return std::nullopt;
  FLFileLocator locator;
  locator.method_ = method;
  locator.sandboxed_ = data[2] != 0;
  locator.path_ = *path;
  locator.bookmark_ = data.mid(kBinaryHeaderSize + qsizetype(length));
  return locator;
}

QString FLFileLocator::archive(bool escapeReturns) const {
  QStringList components;
  components << methodName(method_);
  components << encodeIncludingPeriods(abbreviateHomeFolderPath(path_), true, escapeReturns);
  components << (sandboxed_ ? QLatin1String(kSandboxedMark) : QString()) << QString() << QString();
  components << (bookmark_.isEmpty() ? QString()
                                     : encodeIncludingPeriods(NewBase64StringFromBytes(bookmark_), true, escapeReturns));
  return components.join(QLatin1Char(kComponentSeparator));
}

QByteArray FLFileLocator::createBinaryArchive() const {
  const QByteArray path = path_.toUtf8();
  QByteArray data;
  data.reserve(kBinaryHeaderSize + path.size() + bookmark_.size());
  data.append(char(kBinaryArchiveVersion));
  data.append(char(uint8_t(method_)));
  data.append(char(sandboxed_ ? 1 : 0));
  data.append('\0');
  AppendLittleEndian(&data, uint64_t(path.size()), 4);
  data.append(8, '\0');
  data.append(path);
  data.append(bookmark_);
  return data;
}

// ---- Finding

bool FLFileLocator::setBookmarkFromPath() {
  const std::optional<struct stat> status = StatusOf(path_);
  if (!status || !QDir::isAbsolutePath(path_)) return false;
  QByteArray data(kBookmarkMagic, 4);
  AppendLittleEndian(&data, kBookmarkVersion, 4);
  AppendLittleEndian(&data, uint64_t(status->st_dev), 8);
  AppendLittleEndian(&data, uint64_t(status->st_ino), 8);
  data.append(char(S_ISDIR(status->st_mode) ? 1 : 0));
  data.append(QDir::cleanPath(path_).toUtf8());
  bookmark_ = data;
  return true;
}

bool FLFileLocator::verify(bool* changed) { return verify(changed, false, nullptr); }

bool FLFileLocator::verify(bool* changed, bool /*allowVolumeMount*/, FLError* error) {
  bool ignored = false;
  if (!changed) changed = &ignored;
  *changed = false;
  if (const std::optional<struct stat> status = StatusOf(path_)) {
    folder_ = S_ISDIR(status->st_mode);
    return true;
  }
  auto notFound = [&] {
    SetError(error, ENOENT, QString::fromLocal8Bit(std::strerror(ENOENT)), kFLPosixErrorDomain);
    return false;
  };
  if (bookmark_.isEmpty()) return notFound();
  bool stale = false;
  std::optional<QString> found = ResolveBookmark(bookmark_, path_, &stale);
  if (!found) {
    if (!setBookmarkFromPath()) return notFound();
    *changed = true;
    found = path_;
  }
  if (const std::optional<struct stat> status = StatusOf(*found)) folder_ = S_ISDIR(status->st_mode);
  path_ = *found;
  method_ = methodFromPath(path_);
  if (stale) {
    *changed = true;
    setBookmarkFromPath();
  }
  return true;
}

// ---- Queries

bool FLFileLocator::isInTrash() const {
  const QString trash = TrashFolder();
  return path_.startsWith(trash) && (path_.size() == trash.size() || path_[trash.size()] == QLatin1Char('/'));
}

QString FLFileLocator::displayText() const {
  const QString user = UserName();
  QStringList volumeFolders = {QStringLiteral("/Volumes/")};
  if (!user.isEmpty())
    volumeFolders << QStringLiteral("/media/") + user + QLatin1Char('/')
                  << QStringLiteral("/run/media/") + user + QLatin1Char('/');
  for (const QString& folder : volumeFolders)
    if (path_.startsWith(folder) && path_.size() > folder.size()) return path_.mid(folder.size());
  return path_;
}

bool FLFileLocator::isServiceRunning() const {
  switch (method_) {
    case kMethodAlias:
    case kMethodLocal:
      return true;
    case kMethodDropbox:
    case kMethodGoogleDrive:
    case kMethodWuala:
    case kMethodOneDrive: {
      const char* process = kMethods[size_t(method_)].linuxProcess;
      return process && ProcessRuns(process);
    }
    default:
      return false;
  }
}

bool FLFileLocator::runService() { return isServiceRunning(); }

// ---- Methods

QString FLFileLocator::methodName(int32_t method) {
  if (method < 0 || method >= kMethodUnknown) {
    FLAssert(false, "Bad locator method");
    return QString();
  }
  return QLatin1String(kMethods[size_t(method)].name);
}

QString FLFileLocator::methodDisplayName(int32_t method) {
  if (method < 0 || method >= kMethodUnknown) {
    FLAssert(false, "Bad locator method");
    return QString();
  }
  const char* folder = kMethods[size_t(method)].serviceFolder;
  return folder ? QLatin1String(folder) : QString();
}

int32_t FLFileLocator::methodFromName(const QString& name) {
  if (name.isEmpty()) return kMethodUnknown;
  QString canonical = name;
  if (canonical.startsWith(QLatin1Char('-'))) canonical.replace(QLatin1Char('-'), QLatin1Char('_'));
  for (size_t method = 0; method < kMethods.size(); ++method)
    if (canonical == QLatin1String(kMethods[method].name)) return int32_t(method);
  return kMethodUnknown;
}

int32_t FLFileLocator::methodFromPath(const QString& path) {
  const QStringList components = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  for (qsizetype i = components.size() - 1; i >= 0; --i) {
    for (size_t method = kMethodDropbox; method < kMethods.size(); ++method) {
      if (components[i].compare(QLatin1String(kMethods[method].serviceFolder), Qt::CaseInsensitive) == 0)
        return int32_t(method);
    }
  }
  return kMethodLocal;
}
