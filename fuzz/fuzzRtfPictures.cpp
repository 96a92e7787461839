// Feeds arbitrary bytes to the RTF reader as the text of an RTFD package whose folder holds a
// picture, a FIFO, a link to a device and a folder, so that pictures named by path and package
// attachments meet every kind of file a hostile document can name (devices, FIFOs, names leading
// out of the package). Any crash, hang or sanitizer report here is a fault.
#include "FuzzApplication.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmRtfReader.h"
#include "framlet/foundation/flReadingMeter.h"

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

// A PNG whose header claims 8,000 x 8,000 pixels (past what any picture may take decoded) and
// holds none.
const char kHugePng[] =
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x1f\x40\x00\x00\x1f\x40"
    "\x08\x06\x00\x00\x00\x06\xf1\xad\xf4\x00\x00\x00\x08\x49\x44\x41\x54\x78\x9c\x03\x00\x00\x00\x00"
    "\x01\x48\x06\x89\xd2\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82";

// The package: "pic.png", "pipe.png" (a FIFO), "zero.png" (a link to /dev/zero), "huge.png" (a
// header past the decoders' limit) and "sub/".
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
    QFile huge(path + QStringLiteral("/huge.png"));
    if (huge.open(QIODevice::WriteOnly)) huge.write(kHugePng, sizeof kHugePng - 1);
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
  // Under a meter, as a sheet reads RTF: every picture is priced before it is decoded.
  FLReadingMeter meter(int64_t(256) << 20);
  ImportRtfWithRetry(doc.get(), rtf, nullptr, Package());
  return 0;
}
