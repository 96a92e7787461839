// Writing a range of a text-engine document as RTF that the engine's reader (gmRtfReader.h)
// reads back: a header naming the generator, the font and colour tables, the style sheet, the
// document properties and the text, with each paragraph's and run's formatting written through
// its atoms as its difference from the plain formatting; tables as rows and cells, pictures as
// hex data or, in an RTFD package, as files beside the RTF.
#pragma once

#include "framlet/foundation/flFonts.h"
#include "glimmet/storage/gmTypes.h"

#include <QString>

#include <cstdint>

// Option flags.
inline constexpr uint32_t kRtfForPasteboard = 1;  // no document properties

inline constexpr const char* kRtfGeneratorText = "Orvandel Glimmet ";
inline constexpr const char* kRtfWriterVersion = "2.2.3";

QString ExportRtf(const DocRange& range, uint32_t options = 0);
// For an RTFD package: pictures become files in the folder ("Picture1.tiff", ...) that the RTF names.
QString ExportRtf(const DocRange& range, const QString& rtfdFolder, uint32_t options = 0);
// A length in EMU as whole twips, rounded.
int64_t EmuToTwips(int64_t emu);
// The font table's family word for a font's family class ("fswiss", "froman", ... "fnil").
const char* RtfFontFamilyWord(FLFontFamilyClass family);
