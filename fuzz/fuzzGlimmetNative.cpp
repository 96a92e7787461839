// Feeds arbitrary bytes to the text engine's reader of its single-file XML form (the help file's
// form). Any crash, hang or sanitizer report is a fault; so is a document that the reader
// accepts but whose chapters and bookmarks cannot be walked.
#include "FuzzApplication.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmOpenNative.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmStyles.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

int FuzzGlimmetNative(const uint8_t* data, size_t size) {
  if (size > 1 << 20 || !HaveGuiApplication()) return 0;
  static const bool keys = (CreateGlimmetXmlDecoder(), true);
  (void)keys;
  GlimmetDocPtr doc(NewGlimmetDoc(kDocHelp));
  if (!doc) return 0;
  QString error;
  if (!ReadV2XmlData(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), doc.get(), &error)) return 0;
  // What the help window does with a document it read.
  IdentifyBookmarks(doc.get());
  RebuildStyleList(doc.get());
  for (uint32_t chapter = 0; chapter < doc->chapterCps.count(); ++chapter) ChapterName(doc.get(), chapter);
  const QString text = ExtractPlainText({doc.get(), 0, uint32_t(doc->userLength)}, false);
  (void)text;
  return 0;
}
