// The one way files come into a sheet: the file type code of the path chooses the loader, and
// the document is marked as opening while it runs, however the open ends.
#include "calculator/fileformats/caReadFile.h"
#include "calculator/model/CADocument.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFileSupport.h"
#include "platform/FLError.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <cstring>

#include <exception>
#include <iterator>
#include <new>
#include <stdexcept>

#include <sys/stat.h>

namespace {

constexpr const char* kOpenFailedContext = "Open failed";

using Loader = bool (CADocument::*)(const QString& path, FLError* error);

// By file type code minus one. Comma-separated and plain text share the delimited-text reader,
// which finds the delimiter itself.
constexpr Loader kLoaders[] = {
    &CADocument::loadTextFile,        // 1 "csv"
    &CADocument::loadDifFile,         // 2 "dif"
    &CADocument::loadExcelFile,       // 3 "xls"
    &CADocument::loadNativeFileCore,  // 4 "Numlet", "Numlet_autosave"
    &CADocument::loadPockwellFile,    // 5 Pockwell
    &CADocument::loadRtfFile,         // 6 "rtf"
    &CADocument::loadRtfdFile,        // 7 "rtfd"
    &CADocument::loadTextFile,        // 8 "text", "txt"
    &CADocument::loadHtmlFile,        // 9 "html", "htm"
};

}  // namespace

int32_t CADocument::openFile(const QString& path, FLError* error) {
  const FlagScope opening(*this, &CADocument::setOpening, true);
  try {
    // Said before any loader's "no such file", which would blame a file that is there.
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink() && NameIsUnreadable(path)) {
      SetError(error, ENOENT, QLatin1String(kUnreadableNameReason), kFLPosixErrorDomain);
      return 0;
    }
    // Before the type, which a missing file's extension would still give, and its loader, which
    // would only say that it could not read it. The reason is the failing call's own: a folder
    // this user may not enter hides a file that is there.
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
      const int failure = errno;
      SetError(error, failure, QString::fromLocal8Bit(std::strerror(failure)), kFLPosixErrorDomain);
      return 0;
    }
    const int32_t code = FileTypeForFile(path);
    if (code < 1 || size_t(code) > std::size(kLoaders)) {
      SetUnrecognizedFileTypeError(error);
      return 0;
    }
    const ReadScope reading(*this);
    return (this->*kLoaders[code - 1])(path, error) ? code : 0;
  } catch (const std::bad_alloc& exception) {
    // A loader's own reason would name what it was reading; memory ran out before it could.
    LogException(exception, QLatin1String(kOpenFailedContext));
    SetError(error, ENOMEM, QLatin1String(kOutOfMemoryReason), kFLPosixErrorDomain);
  } catch (const std::length_error& exception) {
    LogException(exception, QLatin1String(kOpenFailedContext));
    SetError(error, ENOMEM, QLatin1String(kOutOfMemoryReason), kFLPosixErrorDomain);
  } catch (const std::exception& exception) {
    LogException(exception, QLatin1String(kOpenFailedContext));
  } catch (...) {
    LogException(QStringLiteral("unknown exception"), QLatin1String(kOpenFailedContext));
  }
  return 0;
}
