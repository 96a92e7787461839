#include "framlet/foundation/FLFileReader.h"

#include "framlet/foundation/flBase.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool OnMainThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return !app || QThread::currentThread() == app->thread();
}

}  // namespace

int ConvertUnixErrorCore(int kind, int errorNumber) {
  switch (errorNumber) {
    case 0:
      return 0;
    case EPERM:
    case EACCES:
    case EROFS:
    case ENOLINK:
      return 11;
    case ENOENT:
      switch (kind) {
        case kFLFileErrorNone:
          return 10;
        case kFLFileErrorOpening:
          return 4;
        case kFLFileErrorReading:
          return 13;
        default:
          return 3;
      }
    case EINTR:
    case EBUSY:
    case EAGAIN:
      return 2;
    case EEXIST:
      return 4;
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
    case ENAMETOOLONG:
    case EMULTIHOP:
      return 10;
    case EFBIG:
      return 1;
    case ENOSPC:
      return 3;
    case ERANGE:
      return 12;
    default:
      if (kind == kFLFileErrorReading) return 13;
      if (kind == kFLFileErrorWriting) return 16;
      return 9;
  }
}

// ---- FLFileReader

std::unique_ptr<FLFileReader> FLFileReader::withFile(const QString& path, int* error) {
  return withFile(path, 1, nullptr, error);
}

std::unique_ptr<FLFileReader> FLFileReader::withFile(const QString& path, int /*mutexOption*/,
                                                     const void* /*owner*/, int* error) {
  std::unique_ptr<FLFileReader> reader(new (std::nothrow) FLFileReader);
  if (!reader) {
    if (error) *error = kFLFileNoMemory;
    return nullptr;
  }
  if (!reader->open(path, error)) return nullptr;
  return reader;
}

FLFileReader::~FLFileReader() {
  if (fileNumber_ >= 0) ::close(fileNumber_);
}

int FLFileReader::readType() const { return O_RDONLY; }

bool FLFileReader::open(const QString& path, int* error) {
  auto fail = [error](int code) {
    if (error) *error = code;
    return false;
  };
  if (path.isEmpty()) return fail(kFLFileNoPath);
  const QByteArray fileSystemPath = QFile::encodeName(path);
  int number;
  do {
    number = ::open(fileSystemPath.constData(),
                    readType() | O_CLOEXEC | (ownFileOnly_ ? O_NOFOLLOW | O_NONBLOCK : 0));
  } while (number < 0 && errno == EINTR);
  if (number < 0) return fail(ConvertUnixErrorCore(kFLFileErrorOpening, errno));
  fileNumber_ = number;
  struct stat status {};
  if (::fstat(fileNumber_, &status) != 0) return fail(kFLFileNoStatus);
  if (ownFileOnly_ && (!S_ISREG(status.st_mode) || status.st_nlink != 1))
    return fail(ConvertUnixErrorCore(kFLFileErrorOpening, ELOOP));
  fileSize_.store(uint64_t(status.st_size));
  try {
    readBuffer_.resize(blockSize());
  } catch (const std::bad_alloc&) {
    return fail(kFLFileNoMemory);
  }
  filePath_ = path;
  if (error) *error = 0;
  return true;
}

uint64_t FLFileReader::fileSize() {
  if (fileSizeChanged_.load()) return actualFileSize();
  return fileSize_.load();
}

uint64_t FLFileReader::actualFileSize() {
  fileSizeChanged_.store(false);
  struct stat status {};
  if (::fstat(fileNumber_, &status) != 0) {
    LogString("actualFileSize: Can't get size of file %@: %d", filePath_, errno);
    return fileSize_.load();
  }
  fileSize_.store(uint64_t(status.st_size));
  return uint64_t(status.st_size);
}

bool FLFileReader::readDataTo(void* destination, uint64_t length, uint64_t offset) {
  const uint64_t size = fileSize();
  if (offset > size || length > size - offset) {
    FLAssert(false, "Attempt to read past end of file");
    return false;
  }
  auto* out = static_cast<uint8_t*>(destination);
  uint64_t done = 0;
  while (done < length) {
    const size_t chunk = size_t(std::min<uint64_t>(length - done, uint64_t(std::numeric_limits<ssize_t>::max())));
    const ssize_t count = ::pread(fileNumber_, out + done, chunk, off_t(offset + done));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      // A file that shrank under us reads short without an error number.
      setError(count < 0 ? ConvertUnixErrorCore(kFLFileErrorReading, errno) : 13);
      return false;
    }
    done += uint64_t(count);
  }
  return true;
}

const uint8_t* FLFileReader::readDataFrom(uint64_t offset, uint64_t* length) {
  FLAssert(OnMainThread(), "Not safe on secondary thread");
  *length = 0;
  const uint64_t size = fileSize();
  if (offset > size) {
    FLAssert(false, "Attempt to read past end of file");
    return nullptr;
  }
  const uint64_t wanted = std::min<uint64_t>(size - offset, blockSize());
  uint64_t done = 0;
  while (done < wanted) {
    const ssize_t count = ::pread(fileNumber_, readBuffer_.data() + done, size_t(wanted - done), off_t(offset + done));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      setError(count < 0 ? ConvertUnixErrorCore(kFLFileErrorReading, errno) : 13);
      return nullptr;
    }
    done += uint64_t(count);
  }
  *length = wanted;
  return readBuffer_.data();
}

const uint8_t* FLFileReader::readBlock(uint64_t blockNumber, uint64_t* length) {
  if (blockNumber > std::numeric_limits<uint64_t>::max() / blockSize()) {
    *length = 0;
    FLAssert(false, "Attempt to read past end of file");
    return nullptr;
  }
  return readDataFrom(blockNumber * blockSize(), length);
}

// ---- FLFileReaderWriter

std::unique_ptr<FLFileReaderWriter> FLFileReaderWriter::withFile(const QString& path, int* error) {
  return withFile(path, 1, nullptr, error);
}

std::unique_ptr<FLFileReaderWriter> FLFileReaderWriter::withFile(const QString& path, int /*mutexOption*/,
                                                                 const void* /*owner*/, int* error) {
  std::unique_ptr<FLFileReaderWriter> writer(new (std::nothrow) FLFileReaderWriter);
  if (!writer) {
    if (error) *error = kFLFileNoMemory;
    return nullptr;
  }
  if (!writer->open(path, error)) return nullptr;
  return writer;
}

std::unique_ptr<FLFileReaderWriter> FLFileReaderWriter::withOwnFile(const QString& path, int* error) {
  std::unique_ptr<FLFileReaderWriter> writer(new (std::nothrow) FLFileReaderWriter);
  if (!writer) {
    if (error) *error = kFLFileNoMemory;
    return nullptr;
  }
  writer->setOwnFileOnly();
  if (!writer->open(path, error)) return nullptr;
  return writer;
}

int FLFileReaderWriter::readType() const { return O_RDWR; }

bool FLFileReaderWriter::writeData(const void* /*bytes*/, uint64_t /*length*/) {
  FLAssert(false, "Current position not supported");
  setError(kFLFileNoCurrentPosition);
  return false;
}

bool FLFileReaderWriter::writeData(const void* bytes, uint64_t length, uint64_t offset) {
  std::lock_guard guard(lock_);
  markSizeChanged();
  const auto* in = static_cast<const uint8_t*>(bytes);
  uint64_t done = 0;
  while (done < length) {
    const size_t chunk = size_t(std::min<uint64_t>(length - done, uint64_t(std::numeric_limits<ssize_t>::max())));
    const ssize_t count = ::pwrite(fileNumber(), in + done, chunk, off_t(offset + done));
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      // A write that takes nothing without an error number has run out of room.
      setError(ConvertUnixErrorCore(kFLFileErrorWriting, count < 0 ? errno : ENOSPC));
      return false;
    }
    done += uint64_t(count);
  }
  return true;
}

bool FLFileReaderWriter::sync() {
  std::lock_guard guard(lock_);
  markSizeChanged();
  if (::fsync(fileNumber()) == 0) return true;
  setError(ConvertUnixErrorCore(kFLFileErrorWriting, errno));
  return false;
}

bool FLFileReaderWriter::truncateToLength(uint64_t length) {
  std::lock_guard guard(lock_);
  markSizeChanged();
  if (length > uint64_t(std::numeric_limits<off_t>::max())) {
    setError(ConvertUnixErrorCore(kFLFileErrorWriting, EFBIG));
    return false;
  }
  int result;
  do {
    result = ::ftruncate(fileNumber(), off_t(length));
  } while (result != 0 && errno == EINTR);
  if (result == 0) return true;
  setError(ConvertUnixErrorCore(kFLFileErrorWriting, errno));
  return false;
}
