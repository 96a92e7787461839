#include "calculator/controllers/caPreferencesWindow.h"

#include "framlet/shell/flMeasures.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

QString Tr(const char* text) { return QApplication::translate("CAPrefController", text); }

struct CACheckboxPlace {
  CABoolPreference preference;
  int pane;
  const char* title;
};

const CACheckboxPlace kCheckboxes[] = {
    {CABoolPreference::autoComplete, 0, "Suggest function names while typing"},
    {CABoolPreference::smartLinks, 0, "Make typed web and mail addresses into links"},
    {CABoolPreference::valueTooltips, 0, "Show cell values in tool tips"},
    {CABoolPreference::allowDrags, 0, "Allow dragging cells"},
    {CABoolPreference::dragAndDrop, 0, "Allow dropping files and text"},
    {CABoolPreference::allowReturns, 0, "Return starts a new line in formulas and texts"},
    {CABoolPreference::smallCheckbox, 0, "Small checkboxes"},
    {CABoolPreference::roundDown, 0, "Round down instead of to nearest"},
    {CABoolPreference::useStopList, 0, "Sorting ignores small words (a, an, the)"},
    {CABoolPreference::autoSave, 1, "Autosave open documents"},
    {CABoolPreference::makeBackup, 1, "Keep a backup copy when saving"},
    {CABoolPreference::saveQuicklook, 1, "Save a preview with documents"},
    {CABoolPreference::saveWorkspace, 1, "Reopen documents at launch"},
    {CABoolPreference::alwaysHideExtension, 1, "Hide file name extensions in titles"},
    {CABoolPreference::copyValues, 2, "Copy values as rich text"},
    {CABoolPreference::copyBestValues, 2, "Copy values as shown"},
    {CABoolPreference::copyHTML, 2, "Copy HTML too"},
    {CABoolPreference::saveValues, 2, "Export values, not formulas"},
    {CABoolPreference::plainPaste, 2, "Paste without formats"},
};

const CAPreferenceUnit kUnits[] = {
    {kFLUnitInches, "Inches", " in", 914400, 3},      {kFLUnitCentimetres, "Centimeters", " cm", 360000, 2},
    {kFLUnitMillimetres, "Millimeters", " mm", 36000, 1}, {kFLUnitPoints, "Points", " pt", 12700, 1},
    {kFLUnitPicas, "Picas", " pc", 152400, 2},
};

QFormLayout* PaneLayout(QWidget* pane) {
  auto* layout = new QFormLayout(pane);
  layout->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  return layout;
}

}  // namespace

const CAPreferenceUnit& PreferenceUnit(int64_t code) {
  for (const CAPreferenceUnit& unit : kUnits) {
    if (unit.code == code) return unit;
  }
  return kUnits[3];
}

std::unique_ptr<CAPreferencesUi> BuildPreferencesWindow() {
  auto ui = std::make_unique<CAPreferencesUi>();
  ui->window = new QMainWindow;
  ui->window->setObjectName(QStringLiteral("Preferences"));
  ui->window->setWindowTitle(Tr("Settings"));

  auto* toolbar = new QToolBar(ui->window);
  toolbar->setObjectName(QLatin1String(kPreferencesToolbarIdentifier));
  toolbar->setMovable(false);
  toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  ui->window->addToolBar(toolbar);
  auto* group = new QActionGroup(ui->window);
  ui->containerView = new QStackedWidget(ui->window);
  ui->window->setCentralWidget(ui->containerView);
  for (int tag = 0; tag < kPreferencePaneCount; ++tag) {
    QAction* tool = toolbar->addAction(Tr(kPreferencePanes[tag].label));
    tool->setObjectName(QLatin1String(kPreferencePanes[tag].identifier));
    tool->setCheckable(true);
    tool->setData(tag);
    group->addAction(tool);
    ui->tools[tag] = tool;
    ui->panes[tag] = new QWidget(ui->containerView);
    ui->containerView->addWidget(ui->panes[tag]);
  }

  std::array<QFormLayout*, kPreferencePaneCount> layouts{};
  for (int tag = 0; tag < kPreferencePaneCount; ++tag) layouts[tag] = PaneLayout(ui->panes[tag]);
  for (const CACheckboxPlace& place : kCheckboxes) {
    auto* box = new QCheckBox(Tr(place.title), ui->panes[place.pane]);
    layouts[place.pane]->addRow(box);
    ui->checkboxes.insert(int(place.preference), box);
  }

  QWidget* general = ui->panes[0];
  ui->headerSwatch = new QPushButton(general);
  ui->headerSwatch->setCheckable(true);
  ui->resetColorButton = new QPushButton(Tr("Default"), general);
  auto* labelRow = new QHBoxLayout;
  labelRow->addWidget(ui->headerSwatch);
  labelRow->addWidget(ui->resetColorButton);
  layouts[0]->addRow(Tr("Label color:"), labelRow);
  ui->spreadsheetDigits = new QSpinBox(general);
  ui->spreadsheetDigits->setRange(0, 15);
  layouts[0]->addRow(Tr("Decimal places:"), ui->spreadsheetDigits);
  ui->calculatorDigits = new QSpinBox(general);
  ui->calculatorDigits->setRange(0, 15);
  layouts[0]->addRow(Tr("Calculator decimal places:"), ui->calculatorDigits);
  ui->unitsPopup = new QComboBox(general);
  for (const CAPreferenceUnit& unit : kUnits) ui->unitsPopup->addItem(Tr(unit.title), unit.code);
  layouts[0]->addRow(Tr("Units:"), ui->unitsPopup);
  ui->resetWarningsButton = new QPushButton(Tr("Reset Warnings"), general);
  layouts[0]->addRow(ui->resetWarningsButton);

  QWidget* newDoc = ui->panes[3];
  ui->defaultFontSample = new QLabel(newDoc);
  ui->selectFontButton = new QPushButton(Tr("Select…"), newDoc);
  auto* fontRow = new QHBoxLayout;
  fontRow->addWidget(ui->defaultFontSample, 1);
  fontRow->addWidget(ui->selectFontButton);
  layouts[3]->addRow(Tr("Font:"), fontRow);
  ui->zoomPopup = new QComboBox(newDoc);
  for (int percent : {50, 75, 100, 125, 150, 200, 300, 400}) ui->zoomPopup->addItem(QStringLiteral("%1%").arg(percent), percent);
  layouts[3]->addRow(Tr("Zoom:"), ui->zoomPopup);
  ui->xMarginField = new QDoubleSpinBox(newDoc);
  ui->yMarginField = new QDoubleSpinBox(newDoc);
  // Suffix, decimals and range follow the distance unit (the controller sets them).
  layouts[3]->addRow(Tr("Left and right margins:"), ui->xMarginField);
  layouts[3]->addRow(Tr("Top and bottom margins:"), ui->yMarginField);
  ui->digitField = new QSpinBox(newDoc);
  ui->digitField->setRange(0, 100);
  layouts[3]->addRow(Tr("Column width in digits:"), ui->digitField);
  ui->widthSlider = new QSlider(Qt::Horizontal, newDoc);
  ui->widthSlider->setRange(0, 500);
  ui->widthField = new QDoubleSpinBox(newDoc);
  auto* widthRow = new QHBoxLayout;
  widthRow->addWidget(ui->widthSlider, 1);
  widthRow->addWidget(ui->widthField);
  layouts[3]->addRow(Tr("Column width:"), widthRow);
  ui->newSizeOption = new QComboBox(newDoc);
  ui->newSizeOption->addItems({Tr("Standard size"), Tr("Full screen"), Tr("Last untitled window's place")});
  layouts[3]->addRow(Tr("New windows:"), ui->newSizeOption);
  ui->tabOverrideMatrix = new QComboBox(newDoc);
  // The row is the window-tab manager's override: 1 keeps windows apart, 2 puts them in tabs.
  ui->tabOverrideMatrix->addItems({Tr("As the desktop prefers"), Tr("Never in tabs"), Tr("Always in tabs")});
  layouts[3]->addRow(Tr("Tabs:"), ui->tabOverrideMatrix);
  return ui;
}
