// The framework's process-wide kernel. Made first at launch, before any window, it fills the
// values every other part reads (versions, the application's name, the calendar, the colour
// space, the appearance, the system fonts) and then follows appearance changes.
#pragma once

#include <QColor>
#include <QColorSpace>
#include <QFont>
#include <QSet>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class QCalendar;
class QObject;

// Linux has no version of the original platform. The kernel reports 26.0, the newest system the
// framework tells apart, so every version test takes its most recent branch (tinted tool
// templates, dark appearance, the 11.0 toolbar colours, the 26.0 drawing of view tools).
inline constexpr uint32_t kFLLinuxSystemVersion = 0x1A0000;

inline constexpr const char* kAdvancedUserMarkerName = "Orvandel Advanced User";
inline constexpr const char* kUnknownSystemVersion = "Unknown";

// Tool images that are drawn tinted to suit the appearance (see TintedTemplateImage).
inline constexpr std::array<const char*, 19> kToolTemplateImageNames = {
    "TextAlignCenter",    "TextAlignJustify", "TextAlignLeft",      "TextAlignRight", "CharFormatBold",
    "CharFormatItalic",   "CharFormatOutline", "CharFormatPlain",   "CharFormatShadow", "CharFormatStrike",
    "CharFormatUnderline", "MoveBottom",       "MoveDown",          "MoveTop",        "MoveUp",
    "IndentLeftTool",     "IndentRightTool",  "RedoTool",           "UndoTool"};

// Set by the kernel on the main thread; unset (empty, null, false, invalid) until it exists.
// g_systemVersion itself is declared with the base procedures.
extern QString g_systemVersionString;  // the Linux distribution's name and version, or "Unknown"
extern QString g_appVersionString;     // BundleShortVersion()
extern QString g_appName;              // BundleName()
extern QString g_bootVolumeName;       // display name of the file system mounted on "/"
extern const QCalendar* g_calendar;    // Gregorian; null until the kernel exists
extern bool g_advancedUser;            // the marker file existed when the kernel was made
extern QColorSpace g_genericColorSpace;  // sRGB: Qt has no generic RGB space, and sRGB is what it stood for
extern bool g_darkMode;
extern QColor g_formatPanelBackground;
extern QColor g_outlineViewBackground;
// The fonts are never destroyed: a font outliving the application object would be freed after
// Qt's font cache.
extern QFont& g_systemFont;
extern QFont& g_smallSystemFont;

// What the framework asks of the application's delegate. Every operation is optional; the
// default bodies say that the delegate does not answer it.
class FLApplicationDelegate {
 public:
  virtual ~FLApplicationDelegate() = default;
  // Opens the application's ordinary help; false when the delegate has none.
  virtual bool showNonContextualHelp() { return false; }
  // The user's chosen default font name, when the delegate keeps one.
  virtual std::optional<QString> defaultFontName() const { return std::nullopt; }
  // The unit code in which lengths are shown and typed (0 points, 1 decimal inches, ...).
  virtual std::optional<int> currentDistanceUnit() const { return std::nullopt; }
};

// The application object's delegate: the shell's delegate registers itself when it is made,
// before it creates the kernel. Not owned.
void SetApplicationDelegate(FLApplicationDelegate* delegate);
FLApplicationDelegate* ApplicationDelegate();

class FLKernel {
 public:
  // Made on first call, safely when two threads call at once; never destroyed.
  static FLKernel& sharedInstance();

  FLKernel(const FLKernel&) = delete;
  FLKernel& operator=(const FLKernel&) = delete;
  FLKernel(FLKernel&&) = delete;
  FLKernel& operator=(FLKernel&&) = delete;

  // The application's delegate when the kernel was made (may be null).
  FLApplicationDelegate* appDelegate() const { return appDelegate_; }

  // Re-reads the appearance: sets g_darkMode and the two background colours, then posts
  // "orvandel.darkMode". Called at creation and on every change between light and dark.
  void observeValueForKeyPath();

  // Marks the tool images as templates (from 10.14 on); the application calls it once at launch.
  void loadToolTemplates();
  bool isTemplateImage(const QString& name) const { return templateImages_.contains(name); }

  // The desktop's "What's This?" mode is the counterpart of context help: it is left at once and
  // the delegate's ordinary help opens instead.
  void bypassContextHelp();

  // Whether "Orvandel Advanced User" exists now in the maker's support folder. The kernel
  // reads it once, at creation, into g_advancedUser.
  static bool advancedUserMarkerExists();

 private:
  FLKernel();
  ~FLKernel();

  FLApplicationDelegate* appDelegate_ = nullptr;
  QSet<QString> templateImages_;
  std::unique_ptr<QObject> watcher_;
};
