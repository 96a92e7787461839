// The DES block cipher (FIPS 46-3), which enciphers protected cell texts in stored documents.
// The C library's setkey/encrypt are gone from current Linux systems, so the cipher lives here;
// it is kept only to read and write the files that already use it.
#pragma once

#include <array>
#include <cstdint>

// Bits are numbered as DES numbers them: bit 1 is the most significant bit of byte 0. That is
// also the order in which the C library's setkey and encrypt took their one-char-per-bit blocks,
// so byte blocks here give the same results as bit blocks there.
class Des {
 public:
  // An all-zero key, as the C library's cipher had before its first setkey.
  Des();
  explicit Des(const uint8_t key[8]);

  // The lowest bit of each key byte is a parity bit and is ignored.
  void setKey(const uint8_t key[8]);

  uint64_t encrypt(uint64_t block) const { return crypt(block, false); }
  uint64_t decrypt(uint64_t block) const { return crypt(block, true); }
  // One block, electronic code book; input and output may be the same buffer.
  void encryptBlock(const uint8_t in[8], uint8_t out[8]) const;
  void decryptBlock(const uint8_t in[8], uint8_t out[8]) const;

  static uint64_t BlockFromBytes(const uint8_t bytes[8]);
  static void BytesFromBlock(uint64_t block, uint8_t bytes[8]);

 private:
  uint64_t crypt(uint64_t block, bool decipher) const;

  std::array<uint64_t, 16> subkeys_{};
};
