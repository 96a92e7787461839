#include "calculator/fileformats/caReadFile.h"

#include "framlet/foundation/flFileSupport.h"
#include "platform/FLError.h"

#include <cerrno>
#include <new>
#include <optional>

bool ReadWholeFile(const QString& path, QByteArray* bytes, FLError* error) {
  FLError failure;
  std::optional<QByteArray> read = ReadRegularFile(path, kMaxDocumentFileSize, &failure);
  // A file too large for the memory left is no file that cannot be read: the open fails for memory.
  if (!read && failure.code == ENOMEM) throw std::bad_alloc();
  if (!read) {
    if (error) *error = failure;
    return false;
  }
  *bytes = std::move(*read);
  return true;
}
