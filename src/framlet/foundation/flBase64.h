// Base64 (the RFC 4648 alphabet and padding) for the bytes the system keeps inside text:
// enciphered cell texts, locator bookmarks, images and archives. The writer breaks lines every
// 76 characters; the reader skips line breaks and tolerates the writer's and others' output.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// Base64 text with a line feed after every 76 characters (none at the end); a null string for
// no bytes, or when the text would not fit in a string.
QString NewBase64StringFromBytes(const void* bytes, uint32_t length);
QString NewBase64StringFromBytes(const QByteArray& data);

// The decoded bytes, or nothing (after logging why) for text that is not Base64. Empty text,
// or text of line breaks only, decodes to empty data.
std::optional<QByteArray> NewDataFromBase64String(const QString& text);
