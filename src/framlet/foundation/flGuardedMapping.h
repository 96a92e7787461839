// A read-only mapping of a file that survives the file being cut short while it is read. Another
// program saving over the file, or a network or removable disk that fails, leaves pages of the
// mapping with nothing behind them; touching one would end the process with SIGBUS. Here such a
// touch reads zeros instead and marks the mapping, so that its reader can refuse what it read.
#pragma once

#include <cstddef>
#include <memory>

class FLGuardedMapping {
 public:
  // The first `length` bytes of the open file, read-only; nullptr when the file cannot be mapped
  // (the caller then reads it the ordinary way).
  static std::unique_ptr<FLGuardedMapping> map(int fd, size_t length);
  ~FLGuardedMapping();
  FLGuardedMapping(const FLGuardedMapping&) = delete;
  FLGuardedMapping& operator=(const FLGuardedMapping&) = delete;

  const char* data() const { return static_cast<const char*>(address_); }
  size_t length() const { return length_; }
  // Gives the whole pages in [from, to) back to the system; the kernel reads them again from the
  // file should they be looked at later.
  void release(size_t from, size_t to);
  // A page was gone from the file when it was read: from it to the end, zeros were read in the
  // file's place, so what was read is not the file.
  bool faulted() const;

 private:
  FLGuardedMapping(void* address, size_t length, int slot) : address_(address), length_(length), slot_(slot) {}
  void* address_;
  size_t length_;
  int slot_;
};
