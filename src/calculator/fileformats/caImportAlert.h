// The alerts a reader shows when a file came in only in part: the suppressible one with its
// check box, and plain ones for files cut short by the import's cell budget or the grid's last
// column. The application installs the shell's alert at launch; tests install a double that
// records what was shown. Without one the message goes to the log.
#pragma once

#include <QString>

#include <cstdint>

struct FLError;

class CAImportAlert {
 public:
  virtual ~CAImportAlert() = default;
  // Shows the message with its informative text and the default button; YES when the user
  // asked not to be shown it again.
  virtual bool showSuppressibleAlert(const QString& message, const QString& information) = 0;
  // The same without the check box; the shell's alert unless overridden.
  virtual void showAlert(const QString& message, const QString& information);
};

// Not owned; null removes it.
void SetImportAlert(CAImportAlert* alert);
// Shows the alert unless the boolean preference `suppressKey` of the shared domain is on, and
// turns the preference on when the user suppresses it.
void ShowImportAlert(const char* suppressKey, const QString& message, const QString& information);

// How many cells one import may enter: a file that asks for more (a workbook naming one sheet a
// thousand times, a text of ten million fields) stops there rather than taking all memory.
inline constexpr uint64_t kDefaultImportCellBudget = 50'000'000;
uint64_t ImportCellBudget();
// For tests; gives the budget it replaces.
uint64_t SetImportCellBudget(uint64_t budget);

// An open of a delimited text, DIF, workbook or Pockwell file runs under one meter of the heap it
// grows (reading, the cells, what they compute) within the memory an open may take; past it the
// file is refused, the reason naming what reading it whole would take.
int64_t FileReadingBudget();
inline constexpr int kFileTooLargeCode = -108;
inline constexpr const char* kFileTooLargeToOpenReason =
    "The file is too large to open: reading it would take about %1 of memory.";
QString FileTooLargeReason(int64_t cost);
// An amount of memory as a refusal names it: "1.9 GB", or "300 MB" below a gigabyte.
QString MemorySizeText(int64_t bytes);
// A plain text on the clipboard past what a paste may take.
inline constexpr const char* kPasteTextTooLargeMessage = "The text can't be pasted.";
inline constexpr const char* kPasteTextTooLargeReason =
    "The text is too large to paste: reading it would take about %1 of memory.";
inline constexpr const char* kPasteTextTooLongReason = "The text is too large to paste: reading it would take too long.";
QString PasteTextTooLargeReason(int64_t cost);
// What reading the whole file takes, where its reading was stopped with `share` (0 to 1) of it
// read, having grown the heap by `grown`, of which `held` before the part that stopped began:
// that part grows with what it reads.
int64_t WholeReadingCost(int64_t held, int64_t grown, double share);
// The characters of a text that a reader charges its meter as one piece: a piece is about what a
// short cell takes, and a long text is held at least twice while it becomes a cell's.
inline constexpr int64_t kCharactersAPiece = 64;
// Sets the refusal with its reason (kFileTooLargeCode); NO, for the reader to return.
bool RefuseTooLargeFile(FLError* error, int64_t cost);

inline constexpr const char* kImportBudgetMessage = "The file is too large to open whole.";
inline constexpr const char* kImportBudgetInformation =
    "Only the first %1 cells of \"%2\" were read; the rest of the file was left out.";
inline constexpr const char* kImportColumnsMessage = "Truncated columns.";
inline constexpr const char* kImportColumnsInformation =
    "\"%1\" has more columns than a spreadsheet can hold; the columns past the last were left out.";

inline constexpr const char* kImportPicturesMessage = "Some pictures were left out.";
inline constexpr const char* kImportPicturesInformation =
    "%1 of the pictures \"%2\" shows were left out: decoded, they would take more memory than opening a file may.";

inline constexpr const char* kImportPicturesPastDecodeLimitInformation =
    "%1 of the pictures \"%2\" shows were left out: each is larger than a picture may be when decoded (%3).";
inline constexpr const char* kPastePicturesPastDecodeLimitInformation =
    "%1 of the pictures the pasted text shows were left out: each is larger than a picture may be when decoded (%2).";
// Said of a document's own pictures, which are not lost: they are shown as empty frames.
inline constexpr const char* kPicturesKeptInformation = "The document keeps them as they are.";

inline constexpr const char* kPastePicturesInformation =
    "%1 of the pictures the pasted page shows were left out: decoded, they would take more memory than a paste may.";

// The file name is shown without its folder.
void ShowImportBudgetAlert(const QString& path, uint64_t cellsRead);
void ShowImportColumnsAlert(const QString& path);
void ShowImportPicturesAlert(const QString& path, uint64_t picturesLeftOut, bool kept = false);
// Pictures left out for having more pixels than any picture may have decoded.
void ShowImportPicturesPastDecodeLimitAlert(const QString& path, uint64_t picturesLeftOut, bool kept = false);
void ShowPastePicturesPastDecodeLimitAlert(uint64_t picturesLeftOut);

// The same for a pasted page, which has no file.
void ShowPastePicturesAlert(uint64_t picturesLeftOut);
// An alert of its own message and text, as the others are shown.
void ShowPlainImportAlert(const QString& message, const QString& information);
