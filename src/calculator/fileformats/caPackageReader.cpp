#include "calculator/fileformats/caPackageReader.h"

#include "framlet/foundation/flFileSupport.h"
#include "platform/StringWithFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

constexpr const char* kPasswordFileFormat = "%@\n%@\n";
// A password file holds two short lines; anything much longer is not one.
constexpr qint64 kMaxPasswordFileSize = 64 * 1024;

}  // namespace

std::optional<CAPasswordFile> ReadPasswordFile(const QString& path) {
  const std::optional<QByteArray> bytes = ReadRegularFile(path, kMaxPasswordFileSize);
  if (!bytes) return std::nullopt;
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8.decode(*bytes);
  if (utf8.hasError()) return std::nullopt;
  const QStringList lines = text.split(QLatin1Char('\n'));
  // A file without a line feed is no password file; neither is one without a check value, which
  // would leave a document that no password opens.
  if (lines.size() < 2 || lines[0].isEmpty()) return std::nullopt;
  return CAPasswordFile{lines[0], lines[1].isNull() ? QStringLiteral("") : lines[1]};
}

QString PasswordFileText(const QString& checkValue, const QString& hint) {
  return StringWithFormat(kPasswordFileFormat, checkValue, hint);
}
