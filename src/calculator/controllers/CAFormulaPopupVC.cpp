#include "calculator/controllers/CAFormulaPopupVC.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "calculator/views/caViewNotifications.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLUndoManager.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTreeWidget>

namespace {

// The function table row of an item; 0 for a group.
constexpr int kRowRole = Qt::UserRole;
constexpr const char* kRecentFunctionsGroup = "Recent Functions";

QTreeWidgetItem* AddFunction(QTreeWidgetItem* group, int32_t row) {
  if (row <= 0 || row > kFunctionCount) return nullptr;
  auto* item = new QTreeWidgetItem(group, {QString::fromUtf8(g_functionInfo[row].name)});
  item->setData(0, kRowRole, row);
  item->setToolTip(0, QString::fromUtf8(g_functionInfo[row].description));
  return item;
}

QTreeWidgetItem* AddGroup(QTreeWidget* outline, const QString& name) {
  auto* group = new QTreeWidgetItem(outline, {name});
  QFont font = group->font(0);
  font.setBold(true);
  group->setFont(0, font);
  group->setFlags(Qt::ItemIsEnabled);  // groups are not chosen
  return group;
}

// Return chooses the current function, as a double click does.
class CAFunctionOutline : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;
  std::function<void(QTreeWidgetItem*)> choose;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && choose && currentItem()) {
      choose(currentItem());
      return;
    }
    QTreeWidget::keyPressEvent(event);
  }
};

}  // namespace

bool InsertFunctionInActiveCell(CADocument& document, int32_t row, bool inPopup) {
  const GridPoint active = document.activeCellPoint();
  CACell* cell = document.cellAtGridPointImperative(active);
  if (!cell) return false;
  QString text = cell->formula();
  if (!document.setCellUndo(kUndoFormula, kUndoRangeActiveCell)) return false;
  CATextRange selection = document.activeCellTextSel();
  if (selection.location > uint64_t(text.size()) || selection.length > uint64_t(text.size()) - selection.location) {
    FLAssert(false, "Selection beyond end of cell formula");
    selection = CATextRange{uint64_t(text.size()), 0};
  }
  CATextRange inserted{selection.location, 0};
  const QString call = FunctionNameWithArguments(row, &inserted);
  text.replace(qsizetype(selection.location), qsizetype(selection.length), call);
  cell->setFormulaString(text);
  document.setActiveCellTextSel(inserted);
  if (CADocumentWindow* window = document.controller()) window->redrawCell(active);
  NotificationCenter::defaultCenter().post(
      QLatin1String(kFormulaInsertNotification), &document,
      {{QLatin1String(kFormulaInsertPopupKey), inPopup},
       {QLatin1String(kFormulaInsertRangeKey), QVariant::fromValue(inserted)}});
  if (RecordRecentFunction(row))
    NotificationCenter::defaultCenter().post(QLatin1String(kRecentFunctionsNotification), nullptr);
  return true;
}

CAFormulaPopupVC::CAFormulaPopupVC(CADocument* document, QObject* parent)
    : FLPopoverBaseVC(parent), document_(document) {
  auto* outline = new CAFunctionOutline;
  outline->setObjectName(QStringLiteral("FormulaPopup"));
  outline->setHeaderHidden(true);
  outline->setRootIsDecorated(true);
  outline->choose = [this](QTreeWidgetItem* item) { insertFunction(item); };
  formulaOutline_ = outline;
  QTreeWidgetItem* recent =
      AddGroup(outline, QApplication::translate("CAFormulaPopupVC", kRecentFunctionsGroup));
  for (int32_t i = 0; i < g_recentFunctionCount && i < kMaxRecentFunctions; ++i) AddFunction(recent, g_recentFunctions[i]);
  // Class 0 is the recent list itself.
  for (int32_t k = 1; k < kFunctionClassCount; ++k) {
    const CAFunctionClass& functionClass = g_functionClasses[k];
    QTreeWidgetItem* group = AddGroup(outline, QString::fromUtf8(functionClass.name));
    for (int32_t i = 0; i < functionClass.count; ++i) AddFunction(group, functionClass.members[i]);
  }
  outline->expandItem(recent);
  connect(outline, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { insertFunction(item); });
  if (document_) document_->setFormulaPopupActive(true);
}

void CAFormulaPopupVC::insertFunction(QTreeWidgetItem* item) {
  const int32_t row = item ? item->data(0, kRowRole).toInt() : 0;
  if (row <= 0 || !document_) return;
  InsertFunctionInActiveCell(*document_, row, true);
  closePopovers();
}

void CAFormulaPopupVC::popoverWillClose(const std::optional<FLPopoverCloseEvent>& closingEvent) {
  if (document_) {
    // The cell takes the focus back once the closing is over.
    NotificationQueue::defaultQueue().enqueue(Notification{QLatin1String(kResetTypingNotification), document_, {}},
                                              PostingStyle::WhenIdle);
    document_->setFormulaPopupActive(false);
  }
  FLPopoverBaseVC::popoverWillClose(closingEvent);
}
