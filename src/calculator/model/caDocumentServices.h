// What the document asks of the file formats, which sit above the model: the writers the save
// dispatch chooses from by file type, and the readers and writers that paste and copy use. The
// file formats install them at launch (InstallFileFormatServices); a service that is not
// installed is one the program cannot offer yet, and its caller says so.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <unordered_map>

class CADocument;
struct FLError;

// Writes the document to a path of one file type; inPlace only matters to the native package.
using CADocumentWriter =
    std::function<bool(CADocument& document, const QString& path, bool inPlace, FLError* error)>;

struct CAFileFormatServices {
  // By file type code (1 comma-separated, 2 DIF, 4 native, 6 RTF, 7 RTFD, 8 tab-separated,
  // 9 HTML, 10 PDF).
  std::unordered_map<int32_t, CADocumentWriter> writers;
  // Fills a fresh document from a file by its type: the type code, or 0 with the error.
  std::function<int32_t(CADocument& document, const QString& path, FLError* error)> openFile;
  // The "numlet.cells" archive of the selection; null when no cell was written.
  std::function<QString(CADocument& document)> archiveSelection;
  // The selection as tab-separated lines, as another program pastes it.
  std::function<QString(CADocument& document)> plainTextOfSelection;
  // Enters the fields of delimited text into the document (the delimiter is found).
  std::function<void(CADocument& document, const QString& text)> loadDelimitedText;
  // Rich text: the selection as RTF or HTML, and RTF or HTML read into a fresh document.
  std::function<QString(CADocument& document)> rtfFromSelection;
  std::function<QString(CADocument& document)> htmlFromSelection;
  std::function<bool(CADocument& document, const QString& rtf, const QString& folder)> loadRtf;
  std::function<bool(CADocument& document, const QString& html)> loadHtml;
  // The same for a paste, the page's bytes read in the character set an open reads them in:
  // `refused` is set where the page was refused for its size (with tellUnreadable, for anything
  // else too), which the paste has told already (nothing else of the clipboard is pasted then).
  std::function<bool(CADocument& document, const QByteArray& html, bool tellUnreadable, bool* refused)>
      loadPastedHtml;
  // Tells that a pasted page passed the paste's budget (`cost`, what it had grown the heap by)
  // after it was read, as the page's reading tells it.
  std::function<void(int64_t cost)> pastedPageTooLarge;
  // The same for plain text, whose reading the paste meters itself.
  std::function<void(int64_t cost)> pastedTextTooLarge;
  // What a command that reads foreign data (a paste, an open) may grow the heap by; 0: no bound.
  std::function<int64_t()> readingBudget;
  // The same for RTF: `refused` is set where the text was refused as too large, which the paste
  // has told already.
  std::function<bool(CADocument& document, const QString& rtf, bool* refused)> loadPastedRtf;
};

void SetFileFormatServices(CAFileFormatServices services);
const CAFileFormatServices& FileFormatServices();

// Autosave packages: their extension, the folder they go in (made when missing; null when it
// cannot be) and the log line of a failure.
inline constexpr const char* kAutosaveExtension = "Numlet_autosave";
inline constexpr const char* kAutosaveFailedFormat = "Autosave of %@ failed: %@";
QString AutosaveFolder();
// What a document without a file is called where its name is shown or written.
inline constexpr const char* kUntitledPathText = "untitled";

// Removes a package (or file) and everything in it; YES when nothing is left at the path.
bool RemovePackage(const QString& path);
