#include "calculator/controllers/CAWindowController.h"

#include "calculator/controllers/CAAppController.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/flInterfaceSupport.h"

#include <QFileInfo>
#include <QLabel>

CAWindowController::CAWindowController()
    : document_(std::make_unique<CADocument>()), window_(std::make_unique<QMainWindow>()) {
  archiver_ = std::make_unique<Archiver>(*document_, *this);
  undoManager_.setDelegate(archiver_.get());
  undoManager_.setBufferSize(CAUndoArchiver::kBufferSize);
  undoManager_.setCapacity(CAUndoArchiver::kCapacity);
  document_->setController(this);
  document_->setWindowController(this);
  window_->setObjectName(QStringLiteral("MainWindow"));
  window_->setAttribute(Qt::WA_DeleteOnClose, false);
  window_->setCentralWidget(new QWidget(window_.get()));
  if (CAAppController* app = CAAppController::sharedInstance()) app->installMenus(window_.get());
  watchWindow();
}

CAWindowController::~CAWindowController() {
  document_->prepareToClose();
  window_.reset();
  undoManager_.clearUndo();
}

void CAWindowController::prepareToShow() {
  synchronizeWindowTitle();
  SetStandardWindowSize(window_.get());
}

void CAWindowController::synchronizeWindowTitle() {
  window_->setWindowTitle(titleOverride_.isEmpty() ? displayName() : titleOverride_);
  window_->setWindowFilePath(titleOverride_.isEmpty() ? document_->filePath() : QString());
  window_->setWindowModified(document_->dirty());
}

void CAWindowController::giveAlert(const QString& message, const QString& information) {
  FLAlert::sharedInstance().giveAlertMessage(message, information);
}

QRectF CAWindowController::contentRect() const { return QRectF(window_->geometry()); }

void CAWindowController::setContentRect(const QRectF& rect) {
  if (rect.width() > 0 && rect.height() > 0) window_->setGeometry(rect.toAlignedRect());
}

QByteArray CAWindowController::pdfOfDocument(QSizeF* size) {
  if (size) *size = QSizeF();
  return {};
}

void CAWindowController::windowWillClose() { document_->prepareToClose(); }
