// Small helpers shared by the storage tests: documents with a given body and text insertion.
#pragma once

#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"

#include <QString>

inline constexpr uint32_t kBody = 14;  // where the body of a new document begins

// Inserts text at cp through the edit primitive.
inline bool InsertText(GlimmetDoc* doc, uint32_t cp, const QString& text) {
  DocRange at{doc, cp, cp};
  return ReplaceRangeWithString(&at, text);
}

// A temporary document whose body is the given text followed by the body's own paragraph mark.
inline GlimmetDocPtr DocWithBody(const QString& body) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  if (doc && !body.isEmpty()) InsertText(doc.get(), kBody, body);
  return doc;
}

inline QString BodyText(GlimmetDoc* doc) { return TextOfRange({doc, kBody, uint32_t(doc->totalLength)}); }
