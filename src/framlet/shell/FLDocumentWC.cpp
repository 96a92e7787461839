#include "framlet/shell/FLDocumentWC.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFormatString.h"
#include "framlet/foundation/flStringExtensions.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLAlertController.h"
#include "framlet/shell/FLDocument.h"
#include "framlet/shell/FLDocumentAppDelegate.h"
#include "framlet/shell/FLDocumentSaveFormatVC.h"
#include "framlet/shell/FLSavePanel.h"
#include "framlet/shell/FLWindowTabContainer.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "framlet/shell/flPanelFolders.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/BundleInfo.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QWidget>

namespace {

QStringList g_saveTypes;
qsizetype g_lastFormatIndex = 0;

QString Tr(const char* text) { return QApplication::translate("FLDocumentWC", text); }

bool IsHtml(const QString& extension) { return extension.compare(QLatin1String("html"), Qt::CaseInsensitive) == 0; }

// Save writes over the document's own file only when it is of a kind the save panel offers: a
// file of a kind only read (a workbook, a Pockwell file) gets a name it can be written under.
bool SavesInPlace(const FLDocumentWC& controller) {
  const FLDocument* shown = controller.document();
  if (!shown || shown->filePath().isEmpty() || controller.forceSaveAs()) return false;
  return g_saveTypes.isEmpty() || controller.canSaveToFormat(pathExtension(shown->filePath()));
}

}  // namespace

FLDocumentWC::FLDocumentWC() = default;

// The subclass owns the window and destroys it first, with the filter installed on it.
FLDocumentWC::~FLDocumentWC() = default;

void FLDocumentWC::setSaveTypes(const QStringList& types) { g_saveTypes = types; }
const QStringList& FLDocumentWC::saveTypes() { return g_saveTypes; }
qsizetype FLDocumentWC::lastFormatIndex() { return g_lastFormatIndex; }
void FLDocumentWC::setLastFormatIndex(qsizetype index) { g_lastFormatIndex = index; }

void FLDocumentWC::watchWindow() {
  if (QWidget* shown = window()) shown->installEventFilter(this);
}

QMessageBox* FLDocumentWC::saveAlert() const { return saveAlert_.data(); }

QFileDialog* FLDocumentWC::savePanel() const { return savePanel_.data(); }

std::unique_ptr<FLDocumentSaveFormatVC> FLDocumentWC::saveFormatVC() { return nullptr; }

const QString& FLDocumentWC::filePath() const {
  static const QString none;
  const FLDocument* shown = document();
  return shown ? shown->filePath() : none;
}

QString FLDocumentWC::displayName() const {
  const FLDocument* shown = document();
  if (!shown) return Tr(kUntitledWindowName);
  if (shown->filePath().isEmpty()) return shown->untitledWindowName();
  return QFileInfo(shown->filePath()).fileName();
}

bool FLDocumentWC::canSaveToFormat(const QString& extension) const {
  return g_saveTypes.contains(extension, Qt::CaseInsensitive);
}

QString FLDocumentWC::defaultFileName() const { return nameForSave() + QLatin1String(".txt"); }

QString FLDocumentWC::untitledSaveProposal() const {
  return window() ? window()->windowTitle().remove(QLatin1String("[*]")) : nameForSave();
}

QString FLDocumentWC::secondarySaveMessage() const { return Tr(kSecondarySaveMessage); }

QString FLDocumentWC::printJobTitle() const {
  return FormatString(kPrintJobTitleFormat, BundleName(), stringByReplacingExtension(nameForSave(), QString()));
}

// ---- Closing -------------------------------------------------------------------------------

bool FLDocumentWC::windowShouldClose(FLDocumentAppDelegate* quitting) {
  FLDocument* shown = document();
  // A clean document lets go of the window in the tear-down that follows.
  if (!shown || !shown->dirty()) return true;
  // A question already up stays the one to answer; a quit is refused rather than left waiting on
  // an alert or panel that would not tell it the outcome.
  if (saveAlert_ || savePanel_) return false;
  quitDelegate_ = quitting;
  showSaveAlert(quitting ? kSaveContextQuitting : kSaveContextClosing);
  return quitting != nullptr;
}

void FLDocumentWC::showSaveAlert(int context) {
  QWidget* shown = window();
  if (shown && (!shown->isActiveWindow() || !shown->isVisible())) MakeKeyAndOrderFront(shown);
  saveAlert_ = FLAlert::sharedInstance().startAlertMessage(
      FormatString(kSaveChangesFormat, nameForSave()), secondarySaveMessage(),
      {Tr("Save"), Tr("Cancel"), Tr("Don't Save")}, false, shown,
      [this, context](FLAlertController*, int code) { saveAlertEnded(code, context); });
}

void FLDocumentWC::replyNoToQuit(int context) {
  if (context == kSaveContextQuitting && quitDelegate_) quitDelegate_->replyToApplicationShouldTerminate(false);
  quitDelegate_ = nullptr;
}

void FLDocumentWC::closeAfterSave(int context) {
  if (context != kSaveContextClosing && context != kSaveContextQuitting) return;
  const QPointer<FLDocumentAppDelegate> delegate = quitDelegate_;
  if (context == kSaveContextQuitting) {
    if (delegate) {
      delegate->noteClosingDuringQuit(this);
    } else {
      FLAssert(false, "Quit will fail with no app delegate");
    }
  }
  closeWindow();
  if (context == kSaveContextQuitting && delegate) delegate->closeNextDirtyWindow();
}

void FLDocumentWC::saveAlertEnded(int code, int context) {
  saveAlert_ = nullptr;
  FLDocument* shown = document();
  if (code == kSaveAlertSave) {
    if (!shown || !SavesInPlace(*this)) {
      showSavePanel(context, false);
      return;
    }
    if (shown->fileChangedSinceNoted()) {
      askToSaveOverChangedFile(context);
      return;
    }
    if (!saveDocument()) {
      replyNoToQuit(context);
      return;
    }
  } else if (code != kSaveAlertDontSave) {
    // Cancel: nothing is lost and a quit stops.
    replyNoToQuit(context);
    return;
  }
  closeAfterSave(context);
}

bool FLDocumentWC::saveDocument() {
  FLDocument* shown = document();
  if (!shown) return false;
  if (!SavesInPlace(*this)) {
    showSavePanel(kSaveContextNewName, false);
    return false;
  }
  if (shown->fileChangedSinceNoted()) {
    askToSaveOverChangedFile(kSaveContextNewName);
    return false;
  }
  shown->prepareToSave(true);
  return shown->save();
}

void FLDocumentWC::askToSaveOverChangedFile(int context) {
  FLDocument* shown = document();
  if (!shown || saveAlert_) return;
  QWidget* host = window();
  if (host && (!host->isActiveWindow() || !host->isVisible())) MakeKeyAndOrderFront(host);
  // The question and the answers of a save over an existing item, as the save panel asks it.
  const QString name = QFileInfo(shown->filePath()).fileName();
  saveAlert_ = FLAlert::sharedInstance().startAlertMessage(
      FormatString(kChangedElsewhereFormat, name),
      ReplaceQuestionInformation(name, shown->keepsBackupWhenSavingTo(shown->filePath())),
      {Tr("Save Anyway"), Tr("Cancel")}, false, host, [this, context](FLAlertController*, int code) {
        saveAlert_ = nullptr;
        FLDocument* saved = document();
        if (code != 0 || !saved) {
          replyNoToQuit(context);
          return;
        }
        saved->prepareToSave(true);
        if (!saved->save()) {
          replyNoToQuit(context);
          return;
        }
        closeAfterSave(context);
      });
}

// ---- The save panel -------------------------------------------------------------------------

void FLDocumentWC::showSavePanel(int context, bool forceOriginalFolder) {
  FLDocument* shown = document();
  if (!shown || savePanel_) {
    // A panel already up answers for itself; a quit waiting on this window must not hang.
    if (!shown) replyNoToQuit(context);
    return;
  }
  auto* panel = new FLSavePanel(window(), Tr(kSavePanelMessage));
  panel->setLabelText(QFileDialog::LookIn, Tr(kSavePanelMessage));
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->setWindowModality(Qt::WindowModal);
  savePanel_ = panel;

  // A document without a file may still know where it belongs (a recovered copy of a saved one).
  QString proposed = shown->filePath();
  bool proposedName = false;
  if (proposed.isEmpty()) {
    const QFileInfo suggested(untitledSaveProposal());
    proposedName = !suggested.isAbsolute() || !QFileInfo(suggested.absolutePath()).isDir();
    proposed = proposedName ? suggested.fileName() : suggested.absoluteFilePath();
  }

  formatVC_ = saveFormatVC();
  if (formatVC_) {
    formatVC_->setOriginalPath(QFileInfo(proposedName ? shown->filePath() : proposed).absolutePath());
    formatVC_->setSaveTypes(g_saveTypes);
    formatVC_->setFormatIndex(g_lastFormatIndex);
    formatVC_->setSavePanel(panel);
    if (forceOriginalFolder) formatVC_->goToOriginalPath();
  } else if (!g_saveTypes.isEmpty()) {
    QStringList filters;
    for (const QString& type : g_saveTypes) filters.append(QStringLiteral("%1 (*.%1)").arg(type));
    panel->setNameFilters(filters);
  }

  if (proposedName) {
    const QString title = proposed;
    if (!formatVC_ || g_saveTypes.isEmpty()) {
      proposed = defaultFileName();
    } else {
      const QString extension =
          preferredExtension().isEmpty() ? g_saveTypes.value(g_lastFormatIndex) : preferredExtension();
      proposed = stringByReplacingExtension(title, extension);
    }
    panel->setDirectory(PanelStartFolder());
  } else if (!forceOriginalFolder) {
    panel->setDirectory(QFileInfo(proposed).absolutePath());
  }
  QString extension = pathExtension(proposed);
  if (!g_saveTypes.isEmpty()) {
    if (context != kSaveContextCopy && canSaveToFormat(extension)) {
      if (formatVC_) formatVC_->ensureExtensionAllowed(extension);
    } else {
      extension = g_saveTypes.value(g_lastFormatIndex);
      proposed = stringByReplacingExtension(proposed, extension);
    }
  }
  if (formatVC_) formatVC_->setExtension(extension);
  // Not selectFile, which would open a package folder of that name.
  panel->setFileNameText(QFileInfo(proposed).fileName());

  panel->setTargetResolver([this](const QString& path) {
    if (!formatVC_) return path;
    const QFileInfo info(path);
    return QFileInfo(info.absolutePath() + QLatin1Char('/') + formatVC_->panelUserEnteredFilename(info.fileName()))
        .absoluteFilePath();
  });
  panel->setKeepsBackup([this](const QString& target) {
    const FLDocument* saved = document();
    return saved && saved->keepsBackupWhenSavingTo(target);
  });
  // Two windows on one file would overwrite each other's saves.
  panel->setOpenElsewhere([this](const QString& target) {
    const FLDocumentAppDelegate* delegate = FLDocumentAppDelegate::sharedDelegate();
    if (!delegate) return false;
    for (const FLDocumentWC* other : delegate->controllers()) {
      if (other != this && other->document() && IsSameFile(other->document()->filePath(), target)) return true;
    }
    return false;
  });
  savePanelContext_ = context;
  panel->setSaver([this](const QString& path) { return savePanelEnded(path, savePanelContext_); });
  connect(panel, &QDialog::rejected, this, [this] { savePanelEnded(QString(), savePanelContext_); });
  panel->open();
}

bool FLDocumentWC::savePanelEnded(const QString& path, int context) {
  FLDocument* shown = document();
  if (path.isEmpty() || !shown) {
    savePanel_ = nullptr;
    formatVC_.reset();
    replyNoToQuit(context);
    return true;
  }
  if (formatVC_) {
    g_lastFormatIndex = formatVC_->formatIndex();
    formatVC_->saveOtherOptions(shown);
  }
  NotePanelFolder(QFileInfo(path).absolutePath());
  // A page for other programs is written as a copy; the document keeps its own file.
  const bool asCopy = context == kSaveContextCopy || IsHtml(QFileInfo(path).suffix());
  shown->prepareToSave(false);
  if (!shown->saveTo(path, false, asCopy)) {
    // The alert has said why. The panel stays with the name as typed, so that another folder or
    // name is a click away; a quit waiting on it goes no further, and the panel then only saves.
    replyNoToQuit(context);
    if (savePanel_) {
      if (context == kSaveContextQuitting) savePanelContext_ = kSaveContextNewName;
      return false;
    }
    formatVC_.reset();
    return true;
  }
  savePanel_ = nullptr;
  const std::unique_ptr<FLDocumentSaveFormatVC> accessory = std::move(formatVC_);
  // A copy is not a save: what it leaves out (formulas, exact values) is still only in the
  // window, so the window stays and a quit waiting on it stops.
  if (asCopy || shown->forceSaveCopy()) {
    replyNoToQuit(context);
    return true;
  }
  // The file is saved whatever follows: a window that cannot close for memory stays open, saved,
  // and a quit waiting on it stops.
  try {
    closeAfterSave(context);
  } catch (const std::bad_alloc& exception) {
    LogException(exception, QStringLiteral("Closing after the save"));
    replyNoToQuit(context);
  }
  return true;
}

// ---- Revert ---------------------------------------------------------------------------------

void FLDocumentWC::showRevertAlert() {
  FLAlert::sharedInstance().startAlertMessage(FormatString(kRevertFormat, nameForSave()), Tr(kRevertInformation),
                                              {Tr("Revert"), Tr("Cancel")}, false, window(),
                                              [this](FLAlertController*, int code) { revertAlertEnded(code); });
}

void FLDocumentWC::revertAlertEnded(int code) {
  if (code == 0 && document()) document()->revert();
}

// ---- Printing -------------------------------------------------------------------------------

bool FLDocumentWC::printToPrinter(QPrinter& printer) {
  QWidget* view = printView();
  if (!view) {
    FLAssert(false, "No printing view created");
    return false;
  }
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  const double scale = std::min(page.width() / std::max(1, view->width()), page.height() / std::max(1, view->height()));
  painter.scale(std::min(scale, printer.resolution() / 96.0), std::min(scale, printer.resolution() / 96.0));
  view->render(&painter);
  return painter.end();
}

FLPrintReply FLDocumentWC::printWithInfo(const QVariantMap& settings, bool showPanel) {
  ClosePanels();
  auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
  printer->setDocName(printJobTitle());
  if (settings.contains(QStringLiteral("copies"))) printer->setCopyCount(settings.value(QStringLiteral("copies")).toInt());
  if (settings.contains(QStringLiteral("outputFile"))) {
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(settings.value(QStringLiteral("outputFile")).toString());
  }
  // Without a view there is nothing to print: say so before the user sets up a print.
  if (!printView()) {
    FLAssert(false, "No printing view created");
    printOperationWasRun();
    return FLPrintReply::Failure;
  }
  modifyPrintInfo(*printer);
  if (!showPanel) {
    const bool printed = printToPrinter(*printer);
    printOperationWasRun();
    return printed ? FLPrintReply::Success : FLPrintReply::Failure;
  }
  auto* panel = new QPrintDialog(printer.get(), window());
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->setWindowModality(Qt::WindowModal);
  if (QWidget* options = printOptionsVC()) panel->setOptionTabs({options});
  connect(panel, &QDialog::finished, this, [this, printer](int result) {
    if (result == QDialog::Accepted) printToPrinter(*printer);
    printOperationWasRun();
  });
  panel->open();
  return FLPrintReply::ReplyLater;
}

// ---- Tear-down ------------------------------------------------------------------------------

void FLDocumentWC::windowWillClose() {
  if (QWidget* shown = window()) {
    if (QWidget* focus = shown->focusWidget()) focus->clearFocus();
  }
  if (FLDocument* shown = document()) {
    shown->prepareToClose();
    shown->setWindowController(nullptr);
  }
  ClosePanels();
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
  FLWindowTabContainer::windowClosed(window());
  sendWindowWillClose();
  emit windowClosed(this);
  return false;
}
