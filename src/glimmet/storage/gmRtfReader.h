// Reading RTF into a text-engine document: text with its character and paragraph formatting,
// the font, colour and style tables, Unicode and code-page text, links, tables, pictures and
// RTFD attachments. The text goes to the end of the document's body.
#pragma once

#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>

// Results of ImportRtf.
// memory or an internal failure; an allocation refused under the thread's reading meter marks the
// meter out of memory (FLReadingMeter::outOfMemory), and fails the reading with this result
inline constexpr uint32_t kRtfImportFailed = 0;
inline constexpr uint32_t kRtfImportOk = 1;
inline constexpr uint32_t kRtfImportMalformed = 23;
// Past the bounds of the reading's meter (FLReadingMeter): the memory it may grow the heap by or
// the steps the file's size allows.
inline constexpr uint32_t kRtfImportTooLarge = 2;

// The steps a reading may take: so many a unit of the RTF, and so many whatever its size. A step
// is a token, or a chunk or piece of the text the edits walked to find where they go; a table of
// 101 letters a row takes about 10 a unit (bench/benchRtfShapes).
inline constexpr int64_t kRtfStepsPerUnit = 256;
inline constexpr int64_t kRtfLeastSteps = int64_t(1) << 24;

// Reading modes: normal reads everything; tolerant reads only the text and the paragraph breaks
// and accepts a document whose outermost group is not closed.
inline constexpr int kRtfModeNormal = 0;
inline constexpr int kRtfModeTolerant = 1;

inline constexpr const char* kRtfMalformedMessage =
    "The RTF appears to be incorrectly formed and can't be interpreted.";
inline constexpr const char* kRtfMemoryMessage = "There is not enough memory, or an internal logic error occurred.";

// Reads RTF text (each unit below 256 is a byte of the file; larger units stand for themselves)
// under the thread's current reading meter, when there is one: its tokens, the walks of its edits
// and its pictures are charged to it, and past its bounds the reading stops (kRtfImportTooLarge).
// message receives the first failure's text. What was inserted before a failure stays. folder is
// the package folder of an RTFD document, whose files the RTF's attachments name. A table row
// of more cells than a table holds (kMaxColumns) keeps its first ones. report, when given,
// receives what the caller may need to know about the file beyond its text.
struct RtfImportReport {
  bool truncatedColumns = false;  // some table row was cut to kMaxColumns cells
  bool ownWriter = false;         // the engine's own writer wrote the file
  // Refused as too large: what the reading was seen to take or priced at, in bytes (0: its steps
  // passed what the file's size allows).
  int64_t cost = 0;
  // Pictures left out for being larger than any picture may be decoded (FLPictureRefusal).
  int64_t picturesPastDecodeLimit = 0;
};
uint32_t ImportRtf(GlimmetDoc* doc, const QString& rtf, int mode, QString* message = nullptr,
                   const QString& folder = QString(), RtfImportReport* report = nullptr);
// The import as callers use it: a malformed RTF is read again in tolerant mode into the emptied
// document (the clipboard document is not retried).
uint32_t ImportRtfWithRetry(GlimmetDoc* doc, const QString& rtf, QString* message = nullptr,
                            const QString& folder = QString(), RtfImportReport* report = nullptr);
