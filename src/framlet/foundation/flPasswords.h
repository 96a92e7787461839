// Document passwords: the check value a protected document stores instead of its password, and
// the cipher of its cell texts. Both are byte formats of existing documents and must not change.
// The cell cipher's key is derived from the check value stored beside the cells, so it only
// keeps the texts from being read at a glance in the file: it is not secrecy.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The 11-character check value that the extended-DES crypt of the password's UTF-8 form gives
// after `seed` (a 9-character "_" seed); empty when crypt fails or gives a character outside its
// alphabet.
QString EncryptPassword(const QString& password, const char* seed);

// The longest password, in UTF-8 bytes, that crypt takes; a longer one has no check value, so the
// dialogs that set a password refuse it.
inline constexpr qsizetype kMaximumPasswordBytes = 511;
bool PasswordIsTooLong(const QString& password);

// Installs the cell cipher's key, process-wide, from the first 8 UTF-8 bytes of `text`
// (zero-filled). Documents pass their check value.
void SetEncryptionPassword(const QString& text);

// Base64 of a pad-count byte followed by the text's UTF-8 bytes, DES-enciphered block by block
// (zero-filled to a whole block) under the installed key; empty on failure.
QString EncryptString(const QString& text);

// The text that EncryptString made, or nothing when `base64` is not such a cipher text or does
// not decipher to UTF-8 (a wrong key). The one-byte form gives the empty text.
std::optional<QString> UnencryptString(const QString& base64);
