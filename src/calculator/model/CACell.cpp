#include "calculator/model/CACell.h"

#include "calculator/model/caColumnLabels.h"
#include "calculator/model/caDocumentXml.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/model/caXmlTags.h"
#include "calculator/model/formula/caDateCores.h"
#include "calculator/model/formula/caFormulaErrors.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flSeededHash.h"
#include "framlet/foundation/flDates.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flPasswords.h"
#include "platform/FLError.h"
#include "platform/NotificationCenter.h"
#include "platform/StringValues.h"

#include <QDate>
#include <QFontMetricsF>
#include <QHash>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cmath>
#include <functional>
#include <unordered_map>
#include <vector>

const char* const g_valueStrings[kValueTypeCount] = {"none", "check", "date", "error", "f",
                                                     "image", "link", "#", "s", "of"};

namespace {

constexpr int64_t kFirstDayIndex = 19000101;
constexpr int64_t kLastDayIndex = 30001231;
constexpr double kEmuPerPointReal = 12700.0;
constexpr double kPercent = 100.0;
// Reals at least this large, or this small, are written in scientific form in files.
constexpr long double kScientificAbove = 1e12L;
constexpr long double kScientificBelow = 1e-13L;

constexpr const char* kFileHomePrefix = "file:~/";
constexpr const char* kFileLocalhostPrefix = "file://localhost";
constexpr const char* kFileScheme = "file";

bool IsFormulaType(int32_t type) { return type == kValueError || type == kValueFormula; }

int32_t Today() { return DayIndexForDate(QDate::currentDate()); }

CANumberFormat DateNumberFormat() {
  CANumberFormat format;
  format.setDisplay(kDisplayDate);
  return format;
}

// The whole-word test of find and replace: the occurrence begins a word and ends one.
bool IsWholeWord(const QString& text, qsizetype location, qsizetype length) {
  if (length <= 0) return false;
  if (StartOfWord(text, location) != location) return false;
  const int64_t lastWordStart = StartOfWord(text, location + length - 1);
  return EndOfWord(text, lastWordStart) == location + length;
}

bool TextMatches(const QString& text, const QString& find, bool ignoreCase, bool wholeWords) {
  if (find.isEmpty() || text.size() < find.size()) return false;
  const Qt::CaseSensitivity sensitivity = ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
  qsizetype from = 0;
  while (true) {
    const qsizetype location = text.indexOf(find, from, sensitivity);
    if (location < 0) return false;
    if (!wholeWords || IsWholeWord(text, location, find.size())) return true;
    from = location + 1;
  }
}

// A protected document's cell text. A text that does not decipher is kept as it stands rather
// than lost.
QString Decipher(const QString& text) {
  const std::optional<QString> plain = UnencryptString(text);
  if (plain) return *plain;
  LogString("A cell text of a protected document could not be deciphered");
  return text;
}

// The formats read while sharing, by the XML they were read from, and those given, by value.
// Made by the outermost scope: a thread that never shares pays for no table, and a format
// given outside a scope reads one plain word.
struct SharedFormats {
  FLHashMap<QString, CASharedFormat> byXml;  // seeded, and one that cannot grow throws
  CAFormatTable byValue;
};
thread_local int t_sharingScopes = 0;
thread_local SharedFormats* t_sharedFormats = nullptr;

// The format given, or the equal one given before in the sharing scope.
CASharedFormat InternedFormat(CAFormat&& format) {
  if (!t_sharedFormats) return CASharedFormat(std::move(format));
  return t_sharedFormats->byValue.intern(std::move(format));
}

CASharedFormat ReadFormat(FLXmlDecoder& decoder) {
  const qsizetype start = decoder.tagStart();
  CASharedFormat format(CAFormat::withXml(decoder));
  if (!t_sharedFormats) return format;
  // From the format's tag to where its reading stopped: everything the format was read from.
  const QString xml = decoder.text(start, decoder.position()).toString();
  const auto found = t_sharedFormats->byXml.find(xml);
  if (found != t_sharedFormats->byXml.end()) return found->second;
  t_sharedFormats->byXml.emplace(xml, format);
  return format;
}

}  // namespace

CAFormatSharing::CAFormatSharing() {
  if (t_sharingScopes++ == 0) t_sharedFormats = new SharedFormats;
}

CAFormatSharing::~CAFormatSharing() {
  if (--t_sharingScopes == 0) delete std::exchange(t_sharedFormats, nullptr);
}

const CACell::Extras CACell::kNoExtras;

void CACell::setFormat(std::optional<CAFormat> format) {
  const bool removed = !format;
  format_ = format ? InternedFormat(std::move(*format)) : CASharedFormat();
  if (removed) noteIfEmptied();
}

void CACell::noteIfEmptied() {
  if (document_ && valueType_ == kValueNone && !holdsContent()) document_->noteEmptiedCell(gridPoint_);
}

void CACell::noteRecalc() const {
  if (document_) document_->noteRecalcRow(gridPoint_.y);
}

CACell::FormatSlot::~FormatSlot() {
  if (extras())
    dropExtras();
  CASharedFormat::adopt(reinterpret_cast<void*>(word_));
}

CACell::FormatSlot& CACell::FormatSlot::operator=(CASharedFormat format) {
  if (Extras* extras = this->extras()) {
    extras->format = std::move(format);
  } else {
    CASharedFormat::adopt(reinterpret_cast<void*>(word_));  // the old one let go
    word_ = reinterpret_cast<uintptr_t>(format.release());
  }
  return *this;
}

CACell::Extras& CACell::FormatSlot::mutableExtras() {
  if (Extras* extras = this->extras()) return *extras;
  auto* extras = new Extras;
  extras->format = CASharedFormat::adopt(reinterpret_cast<void*>(word_));
  word_ = reinterpret_cast<uintptr_t>(extras) | kExtrasBit;
  return *extras;
}

void CACell::FormatSlot::dropExtras() {
  Extras* extras = this->extras();
  if (!extras) return;
  word_ = reinterpret_cast<uintptr_t>(extras->format.release());
  delete extras;
}

CACell::CACell(const GridPoint& point, CADocument* document)
    : document_(document),
      gridPoint_{NormalizeCoordinate(point.x), NormalizeCoordinate(point.y)} {}

CACell::~CACell() {
  if (tooltipTag() != 0 && document_) document_->removeTooltipForCell(*this);
}

// With malloc's 16-byte steps and 8 bytes of its own, 88 bytes is the most a 96-byte block holds.
static_assert(sizeof(CACell) <= 88, "a cell outgrows its allocation size");

bool CACell::isPlainNumber() const {
  return valueType_ == kValueNumber && hasNumber_ && !format_ && !format_.extras() && !entered_.hasText() && errorOffset_ == 0 &&
         parseResult_ == 0 && evalResult_ == 0 && errorType_ == 0 && formulaResultType_ == kValueNumber &&
         !checked_ && !ephemeralResult_ && !typingInProgress_ && !typeIsChanging_ && !recordNewFunctions_ &&
         !saving_ && !tooltipForWidth_;
}

std::unique_ptr<CACell> CACell::copy() const {
  auto cell = std::make_unique<CACell>(gridPoint_, document_);
  cell->copyFrom(*this, false, false);
  return cell;
}

// ---------------------------------------------------------------------------------------------
// Values

void CACell::clearValue(bool dropReferences) {
  const int32_t oldType = valueType_;
  if (document_) {
    document_->setRecalcForDependents(gridPoint_);
    if (dropReferences && IsFormulaType(valueType_)) document_->deleteDependencies(expression(), gridPoint_);
    if (extraColumns() > 0) document_->noteOverflowToTakeBack(gridPoint_, extraColumns());
  }
  entered_.clear();
  clearValueExtras();
  storeNumber(std::optional<CANumber>());
  errorType_ = 0;
  valueType_ = kValueNone;
  checked_ = false;
  ephemeralResult_ = false;
  markNeedRecalc();
  fixRowForValueTypeChange(oldType);
}

void CACell::clearValueExtras() {
  if (!format_.extras()) return;
  Extras& extras = *format_.extras();
  extras.picture.reset();
  extras.displayText = QString();
  extras.extraColumns = 0;
  extras.height = 0;
  extras.imageScale = 0;
  extras.inactiveLink = false;
  if (extras.note.isEmpty() && extras.tooltipCounter == 0 && extras.tooltipTag == 0) format_.dropExtras();
}

void CACell::noteValueChanged() {
  if (document_) document_->setRecalcForDependents(gridPoint_);
  markNeedRecalc();
}

void CACell::setNumberValue(const CANumber& number) {
  clearValue(true);
  storeNumber(number);
  valueType_ = kValueNumber;
  needRecalc_ = false;
}

void CACell::setPicture(std::shared_ptr<CAPicture> picture) {
  clearValue(true);
  if (picture) mutableExtras().picture = std::move(picture);
  valueType_ = kValuePicture;
  markNeedRecalc();
  fixRowForValueTypeChange(kValueNone);
}

void CACell::fixRowForValueTypeChange(int32_t oldType) {
  const bool affectsHeight = oldType == kValuePicture || valueType_ == kValuePicture ||
                             (oldType != valueType_ &&
                              (oldType == kValueCheckbox || valueType_ == kValueCheckbox));
  if (!affectsHeight || !document_) return;
  if (CARow* row = document_->row(gridPoint_.y)) row->setNeedCalculate(true);
}

bool CACell::hasValue() const {
  switch (valueType_) {
    case kValueNone:
    case kValueOverflow:
      return false;
    case kValueCheckbox:
      return true;
    case kValueDate:
    case kValueNumber:
      return hasNumber_;
    case kValuePicture:
      return picture() != nullptr;
    default:
      return entered_.hasText();
  }
}

bool CACell::hasValueForFormula() const {
  switch (valueType_) {
    case kValueError:
    case kValueFormula:
      return entered_.hasText();
    case kValueDate:
    case kValueNumber:
      return hasNumber_;
    default:
      return false;
  }
}

void CACell::finishValueChange(int32_t oldType) {
  fixRowForValueTypeChange(oldType);
  if (document_ && (oldType == kValueOverflow || valueType_ == kValueNone))
    document_->invalidatelLongTextForRow(gridPoint_.y);
}

void CACell::enterUnclassified(int32_t type, const QString& text) {
  const int32_t oldType = valueType_;
  clearValue(true);
  entered_ = CAFormulaBlock(text, {});
  valueType_ = type;
  finishValueChange(oldType);
}

// ---------------------------------------------------------------------------------------------
// Display

namespace {

// Decimal text as the user types it: the locale's decimal separator in place of the "." that
// exact digits are written with (they have no grouping), so that it reads back as the number.
QString LocaleDecimalText(QString text) {
  const QChar separator = NumberTextLocale().decimalSeparatorChar;
  if (separator != QLatin1Char('.')) text.replace(QLatin1Char('.'), separator);
  return text;
}

// The decimal digits of a fraction whose denominator has no prime factor but 2 and 5: its
// exact text. Nothing for any other fraction, which has no end.
std::optional<QString> TerminatingDecimalText(int64_t numerator, uint64_t denominator) {
  if (denominator == 0) return std::nullopt;
  uint64_t rest = denominator;
  while (rest % 2 == 0) rest /= 2;
  while (rest % 5 == 0) rest /= 5;
  if (rest != 1) return std::nullopt;
  const bool negative = numerator < 0;
  const unsigned __int128 magnitude =
      negative ? (unsigned __int128)(0 - (uint64_t)numerator) : (unsigned __int128)(uint64_t)numerator;
  unsigned __int128 remainder = magnitude % denominator;
  QString text = QString::number((qulonglong)(magnitude / denominator));
  if (remainder != 0) {
    text += QLatin1Char('.');
    // At most 64 digits: the denominator is below 2^64.
    for (int i = 0; remainder != 0 && i < 70; ++i) {
      remainder *= 10;
      text += QLatin1Char(char('0' + int(remainder / denominator)));
      remainder %= denominator;
    }
  }
  return negative ? QLatin1Char('-') + text : text;
}

}  // namespace

QString CACell::formatNumber(const CANumber& number, const CANumberFormat* format) const {
  if (saving_ && number.form() == kNumberFraction) {
    // A fraction with a decimal end (cents, eighths) is written as its very digits: through an
    // extended real they would gain a false last digit (8673.910000000000001).
    if (const auto exact = TerminatingDecimalText(number.numerator(), number.denominator()))
      return LocaleDecimalText(*exact);
    // Any other fraction gets the value it stands for, as other programs read numbers.
    const long double value = number.realValue();
    CANumberFormat real;
    const long double magnitude = std::fabs(value);
    real.setDisplay(magnitude >= kScientificAbove || magnitude <= kScientificBelow
                        ? kDisplayScientific
                        : kDisplayFloat);
    real.setDisallowScientific(true);
    real.setOnlySignificantDigits(true);
    real.setSize(kAutomaticSize);
    return real.display() == kDisplayScientific ? real.formatScientific(value) : real.formatFloat(value);
  }
  if (saving_) {
    // An infinity has no number text a file could hold: it goes out as it is shown.
    if (number.form() == kNumberInfinity) return number.formatWith(format);
    // Every digit of a real, with the separator that text typed in this locale is read with: a
    // file or a copy read back by the same reader gives the same number.
    return LocaleDecimalText(number.formatForArchival());
  }
  if (number.form() == kNumberFraction && !format) {
    CANumberFormat decimal;
    decimal.setDisplay(kDisplayFloat);
    return number.formatWith(&decimal);
  }
  return number.formatWith(format);
}

QString CACell::displayText(bool editing) const {
  if (!document_) return displayText(editing, CAFormat());
  return displayText(editing, document_->formatForCell(this, true));
}

QString CACell::displayText(bool editing, const CAFormat& format) const {
  editing = editing || typingInProgress_;
  const CANumberFormat* numberFormat = format.numberFormat() ? &*format.numberFormat() : nullptr;
  switch (valueType_) {
    case kValueCheckbox:
    case kValuePicture:
      return QString();
    case kValueDate: {
      if (!hasNumber_) return QString();
      if (numberFormat && !editing && !saving_) return formatNumber(number_, numberFormat);
      saving_ = false;
      const CANumberFormat date = DateNumberFormat();
      return formatNumber(number_, &date);
    }
    case kValueError:
      return editing ? formula() : QString::fromUtf8(FormulaErrorString(evalResult_));
    case kValueFormula: {
      if (editing) return formula();
      if (!hasNumber_) return QString();
      // A date result is saved as a date cell is: in the form that reads back as the same date.
      if (formulaResultType_ == kValueDate && (!numberFormat || saving_)) {
        saving_ = false;
        const CANumberFormat date = DateNumberFormat();
        return formatNumber(number_, &date);
      }
      return formatNumber(number_, numberFormat);
    }
    case kValueLink:
      return displayTextField().isEmpty() ? formula() : displayTextField();
    case kValueText:
      return formula();
    default:
      return hasNumber_ ? formatNumber(number_, numberFormat) : QString();
  }
}

QString CACell::savingText() const {
  static const CAFormat kNoFormat;
  saving_ = true;
  QString text = displayText(false, kNoFormat);
  saving_ = false;
  return text;
}

namespace {

// How the text reads back when a cell is given it: the same number, in the same form when
// `sameForm`.
bool ReadsBackAs(const QString& text, const CANumber& stored, bool sameForm) {
  if (text.isEmpty() || ParseIntoDayIndex(text, nullptr) != 0) return false;
  const std::optional<CANumber> read = CANumber::withValidatedString(text, true);
  if (!read || !(*read == stored)) return false;
  if (!sameForm) return true;
  CANumber a = *read;
  CANumber b = stored;
  a.setCanonicalForm(false);
  b.setCanonicalForm(false);
  return a.form() == b.form();
}

}  // namespace

QString CACell::editText() const {
  const std::optional<CANumber> stored = number();
  if (valueType_ != kValueNumber || !stored || !stored->isValid()) return displayText(true);
  CANumber canonical = *stored;
  canonical.setCanonicalForm(false);
  // The exact digits first, then the longest decimal text, then the text as shown.
  std::vector<QString> candidates;
  if (canonical.form() == kNumberInteger) candidates.push_back(QString::number(canonical.numerator()));
  if (canonical.form() == kNumberFraction) {
    if (const auto exact = TerminatingDecimalText(canonical.numerator(), canonical.denominator()))
      candidates.push_back(LocaleDecimalText(*exact));
  }
  candidates.push_back(LocaleDecimalText(stored->decimalText()));
  candidates.push_back(displayText(true));
  for (const bool sameForm : {true, false}) {
    for (const QString& text : candidates) {
      if (ReadsBackAs(text, *stored, sameForm)) return text;
    }
  }
  // No text reads back as it (a fraction without end): the longest decimal text.
  return LocaleDecimalText(stored->decimalText());
}

std::optional<FLAttributedString> CACell::attributedString(bool editing) const {
  if (!document_) return attributedString(editing, CAFormat());
  return attributedString(editing, document_->formatForCell(this, true));
}

std::optional<FLAttributedString> CACell::attributedString(bool editing,
                                                          const CAFormat& composedFormat) const {
  const QString text = displayText(editing, composedFormat);
  if (text.isEmpty()) return std::nullopt;
  const QFont font = document_ ? document_->font() : QFont();
  return composedFormat.expressWithText(text, font, defaultAlignment(editing));
}

int32_t CACell::defaultAlignment(bool editing) const {
  switch (valueType_) {
    case kValueError:
    case kValueFormula:
      return editing ? kAlignmentLeft : kAlignmentRight;
    case kValueDate:
    case kValueNumber:
      return kAlignmentRight;
    default:
      return kAlignmentLeft;
  }
}

// ---------------------------------------------------------------------------------------------
// Type change, copy and fill

void CACell::changeType(int32_t newType, bool updateFormulaField, bool setUndo) {
  // Typing ended here, or a cell made for the change, may leave this cell empty for a moment:
  // it stays until the change is done.
  std::optional<CADocument::CellHold> hold;
  if (document_) hold.emplace(*document_);
  NotificationCenter& center = NotificationCenter::defaultCenter();
  center.post(QLatin1String(kStopTypingNotification), document_);
  if (setUndo && document_ && !document_->setCellUndo(kUndoTyping, kUndoRangeActiveCell))
    return;
  typeIsChanging_ = true;
  if (document_) document_->invalidateLongText(gridPoint_);
  adjustToNewValueCType(newType);
  if (document_) {
    document_->evaluate();
    if (CADocumentWindow* window = document_->controller())
      window->redrawSelectionForDomain(kDomainDocument);
    center.post(QLatin1String(kDrasticChangeNotification), document_);
    center.post(QLatin1String(kSelectionChangeNotification), document_);
    NotificationQueue::defaultQueue().enqueue(
        Notification{QLatin1String(kTypeChangeNotification), document_, {}}, PostingStyle::WhenIdle);
    if (updateFormulaField) {
      QVariantMap info;
      info.insert(QLatin1String(kFormulaInsertPopupKey), false);
      info.insert(QLatin1String(kFormulaInsertRangeKey),
                  QVariant::fromValue(document_->activeCellTextSel()));
      NotificationQueue::defaultQueue().enqueue(
          Notification{QLatin1String(kFormulaInsertNotification), document_, info},
          PostingStyle::WhenIdle);
    }
  }
  typeIsChanging_ = false;
}

void CACell::adjustToNewValueCType(int32_t newType) {
  const int32_t oldType = valueType_;
  if (format_) format()->setNumberFormat(nullptr);
  if (oldType == kValueDate && newType == kValueNumber) {
    // The number stays, but formulas that read it no longer show a date.
    valueType_ = kValueNumber;
    noteValueChanged();
  } else if (oldType == kValueNumber && newType == kValueDate) {
    const int64_t value = hasNumber_ ? number_.integerValue() : 0;
    if (hasNumber_ && value >= kFirstDayIndex && value <= kLastDayIndex)
      storeNumber(CANumber(value));
    else
      storeNumber(CANumber(Today()));
    valueType_ = kValueDate;
    noteValueChanged();
  } else {
    clearValue();
    valueType_ = newType;
    switch (newType) {
      case kValueNumber:
        storeNumber(CANumber(0));
        break;
      case kValueFormula: {
        // Parsed as the same text typed or read from a file is, so that it fails the same way
        // (setFormula is shut while the type changes).
        const QString equals = QStringLiteral("=");
        uint64_t offset = 0;
        CAExpression parsed;
        parseResult_ = int8_t(ParseFormula(equals, parsed, &offset));
        if (parseResult_ != 0) errorOffset_ = uint32_t(offset);
        entered_ = CAFormulaBlock(equals, parsed);
        markNeedRecalc();
        break;
      }
      case kValueDate:
        storeNumber(CANumber(Today()));
        break;
      default:
        break;
    }
  }
  if (valueType_ == kValueDate) {
    if (!format_) format_ = CASharedFormat(CAFormat());
    const CANumberFormat date = DateNumberFormat();
    format()->setNumberFormat(&date);
  }
  fixRowForValueTypeChange(oldType);
}

void CACell::copyFrom(const CACell& source, bool ignoreFormat, bool adjustReferences) {
  if (&source == this) return;
  setNote(source.note());
  if (!ignoreFormat) setFormat(source.format_ ? std::optional<CAFormat>(source.format_->copy()) : std::nullopt);
  const int32_t oldType = valueType_;
  clearValue(true);
  valueType_ = source.valueType_;
  switch (source.valueType_) {
    case kValueCheckbox:
      checked_ = source.checked_;
      break;
    case kValueDate:
    case kValueNumber:
      storeNumber(source.number());
      break;
    case kValueError:
    case kValueFormula:
      setFormula(source.formula());
      if (adjustReferences) adjustExpressionCopiedFrom(source.gridPoint_);
      valueType_ = kValueFormula;
      markNeedRecalc();
      break;
    case kValuePicture:
      if (source.document_ == document_ || !source.picture()) {
        if (source.picture()) mutableExtras().picture = source.picture();
      } else {
        std::shared_ptr<CAPicture> existing =
            document_ ? document_->pictures().value(source.picture()->guid()) : nullptr;
        mutableExtras().picture = existing ? existing : source.picture()->copyForDocument(document_);
      }
      setImageScale(source.imageScale());
      break;
    case kValueLink:
      // Kept a link whatever the link preference says now.
      enterUnclassified(kValueLink, source.formula());
      setDisplayText(source.displayTextField());
      setInactiveLink(source.inactiveLink());
      break;
    case kValueText:
      // Kept a text even when it reads as a number or date.
      enterUnclassified(kValueText, source.formula());
      break;
    case kValueNone:
    case kValueOverflow:
      break;
    default:
      LogAssert("Unknown value type", __func__, __FILE__, __LINE__);
      break;
  }
  switch (valueType_) {
    case kValueCheckbox:
    case kValueDate:
    case kValueLink:
    case kValueNumber:
      needRecalc_ = false;
      break;
    default:
      break;
  }
  fixRowForValueTypeChange(oldType);
  noteIfEmptied();
}

void CACell::fillFrom(const CACell& source, const CAFillInfo& info, int64_t steps) {
  if (info.kind == kFillCopy) {
    copyFrom(source, false, true);
    return;
  }
  setFormat(source.format_ ? std::optional<CAFormat>(source.format_->copy()) : std::nullopt);
  if (!source.hasNumber_) {
    clearValue();
    return;
  }
  // A series from a date, or from a formula showing one, counts in dates as the operators do.
  const bool fromDate = source.valueType_ == kValueDate ||
                        (source.valueType_ == kValueFormula && source.formulaResultType_ == kValueDate);
  // A day index of 0 (a date beyond the years dates can have) leaves the cell empty.
  const auto storeDate = [this](int32_t dayIndex) {
    const int32_t oldType = valueType_;
    clearValue();
    if (dayIndex != 0) {
      storeNumber(CANumber(dayIndex));
      valueType_ = kValueDate;
      needRecalc_ = false;
    }
    fixRowForValueTypeChange(oldType);
  };
  switch (info.kind) {
    case kFillAdd: {
      if (fromDate) {
        // The date that many days on; a day index that is no real date adds as a number.
        const FunctionResult moved = EdayCore(source.number_, info.step);
        if (moved.succeeded()) {
          storeDate(int32_t(moved.value.integerValue()));
          break;
        }
      }
      CANumber number = source.number_;
      number.add(info.step);
      setNumberValue(number);
      break;
    }
    case kFillMultiply: {
      // A date times a number names no date (nor anything else): the series has no next value,
      // as a date series from a number has none.
      if (fromDate) {
        clearValue();
        break;
      }
      CANumber number = source.number_;
      number.multiply(info.step);
      setNumberValue(number);
      break;
    }
    case kFillDate: {
      if (!fromDate) {
        clearValue();
        break;
      }
      const __int128 total = __int128(info.step.integerValue()) * steps;
      const auto count = int32_t(std::clamp<__int128>(total, INT32_MIN, INT32_MAX));
      const auto day = int32_t(std::clamp<int64_t>(source.number_.integerValue(), INT32_MIN, INT32_MAX));
      if (info.dateUnit == kFillDays)
        storeDate(AddToDayIndex(day, 0, 0, count));
      else if (info.dateUnit == kFillMonths)
        storeDate(AddToDayIndex(day, 0, count, 0));
      else
        storeDate(AddToDayIndex(day, count, 0, 0));
      break;
    }
    default:
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// Find and replace

bool CACell::matchesFindString(const QString& find, int32_t scope, bool ignoreCase,
                               bool wholeWords) const {
  const bool entered = scope == kFindEntered || scope == kFindBoth;
  const bool shown = scope == kFindShown || scope == kFindBoth;
  switch (valueType_) {
    case kValueError:
    case kValueFormula:
      return (entered && TextMatches(formula(), find, ignoreCase, wholeWords)) ||
             (shown && TextMatches(displayText(false), find, ignoreCase, wholeWords));
    case kValueDate:
      return shown && TextMatches(displayText(false), find, ignoreCase, wholeWords);
    case kValueNumber:
      // A number is found by what it shows and by its digits in full, which it is edited as.
      return shown && (TextMatches(displayText(false), find, ignoreCase, wholeWords) ||
                       TextMatches(editText(), find, ignoreCase, wholeWords));
    case kValueLink:
    case kValueText:
      return entered && TextMatches(formula(), find, ignoreCase, wholeWords);
    default:
      return false;
  }
}

bool CACell::hasReplaceable(const QString& find, bool ignoreCase, bool wholeWords) const {
  if (find.isEmpty()) return false;
  const Qt::CaseSensitivity sensitivity = ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
  const QString text = editText();
  for (qsizetype location = text.indexOf(find, 0, sensitivity); location >= 0;
       location = text.indexOf(find, location + 1, sensitivity))
    if (!wholeWords || IsWholeWord(text, location, find.size())) return true;
  return false;
}

bool CACell::replace(const QString& find, const QString& replacement, int32_t, bool ignoreCase,
                     bool wholeWords) {
  if (find.isEmpty()) return false;
  const Qt::CaseSensitivity sensitivity = ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
  // The text in full, as editing shows it: a number's rounded display would replace its digits.
  const QString original = editText();
  QString text = original;
  qsizetype from = 0;
  while (from <= text.size()) {
    const qsizetype location = text.indexOf(find, from, sensitivity);
    if (location < 0) break;
    if (wholeWords && !IsWholeWord(text, location, find.size())) {
      from = location + 1;
      continue;
    }
    text.replace(location, find.size(), replacement);
    from = location + replacement.size();
  }
  // Replacing a text by itself leaves the cell as it was, and is not counted as a change.
  if (text == original) return false;
  setFormula(text);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Links, overflow and pictures

namespace {

// Points: characters narrower than this are rare enough not to matter to how far text overflows.
constexpr double kNarrowestCharacter = 1.0;
// Pixels of a window when no screen tells its size.
constexpr double kFallbackScreenWidth = 16384.0;

// The most points of a row any window can show: all screens side by side, at the smallest zoom.
double WidestVisibleWidth() {
  double width = 0;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    for (const QScreen* screen : QGuiApplication::screens()) width += screen->geometry().width();
  if (width <= 0) width = kFallbackScreenWidth;
  return width * 100.0 / double(CADocument::kMinimumZoomPercent);
}

}  // namespace

void CACell::followLink() const {
  QString target = formula();
  if (target.isEmpty()) {
    WorkspaceBeep();
    return;
  }
  if (target.startsWith(QLatin1String(kFileHomePrefix)))
    target = QLatin1String(kFileLocalhostPrefix) + HomeFolderPath() + QLatin1Char('/') +
             target.mid(qsizetype(std::strlen(kFileHomePrefix)));
  const QUrl url(target);
  if (!url.isValid() || url.scheme().isEmpty()) {
    WorkspaceBeep();
    return;
  }
  bool done = false;
  if (url.scheme().compare(QLatin1String(kFileScheme), Qt::CaseInsensitive) == 0) {
    const QString path = url.path(QUrl::FullyDecoded);
    done = !path.isEmpty() && WorkspaceRevealFile(path);
  } else {
    done = WorkspaceOpenUrl(url);
  }
  if (!done) WorkspaceBeep();
}

void CACell::setExtraColumns() {
  if (!document_) return;
  if (gridPoint_.x == 0 && document_->titleColumn()) return;
  // A neighbour with a value stops any overflow: the text need not be measured (a sheet of
  // labels beside their figures is laid out again without measuring one of them).
  if (uint64_t(gridPoint_.x) < g_maxColumn) {
    const CARow* row = document_->row(gridPoint_.y);
    const CACellEntry* next = row ? row->entryAt(gridPoint_.x + 1) : nullptr;
    if (next && next->hasValue()) return;
  }
  const CAFormat composed = document_->formatForCell(this, true);
  const std::optional<FLAttributedString> text = attributedString(false, composed);
  if (!text) return;
  // Text wider than any window can show at the smallest zoom overflows no further: a text of
  // millions of characters would otherwise be measured whole and lend itself to as many cells.
  const double visible = WidestVisibleWidth();
  const QFontMetricsF metrics(text->font);
  const qsizetype measured = std::min<qsizetype>(text->string.size(), qsizetype(visible / kNarrowestCharacter) + 1);
  // A text of several lines is as wide as its widest line that the row shows: as the grid
  // draws it, as many lines as the row's height holds whole, the first alone in a short row.
  const double padding = 2.0 * std::ceil(double(document_->cellPadding().x) / kEmuPerPointReal);
  const double rowPadding = 2.0 * std::ceil(double(document_->cellPadding().y) / kEmuPerPointReal);
  const double shownHeight = double(document_->heightOfRow(gridPoint_.y)) - rowPadding + document_->leading() / 2;
  const qsizetype shownLines =
      qsizetype(std::max(1.0, std::floor(shownHeight / std::max(metrics.lineSpacing(), 1.0))));
  // One more than shown: the last one holds the rest of the text.
  const QStringView cut = QStringView(text->string).left(measured);
  const std::vector<QStringView> lines = ShownLines(cut, shownLines + 1);
  double widest = 0;
  for (size_t i = 0; i < std::min(lines.size(), size_t(shownLines)); ++i) {
    // A line that runs on past the cut holds more characters than the widest window shows: it
    // is at least that wide, and is not measured.
    if (text->string.size() > measured && lines[i].data() + lines[i].size() == cut.data() + cut.size()) {
      widest = visible;
      break;
    }
    widest = std::max(widest, metrics.horizontalAdvance(lines[i].toString()));
  }
  const double textWidth = std::min(visible, widest);
  double available = double(document_->widthOfColumn(gridPoint_.x)) - padding;
  int64_t x = gridPoint_.x;
  while (textWidth > available) {
    if (uint64_t(x) >= g_maxColumn) break;
    ++x;
    const GridPoint point{x, gridPoint_.y};
    CACell* next = document_->cellAtGridPoint(point);
    if (next && next->hasValue()) break;
    // A placeholder is a cell of its own: a command that lays out many long texts (an open of a
    // file of long lines) makes them under its meter, and past its budget the texts overflow no
    // further.
    if (!next && !FLReadingMeter::Checkpoint()) break;
    if (!next) next = document_->cellAtGridPointImperative(point);
    next->setValueType(kValueOverflow);
    ++mutableExtras().extraColumns;
    const double width = document_->widthOfColumn(x);
    if (width <= 0) break;
    available += width;
  }
}

void CACell::recalcPictureHeight() {
  const std::shared_ptr<CAPicture>& picture = this->picture();
  if (!picture || !picture->image()) {
    if (Extras* extras = format_.extras()) extras->height = 0;
  } else {
    QSizeF size = picture->image()->size();
    if (imageScale() != 0) size *= double(imageScale()) / kEmuPerPointReal / kPercent;
    if (document_) {
      const double columnWidth = document_->widthOfColumn(gridPoint_.x);
      if (columnWidth < size.width() && size.width() > 0)
        size.setHeight(size.height() * columnWidth / size.width());
    }
    mutableExtras().height = std::ceil(size.height());
  }
  if (document_)
    if (CARow* row = document_->row(gridPoint_.y)) row->setNeedCalculate(true);
}

// ---------------------------------------------------------------------------------------------
// XML

std::unique_ptr<CACell> CACell::withXml(FLXmlDecoder& decoder, CADocument* document) {
  // Named once: every cell read asks for these.
  static const QLatin1String xName = XmlName(kXmlX);
  static const QLatin1String yName = XmlName(kXmlY);
  static const QLatin1String typeName = XmlName(kXmlType);
  const GridPoint point{decoder.integerAttributeForTag(xName), decoder.integerAttributeForTag(yName)};
  // The cell joins its document only once read: its references are registered by whoever
  // places it, at the point where it ends up, and not at all when it is dropped.
  auto cell = std::make_unique<CACell>(point, nullptr);
  cell->valueType_ = int32_t(decoder.decodeAttribute(typeName, g_valueStrings));
  if (decoder.endTag()) {
    cell->document_ = document;
    // Marked while read, with no document to tell.
    cell->needRecalc_ = true;
    cell->noteRecalc();
    return cell;
  }
  const bool decipher = document && document->deciphersCells();
  const auto text = [&](const QString& value) { return decipher ? Decipher(value) : value; };
  // The same without a copy of the value when there is nothing to decipher.
  QString deciphered;
  const auto plain = [&](const QString& value) -> const QString& {
    if (!decipher) return value;
    deciphered = Decipher(value);
    return deciphered;
  };
  const int64_t level = decoder.level();
  while (decoder.getNextTag()) {
    if (decoder.level() < level) break;
    switch (XmlTagOf(decoder)) {
      case kXmlFormat:
        cell->format_ = ReadFormat(decoder);
        break;
      case kXmlFormula: {
        const QString& entered = plain(decoder.value());
        // Texts and links come back as they were saved: "007" stays a text, and a link stays a
        // link whatever the link preference says now.
        if (cell->valueType_ == kValueText || cell->valueType_ == kValueLink)
          cell->enterUnclassified(cell->valueType_, entered);
        else
          cell->setFormula(CAFormulaSeparatorsReading::toUser(entered));
        break;
      }
      case kXmlInactive:
        cell->setInactiveLink(decoder.integerValue() != 0);
        break;
      case kXmlDisplay:
        cell->setDisplayText(text(decoder.value()));
        break;
      case kXmlNote:
        cell->setNote(text(decoder.value()));
        break;
      case kXmlPic:
        if (document) {
          if (std::shared_ptr<CAPicture> picture = document->pictureNamed(decoder.value()))
            cell->mutableExtras().picture = std::move(picture);
        }
        break;
      case kXmlScale:
        if (cell->valueType_ == kValuePicture) cell->setImageScale(std::max<int64_t>(0, decoder.integerValue()));
        break;
      case kXmlVal: {
        const QString& value = plain(decoder.value());
        switch (cell->valueType_) {
          case kValueNumber:
            cell->storeNumber(CANumber::withArchive(value));
            break;
          case kValueDate:
            cell->storeNumber(CANumber(LeadingInteger(value)));
            break;
          case kValueCheckbox:
            cell->checked_ = LeadingInteger(value) != 0;
            break;
          default:
            break;
        }
        break;
      }
      default:
        LogAssert("Unknown cell tag", __func__, __FILE__, __LINE__);
        if (decoder.startTag() && !decoder.endTag()) decoder.skipTag();
        break;
    }
  }
  cell->document_ = document;
  // Marked while read, with no document to tell.
  cell->needRecalc_ = true;
  cell->noteRecalc();
  return cell;
}

bool CACell::saveToXml(FLXmlEncoder& encoder, FLError* error) const {
  struct Child {
    CAXmlTag tag;
    QString text;
    bool enciphered;
    // The text instead, where it needs no QString: a formula kept in Latin-1, an integer.
    QLatin1StringView latin1 = {};
  };
  // At most three children: kept on the stack, as this runs for every cell saved.
  struct Children {
    Child items[3];
    size_t count = 0;
    char integer[24] = {'i'};  // an integer's archive text
    void push_back(Child child) { items[count++] = std::move(child); }
    Child* begin() { return items; }
    Child* end() { return items + count; }
    // The number's archive; an integer's is written here rather than made a QString.
    void pushNumber(const CANumber& number) {
      if (number.form() != kNumberInteger) {
        push_back({kXmlVal, number.archive(), true});
        return;
      }
      const char* end = std::to_chars(integer + 1, integer + sizeof integer, number.numerator()).ptr;
      push_back({kXmlVal, QString(), true, QLatin1StringView(integer, end - integer)});
    }
    void pushEntered(const CAFormulaBlock& entered) {
      if (const std::optional<QLatin1StringView> latin1 = entered.latin1Text())
        push_back({kXmlFormula, QString(), true, *latin1});
      else
        push_back({kXmlFormula, entered.text(), true});
    }
  } children;
  switch (valueType_) {
    case kValueCheckbox:
      if (checked_) children.push_back({kXmlVal, QStringLiteral("1"), true});
      break;
    case kValueDate:
      if (hasNumber_) children.push_back({kXmlVal, QString::number(number_.integerValue()), true});
      break;
    case kValueError:
    case kValueFormula:
    case kValueText:
      if (entered_.hasText()) children.pushEntered(entered_);
      if (valueType_ == kValueFormula && hasNumber_) children.pushNumber(number_);
      break;
    case kValuePicture: {
      QString guid;
      if (const std::shared_ptr<CAPicture>& picture = this->picture()) {
        const bool undo = document_ && document_->settingUndo();
        guid = undo ? picture->guid() : picture->saveGuid();
        FLAssert(undo || !guid.isEmpty(), "Missing save guid");
        picture->setSaved(true);
      }
      children.push_back({kXmlPic, guid, false});
      // The picture's own scale goes with it, so that saving and undoing keep it.
      if (imageScale() != 0) children.push_back({kXmlScale, QString::number(imageScale()), false});
      break;
    }
    case kValueLink:
      if (entered_.hasText()) children.push_back({kXmlFormula, formula(), true});
      if (!displayTextField().isEmpty()) children.push_back({kXmlDisplay, displayTextField(), true});
      if (inactiveLink()) children.push_back({kXmlInactive, QStringLiteral("1"), false});
      break;
    case kValueNumber:
      if (hasNumber_) children.pushNumber(number_);
      break;
    default:
      break;
  }
  const bool saveFormat = format_ && format_->shouldSave();
  std::optional<QString> note;
  if (!this->note().isEmpty()) note = this->note();

  if (document_ && document_->enciphersCells()) {
    // Everything is enciphered before anything is written, so a failure leaves no half cell.
    const auto encipher = [&](QString& value) {
      value = EncryptString(value);
      if (!value.isEmpty()) return true;
      SetError(error, -50,
               QStringLiteral("The contents of cell %1 could not be enciphered.")
                   .arg(FormatGridPoint(gridPoint_)));
      return false;
    };
    for (Child& child : children) {
      if (!child.enciphered) continue;
      if (!child.latin1.isNull()) child.text = std::exchange(child.latin1, QLatin1StringView()).toString();
      if (!encipher(child.text)) return false;
    }
    if (note && !encipher(*note)) return false;
  }

  encoder.addAttribute(XmlName(kXmlX), gridPoint_.x);
  encoder.addAttribute(XmlName(kXmlY), gridPoint_.y);
  const bool knownType = valueType_ >= 0 && valueType_ < kValueTypeCount;
  encoder.addAttribute(XmlName(kXmlType), QLatin1String(g_valueStrings[knownType ? valueType_ : 0]));
  encoder.openTag(XmlName(kXmlCell));
  for (const Child& child : children) {
    if (!child.latin1.isNull())
      encoder.addTag(XmlName(child.tag), child.latin1);
    else
      encoder.addTag(XmlName(child.tag), child.text);
  }
  if (saveFormat) format_->saveToXml(encoder, nullptr);
  if (note) encoder.addTag(XmlName(kXmlNote), *note);
  encoder.closeTag(XmlName(kXmlCell));
  return true;
}
