// The window's side of undo: the Edit menu's Undo and Redo, and what the window does around each
// step the document's archiver records, replays or drops.
#include "calculator/controllers/CAWindowController.h"

#include "calculator/views/CACellView.h"
#include "framlet/foundation/FLPasswordManager.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLPasswordDialog.h"

#include <QTimer>

namespace {

// The actions whose step archives a range and so needs a context.
bool NeedsUndoContext(uint32_t action) {
  return action == kUndoActionCells || action == kUndoActionColumns || action == kUndoActionFormats ||
         action == kUndoActionRows;
}

// Callers that once passed a format domain (0-4) where the context belongs.
constexpr uintptr_t kSmallestContextAddress = 5;

}  // namespace

bool CAWindowController::Archiver::setUndoAction(uint32_t action, uint32_t descriptor, void* data,
                                                 const void* context) {
  // A step the Edit menu could not name is refused before the document is archived or dirtied.
  if (descriptor >= uint32_t(kUndoDescriptorCount)) {
    LogAssert("Bad undo descriptor", __func__, __FILE__, __LINE__);
    return false;
  }
  if (NeedsUndoContext(action) && context && reinterpret_cast<uintptr_t>(context) < kSmallestContextAddress) {
    LogAssert("Property domain instead of undo context", __func__, __FILE__, __LINE__);
    return false;
  }
  // A locked document (read-only, protected and not yet opened, or a recovered autosave copy)
  // refuses every edit: with no step recorded, typing, pasting and formatting do not start.
  if (document().isLocked()) return false;
  return CAUndoArchiver::setUndoAction(action, descriptor, data, context);
}

// A password step brings back the old check value and hint; a keychain entry that no longer
// fits the document's password goes.
bool CAWindowController::Archiver::undoOrRedo(uint32_t* action, uint32_t descriptor, void* data, bool isRedo) {
  if (!CAUndoArchiver::undoOrRedo(action, descriptor, data, isRedo)) return false;
  FLPasswordManager& passwords = FLPasswordManager::sharedInstance();
  if (descriptor == kUndoPassword && passwords.useKeychain()) {
    const QString service = QLatin1String(kCAPasswordService);
    const QString path = document().filePath();
    const QString stored = passwords.passwordForService(service, path);
    if (!stored.isEmpty() && !PasswordMatches(stored, document().password(), kCADocumentPasswordSeed))
      passwords.storePassword(QString(), service, path, QLatin1String(kCAPasswordLabel),
                              QLatin1String(kCAPasswordDescription), QString());
  }
  return true;
}

void CAWindowController::Archiver::stepRecorded() {
  owner_.everEdited_ = true;
  if (owner_.window_) owner_.window_->setWindowModified(true);
  // The stack counts the step once this returns.
  QTimer::singleShot(0, &owner_, [owner = &owner_] { owner->updateUndoTool(); });
}

void CAWindowController::Archiver::stepReplayed(bool) {
  CAWindowController& owner = owner_;
  if (owner.window_) owner.window_->setWindowModified(document().dirty());
  if (owner.scrollView_) owner.scrollView_->update();
  if (CACellView* view = owner.cellView()) {
    // Row heights and column widths may have come back with the step.
    view->invalidateGeometry();
    view->setContentFrame();
    view->update();
    view->ensureSelectionVisible();
  }
  owner.updateUndoTool();
  // Told once with what the step restored, when the step is done.
  document().notifyOfSelectionChange();
}

void CAWindowController::Archiver::stepPopped() {
  if (owner_.window_) owner_.window_->setWindowModified(document().dirty());
  QTimer::singleShot(0, &owner_, [owner = &owner_] { owner->updateUndoTool(); });
}

// A replay that runs out of memory leaves the document as it was and the step where it was, to
// be tried again; the guard tells the user.
void CAWindowController::undoEdit() {
  runCommand([this] {
    commitTyping();
    undoManager_.undo();
    updateUndoTool();
    jumpToSelection();
  });
}

void CAWindowController::redoEdit() {
  runCommand([this] {
    commitTyping();
    undoManager_.redo();
    updateUndoTool();
    jumpToSelection();
  });
}
