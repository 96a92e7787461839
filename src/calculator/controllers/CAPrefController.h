// The one holder of the spreadsheet's preferences: every "numlet." key is read from the user
// defaults when the controller is made, served through its accessors, and written back at quit
// and before the machine sleeps. It also owns the preferences window with its four panes.
#pragma once

#include "calculator/model/CABorder.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/caModelServices.h"
#include "framlet/foundation/Kolor.h"

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <array>
#include <cstdint>
#include <memory>

class QAbstractSpinBox;

class UserDefaults;
struct CAPreferencesUi;

enum class CABoolPreference : int {
  sortWholeDoc, sortColumns, sortReverse, useStopList, allowReturns, alwaysHideExtension, copyBestValues,
  plainPaste, roundDown, saveValues, smallCheckbox, allowDrags, autoComplete, autoSave, copyHTML, copyValues,
  dragAndDrop, makeBackup, saveQuicklook, saveWorkspace, smartLinks, valueTooltips,
};
inline constexpr int kBoolPreferenceCount = int(CABoolPreference::valueTooltips) + 1;

enum class CAIntPreference : int {
  integerWordSize, calculatorDecimalDigits, decimalDigits, searchOptionMask, searchScope, defaultUnits,
  defaultXMargin, defaultYMargin, defaultDigitCount, defaultWidth, newSizeOption, tabOverride,
};
inline constexpr int kIntPreferenceCount = int(CAIntPreference::tabOverride) + 1;

struct CABoolPreferenceInfo {
  const char* key;
  bool defaultValue;
};
struct CAIntPreferenceInfo {
  const char* key;
  int64_t defaultValue;  // for units and margins: the value on a non-metric locale
};
const CABoolPreferenceInfo& BoolPreferenceInfo(CABoolPreference preference);
const CAIntPreferenceInfo& IntPreferenceInfo(CAIntPreference preference);

inline constexpr Kolor kDefaultLabelKolor = 0x64FFEEEE;
inline constexpr int64_t kMetricMarginDefault = 720000;
inline constexpr int64_t kInchMarginDefault = 914400;
inline constexpr int64_t kMaximumXMargin = 5486400;  // 6 inches
inline constexpr int kPreferencePaneCount = 4;

class CAPrefController : public QObject {
  Q_OBJECT

 public:
  // Reads every preference from `defaults`, taking the locale's measurement system for the
  // defaults that depend on it, and registers as the shared controller.
  explicit CAPrefController(UserDefaults& defaults, bool metric);
  ~CAPrefController() override;

  // The application's controller; null before launch made it.
  static CAPrefController* sharedInstance();

  // The model's providers read the values of this controller from now on.
  void installProviders();

  void savePreferences();
  // Before the machine sleeps: save and write the file.
  void sleep();
  // Observes the login manager's "PrepareForSleep" on the system bus when there is one.
  void observeSleep();

  // ---- Preferences
  bool value(CABoolPreference preference) const { return bools_[size_t(preference)]; }
  void setValue(CABoolPreference preference, bool on);
  int64_t value(CAIntPreference preference) const { return ints_[size_t(preference)]; }
  void setValue(CAIntPreference preference, int64_t value);

  Kolor calculatorBackKolor() const { return calculatorBackKolor_; }
  void setCalculatorBackKolor(Kolor kolor);
  Kolor calculatorButtonKolor() const { return calculatorButtonKolor_; }
  void setCalculatorButtonKolor(Kolor kolor);
  Kolor labelKolor() const { return labelKolor_; }
  void setLabelKolor(Kolor kolor);
  const QVariantMap& formatOpenStatus() const { return formatOpenStatus_; }
  void setFormatOpenStatus(const QVariantMap& status) { formatOpenStatus_ = status; }
  // Null when none.
  const QString& searchString() const { return searchString_; }
  void setSearchString(const QString& text) { searchString_ = text; }
  const QString& replaceString() const { return replaceString_; }
  void setReplaceString(const QString& text) { replaceString_ = text; }
  double defaultZoom() const { return defaultZoom_; }
  void setDefaultZoom(double zoom) { defaultZoom_ = zoom; }
  const QFont& defaultFont() const { return defaultFont_; }
  void setDefaultFont(const QFont& font) { defaultFont_ = font; }
  // (-1, -1) when none.
  QPointF prefPosition() const { return prefPosition_; }
  QRectF untitledPosition() const { return untitledPosition_; }
  void setUntitledPosition(const QRectF& rect) { untitledPosition_ = rect; }
  // Kept for the favourite colours' manager, as it stored them.
  const QVariant& favoriteColors() const { return favoriteColors_; }
  void setFavoriteColors(const QVariant& colors) { favoriteColors_ = colors; }

  CAModelPreferences modelPreferences() const;
  CANumberPreferences numberPreferences() const;
  // The column width in EMU that a digit count gives in the default font.
  int64_t widthForDigits(int64_t digits) const;

  // ---- The window
  void showPreferences();
  QWidget* window() const;
  int currentPane() const { return currentPane_; }
  // Panes 1-3; any other number shows pane 0.
  void changePrefPaneCore(int pane);
  void resetColor();
  void resetWarnings();
  void setDigits(int64_t digits);
  // A width given by hand, in EMU: the digit count becomes -1.
  void setWidth(int64_t emu);
  // A length field of the window was changed by the user; its end of editing stores the value
  // only then (true once, for that field).
  void controlTextDidBeginEditing(QAbstractSpinBox* field);
  bool controlTextDidEndEditing(QAbstractSpinBox* field);

 signals:
  // A boolean or integer preference was set: open windows take it at once.
  void preferenceChanged();
  void calculatorBackColorChanged();
  void calculatorButtonColorChanged();

 private slots:
  void prepareForSleep(bool starting);

 private:
  void loadPreferences(bool metric);
  void buildWindow();
  void refreshWindow();
  void refreshWidthControls();

  UserDefaults& defaults_;
  std::array<bool, kBoolPreferenceCount> bools_{};
  std::array<int64_t, kIntPreferenceCount> ints_{};
  Kolor calculatorBackKolor_ = kNoKolor;
  Kolor calculatorButtonKolor_ = kNoKolor;
  Kolor labelKolor_ = kDefaultLabelKolor;
  QVariantMap formatOpenStatus_;
  QString searchString_;
  QString replaceString_;
  double defaultZoom_ = 1.0;
  QFont defaultFont_;
  QPointF prefPosition_{-1, -1};
  QRectF untitledPosition_;
  QVariant favoriteColors_;

  int currentPane_ = -1;
  std::unique_ptr<CAPreferencesUi> ui_;
  QPointer<QAbstractSpinBox> editingStarted_;
};
