// Reading a package's document for the index. The reading is careful because the indexer runs
// over whatever lies on the disk: a package may be damaged, huge, or hold links planted to make
// the indexer read other files.
#include "importer/mdMetadataExtraction.h"

#include "framlet/foundation/flHtmlEscaping.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kPasswordFileName = "password.txt";
constexpr const char* kDocumentFileName = "document.xml";
constexpr QStringView kCellOpen = u"<f>";
constexpr QStringView kCellClose = u"</f>";

// The length of the bytes without a UTF-8 sequence that the end cuts short.
qsizetype WithoutCutSequence(const QByteArray& bytes) {
  const qsizetype size = bytes.size();
  for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
    const uint8_t byte = uint8_t(bytes[size - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const qsizetype needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return needed > back ? size - back : size;
  }
  return size;
}

// Reads at most `limit` bytes of a regular file. Non-blocking, so a pipe or device planted under
// the document's name cannot stall the indexer before the type check refuses it.
bool ReadRegularFile(const QString& path, int64_t limit, QByteArray* bytes) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status;
  bool ok = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  if (ok) {
    const int64_t wanted = std::min<int64_t>(int64_t(status.st_size), limit);
    bytes->resize(qsizetype(wanted));
    qsizetype filled = 0;
    while (filled < bytes->size()) {
      const ssize_t got = ::read(fd, bytes->data() + filled, size_t(bytes->size() - filled));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) ok = false;
      if (got <= 0) break;  // at 0 the file shrank while it was read: keep what came
      filled += qsizetype(got);
    }
    bytes->truncate(filled);
  }
  ::close(fd);
  return ok;
}

}  // namespace

bool PackageIsProtected(const QString& packagePath) {
  struct stat status;
  const QString path = QDir(packagePath).filePath(QLatin1String(kPasswordFileName));
  return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

bool ReadDocumentXml(const QString& packagePath, QString* text) {
  const QString package = QFileInfo(packagePath).canonicalFilePath();
  if (package.isEmpty()) return false;
  // A link inside the package may lead elsewhere in it, never out of it.
  const QString document = QFileInfo(QDir(package).filePath(QLatin1String(kDocumentFileName))).canonicalFilePath();
  if (document.isEmpty() || !document.startsWith(package + QLatin1Char('/'))) return false;
  QByteArray bytes;
  return ReadRegularFile(document, kMaxDocumentXmlBytes, &bytes) && DecodeDocumentXml(bytes, text);
}

bool DecodeDocumentXml(QByteArray bytes, QString* text) {
  if (bytes.size() >= kMaxDocumentXmlBytes) {
    bytes.truncate(qsizetype(kMaxDocumentXmlBytes));
    bytes.truncate(WithoutCutSequence(bytes));
  }
  QStringDecoder decoder(QStringDecoder::Utf8);
  QString decoded = decoder.decode(bytes);
  if (decoder.hasError()) return false;
  *text = std::move(decoded);
  return true;
}

QString ExtractTextContent(QStringView documentXml) {
  QString content;
  qsizetype open = documentXml.indexOf(kCellOpen);
  while (open >= 0) {
    qsizetype start = open + kCellOpen.size();
    if (documentXml.size() - start < 2) break;
    if (documentXml[start] == QLatin1Char('=')) ++start;
    const qsizetype close = documentXml.indexOf(kCellClose, start);
    if (close < 0) break;
    content += QLatin1Char(' ');
    content += createUnescapedStringForHtml(documentXml.mid(start, close - start).toString());
    open = documentXml.indexOf(kCellOpen, close + kCellClose.size());
  }
  return content;
}
