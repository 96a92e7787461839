#include "calculator/controllers/CAFindDialog.h"

#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caHelpTopics.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr const char* kReplacedFormat = "%1 replaced";

CAFindDialog* g_findDialog = nullptr;

QString Tr(const char* text) { return QApplication::translate("CAFindDialog", text); }

QWidget* FrontSpreadsheetWindow() {
  for (QWidget* window : OrderedWindows()) {
    if (CAWindowController::controllerOfWindow(window)) return window;
  }
  return nullptr;
}

}  // namespace

CAFindDialog& CAFindDialog::sharedInstance() {
  // Made once and never released: it lives as long as the process.
  if (!g_findDialog) g_findDialog = new CAFindDialog();
  return *g_findDialog;
}

bool CAFindDialog::exists() { return g_findDialog != nullptr; }

void CAFindDialog::showFind() {
  CAFindDialog& panel = sharedInstance();
  // The frontmost spreadsheet window is the one behind the panel as it comes front.
  panel.windowDidBecomeKey();
  panel.keepAbove(FrontSpreadsheetWindow());
  MakeKeyAndOrderFront(&panel);
  panel.findField_->setFocus(Qt::OtherFocusReason);
  panel.findField_->selectAll();
}

CAFindDialog::CAFindDialog() : QDialog(nullptr) {
  buildWindow();
  countField_->clear();
  updateSettings();
  NotificationCenter& center = NotificationCenter::defaultCenter();
  center.addObserver(this, QLatin1String(kSearchChangedNotification), nullptr, [this](const Notification& note) {
    if (note.object != this) updateSettings();
  });
  center.addObserver(this, QLatin1String(kDocClosingNotification), nullptr, [this](const Notification& note) {
    documentClosing(static_cast<const CADocument*>(note.object));
  });
  // A click in another spreadsheet window brings that window front: the panel comes with it.
  if (auto* application = qobject_cast<QApplication*>(QCoreApplication::instance())) {
    connect(application, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
      if (!isVisible()) return;
      for (QWidget* widget = now; widget; widget = widget->parentWidget()) {
        if (CAWindowController::controllerOfWindow(widget)) {
          keepAbove(widget);
          return;
        }
      }
    });
  }
}

void CAFindDialog::keepAbove(QWidget* window) {
  QWidget* top = window ? window->window() : nullptr;
  if (!top || top == this) return;
  if (!top->windowHandle()) top->winId();
  if (!windowHandle()) winId();
  QWindow* target = top->windowHandle();
  QWindow* own = windowHandle();
  if (!target || !own || own->transientParent() == target) return;
  // The window manager reads whom a window is transient for as it maps the window: a shown
  // panel is taken down and put up again over its new window, leaving the keys where they are.
  const bool shown = isVisible();
  const QPoint place = pos();
  if (shown) hide();
  own->setTransientParent(target);
  if (!shown) return;
  QWidget* active = QApplication::activeWindow();
  const bool quiet = testAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_ShowWithoutActivating, true);
  move(place);
  show();
  setAttribute(Qt::WA_ShowWithoutActivating, quiet);
  // A window manager may give a newly mapped window the keys all the same: they go back.
  if (active && active != this) active->activateWindow();
}

// "FindDialog": the two texts, the options, the scope, and the buttons with their tags.
void CAFindDialog::buildWindow() {
  setObjectName(QStringLiteral("FindDialog"));
  setWindowTitle(Tr("Find"));
  setModal(false);
  findField_ = new QLineEdit(this);
  findField_->setObjectName(QStringLiteral("findField"));
  replaceField_ = new QLineEdit(this);
  replaceField_->setObjectName(QStringLiteral("replaceField"));
  ignoreCaseButton_ = new QCheckBox(Tr("Ignore case"), this);
  ignoreCaseButton_->setObjectName(QStringLiteral("ignoreCase"));
  wholeWordsButton_ = new QCheckBox(Tr("Whole words"), this);
  wholeWordsButton_->setObjectName(QStringLiteral("wholeWords"));
  wrapButton_ = new QCheckBox(Tr("Wrap around"), this);
  wrapButton_->setObjectName(QStringLiteral("wrap"));
  fromStartButton_ = new QCheckBox(Tr("From the start"), this);
  fromStartButton_->setObjectName(QStringLiteral("fromStart"));
  scopeControl_ = new QComboBox(this);
  scopeControl_->setObjectName(QStringLiteral("scope"));
  scopeControl_->addItem(Tr("Formulas"), kFindEntered);
  scopeControl_->addItem(Tr("Values"), kFindShown);
  scopeControl_->addItem(Tr("Formulas and Values"), kFindBoth);
  spinner_ = new QProgressBar(this);
  spinner_->setRange(0, 0);
  spinner_->setTextVisible(false);
  spinner_->setMaximumWidth(48);
  spinner_->hide();
  countField_ = new QLabel(this);
  countField_->setObjectName(QStringLiteral("countField"));

  const auto button = [this](const char* title, const char* name, QDialogButtonBox* box) {
    auto* result = box->addButton(Tr(title), QDialogButtonBox::ActionRole);
    result->setObjectName(QLatin1String(name));
    result->setAutoDefault(false);
    return result;
  };
  auto* buttons = new QDialogButtonBox(this);
  AddHelpButton(buttons, kFindHelpTopic);
  replaceAllButton_ = button("Replace All", "replaceAll", buttons);
  replaceButton_ = button("Replace", "replace", buttons);
  replaceFindButton_ = button("Replace && Find", "replaceAndFind", buttons);
  findPreviousButton_ = button("Previous", "findPrevious", buttons);
  findNextButton_ = button("Next", "findNext", buttons);
  findNextButton_->setDefault(true);

  auto* fields = new QFormLayout;
  fields->addRow(Tr("Find:"), findField_);
  fields->addRow(Tr("Replace:"), replaceField_);
  auto* options = new QGridLayout;
  options->addWidget(ignoreCaseButton_, 0, 0);
  options->addWidget(wholeWordsButton_, 0, 1);
  options->addWidget(wrapButton_, 1, 0);
  options->addWidget(fromStartButton_, 1, 1);
  options->addWidget(new QLabel(Tr("Search in:"), this), 2, 0);
  options->addWidget(scopeControl_, 2, 1);
  auto* status = new QHBoxLayout;
  status->addWidget(spinner_);
  status->addWidget(countField_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(options);
  layout->addLayout(status);
  layout->addWidget(buttons);

  connect(findField_, &QLineEdit::textEdited, this, &CAFindDialog::setFindString);
  connect(replaceField_, &QLineEdit::textEdited, this, &CAFindDialog::setReplaceString);
  const auto option = [this](QCheckBox* box, bool* flag) {
    connect(box, &QCheckBox::toggled, this, [this, flag](bool on) {
      *flag = on;
      if (!suppressNotify_) updateSearchOption();
    });
  };
  option(ignoreCaseButton_, &ignoreCase_);
  option(wholeWordsButton_, &wholeWords_);
  option(wrapButton_, &wrap_);
  option(fromStartButton_, &fromStart_);
  connect(scopeControl_, &QComboBox::currentIndexChanged, this, [this] {
    scope_ = scopeControl_->currentData().toInt();
    if (!suppressNotify_) updateSearchOption();
  });
  connect(findNextButton_, &QPushButton::clicked, this, [this] { find(kFindNext); });
  connect(findPreviousButton_, &QPushButton::clicked, this, [this] { find(kFindPrevious); });
  connect(replaceButton_, &QPushButton::clicked, this, [this] { replace(kReplaceOne); });
  connect(replaceAllButton_, &QPushButton::clicked, this, [this] { replace(kReplaceAll); });
  connect(replaceFindButton_, &QPushButton::clicked, this, [this] { replace(kReplaceAndFind); });
}

void CAFindDialog::setFindString(const QString& text) {
  findString_ = text;
  if (!suppressNotify_) {
    if (CAPrefController* preferences = CAPrefController::sharedInstance()) preferences->setSearchString(text);
    NotificationCenter::defaultCenter().post(QLatin1String(kSearchChangedNotification), this);
  }
  countField_->clear();
  newFind_ = true;
  enableButtons();
}

void CAFindDialog::setReplaceString(const QString& text) {
  replaceString_ = text;
  if (!suppressNotify_) {
    if (CAPrefController* preferences = CAPrefController::sharedInstance()) preferences->setReplaceString(text);
  }
  countField_->clear();
  newFind_ = true;
  enableButtons();
}

void CAFindDialog::updateSearchOption() {
  if (CAPrefController* preferences = CAPrefController::sharedInstance()) {
    preferences->setValue(CAIntPreference::searchOptionMask, (fromStart_ ? int(kSearchFromStart) : 0) |
                                                                 (ignoreCase_ ? int(kSearchIgnoreCase) : 0) |
                                                                 (wholeWords_ ? int(kSearchWholeWords) : 0) |
                                                                 (wrap_ ? int(kSearchWrap) : 0));
    preferences->setValue(CAIntPreference::searchScope, scope_);
  }
  countField_->clear();
  newFind_ = true;
}

void CAFindDialog::updateSettings() {
  const CAPrefController* preferences = CAPrefController::sharedInstance();
  suppressNotify_ = true;
  const QString find = preferences ? preferences->searchString() : QString();
  const QString replacement = preferences ? preferences->replaceString() : QString();
  setFindString(find);
  setReplaceString(replacement);
  findField_->setText(find);
  replaceField_->setText(replacement);
  const int64_t mask = preferences ? preferences->value(CAIntPreference::searchOptionMask) : 0;
  ignoreCaseButton_->setChecked(mask & kSearchIgnoreCase);
  wholeWordsButton_->setChecked(mask & kSearchWholeWords);
  wrapButton_->setChecked(mask & kSearchWrap);
  fromStartButton_->setChecked(mask & kSearchFromStart);
  const int scope = preferences ? int(preferences->value(CAIntPreference::searchScope)) : kFindEntered;
  const int index = scopeControl_->findData(scope);
  scopeControl_->setCurrentIndex(index < 0 ? 0 : index);
  scope_ = scopeControl_->currentData().toInt();
  suppressNotify_ = false;
}

void CAFindDialog::windowDidBecomeKey() {
  const CAWindowController* controller = CAWindowController::controllerOfWindow(FrontSpreadsheetWindow());
  document_ = controller ? controller->document() : nullptr;
  enableButtons();
}

void CAFindDialog::enableButtons() {
  const bool hasText = !findString_.isEmpty();
  const bool hasDocument = document_ != nullptr;
  const bool locked = hasDocument && document_->isLocked();
  findNextButton_->setEnabled(hasDocument && hasText);
  findPreviousButton_->setEnabled(hasDocument && hasText);
  replaceButton_->setEnabled(hasDocument && !locked);
  replaceFindButton_->setEnabled(hasDocument && hasText && !locked);
  replaceAllButton_->setEnabled(hasDocument && hasText && !locked);
}

void CAFindDialog::find(int tag) {
  countField_->clear();
  if (!document_) return;
  spinner_->show();
  const bool found = document_->find(tag == kFindNext, fromStart_ && newFind_);
  // Nothing found: the next find starts afresh.
  newFind_ = !found;
  spinner_->hide();
}

void CAFindDialog::replace(int tag) {
  countField_->clear();
  // Replacing needs a document that takes edits, whatever the buttons show.
  if (!document_ || document_->isLocked()) return;
  spinner_->show();
  int64_t count = 0;
  if (!RunGuardedCommand(*document_, [&] { count = document_->replace(findString_, replaceString_, tag == kReplaceAll); })) {
    spinner_->hide();
    return;
  }
  // A cell found only by what it shows (50% by "50") has no such text to replace: the user hears
  // that nothing changed, as for a search that finds nothing.
  if (count == 0) WorkspaceBeep();
  if (tag == kReplaceAll) countField_->setText(Tr(kReplacedFormat).arg(count));
  if (tag == kReplaceAndFind) newFind_ = !document_->find(true, false);
  spinner_->hide();
}

void CAFindDialog::documentClosing(const CADocument* document) {
  if (!document || document != document_) return;
  document_ = nullptr;
  enableButtons();
}

bool CAFindDialog::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) windowDidBecomeKey();
  return QDialog::event(event);
}

void CAFindDialog::orderOut() {
  countField_->clear();
  hide();
}

void CAFindDialog::closeEvent(QCloseEvent* event) {
  orderOut();
  event->ignore();
}

void CAFindDialog::reject() { orderOut(); }
