#include "framlet/shell/FLDocumentWC.h"

#include "framlet/foundation/flFormatString.h"
#include "framlet/shell/FLDocument.h"
#include "framlet/shell/FLDocumentAppDelegate.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

FLDocumentWC::FLDocumentWC() = default;

// The subclass owns the window and destroys it first, with the filter installed on it.
FLDocumentWC::~FLDocumentWC() = default;

void FLDocumentWC::watchWindow() {
  if (QWidget* shown = window()) shown->installEventFilter(this);
}

QString FLDocumentWC::displayName() const {
  const FLDocument* shown = document();
  if (!shown || shown->filePath().isEmpty()) return QApplication::translate("FLDocumentWC", "Untitled");
  return QFileInfo(shown->filePath()).fileName();
}

bool FLDocumentWC::windowShouldClose(FLDocumentAppDelegate* quitting) {
  const FLDocument* shown = document();
  if (!shown || !shown->dirty()) return true;
  if (saveAlert_) return quitting != nullptr;
  auto* alert = new QMessageBox(window());
  alert->setIcon(QMessageBox::Warning);
  alert->setText(FormatString("Save changes to %@?", displayName()));
  alert->setInformativeText(QApplication::translate("FLDocumentWC", "Your changes will be lost if you don't save them."));
  // Added in code order so that a button's index is its code.
  alert->addButton(QApplication::translate("FLDocumentWC", "Save"), QMessageBox::AcceptRole);
  QAbstractButton* cancel = alert->addButton(QApplication::translate("FLDocumentWC", "Cancel"), QMessageBox::RejectRole);
  alert->addButton(QApplication::translate("FLDocumentWC", "Don't Save"), QMessageBox::DestructiveRole);
  alert->setEscapeButton(cancel);
  alert->setWindowModality(Qt::WindowModal);
  alert->setAttribute(Qt::WA_DeleteOnClose);
  saveAlert_ = alert;
  const QPointer<FLDocumentAppDelegate> delegate(quitting);
  const bool wasQuitting = quitting != nullptr;
  connect(alert, &QMessageBox::finished, this, [this, alert, delegate, wasQuitting] {
    saveAlert_ = nullptr;
    const int code = int(alert->buttons().indexOf(alert->clickedButton()));
    endSaveAlert(code < 0 ? kSaveAlertCancel : code, delegate, wasQuitting);
  });
  alert->open();
  return wasQuitting;
}

void FLDocumentWC::endSaveAlert(int code, QPointer<FLDocumentAppDelegate> quitting, bool wasQuitting) {
  bool close = code == kSaveAlertDontSave;
  if (code == kSaveAlertSave) close = saveDocument();
  if (!close) {
    // Cancel, or a save that failed or was abandoned: nothing is lost and the quit stops.
    if (wasQuitting && quitting) quitting->replyToApplicationShouldTerminate(false);
    return;
  }
  if (wasQuitting && quitting) quitting->noteClosingDuringQuit(this);
  closeWindow();
  if (wasQuitting && quitting) quitting->closeNextDirtyWindow();
}

void FLDocumentWC::sendWindowWillClose() {
  if (willCloseSent_) return;
  willCloseSent_ = true;
  windowWillClose();
}

void FLDocumentWC::closeWindow() {
  closeApproved_ = true;
  if (QWidget* shown = window()) shown->close();
}

bool FLDocumentWC::eventFilter(QObject* watched, QEvent* event) {
  if (watched != window() || event->type() != QEvent::Close) return QObject::eventFilter(watched, event);
  if (!closeApproved_ && !windowShouldClose(nullptr)) {
    event->ignore();
    return true;
  }
  closeApproved_ = true;
  closed_ = true;
  sendWindowWillClose();
  emit windowClosed(this);
  return false;
}
