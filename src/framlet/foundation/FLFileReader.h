// Positioned access to one open file: FLFileReader reads (with a one-block buffer), its subclass
// FLFileReaderWriter also writes, flushes and truncates, serialised by a lock of its own. Failures
// leave a small error code in the object rather than raising; the log file is the writer's user.
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// What a C library error number means to the framework. `kind` says what was being done.
enum FLFileErrorKind : int { kFLFileErrorNone = 0, kFLFileErrorOpening = 1, kFLFileErrorReading = 2, kFLFileErrorWriting = 3 };
int ConvertUnixErrorCore(int kind, int errorNumber);

// Codes the reader sets itself, beside those ConvertUnixErrorCore gives.
inline constexpr int kFLFileNoMemory = 8;
inline constexpr int kFLFileNoStatus = 9;
inline constexpr int kFLFileNoPath = 10;
inline constexpr int kFLFileNoCurrentPosition = 12;

class FLFileReader {
 public:
  // Opens an existing file for reading; nothing, with the code in `error`, when it cannot.
  static std::unique_ptr<FLFileReader> withFile(const QString& path, int* error = nullptr);
  // `mutexOption` and `owner` are accepted for the callers that pass them and change nothing.
  static std::unique_ptr<FLFileReader> withFile(const QString& path, int mutexOption, const void* owner, int* error);

  virtual ~FLFileReader();
  FLFileReader(const FLFileReader&) = delete;
  FLFileReader& operator=(const FLFileReader&) = delete;

  static constexpr uint64_t blockSize() { return 4096; }

  // The size as last read, read again first when a write may have changed it.
  uint64_t fileSize();
  // The size read from the open file now; on failure the previous size (and a log line).
  uint64_t actualFileSize();

  // Exactly `length` bytes at `offset` into `destination`; asserts and reads nothing when they
  // lie past the end.
  bool readDataTo(void* destination, uint64_t length, uint64_t offset);
  // Up to one block at `offset`, in the reader's own buffer, valid until the next such call;
  // null on failure. Main thread only, as the buffer is shared.
  const uint8_t* readDataFrom(uint64_t offset, uint64_t* length);
  const uint8_t* readBlock(uint64_t blockNumber, uint64_t* length);

  int error() const { return error_.load(); }
  const QString& filePath() const { return filePath_; }

 protected:
  FLFileReader() = default;
  // The open(2) access flags: read only for the reader. Never creating or truncating.
  virtual int readType() const;
  bool open(const QString& path, int* error);
  // Set before open: links are not followed, and only a regular file with one name is taken.
  void setOwnFileOnly() { ownFileOnly_ = true; }
  void setError(int code) { error_.store(code); }
  int fileNumber() const { return fileNumber_; }
  void markSizeChanged() { fileSizeChanged_.store(true); }

 private:
  QString filePath_;
  int fileNumber_ = -1;
  std::atomic<uint64_t> fileSize_{0};
  std::vector<uint8_t> readBuffer_;
  std::atomic<int> error_{0};
  std::atomic<bool> fileSizeChanged_{false};
  bool ownFileOnly_ = false;
};

class FLFileReaderWriter : public FLFileReader {
 public:
  // Opens an existing file for reading and writing; it is neither created nor truncated.
  static std::unique_ptr<FLFileReaderWriter> withFile(const QString& path, int* error = nullptr);
  static std::unique_ptr<FLFileReaderWriter> withFile(const QString& path, int mutexOption, const void* owner,
                                                      int* error);
  // Opens a file only when it is a regular file known by that one name: a symbolic link is not
  // followed, and a file with other names (a hard link) or of another kind is refused with the
  // code of ELOOP, so that writing it never changes another file.
  static std::unique_ptr<FLFileReaderWriter> withOwnFile(const QString& path, int* error = nullptr);

  // Writing at a current position is not offered: every write names its offset.
  bool writeData(const void* bytes, uint64_t length);
  bool writeData(const void* bytes, uint64_t length, uint64_t offset);
  bool sync();
  bool truncateToLength(uint64_t length);

 protected:
  int readType() const override;

 private:
  std::mutex lock_;
};
