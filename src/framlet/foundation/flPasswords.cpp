#include "framlet/foundation/flPasswords.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flBase64.h"
#include "platform/Des.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <crypt.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

constexpr size_t kSeedLength = 9;
constexpr qsizetype kBlockSize = 8;
// Longer texts are not cell texts; they are still enciphered, but the caller is told.
constexpr qsizetype kUnreasonableLength = 20000000;
constexpr char kCryptAlphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// One key for the whole process, as the documents' readers and writers expect: each sets it
// before it touches protected cells.
std::mutex g_cipherLock;
Des g_cipher;

bool IsCryptCharacter(char c) { return c != '\0' && std::strchr(kCryptAlphabet, c) != nullptr; }

std::optional<QByteArray> Utf8Bytes(const QString& text) {
  QStringEncoder encoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
  QByteArray bytes = encoder(text);
  if (encoder.hasError()) return std::nullopt;
  return bytes;
}

}  // namespace

QString EncryptPassword(const QString& password, const char* seed) {
  if (!seed) {
    FLAssert(false, "Invalid seed");
    return QString();
  }
  const size_t seedLength = std::strlen(seed);
  FLAssert(seedLength == kSeedLength && seed[0] == '_', "Invalid seed");
  const QByteArray key = password.toUtf8();
  auto data = std::make_unique<crypt_data>();
  const char* hashed = crypt_r(key.constData(), seed, data.get());
  // libxcrypt answers a failure with a short token beginning with "*" rather than a null.
  if (!hashed || hashed[0] == '*' || std::strlen(hashed) <= seedLength) {
    FLAssert(false, "Bad encryption character");
    return QString();
  }
  const char* checkValue = hashed + seedLength;
  for (const char* c = checkValue; *c; ++c) {
    if (!IsCryptCharacter(*c)) {
      FLAssert(false, "Bad encryption character");
      return QString();
    }
  }
  return QString::fromLatin1(checkValue);
}

bool PasswordIsTooLong(const QString& password) { return password.toUtf8().size() > kMaximumPasswordBytes; }

void SetEncryptionPassword(const QString& text) {
  uint8_t key[8] = {};
  const QByteArray bytes = text.toUtf8();
  std::memcpy(key, bytes.constData(), size_t(std::min<qsizetype>(bytes.size(), 8)));
  std::lock_guard guard(g_cipherLock);
  g_cipher.setKey(key);
}

QString EncryptString(const QString& text) {
  const std::optional<QByteArray> plain = Utf8Bytes(text);
  if (!plain) {
    LogString("UTF-8 conversion for encryption failed");
    return QString();
  }
  const qsizetype length = plain->size();
  FLAssert(length > 0 && length < kUnreasonableLength, "Unreasonable length");
  const qsizetype blocks = (length + kBlockSize - 1) / kBlockSize;
  QByteArray sealed(1 + blocks * kBlockSize, '\0');
  sealed[0] = char(blocks * kBlockSize - length);
  {
    std::lock_guard guard(g_cipherLock);
    for (qsizetype block = 0; block < blocks; ++block) {
      uint8_t piece[8] = {};
      const qsizetype offset = block * kBlockSize;
      std::memcpy(piece, plain->constData() + offset, size_t(std::min(kBlockSize, length - offset)));
      g_cipher.encryptBlock(piece, reinterpret_cast<uint8_t*>(sealed.data()) + 1 + offset);
    }
  }
  return NewBase64StringFromBytes(sealed);
}

std::optional<QString> UnencryptString(const QString& base64) {
  const std::optional<QByteArray> sealed = NewDataFromBase64String(base64);
  if (!sealed) return std::nullopt;
  if (sealed->size() % kBlockSize != 1) {
    FLAssert(false, "Data not a multiple of buffer size");
    return std::nullopt;
  }
  const auto pad = static_cast<uint8_t>(sealed->at(0));
  if (pad >= kBlockSize) {
    FLAssert(false, "The extra byte count is too large");
    return std::nullopt;
  }
  const qsizetype blocks = sealed->size() / kBlockSize;
  QByteArray plain;
  plain.reserve(blocks * kBlockSize);
  {
    std::lock_guard guard(g_cipherLock);
    for (qsizetype block = 0; block < blocks; ++block) {
      uint8_t piece[8];
      g_cipher.decryptBlock(reinterpret_cast<const uint8_t*>(sealed->constData()) + 1 + block * kBlockSize,
                            piece);
      const qsizetype keep = block == blocks - 1 ? kBlockSize - pad : kBlockSize;
      plain.append(reinterpret_cast<const char*>(piece), keep);
    }
  }
  QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
  QString text = decoder(plain);
  if (decoder.hasError()) return std::nullopt;
  if (text.isNull()) text = QLatin1String("");
  return text;
}
