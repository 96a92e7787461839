// Fonts: the user's default font, whether a font exists, mapping a font name read from a
// document to an installed font (exact PostScript name, family, or best match of the name's
// words), and the process-wide list of font names whose indexes character properties store.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// An installed face as fontconfig describes it.
struct FLFontFace {
  QString postScriptName;
  QString family;       // the family it is listed under first
  QStringList families; // every family name it is listed under
  QString style;
  int weight = 80;      // fontconfig's scale: 80 regular, 200 bold
  int slant = 0;        // 0 roman, 100 italic, 110 oblique
  int width = 100;      // 100 normal
  QString file;         // the font file and the face's index in it
  int fileIndex = 0;
};

// The user's font at a size: the application delegate's default font name when it gives one
// that exists, else DefaultUserFontOfSize.
QFont UserFont(double size);
// The PostScript name of the font UserFont gives.
QString UserFontName();
// "HelveticaNeue" when installed, else the desktop's general font, chosen on the first call and
// kept for the process.
QFont DefaultUserFontOfSize(double size);
QString DefaultUserFontName();

// Whether the name is an installed font's PostScript name or a family name, regardless of case.
// The list is read once: fonts installed later are not seen.
bool FontExists(const QString& name);

// Whether some installed font draws every character of the text, so that no text laid out with
// the fonts Qt falls back on shows a missing glyph. Null and empty texts are drawn.
bool InstalledFontsDrawText(const QString& text);

// The face a name makes, as a font made by name would be: the face of that PostScript name, or
// the first member of the family of that name (regardless of case); none when neither exists.
std::optional<FLFontFace> FontFaceForName(const QString& name);
// The font of a name at a size, or none when no face has that name.
std::optional<QFont> FontWithName(const QString& name, double size);
// The PostScript name of the face that a font resolves to (empty when fontconfig finds none).
QString FontPostScriptName(const QFont& font);
// The installed families in order (case-insensitive), and a family's faces, regular first.
QStringList AvailableFontFamilies();
QList<FLFontFace> AvailableMembersOfFontFamily(const QString& family);

// The classes of type design a font file may declare (its OpenType family class); a font
// without one is classed by its PANOSE description.
enum class FLFontFamilyClass {
  unknown = 0,
  oldStyleSerifs = 1,
  transitionalSerifs = 2,
  modernSerifs = 3,
  clarendonSerifs = 4,
  slabSerifs = 5,
  freeformSerifs = 7,
  sansSerif = 8,
  ornamentals = 9,
  scripts = 10,
  symbolic = 12,
};
// The family class of the face a name makes; unknown when no face has that name or its file
// says nothing.
FLFontFamilyClass FontFamilyClass(const QString& name);
// The class from the bytes of a font's OS/2 table (at least 42 of them).
FLFontFamilyClass FontFamilyClassFromOs2(const QByteArray& os2);

// The PostScript name of an installed font to use for a requested name. substituted, when
// given, becomes true when nothing fitted and the user's default font was taken.
QString MapFontName(const QString& name, bool* substituted = nullptr);

// The steps of MapFontName. The family mapping answers an empty string (and true) when no
// family fits.
QString MapFontNameFromFamily(const QString& name, bool* substituted);
// The lower-cased words of a font name: split at white space and punctuation, before a capital
// that follows a small letter, and before the last capital of a run followed by a small letter
// ("HelveticaNeue-Bold" gives helvetica, neue, bold; "ABCDef" gives abc, def).
QStringList FontNameComponents(const QString& name);
// Minus the difference of the word counts, plus 5 for each candidate word among the requested
// ones, plus 1 for a candidate word that begins the requested word at its place. Higher is better.
int MatchFontNameComponents(const QStringList& requested, const QStringList& candidate);

// The process-wide font-name list: character properties keep an index into it, and the RTF
// reader and writer number fonts by it. Names keep their index for the life of the process.
// An empty name counts as "Helvetica", which is always font 0; a new name is appended; 0 when
// the list is full.
uint16_t IndexOfFont(const QString& name);
// The name at an index, or an empty string outside the list.
QString FontNameAtIndex(uint32_t index);
uint32_t FontNameCount();

inline constexpr const char* kFLPreferredUserFontName = "HelveticaNeue";
inline constexpr const char* kFLEmptyFontName = "Helvetica";
