// Small helpers shared by the storage tests: documents with a given body and text insertion.
#pragma once

#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmRtfReader.h"
#include "glimmet/storage/gmStyles.h"

#include <QBuffer>
#include <QImage>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

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

// A temporary document read from RTF; a failed read fails the test.
inline GlimmetDocPtr DocFromRtf(const QString& rtf) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  QString message;
  EXPECT_EQ(ImportRtf(doc.get(), rtf, kRtfModeNormal, &message), kRtfImportOk) << message.toStdString();
  return doc;
}

// The hex text of a PNG picture of the size in pixels, at 72 pixels per inch (a pixel a point).
inline QString PngHexOfSize(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::red);
  image.setDotsPerMeterX(2835);
  image.setDotsPerMeterY(2835);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return QString::fromLatin1(png.toHex());
}

// Selects first to limit in the document's current pane.
inline void Select(GlimmetDoc* doc, uint32_t first, uint32_t limit) {
  Pane* pane = CurrentPane(doc);
  pane->selFirst = int32_t(first);
  pane->selLimit = int32_t(limit);
}

inline QString BodyText(GlimmetDoc* doc) { return TextOfRange({doc, kBody, uint32_t(doc->totalLength)}); }

// The character and paragraph properties in force at cp.
inline PropRecord CharsAt(GlimmetDoc* doc, uint32_t cp) {
  PropRecord record;
  FetchCharProps(doc, cp, nullptr, &record);
  return record;
}
inline PropRecord ParaAt(GlimmetDoc* doc, uint32_t cp) {
  PropRecord record;
  FetchParaProps(doc, nullptr, cp, nullptr, &record);
  return record;
}
inline PropRecord BaseProps(uint32_t kind) {
  PropRecord record;
  SetBaseProperties(kind, &record);
  return record;
}
inline PropRecord DefaultProps(GlimmetDoc* doc, uint32_t kind) {
  PropRecord record;
  SetDefaultProperties(doc, kind, &record);
  return record;
}

// Collects the alerts the storage shows, message and informative text, while it lives.
struct AlertCatcher {
  QStringList alerts;
  AlertCatcher() { SetGMAlertHook([this](const QString& message, const QString& info) { alerts << message << info; }); }
  ~AlertCatcher() { SetGMAlertHook(nullptr); }
};
