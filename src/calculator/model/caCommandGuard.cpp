#include "calculator/model/caCommandGuard.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLUndoManager.h"

#include <QMouseEvent>
#include <QThread>

#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

// Working room for a rollback beyond what the failed command gives back (a cell's text decoded,
// rows made again): held while the outermost command runs, so that the rollback never waits on
// memory the command used up. Touched, so that the process holds it and not only its addresses.
constexpr size_t kRollbackReserve = size_t(256) << 10;

int g_guardDepth = 0;
// The event loop level the innermost guard began in.
int g_guardLoopLevel = -1;

int LoopLevel() { return QThread::currentThread()->loopLevel(); }
// Memory alerts given so far: a command inside which a part failed (and said so) fails as a whole.
uint64_t g_memoryFailures = 0;

// The room kept for the outermost command's rollback, block by block.
std::vector<std::unique_ptr<char[]>> g_rollbackRoom;

void LetGoOfRollbackRoom() noexcept { g_rollbackRoom.clear(); }

class GuardDepth {
 public:
  GuardDepth() : outerLoopLevel_(std::exchange(g_guardLoopLevel, LoopLevel())) { ++g_guardDepth; }
  ~GuardDepth() {
    --g_guardDepth;
    g_guardLoopLevel = outerLoopLevel_;
  }
  GuardDepth(const GuardDepth&) = delete;
  GuardDepth& operator=(const GuardDepth&) = delete;

 private:
  int outerLoopLevel_;
};

}  // namespace

void KeepRollbackRoom(size_t bytes) {
  if (g_guardDepth == 0 || bytes == 0) return;
  g_rollbackRoom.reserve(g_rollbackRoom.size() + 1);
  auto block = std::make_unique_for_overwrite<char[]>(bytes);
  // Touched, so that the process holds it and not only its addresses.
  std::memset(block.get(), 0, bytes);
  g_rollbackRoom.push_back(std::move(block));
}

bool CommandGuardRunning() { return g_guardDepth > 0 && LoopLevel() <= g_guardLoopLevel; }

bool IsCommandEvent(const QEvent& event) {
  switch (event.type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Drop:
    case QEvent::ContextMenu:
      return true;
    case QEvent::MouseMove:
      // A drag that resizes or moves as it goes.
      return static_cast<const QMouseEvent&>(event).buttons() != Qt::NoButton;
    default:
      return false;
  }
}

namespace {

// The memory alert that could not be shown when it was due (showing it took memory that was not
// there), and the document it is about: it is shown at the next chance. Noting it takes no memory.
CADocument* g_owedAlertDocument = nullptr;
std::weak_ptr<const char> g_owedAlertAlive;
bool g_alertOwed = false;

// Gives the alert; false, noting nothing, when that failed.
bool ShowCommandMemoryAlert(CADocument* document) noexcept {
  try {
    if (!document) {
      FLAlert::sharedInstance().giveAlertMessage(CommandMemoryMessage(), QString());
    } else if (CADocumentWindow* window = document->controller()) {
      window->giveAlert(CommandMemoryMessage(), CommandMemoryInformation());
    }
    return true;
  } catch (const std::exception& exception) {
    LogException(exception, CommandMemoryMessage());
    return false;
  }
}

}  // namespace

QString CommandMemoryMessage() noexcept {
  // Made where the program is compiled: handing it over takes no memory.
  static const QString text = QStringLiteral("There isn't enough memory to finish this command.");
  return text;
}

QString CommandMemoryInformation() noexcept {
  static const QString text = QStringLiteral("The document is as it was before the command.");
  return text;
}

void GiveCommandMemoryAlert(CADocument& document) {
  ++g_memoryFailures;
  if (ShowCommandMemoryAlert(&document)) return;
  g_owedAlertDocument = &document;
  g_owedAlertAlive = document.lifeToken();
  g_alertOwed = true;
}

void GiveMemoryAlertWithoutDocument() {
  if (ShowCommandMemoryAlert(nullptr)) return;
  g_owedAlertDocument = nullptr;
  g_owedAlertAlive.reset();
  g_alertOwed = true;
}

void GiveOwedMemoryAlert() {
  // Not inside a command: its own failure, if any, says it.
  if (!g_alertOwed || g_guardDepth > 0) return;
  g_alertOwed = false;
  CADocument* document = g_owedAlertDocument;
  // The document closed meanwhile: the alert is the application's.
  if (document && g_owedAlertAlive.expired()) document = nullptr;
  if (!ShowCommandMemoryAlert(document)) {
    g_owedAlertDocument = document;
    g_alertOwed = true;
  }
}

bool RunGuardedEvent(CADocument& document, CACommandRef deliver, CACommandRef onFailure) {
  if (CommandGuardRunning()) {
    try {
      deliver();
      return true;
    } catch (const std::bad_alloc&) {
      onFailure();
      throw;
    }
  }
  if (RunGuardedCommand(document, deliver)) return true;
  onFailure();
  return false;
}

bool RunGuardedCommand(CADocument& document, CACommandRef command, bool stepRecorded) {
  FLUndoManager* manager = document.undoManager();
  const GuardDepth depth;
  // Where the command found the selection: a command may move it before it records its step.
  const GridRange selection = document.selectionRange();
  const GridPoint active = document.activeCellPoint();
  std::unique_ptr<char[]> reserve;
  bool begun = false;
  try {
    if (manager) {
      manager->beginCommand();
      begun = true;
    }
    if (g_guardDepth == 1) {
      reserve = std::make_unique_for_overwrite<char[]>(kRollbackReserve);
      std::memset(reserve.get(), 0, kRollbackReserve);
    }
  } catch (const std::bad_alloc& exception) {
    // Not begun: nothing has changed but the step the command's first part recorded.
    LogException(exception, CommandMemoryMessage());
    if (begun) manager->endCommand();
    if (manager && stepRecorded) manager->revertStepInProgress();
    GiveCommandMemoryAlert(document);
    return false;
  }
  const uint64_t failures = g_memoryFailures;
  // The command may close the document's window, and the document goes with it.
  const std::weak_ptr<const char> alive = document.lifeToken();
  bool told = false;
  try {
    command();
    if (alive.expired()) return true;
    // A part that failed rolled itself back and said so; the rest of the command goes with it.
    told = g_memoryFailures != failures;
    if (!told) {
      if (g_guardDepth == 1) LetGoOfRollbackRoom();
      if (manager) {
        manager->endCommand();
        // Its last part done, the step it ends is part of any command around this one.
        if (stepRecorded) manager->noteStepExtended();
      }
      return true;
    }
  } catch (const std::bad_alloc& exception) {
    LogException(exception, CommandMemoryMessage());
    if (alive.expired()) return false;
    // A part that failed and said so may have let the failure go on too (a text view giving its
    // text back after Qt failed): one alert.
    told = g_memoryFailures != failures;
  }
  reserve.reset();
  LetGoOfRollbackRoom();
  // Every change of the cells is recorded first: a command that recorded nothing changed none,
  // and the values stay as they were (a recalculation it cut short left its cells marked).
  const bool changed = !manager || stepRecorded || manager->commandRecorded() || manager->commandExtendedStep();
  if (manager) manager->rollBackCommand(stepRecorded || (!manager->commandRecorded() && manager->commandExtendedStep()));
  try {
    document.setSelectionRange(selection);
    document.setActiveCellPoint(active);
    if (changed) {
      document.invalidateAfterCellEdit(-1);
      // The formulas read the cells as they are again.
      document.evaluate();
    } else {
      document.notifyOfSelectionChange();
    }
  } catch (const std::exception& exception) {
    LogException(exception, CommandMemoryMessage());
  }
  if (!told) GiveCommandMemoryAlert(document);
  return false;
}
