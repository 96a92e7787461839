#include "calculator/controllers/CAFormatVLinkVC.h"

#include "calculator/controllers/CALinkDialog.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/foundation/flFileSupport.h"
#include "glimmet/storage/gmBookmarks.h"
#include "platform/NotificationCenter.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QUrl>

QWidget* CAFormatVLinkVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Link"));
  auto* form = new QFormLayout(view);
  form->setContentsMargins(8, 6, 8, 6);
  addressField_ = new QLineEdit(view);
  addressField_->setObjectName(QStringLiteral("addressField"));
  auto* choose = new QPushButton(QStringLiteral("Choose…"), view);
  choose->setObjectName(QStringLiteral("chooseFile"));
  choose->setFocusPolicy(Qt::NoFocus);
  auto* addressRow = new QHBoxLayout;
  addressRow->addWidget(addressField_, 1);
  addressRow->addWidget(choose);
  form->addRow(QStringLiteral("Address:"), addressRow);
  displayTextField_ = new QLineEdit(view);
  displayTextField_->setObjectName(QStringLiteral("displayTextField"));
  form->addRow(QStringLiteral("Text:"), displayTextField_);
  activeButton_ = new QCheckBox(QStringLiteral("Active"), view);
  activeButton_->setObjectName(QStringLiteral("activeButton"));
  activeButton_->setFocusPolicy(Qt::NoFocus);
  form->addRow(QString(), activeButton_);
  for (QLineEdit* field : {addressField_, displayTextField_}) {
    connect(field, &QLineEdit::textEdited, this, [this] { editingStarted_ = true; });
    connect(field, &QLineEdit::editingFinished, this, [this, field] { editingEnded(field); });
  }
  connect(choose, &QPushButton::clicked, this, &CAFormatVLinkVC::chooseFile);
  connect(activeButton_, &QCheckBox::clicked, this, &CAFormatVLinkVC::updateCell);
  view->resize(view->sizeHint());
  return view;
}

void CAFormatVLinkVC::viewDidLoad() {
  NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kTypeChangeNotification), document(),
                                                  [this](const Notification&) {
                                                    if (addressField_) addressField_->setFocus();
                                                  });
  CAFormatBaseVC::viewDidLoad();
}

void CAFormatVLinkVC::selectionChanged() {
  undoID_ = kNoUndoID;
  if (!document() || !addressField_) return;
  const CACell* cell = document()->activeCell();
  if (!cell || cell->valueType() != kValueLink) return;
  addressField_->setText(cell->formula());
  displayTextField_->setText(cell->displayTextField());
  activeButton_->setChecked(!cell->inactiveLink());
}

void CAFormatVLinkVC::editingEnded(QLineEdit* field) {
  if (!editingStarted_) return;
  editingStarted_ = false;
  if (field == addressField_) addressField_->setText(NormalizeWwwLink(addressField_->text()));
  updateCell();
}

void CAFormatVLinkVC::updateCell() {
  CADocument* target = document();
  if (!target || !recordCellStep(undoID_, kUndoLink)) {
    selectionChanged();  // the cell stays as it was
    return;
  }
  CACell* cell = target->cellAtGridPointImperative(target->activeCellPoint());
  if (!cell) return;
  const QString address = addressField_->text();
  if (address.isEmpty()) {
    // Without an address the cell is plain text; the panel turns to the text panes.
    cell->setValueType(kValueText);
    cell->setFormulaString(QString());
    cell->setDisplayText(QString());
    cell->setInactiveLink(false);
    NotificationCenter::defaultCenter().post(QLatin1String(kSelectionChangeNotification), target);
  } else {
    cell->setValueType(kValueLink);
    cell->setFormulaString(address);
    cell->setDisplayText(displayTextField_->text());
    cell->setInactiveLink(!activeButton_->isChecked());
  }
  // Formulas that count the cell see what it holds now: a link counts as a value, an empty text
  // as a blank.
  target->setRecalcForDependents(cell->gridPoint());
  target->evaluate();
  redrawSelection();
}

void CAFormatVLinkVC::chooseFile() {
  QWidget* parent = view() ? view()->window() : nullptr;
  ChooseLinkTarget(parent, QStringLiteral("Select a file or folder to link to"),
                   [self = QPointer<CAFormatVLinkVC>(this)](bool accepted, const QString& path) {
                     if (self) self->openPanelEnded(accepted, path);
                   });
}

void CAFormatVLinkVC::openPanelEnded(bool accepted, const QString& path) {
  if (!accepted || path.isEmpty() || !addressField_) return;
  addressField_->setText(HomeRelativeLink(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded), HomeFolderPath()));
  displayTextField_->setText(QFileInfo(path).completeBaseName());
  activeButton_->setChecked(true);
  undoID_ = kNoUndoID;
  updateCell();
}
