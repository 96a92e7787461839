#include "calculator/fileformats/caReadFile.h"

#include "framlet/foundation/flFileSupport.h"

#include <optional>

bool ReadWholeFile(const QString& path, QByteArray* bytes, FLError* error) {
  std::optional<QByteArray> read = ReadRegularFile(path, kMaxDocumentFileSize, error);
  if (!read) return false;
  *bytes = std::move(*read);
  return true;
}
