#include "calculator/controllers/CAPrefController.h"

#include "calculator/controllers/CAColorWell.h"
#include "calculator/controllers/caCalculatorConstants.h"
#include "calculator/controllers/caCalculatorPreferences.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/controllers/caPreferencesWindow.h"
#include "calculator/fileformats/caPackageReader.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caDocumentXml.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flFormatString.h"
#include "framlet/shell/FLWindowTabManager.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnection>
#include <QDoubleSpinBox>
#include <QFontDialog>
#include <QFontMetricsF>
#include <QLabel>
#include <QPointer>
#include <QMainWindow>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>

#include <cmath>
#include <functional>

namespace {

CAPrefController* g_prefController = nullptr;

// In the order of CABoolPreference.
constexpr CABoolPreferenceInfo kBoolPreferences[kBoolPreferenceCount] = {
    {"numlet.sortWholeDoc", true},   {"numlet.sortColumns", false},  {"numlet.sortReverse", false},
    {"numlet.useStopList", false},   {"numlet.allowReturns", false}, {"numlet.alwaysHide", false},
    {"numlet.copyBest", false},      {"numlet.plainPaste", false},  {"numlet.roundDown", false},
    {"numlet.saveValues", false},    {"numlet.smallCheck", false},  {"numlet.allowDrag", true},
    {"numlet.autoComplete", true},   {"numlet.autoSave", true},     {"numlet.copyHTML", true},
    {"numlet.copyValues", true},     {"numlet.dragDrop", true},     {"numlet.makeBackup", true},
    {"numlet.saveQuicklook", true},  {"numlet.saveWorkspace", true}, {"numlet.smartLinks", true},
    {"numlet.tooltips", true},
};

// In the order of CAIntPreference.
constexpr CAIntPreferenceInfo kIntPreferences[kIntPreferenceCount] = {
    {kCalcWordSizeKey, 64},  {kCalcDigitsKey, 2},  {kSpreadsheetDigitsKey, 2},         {kFindOptionsKey, 0},
    {kFindScopeKey, 0},      {kDefaultUnitsKey, 1}, {kXMarginKey, kInchMarginDefault}, {kYMarginKey, kInchMarginDefault},
    {kDefaultDigitsKey, 0},  {kDefaultWidthKey, 0}, {kMaximizeKey, 0},                 {kTabOverrideKey, 0},
};

constexpr int kNewSizeKeepsUntitledPlace = 2;
// The width slider's and field's largest default column width.
constexpr double kMaximumDefaultWidthPoints = 500;

// A calculator colour is kept without its alpha; clear or over-opaque values are no colour.
Kolor CalculatorKolor(Kolor kolor) {
  const uint32_t alpha = kolor >> 24;
  return (alpha == 0 || alpha > 100) ? kNoKolor : kolor;
}

QString StringFromPoint(const QPointF& point) {
  return QStringLiteral("{%1, %2}").arg(point.x()).arg(point.y());
}

QPointF PointFromString(const QString& text) {
  static const QRegularExpression pattern(QStringLiteral("^\\s*\\{\\s*([-+0-9.eE]+)\\s*,\\s*([-+0-9.eE]+)\\s*\\}\\s*$"));
  const QRegularExpressionMatch match = pattern.match(text);
  if (!match.hasMatch()) return {-1, -1};
  return {match.captured(1).toDouble(), match.captured(2).toDouble()};
}

void Post(const char* name) { NotificationCenter::defaultCenter().post(QString::fromLatin1(name)); }

QString ColorStyle(Kolor kolor) {
  const QColor color = KolorIsColor(kolor) ? ColorFromKolor(kolor) : QColor(Qt::white);
  return QStringLiteral("background-color: %1; min-width: 48px;").arg(color.name());
}

}  // namespace

const CABoolPreferenceInfo& BoolPreferenceInfo(CABoolPreference preference) { return kBoolPreferences[int(preference)]; }
const CAIntPreferenceInfo& IntPreferenceInfo(CAIntPreference preference) { return kIntPreferences[int(preference)]; }

CAPrefController::CAPrefController(UserDefaults& defaults, bool metric) : defaults_(defaults) {
  loadPreferences(metric);
  g_prefController = this;
}

CAPrefController::~CAPrefController() {
  if (ui_) delete ui_->window;
  if (g_prefController == this) g_prefController = nullptr;
}

CAPrefController* CAPrefController::sharedInstance() { return g_prefController; }

void CAPrefController::loadPreferences(bool metric) {
  favoriteColors_ = defaults_.objectForKey(QLatin1String(kFavoriteColorsKey));
  const auto kolorFor = [this](const char* key, Kolor fallback) {
    const QString text = defaults_.stringForKey(QLatin1String(key));
    return text.isEmpty() ? fallback : KolorFromString(text);
  };
  calculatorBackKolor_ = CalculatorKolor(kolorFor(kCalcBackColorKey, kNoKolor));
  calculatorButtonKolor_ = CalculatorKolor(kolorFor(kCalcButtonColorKey, kNoKolor));
  labelKolor_ = kolorFor(kLabelColorKey, kDefaultLabelKolor);

  for (int i = 0; i < kIntPreferenceCount; ++i) {
    const QString key = QLatin1String(kIntPreferences[i].key);
    int64_t fallback = kIntPreferences[i].defaultValue;
    const auto preference = CAIntPreference(i);
    if (metric && preference == CAIntPreference::defaultUnits) fallback = kUnitsCentimetres;
    if (metric && (preference == CAIntPreference::defaultXMargin || preference == CAIntPreference::defaultYMargin)) {
      fallback = kMetricMarginDefault;
    }
    ints_[i] = defaults_.objectForKey(key).isValid() ? defaults_.integerForKey(key) : fallback;
  }
  if (ints_[size_t(CAIntPreference::integerWordSize)] == 0) ints_[size_t(CAIntPreference::integerWordSize)] = 64;

  formatOpenStatus_ = defaults_.dictionaryForKey(QLatin1String(kOpenFormatKey));
  const QVariant find = defaults_.objectForKey(QLatin1String(kFindKey));
  searchString_ = find.isValid() ? find.toString() : QString();
  const QVariant replace = defaults_.objectForKey(QLatin1String(kReplaceKey));
  replaceString_ = replace.isValid() ? replace.toString() : QString();

  for (int i = 0; i < kBoolPreferenceCount; ++i) {
    const QString key = QLatin1String(kBoolPreferences[i].key);
    bools_[i] = defaults_.objectForKey(key).isValid() ? defaults_.boolForKey(key) : kBoolPreferences[i].defaultValue;
  }

  const QVariant zoom = defaults_.objectForKey(QLatin1String(kZoomKey));
  defaultZoom_ = zoom.isValid() && defaults_.doubleForKey(QLatin1String(kZoomKey)) > 0
                     ? defaults_.doubleForKey(QLatin1String(kZoomKey))
                     : 1.0;

  defaultFont_ = DefaultUserFontOfSize(12);
  const QString fontText = defaults_.stringForKey(QLatin1String(kFontKey));
  if (!fontText.isEmpty()) {
    // A font's text form ("family,size,...") has ten fields or more; QFont takes a lone word
    // as a family name, so that alone proves nothing.
    QFont font;
    if (fontText.count(QLatin1Char(',')) >= 9 && font.fromString(fontText) && font.pointSizeF() > 0) {
      defaultFont_ = font;
    } else {
      LogException(fontText, QStringLiteral("LoadFontFromPrefs failed"));
    }
  }

  const QString position = defaults_.stringForKey(QLatin1String(kPrefPositionKey));
  prefPosition_ = position.isEmpty() ? QPointF(-1, -1)
                                     : WindowRectWithinReach(QRectF(PointFromString(position), QSizeF())).topLeft();
  const QString untitled = defaults_.stringForKey(QLatin1String(kUntitledPositionKey));
  untitledPosition_ = untitled.isEmpty() ? QRectF() : WindowRectWithinReach(RectFromString(untitled));
}

void CAPrefController::savePreferences() {
  UserDefaults& d = defaults_;
  const auto key = [](const char* name) { return QLatin1String(name); };
  if (favoriteColors_.isValid()) {
    d.setObject(favoriteColors_, key(kFavoriteColorsKey));
  } else {
    d.removeObjectForKey(key(kFavoriteColorsKey));
  }
  for (const auto& [name, kolor] : {std::pair{kCalcBackColorKey, calculatorBackKolor_},
                                    std::pair{kCalcButtonColorKey, calculatorButtonKolor_}}) {
    if (KolorIsColor(kolor)) {
      d.setString(NewKolorString((kolor & 0x00FFFFFF) | 0x64000000), key(name));
    } else {
      d.removeObjectForKey(key(name));
    }
  }
  d.setString(NewKolorString(labelKolor_), key(kLabelColorKey));

  for (int i = 0; i < kIntPreferenceCount; ++i) {
    const auto preference = CAIntPreference(i);
    if (preference == CAIntPreference::defaultDigitCount || preference == CAIntPreference::defaultWidth) continue;
    d.setInteger(ints_[i], key(kIntPreferences[i].key));
  }
  const int64_t digits = value(CAIntPreference::defaultDigitCount);
  const int64_t width = value(CAIntPreference::defaultWidth);
  if (digits != 0 || width != 0) {
    d.setInteger(digits, key(kDefaultDigitsKey));
    d.setInteger(width, key(kDefaultWidthKey));
  } else {
    d.removeObjectForKey(key(kDefaultDigitsKey));
    d.removeObjectForKey(key(kDefaultWidthKey));
  }
  for (const auto& [name, text] : {std::pair{kFindKey, &searchString_}, std::pair{kReplaceKey, &replaceString_}}) {
    if (text->isNull()) {
      d.removeObjectForKey(key(name));
    } else {
      d.setString(*text, key(name));
    }
  }
  for (int i = 0; i < kBoolPreferenceCount; ++i) d.setBool(bools_[i], key(kBoolPreferences[i].key));
  if (!formatOpenStatus_.isEmpty()) {
    d.setObject(formatOpenStatus_, key(kOpenFormatKey));
  } else {
    d.removeObjectForKey(key(kOpenFormatKey));
  }
  d.setDouble(defaultZoom_, key(kZoomKey));
  d.setString(defaultFont_.toString(), key(kFontKey));
  if (ui_) {
    const QPoint topLeft = ui_->window->pos();
    prefPosition_ = QPointF(topLeft);
  }
  if (prefPosition_.x() >= 0 || prefPosition_.y() >= 0) d.setString(StringFromPoint(prefPosition_), key(kPrefPositionKey));
  if (value(CAIntPreference::newSizeOption) == kNewSizeKeepsUntitledPlace) {
    d.setString(StringFromRect(untitledPosition_), key(kUntitledPositionKey));
  } else {
    d.removeObjectForKey(key(kUntitledPositionKey));
  }
}

void CAPrefController::sleep() {
  savePreferences();
  defaults_.synchronize();
}

void CAPrefController::observeSleep() {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
              QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
              SLOT(prepareForSleep(bool)));
}

void CAPrefController::prepareForSleep(bool starting) {
  if (!starting) return;
  sleep();
  NotificationCenter::defaultCenter().post(QLatin1String(kWorkspaceWillSleepNotification));
}

void CAPrefController::installProviders() {
  SetModelPreferencesProvider([] {
    const CAPrefController* controller = CAPrefController::sharedInstance();
    return controller ? controller->modelPreferences() : CAModelPreferences();
  });
  SetNumberPreferencesProvider([] {
    const CAPrefController* controller = CAPrefController::sharedInstance();
    return controller ? controller->numberPreferences() : CANumberPreferences();
  });
  CACalculatorPreferenceHooks calculatorHooks;
  calculatorHooks.read = [] {
    const CAPrefController* controller = CAPrefController::sharedInstance();
    if (!controller) return CACalculatorPreferences();
    return CACalculatorPreferences{controller->value(CAIntPreference::calculatorDecimalDigits),
                                   controller->value(CAIntPreference::integerWordSize),
                                   controller->calculatorButtonKolor(), controller->calculatorBackKolor()};
  };
  calculatorHooks.write = [](const CACalculatorPreferences& preferences) {
    CAPrefController* controller = CAPrefController::sharedInstance();
    if (!controller) return;
    controller->setValue(CAIntPreference::calculatorDecimalDigits, preferences.decimalDigits);
    if (controller->value(CAIntPreference::integerWordSize) != preferences.wordSize) {
      controller->setValue(CAIntPreference::integerWordSize, preferences.wordSize);
    }
    if (controller->calculatorButtonKolor() != preferences.buttonKolor) {
      controller->setCalculatorButtonKolor(preferences.buttonKolor);
    }
    if (controller->calculatorBackKolor() != preferences.backKolor) {
      controller->setCalculatorBackKolor(preferences.backKolor);
    }
  };
  SetCalculatorPreferenceHooks(std::move(calculatorHooks));
  // Colours chosen in the preferences window reach the calculator windows.
  for (auto signal : {&CAPrefController::calculatorBackColorChanged, &CAPrefController::calculatorButtonColorChanged}) {
    connect(this, signal, this,
            [this] { NotificationCenter::defaultCenter().post(QLatin1String(kCalcColorNotification), this); });
  }
}

CAModelPreferences CAPrefController::modelPreferences() const {
  CAModelPreferences preferences;
  preferences.smartLinks = value(CABoolPreference::smartLinks);
  preferences.autoComplete = value(CABoolPreference::autoComplete);
  preferences.smallCheckbox = value(CABoolPreference::smallCheckbox);
  preferences.useStopList = value(CABoolPreference::useStopList);
  preferences.defaultUnits = int32_t(value(CAIntPreference::defaultUnits));
  preferences.defaultDigitCount = value(CAIntPreference::defaultDigitCount);
  preferences.defaultWidth = value(CAIntPreference::defaultWidth);
  preferences.defaultXMargin = value(CAIntPreference::defaultXMargin);
  preferences.defaultYMargin = value(CAIntPreference::defaultYMargin);
  preferences.defaultZoom = defaultZoom_;
  preferences.makeBackup = value(CABoolPreference::makeBackup);
  preferences.saveQuicklook = value(CABoolPreference::saveQuicklook);
  preferences.defaultFont = defaultFont_;
  preferences.autoSave = value(CABoolPreference::autoSave);
  preferences.searchString = searchString_;
  preferences.searchOptionMask = uint32_t(value(CAIntPreference::searchOptionMask));
  preferences.searchScope = int32_t(value(CAIntPreference::searchScope));
  preferences.sortWholeDoc = value(CABoolPreference::sortWholeDoc);
  preferences.sortColumns = value(CABoolPreference::sortColumns);
  preferences.sortReverse = value(CABoolPreference::sortReverse);
  preferences.copyHTML = value(CABoolPreference::copyHTML);
  preferences.saveValues = value(CABoolPreference::saveValues);
  preferences.copyValues = value(CABoolPreference::copyValues);
  preferences.copyBestValues = value(CABoolPreference::copyBestValues);
  preferences.allowDrags = value(CABoolPreference::allowDrags);
  preferences.plainPaste = value(CABoolPreference::plainPaste);
  preferences.valueTooltips = value(CABoolPreference::valueTooltips);
  preferences.labelKolor = labelKolor_;
  return preferences;
}

CANumberPreferences CAPrefController::numberPreferences() const {
  CANumberPreferences preferences;
  preferences.decimalDigits = uint64_t(std::max<int64_t>(0, value(CAIntPreference::decimalDigits)));
  preferences.integerWordSize = uint64_t(value(CAIntPreference::integerWordSize));
  preferences.roundDown = value(CABoolPreference::roundDown);
  return preferences;
}

void CAPrefController::setValue(CABoolPreference preference, bool on) {
  bools_[size_t(preference)] = on;
  if (preference == CABoolPreference::valueTooltips) Post(kBumpTipsNotification);
  emit preferenceChanged();
}

void CAPrefController::setValue(CAIntPreference preference, int64_t newValue) {
  if (preference == CAIntPreference::integerWordSize && newValue == 0) newValue = 64;
  ints_[size_t(preference)] = newValue;
  if (preference == CAIntPreference::defaultUnits && ui_) refreshWindow();
  emit preferenceChanged();
}

void CAPrefController::setCalculatorBackKolor(Kolor kolor) {
  calculatorBackKolor_ = CalculatorKolor(kolor);
  emit calculatorBackColorChanged();
}

void CAPrefController::setCalculatorButtonKolor(Kolor kolor) {
  calculatorButtonKolor_ = CalculatorKolor(kolor);
  emit calculatorButtonColorChanged();
}

void CAPrefController::setLabelKolor(Kolor kolor) {
  labelKolor_ = kolor;
  if (ui_) ui_->headerSwatch->setStyleSheet(ColorStyle(labelKolor_));
  Post(kRedrawAllNotification);
}

int64_t CAPrefController::widthForDigits(int64_t digits) const {
  const double zero = QFontMetricsF(defaultFont_).horizontalAdvance(QLatin1Char('0'));
  return int64_t(zero * double(digits) * double(kEmuPerPoint));
}

void CAPrefController::setDigits(int64_t digits) {
  setValue(CAIntPreference::defaultDigitCount, digits);
  refreshWidthControls();
}

void CAPrefController::setWidth(int64_t emu) {
  setValue(CAIntPreference::defaultWidth, emu);
  setValue(CAIntPreference::defaultDigitCount, -1);
  refreshWidthControls();
}

void CAPrefController::controlTextDidBeginEditing(QAbstractSpinBox* field) { editingStarted_ = field; }

bool CAPrefController::controlTextDidEndEditing(QAbstractSpinBox* field) {
  if (editingStarted_ != field) return false;
  editingStarted_ = nullptr;
  return true;
}

void CAPrefController::resetColor() {
  if (ui_) ui_->headerSwatch->setChecked(false);
  setLabelKolor(kDefaultLabelKolor);
}

void CAPrefController::resetWarnings() { UserDefaults::sharedDefaults().setBool(false, QLatin1String(kExcelImportWarningKey)); }

// ---- The window ------------------------------------------------------------------------------

QWidget* CAPrefController::window() const { return ui_ ? ui_->window : nullptr; }

void CAPrefController::showPreferences() {
  if (!ui_) {
    buildWindow();
    if (prefPosition_.x() > 0 && prefPosition_.y() > 0) ui_->window->move(prefPosition_.toPoint());
    refreshWindow();
    changePrefPaneCore(0);
  }
  ClosePanels();
  Post(kColorWellNotification);
  MakeKeyAndOrderFront(ui_->window);
}

void CAPrefController::changePrefPaneCore(int pane) {
  if (pane < 1 || pane >= kPreferencePaneCount) pane = 0;
  if (!ui_ || pane == currentPane_) return;
  currentPane_ = pane;
  ui_->tools[pane]->setChecked(true);
  ui_->containerView->setCurrentIndex(pane);
}

void CAPrefController::buildWindow() {
  ui_ = BuildPreferencesWindow();
  CAPreferencesUi& ui = *ui_;
  for (int tag = 0; tag < kPreferencePaneCount; ++tag) {
    connect(ui.tools[tag], &QAction::triggered, this, [this, tag] { changePrefPaneCore(tag); });
  }
  for (auto it = ui.checkboxes.begin(); it != ui.checkboxes.end(); ++it) {
    const auto preference = CABoolPreference(it.key());
    connect(it.value(), &QCheckBox::toggled, this, [this, preference](bool on) {
      setValue(preference, on);
      if (preference == CABoolPreference::autoSave) Post(kAutosaveNotification);
      if (preference == CABoolPreference::smallCheckbox) Post(kCheckboxHeightNotification);
      // Numbers show rounded the other way at once.
      if (preference == CABoolPreference::roundDown) Post(kRedrawAllNotification);
    });
  }
  connect(ui.spreadsheetDigits, &QSpinBox::valueChanged, this, [this](int digits) {
    setValue(CAIntPreference::decimalDigits, digits);
    Post(kDecimalChangeNotification);
  });
  connect(ui.calculatorDigits, &QSpinBox::valueChanged, this, [this](int digits) {
    setValue(CAIntPreference::calculatorDecimalDigits, digits);
    NotificationCenter::defaultCenter().post(QLatin1String(kCalcDecimalChangeNotification), this);
  });
  connect(ui.headerSwatch, &QPushButton::clicked, this, [this] {
    // The one colour panel, continuous: the labels follow it.
    const QPointer<CAPrefController> self(this);
    CAColorWell::showPanelFor(
        ui_->window, labelKolor_,
        [self](Kolor kolor) {
          if (self) self->setLabelKolor(kolor);
        },
        [self] {
          if (self) self->resetColor();
        });
    ui_->headerSwatch->setChecked(false);
  });
  connect(ui.resetColorButton, &QPushButton::clicked, this, &CAPrefController::resetColor);
  connect(ui.resetWarningsButton, &QPushButton::clicked, this, &CAPrefController::resetWarnings);
  connect(ui.unitsPopup, &QComboBox::activated, this, [this](int index) {
    setValue(CAIntPreference::defaultUnits, ui_->unitsPopup->itemData(index).toInt());
    Post(kUnitChangeNotification);
  });
  // Escape and the Close key close the window, as they close the other panels.
  for (const QKeySequence& key : {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)}) {
    auto* shortcut = new QShortcut(key, ui.window);
    connect(shortcut, &QShortcut::activated, ui.window, &QWidget::close);
  }
  connect(ui.zoomPopup, &QComboBox::activated, this,
          [this](int index) { defaultZoom_ = ui_->zoomPopup->itemData(index).toInt() / 100.0; });
  connect(ui.selectFontButton, &QPushButton::clicked, this, [this] {
    auto* chooser = new QFontDialog(defaultFont_, ui_->window);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &QFontDialog::fontSelected, this, [this](const QFont& font) {
      defaultFont_ = font;
      refreshWindow();
    });
    chooser->open();
  });
  const auto emuOf = [this](const QDoubleSpinBox* field) {
    return std::llround(field->value() * PreferenceUnit(value(CAIntPreference::defaultUnits)).emuPerUnit);
  };
  // A field shows its length rounded to the unit and the width of a digit count; taken back
  // when the focus merely passes through, that would rewrite the stored value. Only a field
  // the user changed stores what it shows.
  const auto storeWhenEdited = [this](auto* field, auto valueChanged, std::function<void()> store) {
    connect(field, valueChanged, this, [this, field] { controlTextDidBeginEditing(field); });
    connect(field, &QAbstractSpinBox::editingFinished, this, [this, field, store = std::move(store)] {
      if (controlTextDidEndEditing(field)) store();
    });
  };
  storeWhenEdited(ui.xMarginField, &QDoubleSpinBox::valueChanged,
                  [this, emuOf] { setValue(CAIntPreference::defaultXMargin, emuOf(ui_->xMarginField)); });
  storeWhenEdited(ui.yMarginField, &QDoubleSpinBox::valueChanged,
                  [this, emuOf] { setValue(CAIntPreference::defaultYMargin, emuOf(ui_->yMarginField)); });
  storeWhenEdited(ui.digitField, &QSpinBox::valueChanged, [this] { setDigits(ui_->digitField->value()); });
  storeWhenEdited(ui.widthField, &QDoubleSpinBox::valueChanged, [this, emuOf] { setWidth(emuOf(ui_->widthField)); });
  connect(ui.widthSlider, &QSlider::sliderMoved, this, [this](int points) {
    YankFocusForSliderPair(ui_->widthSlider, ui_->panes[3]);
    setWidth(int64_t(points) * kEmuPerPoint);
  });
  connect(ui.newSizeOption, &QComboBox::activated, this,
          [this](int index) { setValue(CAIntPreference::newSizeOption, index); });
  connect(ui.tabOverrideMatrix, &QComboBox::activated, this,
          [this](int index) {
            setValue(CAIntPreference::tabOverride, index);
            FLWindowTabManager::sharedInstance().setTabOverride(index);
          });
}

void CAPrefController::refreshWindow() {
  CAPreferencesUi& ui = *ui_;
  for (auto it = ui.checkboxes.begin(); it != ui.checkboxes.end(); ++it) {
    const QSignalBlocker blocker(it.value());
    it.value()->setChecked(value(CABoolPreference(it.key())));
  }
  const QSignalBlocker b1(ui.spreadsheetDigits), b2(ui.calculatorDigits);
  ui.spreadsheetDigits->setValue(int(value(CAIntPreference::decimalDigits)));
  ui.calculatorDigits->setValue(int(value(CAIntPreference::calculatorDecimalDigits)));
  ui.headerSwatch->setStyleSheet(ColorStyle(labelKolor_));
  ui.defaultFontSample->setText(FormatString("%@ %.1f point", defaultFont_.family(), defaultFont_.pointSizeF()));
  ui.defaultFontSample->setFont(defaultFont_);
  const int zoomIndex = ui.zoomPopup->findData(int(std::lround(defaultZoom_ * 100)));
  if (zoomIndex >= 0) ui.zoomPopup->setCurrentIndex(zoomIndex);
  ui.tabOverrideMatrix->setCurrentIndex(int(std::clamp<int64_t>(value(CAIntPreference::tabOverride), 0, 2)));
  ui.newSizeOption->setCurrentIndex(int(std::clamp<int64_t>(value(CAIntPreference::newSizeOption), 0, 2)));
  const CAPreferenceUnit& unit = PreferenceUnit(value(CAIntPreference::defaultUnits));
  const QSignalBlocker b3(ui.unitsPopup);
  ui.unitsPopup->setCurrentIndex(ui.unitsPopup->findData(unit.code));
  const std::pair<QDoubleSpinBox*, CAIntPreference> margins[] = {{ui.xMarginField, CAIntPreference::defaultXMargin},
                                                                 {ui.yMarginField, CAIntPreference::defaultYMargin}};
  for (const auto& [field, preference] : margins) {
    const QSignalBlocker blocker(field);
    field->setSuffix(QLatin1String(unit.suffix));
    field->setDecimals(unit.decimals);
    field->setRange(0, double(kMaximumXMargin) / unit.emuPerUnit);
    field->setValue(double(value(preference)) / unit.emuPerUnit);
  }
  {
    const QSignalBlocker blocker(ui.widthField);
    ui.widthField->setSuffix(QLatin1String(unit.suffix));
    ui.widthField->setDecimals(unit.decimals);
    ui.widthField->setRange(0, kMaximumDefaultWidthPoints * kEmuPerPoint / unit.emuPerUnit);
  }
  refreshWidthControls();
}

void CAPrefController::refreshWidthControls() {
  if (!ui_) return;
  int64_t digits = value(CAIntPreference::defaultDigitCount);
  int64_t width = value(CAIntPreference::defaultWidth);
  // No digit count (0), or a width of none, is what new documents take: the default count.
  if (digits == 0 || (digits < 0 && width == 0)) digits = kDefaultDigitCount;
  if (digits > 0) width = widthForDigits(digits);
  const QSignalBlocker b1(ui_->digitField), b2(ui_->widthField), b3(ui_->widthSlider);
  ui_->digitField->setValue(int(std::max<int64_t>(digits, 0)));
  ui_->widthField->setValue(double(width) / PreferenceUnit(value(CAIntPreference::defaultUnits)).emuPerUnit);
  ui_->widthSlider->setValue(int(width / kEmuPerPoint));
}
