#include "calculator/controllers/CAFormatDocFileVC.h"

#include "calculator/controllers/caSizePanes.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caUndoArchives.h"

#include <QCheckBox>
#include <QVBoxLayout>

QWidget* CAFormatDocFileVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("File"));
  auto* layout = new QVBoxLayout(view);
  layout->setContentsMargins(8, 6, 8, 6);
  makeBackupButton_ = new QCheckBox(QStringLiteral("Make backup copy on save"), view);
  noPreviewButton_ = new QCheckBox(QStringLiteral("Save preview"), view);
  for (QCheckBox* box : {makeBackupButton_, noPreviewButton_}) {
    box->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(box);
  }
  connect(makeBackupButton_, &QCheckBox::clicked, this, &CAFormatDocFileVC::setMakeBackup);
  connect(noPreviewButton_, &QCheckBox::clicked, this, &CAFormatDocFileVC::setPreview);
  view->resize(view->sizeHint());
  return view;
}

void CAFormatDocFileVC::selectionChanged() {
  if (!document() || !makeBackupButton_) return;
  makeBackupButton_->setChecked(document()->makeBackups());
  noPreviewButton_->setChecked(!document()->noPreview());
}

bool CAFormatDocFileVC::recordStep() {
  CADocument* target = document();
  return target && RecordPaneStep(*target, &undoID_, false, kUndoActionLayout, kUndoDocumentFormat,
                                  target->selectionRange(), kDomainDocument);
}

void CAFormatDocFileVC::setMakeBackup(bool on) {
  if (!recordStep()) return selectionChanged();
  document()->setMakeBackups(on);
}

void CAFormatDocFileVC::setPreview(bool on) {
  if (!recordStep()) return selectionChanged();
  document()->setNoPreview(!on);
}
