#include "framlet/shell/flRecentlyUsed.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFileSupport.h"
#include "platform/FLError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr const char* kRecentlyUsedFileName = "recently-used.xbel";
// The desktop trims its list to a few hundred entries: far below this.
constexpr int64_t kMaxRecentlyUsedFileSize = int64_t(32) << 20;
constexpr const char* kBookmarkNamespace = "http://www.freedesktop.org/standards/desktop-bookmarks";
constexpr const char* kMimeNamespace = "http://www.freedesktop.org/standards/shared-mime-info";
constexpr const char* kMetadataOwner = "http://freedesktop.org";

QString Stamp(const QDateTime& time) {
  return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QStringLiteral("000Z");
}

void WriteApplication(QXmlStreamWriter& out, const FLRecentlyUsedApplication& application, const QString& stamp,
                      qint64 count) {
  out.writeEmptyElement(QLatin1String(kBookmarkNamespace), QStringLiteral("application"));
  out.writeAttribute(QStringLiteral("name"), application.name);
  out.writeAttribute(QStringLiteral("exec"), application.exec);
  out.writeAttribute(QStringLiteral("modified"), stamp);
  out.writeAttribute(QStringLiteral("count"), QString::number(count));
}

void WriteNewBookmark(QXmlStreamWriter& out, const QString& href, const QString& mimeType,
                      const FLRecentlyUsedApplication& application, const QString& stamp) {
  out.writeStartElement(QStringLiteral("bookmark"));
  out.writeAttribute(QStringLiteral("href"), href);
  out.writeAttribute(QStringLiteral("added"), stamp);
  out.writeAttribute(QStringLiteral("modified"), stamp);
  out.writeAttribute(QStringLiteral("visited"), stamp);
  out.writeStartElement(QStringLiteral("info"));
  out.writeStartElement(QStringLiteral("metadata"));
  out.writeAttribute(QStringLiteral("owner"), QLatin1String(kMetadataOwner));
  out.writeEmptyElement(QLatin1String(kMimeNamespace), QStringLiteral("mime-type"));
  out.writeAttribute(QStringLiteral("type"), mimeType);
  out.writeStartElement(QLatin1String(kBookmarkNamespace), QStringLiteral("applications"));
  WriteApplication(out, application, stamp, 1);
  out.writeEndElement();
  out.writeEndElement();
  out.writeEndElement();
  out.writeEndElement();
}

// Copies the list, updating the file's bookmark (or adding one at the end) on the way.
bool Rewrite(const QByteArray& old, QXmlStreamWriter& out, const QString& href, const QString& mimeType,
             const FLRecentlyUsedApplication& application, const QString& stamp) {
  QXmlStreamReader in(old);
  bool inOurs = false, oursFound = false, applicationNoted = false;
  int depth = 0;
  while (!in.atEnd()) {
    const QXmlStreamReader::TokenType token = in.readNext();
    if (in.hasError()) return false;
    if (token == QXmlStreamReader::StartElement) {
      ++depth;
      if (depth == 1 && in.name() != QLatin1String("xbel")) return false;
      if (depth == 2 && in.name() == QLatin1String("bookmark") &&
          in.attributes().value(QLatin1String("href")) == href) {
        inOurs = oursFound = true;
        QXmlStreamAttributes attributes;
        for (const QXmlStreamAttribute& attribute : in.attributes()) {
          const bool touched = attribute.name() == QLatin1String("modified") || attribute.name() == QLatin1String("visited");
          if (!touched) attributes.append(attribute);
        }
        attributes.append(QStringLiteral("modified"), stamp);
        attributes.append(QStringLiteral("visited"), stamp);
        out.writeStartElement(in.namespaceUri().toString(), in.name().toString());
        out.writeAttributes(attributes);
        continue;
      }
      if (inOurs && in.name() == QLatin1String("application") && in.namespaceUri() == QLatin1String(kBookmarkNamespace) &&
          in.attributes().value(QLatin1String("name")) == application.name) {
        WriteApplication(out, application, stamp, in.attributes().value(QLatin1String("count")).toLongLong() + 1);
        applicationNoted = true;
        in.skipCurrentElement();
        --depth;
        continue;
      }
    } else if (token == QXmlStreamReader::EndElement) {
      if (inOurs && !applicationNoted && in.name() == QLatin1String("applications")) {
        WriteApplication(out, application, stamp, 1);
        applicationNoted = true;
      }
      if (depth == 2 && inOurs) inOurs = false;
      if (depth == 1 && !oursFound) WriteNewBookmark(out, href, mimeType, application, stamp);
      --depth;
    } else if (token == QXmlStreamReader::StartDocument) {
      out.writeStartDocument();
      continue;
    }
    out.writeCurrentToken(in);
  }
  return !in.hasError() && depth == 0;
}

// A blocking flock(2) on another thread, so that the caller can stop waiting: a waiter queued in
// the kernel is woken the moment the lock is let go, where one that tried now and then could
// miss every gap between two of another process's notes. A wait given up on goes on alone and
// lets the lock go as soon as it gets it.
struct LockWait {
  std::mutex lock;
  std::condition_variable ended;
  int fd = -1;
  bool done = false, locked = false, abandoned = false;
};

// Waits given up on and not yet ended: while there is one, the next note does not start another.
std::atomic<int> g_abandonedWaits{0};

// Held while the list is read, rewritten and put back: two of our processes saving at once would
// otherwise each write the list it read, and the later one drop the other's entry. The lock is a
// file beside the list, as the list itself is replaced by each write. The list is a courtesy to
// the desktop, noted on the window's thread at every open and save: a lock held for longer than
// a note's patience is left to its holder, and the note is left out.
class ListLock {
 public:
  explicit ListLock(const QString& listPath) {
    fd_ = ::open(QFile::encodeName(listPath + QLatin1String(".lock")).constData(),
                 O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd_ < 0) return;  // a list that cannot be locked is noted all the same, as before locks
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
    if (errno == EWOULDBLOCK && g_abandonedWaits.load() == 0) {
      auto wait = std::make_shared<LockWait>();
      wait->fd = fd_;
      std::thread([wait] {
        int result = ::flock(wait->fd, LOCK_EX);
        while (result != 0 && errno == EINTR) result = ::flock(wait->fd, LOCK_EX);
        const std::lock_guard guard(wait->lock);
        wait->done = true;
        wait->locked = result == 0;
        if (wait->abandoned) {
          ::close(wait->fd);
          g_abandonedWaits.fetch_sub(1);
        } else {
          wait->ended.notify_one();
        }
      }).detach();
      std::unique_lock guard(wait->lock);
      if (wait->ended.wait_for(guard, kLockPatience, [&] { return wait->done; })) {
        if (wait->locked) return;
        // Without flock (some network file systems) the list is noted unlocked.
        ::close(fd_);
        fd_ = -1;
        return;
      }
      wait->abandoned = true;
      g_abandonedWaits.fetch_add(1);
      fd_ = -1;  // the waiting thread closes it
      busy_ = true;
      return;
    }
    // An earlier wait still goes on: this one tries now and then, for as long.
    const auto until = std::chrono::steady_clock::now() + kLockPatience;
    for (int pause = 1; errno == EWOULDBLOCK && std::chrono::steady_clock::now() < until;
         pause = std::min(pause * 2, 20)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pause));
      if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
    }
    busy_ = errno == EWOULDBLOCK;
    ::close(fd_);
    fd_ = -1;
  }
  ~ListLock() {
    if (fd_ >= 0) ::close(fd_);  // closing lets the lock go
  }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;

  // Another process held the lock for longer than a note may wait.
  bool busy() const { return busy_; }

 private:
  static constexpr std::chrono::milliseconds kLockPatience{400};
  int fd_ = -1;
  bool busy_ = false;
};

}  // namespace

QString RecentlyUsedFilePath() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
      .filePath(QLatin1String(kRecentlyUsedFileName));
}

bool NoteRecentlyUsedFile(const QString& listPath, const QString& documentPath, const QString& mimeType,
                          const FLRecentlyUsedApplication& application, const QDateTime& now) {
  const QString href = QString::fromUtf8(QUrl::fromLocalFile(QFileInfo(documentPath).absoluteFilePath()).toEncoded());
  const QString stamp = Stamp(now);
  QDir().mkpath(QFileInfo(listPath).absolutePath());
  const ListLock lock(listPath);
  if (lock.busy()) {
    LogString("The list of recently used files \"%@\" is locked by another program; %@ is not noted in it", listPath,
              documentPath);
    return false;
  }
  QByteArray old;
  // A list that is not a regular file of a sane size (a FIFO, a link to a device) is left alone:
  // reading it could block every save or fill the memory.
  FLError error;
  if (std::optional<QByteArray> bytes = ReadRegularFile(listPath, kMaxRecentlyUsedFileSize, &error)) {
    old = std::move(*bytes);
  } else if (error.code != ENOENT) {
    LogString("The list of recently used files \"%@\" can't be read: %@", listPath, error.reason);
    return false;
  }
  if (old.trimmed().isEmpty()) {
    old = QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\"\n"
        "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
        "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n>\n</xbel>\n");
  }
  QByteArray updated;
  QXmlStreamWriter out(&updated);
  if (!Rewrite(old, out, href, mimeType, application, stamp)) {
    LogString("The list of recently used files \"%@\" is not readable; left as it is", listPath);
    return false;
  }
  QSaveFile file(listPath);
  if (!file.open(QIODevice::WriteOnly) || file.write(updated) != updated.size()) return false;
  return file.commit();
}
