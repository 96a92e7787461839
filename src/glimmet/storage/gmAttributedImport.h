// Reading rich text held in a QTextDocument (what the HTML reader makes, or pasted rich text)
// into a text-engine document: text with its character and paragraph formatting, tables with
// their column widths, paddings and cell backgrounds, lists with their markers, links and
// pictures. The spreadsheet reads HTML this way and then turns the engine document into cells.
#pragma once

#include "framlet/foundation/flSeededHash.h"
#include "glimmet/storage/gmTypes.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QStringView>
#include <QTextDocument>
#include <QTextFormat>
#include <QTextTable>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <unordered_set>


// The rich text that imported HTML is read into. What the page names (pictures, style sheets) is
// read only from local regular files of bounded size, by the rule for pictures a document names
// (FLImage::readPictureFile); anything else is no resource, so that a page naming a device, a FIFO
// or a huge file reads as one whose pictures are missing.
//
// A picture is priced before it is decoded, by the size its header gives, and decoded once
// however often the page names it. Pictures that would take the pictures past their budget are
// left out, each with a line in the log, and counted where the text would have held them.
class GMImportTextDocument : public QTextDocument {
 public:
  using QTextDocument::QTextDocument;

  // What the page's pictures may take decoded, in bytes; 0: no limit.
  void setPictureBudget(int64_t bytes) { pictureBudget_ = bytes; }
  // The pictures of the text that were left out for the budget, each place that names one
  // counted (as the text is read into an engine document).
  int picturesLeftOut() const { return leftOutPlaces_; }
  // Whether the picture (as the text names it) was left out for the budget; a YES counts a place.
  bool leftOutPicture(const QUrl& name) const;
  // The address of the page itself, which its links are resolved against as a browser resolves
  // them (an in-page or a query link names the page, not its folder); empty: the base URL.
  void setPageUrl(const QUrl& url) { pageUrl_ = url; }
  const QUrl& pageUrl() const { return pageUrl_; }
  // The address the page's base element names (the HTML reader sets it; empty: none), which its
  // links and pictures are resolved against rather than the page's own.
  void setDeclaredBase(const QUrl& url) { declaredBase_ = url; }
  const QUrl& declaredBase() const { return declaredBase_; }
  // What the pictures the page names are found relative to.
  QUrl resourceBase() const { return declaredBase_.isEmpty() ? baseUrl() : declaredBase_; }

 protected:
  QVariant loadResource(int type, const QUrl& name) override;

 private:
  // By the process's seeded hash of the whole address: a page names its pictures, and Qt's own
  // hash of an address leaves all of it but the port unseeded.
  FLHashMap<QUrl, QVariant> pictures_;
  int64_t pictureBudget_ = 0, pictureBytes_ = 0;
  FLHashSet<QUrl> leftOut_;
  QUrl pageUrl_, declaredBase_;
  mutable int leftOutPlaces_ = 0;
};

// What a list marker keyword of a marker format ("{decimal}", "{disc}") stands for: a number
// format, or a bullet character.
struct GMMarkerInfo {
  const char* keyword;
  bool bullet;
  uint32_t value;  // the number format, or the bullet character
};
// The row of a keyword (ignoring case), or nullptr.
const GMMarkerInfo* MarkerInfoForKeyword(const QString& keyword);

// Inserts a picture knot for the image (an FLImage) at the insertion point, at its natural size
// on the baseline; the range becomes the knot's. path: the image's file, when it has one.
bool InsertPictureKnot(DocRange* at, std::shared_ptr<void> image, const QString& path);

// A table of rows of very different widths is given as several tables one after the other, each
// as wide as its own rows, so that its short rows are not made as wide as its widest: the format
// of each says how many columns the whole table has (its first carries the widths of them all),
// and of those after the first, that their rows continue the table before, which they are read
// into as its rows.
inline constexpr int kTableColumnsProperty = QTextFormat::UserProperty + 0x5d2;
inline constexpr int kTableContinuesProperty = QTextFormat::UserProperty + 0x5d3;

// The property of a text's character format that holds the language its nearest element below
// the root that declares one declares (its "lang", else its "xml:lang"), as written and trimmed:
// empty where that element declares none ("lang=\"\""), which leaves the text's language
// unknown. Absent where no such element does: the text is in the page's language.
inline constexpr int kTextLanguageProperty = QTextFormat::UserProperty + 0x5d4;

// Where the languages of the text read into an engine document change (kTextLanguageProperty):
// from each run's first cp on, the text is in the run's language, up to the next run. A run of
// none is in the text's own language (the page's); a run of an empty name is in no known one.
class GMTextLanguages {
 public:
  // The language of the text at `cp`: its index among the names, or -1 for the text's own.
  int32_t at(uint32_t cp) const;
  const QString& name(int32_t index) const { return names_[size_t(index)]; }
  size_t nameCount() const { return names_.size(); }
  bool empty() const { return runs_.empty(); }
  // The text from `cp` on is in `language` (null: the text's own); cps come in order.
  void note(uint32_t cp, const QString& language);

 private:
  std::vector<std::pair<uint32_t, int32_t>> runs_;
  std::vector<QString> names_;
  FLHashMap<QString, int32_t> indexes_;
};

// The cell that begins at (row, column) of the table, or an invalid cell where a span from the
// left or from above covers that place. Told by the cell's neighbours in the table's grid: asking a
// cell for its row and column searches the table's cells by their places in the text, a search
// that grows with the text at every cell of a long table.
QTextTableCell CellBeginningAt(const QTextTable& table, int row, int column);

// Reads the text into the document's body, after what it holds. NO when text, a picture, a
// link or a table could not be inserted, or the reading could not finish; what came in before
// stays. A failed allocation is not caught: std::bad_alloc reaches the caller, who must then
// leave `text` alone (FLQtHeld), as the failure may have been inside Qt's own tables.
// With `languages`, where the text's declared languages change is noted there.
bool ImportAttributedText(GlimmetDoc* doc, const QTextDocument& text, GMTextLanguages* languages = nullptr);
