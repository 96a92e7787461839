#include "calculator/controllers/CASortDialog.h"

#include "calculator/controllers/CAApplication.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caHelpTopics.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelServices.h"
#include "calculator/views/caViewNotifications.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString Tr(const char* text) { return QApplication::translate("CASortDialog", text); }

constexpr GridPoint kNoSortKey{-1, -1};

}  // namespace

CASortDialog* CASortDialog::runSheetForWindow(CAWindowController& controller) {
  QWidget* window = controller.window();
  auto* dialog = new CASortDialog(*controller.document(), window);
  CAApplication::setSpecialSelectionWindow(window->window());
  dialog->running_ = true;
  // The platform's modal runs take no clicks in other windows at all; this run lets those in
  // the document window through to be picked (see eventFilter).
  qApp->installEventFilter(dialog);
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
  return dialog;
}

CASortDialog::CASortDialog(CADocument& document, QWidget* parent) : QDialog(parent), document_(document) {
  buildWindow();
  if (document_.sortKey1().x < 0) document_.setSortKey1(document_.activeCellPoint());
  primaryKeyField_->setText(FormatGridPoint(document_.sortKey1()));
  if (document_.sortKey2().x >= 0) secondaryKeyField_->setText(FormatGridPoint(document_.sortKey2()));
  NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kGridPointNotification), &document_,
                                                  [this](const Notification& note) {
                                                    clickInCells(note.userInfo.value(QLatin1String(kGridPointKey)).toString());
                                                  });
}

CASortDialog::~CASortDialog() {
  NotificationCenter::defaultCenter().removeObserver(this);
  if (running_) {
    qApp->removeEventFilter(this);
    CAApplication::setSpecialSelectionWindow(nullptr);
  }
}

// "SortDialog": the two key fields and the options, bound to the preferences.
void CASortDialog::buildWindow() {
  setObjectName(QStringLiteral("SortDialog"));
  setWindowTitle(Tr("Sort"));
  primaryKeyField_ = new QLineEdit(this);
  primaryKeyField_->setObjectName(QStringLiteral("primaryKeyField"));
  secondaryKeyField_ = new QLineEdit(this);
  secondaryKeyField_->setObjectName(QStringLiteral("secondaryKeyField"));
  auto* fields = new QFormLayout;
  fields->addRow(Tr("Primary key:"), primaryKeyField_);
  fields->addRow(Tr("Secondary key:"), secondaryKeyField_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  struct Option {
    CABoolPreference preference;
    const char* title;
    const char* name;
  };
  static constexpr Option kOptions[] = {
      {CABoolPreference::sortWholeDoc, "Sort the whole document", "sortWholeDoc"},
      {CABoolPreference::sortColumns, "Sort columns", "sortColumns"},
      {CABoolPreference::sortReverse, "Reverse order", "sortReverse"},
      {CABoolPreference::useStopList, "Ignore common words", "useStopList"},
  };
  CAPrefController* preferences = CAPrefController::sharedInstance();
  for (const Option& option : kOptions) {
    auto* box = new QCheckBox(Tr(option.title), this);
    box->setObjectName(QLatin1String(option.name));
    box->setEnabled(preferences != nullptr);
    if (preferences) box->setChecked(preferences->value(option.preference));
    connect(box, &QCheckBox::toggled, this, [preference = option.preference](bool on) {
      if (CAPrefController* shared = CAPrefController::sharedInstance()) shared->setValue(preference, on);
    });
    layout->addWidget(box);
    if (option.preference == CABoolPreference::sortWholeDoc) wholeThingButton_ = box;
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  AddHelpButton(buttons, kSortHelpTopic);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CASortDialog::ok);
  connect(buttons, &QDialogButtonBox::rejected, this, &CASortDialog::cancel);
  for (QLineEdit* field : {primaryKeyField_, secondaryKeyField_}) {
    connect(field, &QLineEdit::textEdited, this, &CASortDialog::controlTextDidBeginEditing);
    connect(field, &QLineEdit::editingFinished, this, [this, field] { controlTextDidEndEditing(field); });
  }
}

void CASortDialog::clickInCells(const QString& pointText) {
  const GridPoint point = GridPointFromStringCalc(pointText, false);
  if (point.x < 0 || point.y < 0) return;
  // The dialog's focus stays in its key field while the document window is clicked.
  QWidget* responder = focusWidget();
  if (responder == primaryKeyField_) {
    document_.setSortKey1(point);
    primaryKeyField_->setText(FormatGridPoint(point));
  } else if (responder == secondaryKeyField_) {
    document_.setSortKey2(point);
    secondaryKeyField_->setText(FormatGridPoint(point));
  }
}

void CASortDialog::controlTextDidEndEditing(QLineEdit* field) {
  if (!editingStarted_) return;
  const QString text = field->text().trimmed();
  GridPoint point = kNoSortKey;
  if (!text.isEmpty()) {
    if (!ParseGridPoint(text, 0, text.size(), &point)) {
      WorkspaceBeep();
      return;
    }
    point = GridPoint{NormalizeCoordinate(point.x), NormalizeCoordinate(point.y)};
  }
  if (field == primaryKeyField_)
    document_.setSortKey1(point);
  else
    document_.setSortKey2(point);
}

void CASortDialog::ok() {
  // The key being typed counts.
  if (QWidget* responder = focusWidget(); responder == primaryKeyField_ || responder == secondaryKeyField_)
    controlTextDidEndEditing(static_cast<QLineEdit*>(responder));
  primaryKeyField_->setFocus(Qt::OtherFocusReason);
  endRun();
  RunGuardedCommand(document_, [this] { document_.sort(); });
}

void CASortDialog::cancel() { endRun(); }

void CASortDialog::endRun() {
  hide();
  if (!running_) return;
  running_ = false;
  qApp->removeEventFilter(this);
  CAApplication::setSpecialSelectionWindow(nullptr);
  deleteLater();
}

// While the dialog runs, the user's input reaches only the dialog (and its pop-ups); in the
// document window a left click goes on to be picked as a key cell and the wheel still scrolls.
bool CASortDialog::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::Close:
      break;
    default:
      return false;
  }
  // Shortcuts of the windows' actions are held back.
  if (!watched->isWidgetType()) return type == QEvent::Shortcut;
  auto* widget = static_cast<QWidget*>(watched);
  QWidget* top = widget->window();
  if (top == this || top->windowType() == Qt::Popup) return false;
  if (top == CAApplication::specialSelectionWindow()) {
    const bool leftPress = (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) &&
                           static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    if (leftPress) {
      // Picking a cell should not leave the keyboard with the document window.
      QTimer::singleShot(0, this, [this] { activateWindow(); });
      return false;
    }
    if (type == QEvent::Wheel) return false;
  }
  if (type == QEvent::Close) event->ignore();
  return true;
}
