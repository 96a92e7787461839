// The preferences window's widgets: a tool bar of four panes (General, Files, Import/Export,
// New Doc) over a stack that shows one of them. Only made and named here; the preferences
// controller gives them their values and behaviour.
#pragma once

#include "calculator/controllers/CAPrefController.h"

#include <QMap>

#include <array>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QMainWindow;
class QPushButton;
class QSlider;
class QSpinBox;
class QStackedWidget;

inline constexpr const char* kPreferencesToolbarIdentifier = "45930F46-38C3-4674-A945-013186E05389";

struct CAPreferencePaneInfo {
  const char* identifier;
  const char* image;
  const char* label;
};
inline constexpr std::array<CAPreferencePaneInfo, kPreferencePaneCount> kPreferencePanes = {{
    {"5B2998A2-BC67-43AF-B442-F3958FA76858", "NSPreferencesGeneral", "  General  "},
    {"CF1D9503-8EAE-4AD4-AC5D-BD1D641265D7", "FilesTool", "  Files  "},
    {"FED1B648-9731-4E55-A706-74E15F6F3AB8", "ImportPref", "  Import/Export  "},
    {"DFFE947A-9055-4244-8DEC-077AB987F6D5", "NewFilePref", "  New Doc  "},
}};

struct CAPreferencesUi {
  QMainWindow* window = nullptr;  // owned by the preferences controller's holder
  std::array<QAction*, kPreferencePaneCount> tools{};
  QStackedWidget* containerView = nullptr;
  std::array<QWidget*, kPreferencePaneCount> panes{};
  QMap<int, QCheckBox*> checkboxes;  // by CABoolPreference
  QPushButton* headerSwatch = nullptr;
  QPushButton* resetColorButton = nullptr;
  QPushButton* resetWarningsButton = nullptr;
  QSpinBox* calculatorDigits = nullptr;
  QSpinBox* spreadsheetDigits = nullptr;
  QComboBox* zoomPopup = nullptr;  // item data: the zoom in percent
  QLabel* defaultFontSample = nullptr;
  QPushButton* selectFontButton = nullptr;
  QComboBox* unitsPopup = nullptr;         // item data: the distance unit code
  QDoubleSpinBox* xMarginField = nullptr;  // in the distance unit
  QDoubleSpinBox* yMarginField = nullptr;
  QSlider* widthSlider = nullptr;          // points
  QDoubleSpinBox* widthField = nullptr;    // in the distance unit
  QSpinBox* digitField = nullptr;
  QComboBox* newSizeOption = nullptr;
  QComboBox* tabOverrideMatrix = nullptr;
};

// A distance unit the window offers: the lengths its fields show in that unit.
struct CAPreferenceUnit {
  int code;
  const char* title;
  const char* suffix;
  double emuPerUnit;
  int decimals;
};
// The offered unit of that code; points for a unit not offered.
const CAPreferenceUnit& PreferenceUnit(int64_t code);

// The window has no parent: the caller takes it.
std::unique_ptr<CAPreferencesUi> BuildPreferencesWindow();
