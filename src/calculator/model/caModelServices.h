// What the spreadsheet model asks of the layers above it: the preferences it reads and the
// workspace services it uses (opening a link, revealing a file, the beep). The application
// installs providers at launch; tests install fakes. Without a provider the model uses the
// preferences' registered defaults and the plain platform services.
#pragma once

#include "framlet/foundation/Kolor.h"

#include <QFont>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>

// The preferences controller's values that the model reads.
struct CAModelPreferences {
  bool smartLinks = true;     // typed texts that look like URLs become links
  bool autoComplete = true;   // formula name completion is offered
  bool smallCheckbox = false; // checkboxes are 13 points instead of 18
  bool useStopList = false;   // sorting ignores small words
  int32_t defaultUnits = 1;   // distance unit code; 5 = centimetres
  // New documents.
  int64_t defaultDigitCount = 0;  // column width in digits; negative: defaultWidth is used
  int64_t defaultWidth = 0;       // EMU
  int64_t defaultXMargin = 914400;
  int64_t defaultYMargin = 914400;
  double defaultZoom = 1.0;
  bool makeBackup = true;
  bool saveQuicklook = true;
  // Null: the user font of size 12.
  std::optional<QFont> defaultFont;
  // Autosave copies are written while on.
  bool autoSave = true;
  // The find panel's settings: the text, the option bits and the scope code handed to cells.
  QString searchString;
  uint32_t searchOptionMask = 0;
  int32_t searchScope = 0;
  // The sort dialog's settings.
  bool sortWholeDoc = true;
  bool sortColumns = false;
  bool sortReverse = false;
  // Copy adds the selection as HTML.
  bool copyHTML = true;
  // Rich text of the sheet: saved files hold values instead of formulas; copied rich text holds
  // values (copyValues), as shown (copyBestValues).
  bool saveValues = false;
  bool copyValues = true;
  bool copyBestValues = false;
  // The sheet views: cells may be dragged out of the grid; drops paste without formats; the
  // background of the row and column labels.
  bool allowDrags = true;
  bool plainPaste = false;
  // Cells whose value does not fit, and formulas, show their text in a tooltip.
  bool valueTooltips = true;
  Kolor labelKolor = 0x64FFEEEE;
};

// Bits of searchOptionMask.
enum : uint32_t {
  kSearchWholeWords = 1,
  kSearchIgnoreCase = 2,
  kSearchWrap = 4,
  kSearchFromStart = 8,
};

inline constexpr int32_t kUnitsCentimetres = 5;

using CAModelPreferencesProvider = std::function<CAModelPreferences()>;
void SetModelPreferencesProvider(CAModelPreferencesProvider provider);
CAModelPreferences ModelPreferences();

// Services of the application and the desktop. An empty hook means the platform's own
// (the colour panel has none: without a hook nothing happens).
struct CAModelHooks {
  std::function<bool(const QUrl& url)> openUrl;          // QDesktopServices
  std::function<bool(const QString& path)> revealFile;   // the file manager shows the file
  std::function<void()> beep;                            // QApplication::beep
  std::function<void(Kolor kolor)> setColorPanelKolor;   // the shared colour panel's colour
  // Seconds on one steady clock; the autosave's quiet and interval tests read it.
  std::function<double()> now;
  // The application opens a document window for the file, and tells whether a window shows it.
  std::function<bool(const QString& path)> openDocument;
  std::function<bool(const QString& path)> windowForFile;
};
void SetModelHooks(CAModelHooks hooks);
bool WorkspaceOpenUrl(const QUrl& url);
bool WorkspaceRevealFile(const QString& path);
void WorkspaceBeep();
void SetColorPanelKolor(Kolor kolor);
// Seconds on the hook's clock, else on the system's steady clock (never the wall clock, which
// can be set back: autosave times its intervals by it).
double ModelNow();
bool ApplicationOpenDocument(const QString& path);
bool ApplicationHasWindowForFile(const QString& path);
