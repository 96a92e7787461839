// Feeds arbitrary bytes to the whole open path of a document, as a file of the type the first
// byte chooses: the dispatch by file type, the reader, the alerts it may show (none is installed:
// they go to the log) and the first evaluation. Any crash, hang or sanitizer report here is a
// fault; a refusal is not.
#include "FuzzApplication.h"
#include "calculator/model/CADocument.h"
#include "framlet/foundation/flBase.h"
#include "platform/FLError.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace {

// The file each input becomes: a name (its extension chooses the reader; none makes the
// content decide) and, for packages, the file inside the folder that holds the bytes.
struct Target {
  const char* name;
  const char* inner;
};
constexpr Target kTargets[] = {
    {"sheet.csv", nullptr},  {"sheet.dif", nullptr},  {"sheet.xls", nullptr},
    {"sheet.txt", nullptr},  {"sheet.rtf", nullptr},  {"sheet.html", nullptr},
    {"Sheet", nullptr},      // Pockwell, RTF or text by content
    {"sheet.Numlet", "document.xml"},
    {"sheet.rtfd", "TXT.rtf"},
};

bool WriteBytes(const QString& path, const uint8_t* data, size_t size) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size);
}

}  // namespace

int FuzzOpenFile(const uint8_t* data, size_t size) {
  if (size == 0 || size > (1 << 20) || !HaveGuiApplication()) return 0;
  static QTemporaryDir folder;
  if (!folder.isValid()) return 0;
  const Target& target = kTargets[data[0] % std::size(kTargets)];
  QString path = folder.filePath(QLatin1String(target.name));
  QString file = path;
  if (target.inner) {
    QDir(path).removeRecursively();
    if (!QDir().mkpath(path)) return 0;
    file = path + QLatin1Char('/') + QLatin1String(target.inner);
  }
  if (!WriteBytes(file, data + 1, size - 1)) return 0;
  // Readers log what they make of damaged input; keep it out of the way.
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  {
    CADocument document;
    FLError error;
    if (document.openFile(path, &error) != 0) document.evaluate();
  }
  SetLogHandler(previous);
  return 0;
}
