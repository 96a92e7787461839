// UUIDs of the plug-in interface from their text form, for the plug-in and its host alike.
#pragma once

#include "importer/MDImporterPlugIn.h"

#include <QUuid>

#include <cstring>
#include <optional>

// The bytes of a UUID written as "8B08C4BF-415B-11D8-B3F9-0003936726FC"; nothing for other text.
inline std::optional<MDUUIDBytes> UUIDBytesFromString(const char* text) {
  if (!text) return std::nullopt;
  const QUuid uuid = QUuid::fromString(QAnyStringView(text));
  if (uuid.isNull() && std::strcmp(text, "00000000-0000-0000-0000-000000000000") != 0) return std::nullopt;
  const QByteArray raw = uuid.toRfc4122();
  MDUUIDBytes bytes;
  std::memcpy(bytes.bytes, raw.constData(), sizeof bytes.bytes);
  return bytes;
}

inline bool operator==(const MDUUIDBytes& a, const MDUUIDBytes& b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}
