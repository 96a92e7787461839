// The framework's document window controller: one document shown in one top-level window. The
// application delegate reaches documents only through it: it asks a window whether it may close
// (which, for a modified document, asks the user whether to save it) and closes it.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

class FLDocument;
class FLDocumentAppDelegate;
class QWidget;

// How printing went: printed, cancelled by the user, failed, or still running in a panel that
// answers later.
enum class FLPrintReply { Success, Cancelled, Failure, ReplyLater };

// Codes of the "Save changes to %@?" alert's buttons.
enum FLSaveAlertCode : int { kSaveAlertSave = 0, kSaveAlertCancel = 1, kSaveAlertDontSave = 2 };

class FLDocumentWC : public QObject {
  Q_OBJECT

 public:
  FLDocumentWC();
  ~FLDocumentWC() override;

  virtual FLDocument* document() const = 0;
  // The top-level window, owned by the controller; null before it is made.
  virtual QWidget* window() const = 0;

  // Follows the window's closing; a subclass calls it once the window exists.
  void watchWindow();

  // Whether the window may close now. A clean document closes. A modified one shows the save
  // alert on its window and answers NO, or, while `quitting` runs the quit, YES: the alert's end
  // then closes the window and asks the delegate for the next modified one, or cancels the quit.
  virtual bool windowShouldClose(FLDocumentAppDelegate* quitting);
  // The window is about to close: the controller lets go of its document.
  virtual void windowWillClose() {}
  // Calls windowWillClose once, however often the window is told it goes.
  void sendWindowWillClose();
  // Saves the document where it belongs; false when it was not saved (the base cannot save).
  virtual bool saveDocument() { return false; }
  // Prints the document with the given settings, showing the print panel when asked.
  virtual FLPrintReply printWithInfo(const QVariantMap& /*settings*/, bool /*showPanel*/) {
    return FLPrintReply::Failure;
  }
  // Closes the window without asking.
  void closeWindow();

  // The document's file name, or "Untitled".
  QString displayName() const;
  // The window has closed for good; the controller is about to go.
  bool isClosed() const { return closed_; }
  // The save alert while it is up.
  QMessageBox* saveAlert() const { return saveAlert_; }

 signals:
  // The window closed; the owner lets go of the controller on a later turn of the event loop.
  void windowClosed(FLDocumentWC* controller);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void endSaveAlert(int code, QPointer<FLDocumentAppDelegate> quitting, bool wasQuitting);

  bool closeApproved_ = false;
  bool willCloseSent_ = false;
  bool closed_ = false;
  QPointer<QMessageBox> saveAlert_;
};
