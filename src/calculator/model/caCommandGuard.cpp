#include "calculator/model/caCommandGuard.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLUndoManager.h"

#include <new>

bool RunGuardedCommand(CADocument& document, const std::function<void()>& command, bool stepRecorded) {
  FLUndoManager* manager = document.undoManager();
  const uint32_t undoID = manager ? manager->currentUndoID() : 0;
  const int32_t entry = manager ? manager->currentEntry() : -1;
  const uint32_t inUse = manager ? manager->inUseCount() : 0;
  try {
    command();
    return true;
  } catch (const std::bad_alloc& exception) {
    LogException(exception, QLatin1String(kCommandMemoryMessage));
  }
  // The step recorded the document as it was before the command changed anything.
  if (manager && (stepRecorded || manager->currentUndoID() != undoID || manager->currentEntry() != entry ||
                  manager->inUseCount() != inUse)) {
    manager->undo();
    manager->killRedo();
  }
  document.invalidateAfterCellEdit(-1);
  if (CADocumentWindow* window = document.controller())
    window->giveAlert(QLatin1String(kCommandMemoryMessage), QLatin1String(kCommandMemoryInformation));
  return false;
}
