// Feeds arbitrary bytes to the RTF reader as the text of an RTFD package whose folder holds a
// picture, a FIFO, a link to a device and a folder, so that pictures named by path and package
// attachments meet every kind of file a hostile document can name (devices, FIFOs, names leading
// out of the package). Any crash, hang or sanitizer report here is a fault.
#include "FuzzApplication.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmRtfReader.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

#include <sys/stat.h>

namespace {

// The package: "pic.png", "pipe.png" (a FIFO), "zero.png" (a link to /dev/zero) and "sub/".
// Its path is fixed, so that corpus files can name its files by absolute path too.
QString Package() {
  static const QString folder = [] {
    const QString path = QDir::tempPath() + QStringLiteral("/tamsel-fuzz-rtfd");
    QDir().mkpath(path + QStringLiteral("/sub"));
    QImage dot(4, 4, QImage::Format_RGB32);
    dot.fill(Qt::red);
    dot.save(path + QStringLiteral("/pic.png"));
    mkfifo(QFile::encodeName(path + QStringLiteral("/pipe.png")).constData(), 0600);
    QFile::link(QStringLiteral("/dev/zero"), path + QStringLiteral("/zero.png"));
    return path;
  }();
  return folder;
}

}  // namespace

int FuzzRtfPictures(const uint8_t* data, size_t size) {
  if (size > 1 << 18 || !HaveGuiApplication()) return 0;
  const QString rtf = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  if (!doc) return 0;
  ImportRtfWithRetry(doc.get(), rtf, nullptr, Package());
  return 0;
}
