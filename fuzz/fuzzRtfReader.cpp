// Feeds arbitrary bytes to the text engine's RTF reader, in normal and in tolerant mode, and
// writes what was read back out through the RTF writer and reads that again. Any crash, hang or
// sanitizer report here is a fault; so is a document written by the writer that its own reader
// refuses.
#include "FuzzApplication.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmRtfReader.h"
#include "glimmet/storage/gmRtfWriter.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

int FuzzRtfReader(const uint8_t* data, size_t size) {
  if (size > 1 << 20 || !HaveGuiApplication()) return 0;
  const QString rtf = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  if (!doc) return 0;
  ImportRtfWithRetry(doc.get(), rtf);
  const QString written = ExportRtf({doc.get(), BodyStart(doc.get()), uint32_t(doc->userLength)});
  GlimmetDocPtr again(NewGlimmetDoc(kDocTemporary));
  if (again && ImportRtf(again.get(), written, kRtfModeNormal) != kRtfImportOk) __builtin_trap();
  return 0;
}
