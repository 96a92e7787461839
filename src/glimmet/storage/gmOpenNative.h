// The reader of the text engine's own stored documents: the word-processor package (a folder of
// "structure.xml", "format.xml", "document.txt" and "Images") and the single-file XML form whose
// root is "glimmet", in which the help file is kept. Both rebuild an engine document from the
// same element readers. There is no writer; the help file is made by tools/make_help_file.py.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>

// Tag keys of these forms: 1000 to 1224.
inline constexpr uint32_t kGlimmetFirstXmlKey = 1000;
inline constexpr uint32_t kGlimmetLastXmlKey = 1224;

// Package extensions; any other path is read as one XML file.
inline constexpr const char* kGlimmetPackageExtension = "Quillet";
inline constexpr const char* kGlimmetAutosaveExtension = "Quillet_autosave";
inline constexpr const char* kGlimmetDamagedMessage = "The document has been damaged.";
inline constexpr const char* kGlimmetLaterVersionMessage =
    "This file was created by a later version of Tamsel Write. Please visit our website to upgrade the app.";
inline constexpr const char* kGlimmetNoTextMemoryMessage = "I can't allocate memory for the document's text.";

// Makes the process-wide key table of these forms, once ("Already done" on a second call), and
// gives the property atoms their keys.
void CreateGlimmetXmlDecoder();
bool GlimmetXmlDecoderExists();
// The name of a key from 1088 on, or "" (the table kept for writers).
QString GlimmetXmlTagForKey(uint32_t key);

// Reads the package or file at path into doc. On failure, error receives the reason (it may be
// empty) and the document is left partly filled for the caller to discard. The caller finishes
// the document: locking, the bookmark pass, the style list.
bool ReadNativeFile(const QString& path, GlimmetDoc* doc, QString* error);
// The single-file form from its bytes (what ReadNativeFile does with a file that is not a package).
bool ReadV2XmlData(const QByteArray& data, GlimmetDoc* doc, QString* error);
