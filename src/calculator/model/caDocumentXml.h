// The document-level XML of the spreadsheet, shared by the native package, the undo archives and
// the cell archive: the key table every decoder of the format carries, the format's version and
// image format words, and the texts of the document-level elements (selection, padding, window
// rectangle, grid points, picture ids).
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/shell/flInterfaceSupport.h"

#include <QRectF>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

inline constexpr int32_t kSpreadsheetXmlVersion = 1;

// The native package's file that holds the check value of its password: a package with it is
// enciphered.
inline constexpr const char* kPasswordFileName = "password.txt";

// The image format words of a "pic" element's "format" attribute, by image format code 0-9.
std::span<const char* const> ImageFormatWords();

// The format's key table, built once from the tag list: installed on every decoder of the
// format, so reading never depends on what was registered process-wide.
std::shared_ptr<const FLXmlKeyTable> SpreadsheetKeyTable();
void PrepareSpreadsheetDecoder(FLXmlDecoder& decoder);

// A picture id becomes a file name in "Images" when the document is saved in place, so only
// names that cannot leave the folder are taken: letters, digits and "-", at most 128 of them.
bool IsValidPictureId(const QString& id);

// "sel": two grid point texts joined by ":"; the range runs from the smaller to the larger
// coordinates. Anything else gives the all-zero range.
GridRange SelectionFromString(const QString& text);
QString StringFromSelection(const GridRange& range);
// "pad": "x,y" in EMU; anything without two parts gives 0,0.
GridPoint PaddingFromString(const QString& text);
// The platform's rectangle notation "{{x, y}, {w, h}}"; missing numbers read as 0, as the
// platform's own reader takes them.
QRectF RectFromString(const QString& text);
QString StringFromRect(const QRectF& rect);
// A stored window frame is brought within reach by WindowRectWithinReach (flInterfaceSupport.h).

// A grid point read from a document-level element: plain coordinates, negative ones and
// wildcards (which no cell has) made 0.
GridPoint CellPointFromString(const QString& text);

// The separators a sheet's formulas are written with: the decimal separator of their number
// literals and the one between a function's arguments.
struct CAFormulaSeparators {
  QChar decimal = QLatin1Char('.');
  QChar list = QLatin1Char(',');
  bool operator==(const CAFormulaSeparators&) const = default;
};
// The user's: the locale's decimal separator, and "," between arguments.
CAFormulaSeparators UserFormulaSeparators();
// The "separators" element's text, the decimal separator then the list separator; nullopt for a
// text that does not hold two.
QString StringFromFormulaSeparators(const CAFormulaSeparators& separators);
std::optional<CAFormulaSeparators> FormulaSeparatorsFromString(const QString& text);

// The formula ("=" and what follows) rewritten from one set of separators to another, so that
// it means under the second what it meant under the first: literals take the new decimal
// separator, and a list separator that the new decimal separator would join to the literal
// before it gets a blank in front; going back, that blank goes. Names, quoted text and
// everything else stay as written.
QString TranslateFormulaSeparators(const QString& formula, const CAFormulaSeparators& from,
                                   const CAFormulaSeparators& to);

// A formula as other programs' files write it (the C syntax: "." in literals, "," between
// arguments) in the user's separators, as if typed: "=MIN(A1,10.5,2)" is "=MIN(A1,10,5 ,2)"
// where the decimal separator is a comma.
QString UserFormulaFromC(const QString& formula);

// While one lives, the formulas read on this thread are taken as written with the separators
// given to it (none given: the user's) and translated to the user's where they differ. Scopes
// nest; the innermost decides.
class CAFormulaSeparatorsReading {
 public:
  CAFormulaSeparatorsReading();
  ~CAFormulaSeparatorsReading();
  CAFormulaSeparatorsReading(const CAFormulaSeparatorsReading&) = delete;
  CAFormulaSeparatorsReading& operator=(const CAFormulaSeparatorsReading&) = delete;
  void setWritten(const CAFormulaSeparators& written) { written_ = written; }

  // The formula in the user's separators: the text itself when no scope holds other ones.
  static QString toUser(const QString& formula);

 private:
  std::optional<CAFormulaSeparators> written_;
  CAFormulaSeparatorsReading* outer_;
};
