// Feeds arbitrary text to the Base64 reader and to the cell-text decipherer that stands on it,
// and checks that whatever bytes the input makes survive a round trip through the writer. Any
// crash, sanitizer report or lost byte here is a fault.
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flBase64.h"
#include "framlet/foundation/flPasswords.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

int FuzzBase64(const uint8_t* data, size_t size) {
  // Rejected input is logged with a backtrace each time; keep that out of the way.
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QString text = QString::fromUtf8(bytes);

  (void)NewDataFromBase64String(text);
  SetEncryptionPassword(QStringLiteral("LA8JWFoXi2g"));
  (void)UnencryptString(text);

  const QString encoded = NewBase64StringFromBytes(bytes);
  const std::optional<QByteArray> decoded = NewDataFromBase64String(encoded);
  if (!decoded || *decoded != bytes) std::abort();

  SetLogHandler(previous);
  return 0;
}
