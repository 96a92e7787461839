// The document side of the size panes, apart from the measure code: the model's headers
// define their own point constant.
#include "calculator/controllers/caSizePanes.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/views/caViewNotifications.h"
#include "framlet/shell/FLUndoManager.h"
#include "platform/NotificationCenter.h"

#include <cmath>

int64_t WidthForDigits(const CADocument& document, int64_t digits) {
  return std::llround(document.digitWidth() * double(digits) * double(kEmuPerPoint));
}

bool RecordPaneStep(CADocument& document, uint32_t* undoID, bool fold, uint32_t action, int32_t descriptor,
                    const GridRange& range, int32_t domain) {
  if (document.isLocked()) return false;
  FLUndoManager* manager = document.undoManager();
  if (!manager) return true;  // a document without a window keeps no history
  if (!fold || !manager->isUndoIDActive(*undoID)) *undoID = manager->newUndoID();
  return document.setUndo(*undoID, action, descriptor, range, domain);
}

bool RecordDocumentPaneStep(CADocument& document, uint32_t* undoID, const QObject** undoControl,
                            const QObject* control, uint32_t action, int32_t descriptor) {
  const bool fold = control && control == *undoControl;
  *undoControl = control;
  return RecordPaneStep(document, undoID, fold, action, descriptor, document.selectionRange(), kDomainDocument);
}

void RowHeightsChanged(CADocument& document, int64_t first, int64_t last) {
  if (first < 0) {
    document.invalidateAllLongText();
  } else {
    for (const std::unique_ptr<CARow>& row : document.rows())
      if (row->gridY() >= first && row->gridY() <= last) document.invalidatelLongTextForRow(row->gridY());
  }
  document.layOutLongText();
}

void SheetLinesChanged(CADocument& document) {
  // Widths, heights and padding move the texts' overflow, never a value.
  document.layOutLongText();
  document.pageBreaksChanged();
  NotificationCenter::defaultCenter().post(QLatin1String(kLabelsNotification), &document);
}
