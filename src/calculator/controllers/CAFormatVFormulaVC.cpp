#include "calculator/controllers/CAFormatVFormulaVC.h"

#include "calculator/controllers/caFunctionGroups.h"
#include "calculator/controllers/caHelpTopics.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flHelpHook.h"
#include "framlet/shell/FLPopoverBaseVC.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>

namespace {

// An item's number (see FunctionGroupItem).
constexpr int kItemRole = Qt::UserRole;
// The help's chapter of class k is this plus k.

// The open state of each group, by name, shared by every browser and both groupings.
QVariantMap& OpenMap() {
  static QVariantMap map = UserDefaults::standardUserDefaults().dictionaryForKey(QLatin1String(kFunctionOpenMapKey));
  return map;
}

bool IsFunctionRow(int32_t row) { return row >= 1 && row <= kFunctionCount; }

// Return chooses the current function, as a double click does.
class CAFunctionOutline : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;
  std::function<void()> choose;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && choose) {
      choose();
      return;
    }
    QTreeWidget::keyPressEvent(event);
  }
};

}  // namespace

// ---- Groups -----------------------------------------------------------------------------------

int32_t FunctionGroupCount(bool alphabetical) {
  return alphabetical ? int32_t(AlphabeticalFunctionGroups().size()) : kFunctionClassCount;
}

QString FunctionGroupName(int32_t group, bool alphabetical) {
  if (group < 0 || group >= FunctionGroupCount(alphabetical)) return QString();
  if (alphabetical) return AlphabeticalFunctionGroups()[size_t(group)].name;
  return QString::fromUtf8(g_functionClasses[group].name);
}

std::vector<int32_t> FunctionGroupChildren(int32_t group, bool alphabetical) {
  std::vector<int32_t> rows;
  if (group == 0) {
    for (int32_t i = 0; i < g_recentFunctionCount && i < kMaxRecentFunctions; ++i) rows.push_back(g_recentFunctions[i]);
  } else if (group > 0 && group < FunctionGroupCount(alphabetical)) {
    if (alphabetical) {
      const CAFunctionGroup& letter = AlphabeticalFunctionGroups()[size_t(group)];
      for (int32_t i = 0; i < letter.count; ++i) rows.push_back(letter.first + i);
    } else {
      const CAFunctionClass& functionClass = g_functionClasses[group];
      rows.assign(functionClass.members, functionClass.members + functionClass.count);
    }
  }
  std::erase_if(rows, [](int32_t row) { return !IsFunctionRow(row); });
  return rows;
}

QString FunctionSyntax(int32_t row) {
  if (!IsFunctionRow(row)) return QString();
  const CAFunctionInfo& info = g_functionInfo[row];
  return QStringLiteral("%1(%2)").arg(QString::fromUtf8(info.name),
                                      QString::fromUtf8(info.argumentTemplate ? info.argumentTemplate : ""));
}

bool InsertFunctionInActiveCell(CADocument& document, int32_t row, bool inPopup) {
  if (!IsFunctionRow(row)) return false;
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

// ---- The browser ------------------------------------------------------------------------------

CAFormatVFormulaVC::~CAFormatVFormulaVC() = default;

QTreeWidget* CAFormatVFormulaVC::makeOutline(QWidget* parent) {
  auto* outline = new CAFunctionOutline(parent);
  outline->setObjectName(QStringLiteral("formulaOutline"));
  outline->setHeaderHidden(true);
  outline->setRootIsDecorated(true);
  outline->setUniformRowHeights(true);
  outline->choose = [this] { insertFunction(); };
  formulaOutline_ = outline;
  connect(outline, &QTreeWidget::itemDoubleClicked, this, [this] { insertFunction(); });
  connect(outline, &QTreeWidget::itemSelectionChanged, this, &CAFormatVFormulaVC::outlineSelectionDidChange);
  connect(outline, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { groupDidToggle(item, true); });
  connect(outline, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) { groupDidToggle(item, false); });
  return outline;
}

QWidget* CAFormatVFormulaVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Functions"));
  auto* layout = new QVBoxLayout(view);
  layout->setContentsMargins(8, 6, 8, 6);
  layout->setSpacing(4);
  QTreeWidget* outline = makeOutline(view);
  outline->setMinimumHeight(180);
  layout->addWidget(outline);
  syntaxField_ = new QLabel(view);
  syntaxField_->setObjectName(QStringLiteral("syntaxField"));
  syntaxField_->setWordWrap(true);
  syntaxField_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  helpField_ = new QLabel(view);
  helpField_->setObjectName(QStringLiteral("helpField"));
  helpField_->setWordWrap(true);
  helpField_->setMinimumHeight(helpField_->fontMetrics().lineSpacing() * 3);
  helpField_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(syntaxField_);
  layout->addWidget(helpField_);
  auto* buttons = new QHBoxLayout;
  alphabeticalButton_ = new QToolButton(view);
  alphabeticalButton_->setObjectName(QStringLiteral("alphabeticalButton"));
  alphabeticalButton_->setText(QStringLiteral("A-Z"));
  alphabeticalButton_->setToolTip(QStringLiteral("Group by initial letter"));
  alphabeticalButton_->setCheckable(true);
  insertButton_ = new QToolButton(view);
  insertButton_->setObjectName(QStringLiteral("insertButton"));
  insertButton_->setText(QStringLiteral("Insert"));
  helpButton_ = new QToolButton(view);
  helpButton_->setObjectName(QStringLiteral("helpButton"));
  helpButton_->setText(QStringLiteral("Help"));
  for (QToolButton* button : {alphabeticalButton_, insertButton_, helpButton_}) {
    button->setFocusPolicy(Qt::NoFocus);
    buttons->addWidget(button);
  }
  buttons->insertStretch(1);
  layout->addLayout(buttons);
  connect(alphabeticalButton_, &QToolButton::toggled, this, &CAFormatVFormulaVC::toggleAlphabetical);
  connect(insertButton_, &QToolButton::clicked, this, [this] { insertFunction(); });
  connect(helpButton_, &QToolButton::clicked, this, &CAFormatVFormulaVC::functionHelp);
  view->resize(view->sizeHint());
  return view;
}

void CAFormatVFormulaVC::viewDidLoad() {
  outlineSelectionDidChange();
  showAlphabetical_ = UserDefaults::standardUserDefaults().boolForKey(QLatin1String(kAlphaFunctionsKey));
  if (AlphabeticalFunctionGroups().empty()) showAlphabetical_ = false;
  if (alphabeticalButton_) {
    alphabeticalButton_->setEnabled(!AlphabeticalFunctionGroups().empty());
    const QSignalBlocker blocker(alphabeticalButton_);
    alphabeticalButton_->setChecked(showAlphabetical_);
  }
  reloadOutline();
  // Open states once the outline has its place.
  QTimer::singleShot(0, this, [this] { expandOutline(); });
  NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kRecentFunctionsNotification), nullptr,
                                                  [this](const Notification&) { updateRecentList(); });
  CAFormatBaseVC::viewDidLoad();
  if (inPopup_ && document()) {
    // The popup keeps its document across tab changes, but not past its closing.
    NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kDocClosingNotification), document(),
                                                    [this](const Notification&) { CAFormatBaseVC::domainChanged(); });
  }
}

void CAFormatVFormulaVC::domainChanged() {
  if (!inPopup_) CAFormatBaseVC::domainChanged();
}

void CAFormatVFormulaVC::reloadOutline() {
  if (!formulaOutline_) return;
  expanding_ = true;
  formulaOutline_->clear();
  const int32_t groups = FunctionGroupCount(showAlphabetical_);
  for (int32_t group = 0; group < groups; ++group) {
    auto* groupItem = new QTreeWidgetItem(formulaOutline_, {FunctionGroupName(group, showAlphabetical_)});
    groupItem->setData(0, kItemRole, FunctionGroupItem(group));
    QFont font = groupItem->font(0);
    font.setBold(true);
    groupItem->setFont(0, font);
    groupItem->setFlags(Qt::ItemIsEnabled);  // groups are not chosen
    for (const int32_t row : FunctionGroupChildren(group, showAlphabetical_)) {
      auto* item = new QTreeWidgetItem(groupItem, {QString::fromUtf8(g_functionInfo[row].name)});
      item->setData(0, kItemRole, row);
      item->setToolTip(0, QString::fromUtf8(g_functionInfo[row].description));
    }
  }
  expanding_ = false;
  outlineSelectionDidChange();
}

void CAFormatVFormulaVC::expandOutline() {
  if (!formulaOutline_) return;
  expanding_ = true;
  const QVariantMap& open = OpenMap();
  for (int i = 0; i < formulaOutline_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* group = formulaOutline_->topLevelItem(i);
    const QString name = group->text(0);
    group->setExpanded(!open.contains(name) || open.value(name).toBool());
  }
  expanding_ = false;
}

void CAFormatVFormulaVC::groupDidToggle(QTreeWidgetItem* item, bool open) {
  if (expanding_ || !item || item->parent()) return;
  OpenMap().insert(item->text(0), open);
  UserDefaults::standardUserDefaults().setObject(OpenMap(), QLatin1String(kFunctionOpenMapKey));
}

int32_t CAFormatVFormulaVC::selectedFunction() const {
  if (!formulaOutline_) return 0;
  const QList<QTreeWidgetItem*> selected = formulaOutline_->selectedItems();
  if (selected.isEmpty()) return 0;
  const int32_t row = selected.front()->data(0, kItemRole).toInt();
  return IsFunctionRow(row) ? row : 0;
}

void CAFormatVFormulaVC::outlineSelectionDidChange() {
  const int32_t row = selectedFunction();
  if (helpField_) helpField_->setText(row ? QString::fromUtf8(g_functionInfo[row].description) : QString());
  if (syntaxField_) syntaxField_->setText(FunctionSyntax(row));
  if (insertButton_) insertButton_->setEnabled(row != 0);
  if (helpButton_) helpButton_->setEnabled(row != 0);
}

void CAFormatVFormulaVC::insertFunction() {
  const int32_t row = selectedFunction();
  if (row && document()) InsertFunctionInActiveCell(*document(), row, inPopup_);
}

void CAFormatVFormulaVC::functionHelp() {
  GiveFunctionHelp(selectedFunction());
}

void CAFormatVFormulaVC::toggleAlphabetical(bool alphabetical) {
  showAlphabetical_ = alphabetical && !AlphabeticalFunctionGroups().empty();
  UserDefaults::standardUserDefaults().setBool(showAlphabetical_, QLatin1String(kAlphaFunctionsKey));
  reloadOutline();
  expandOutline();
}

void CAFormatVFormulaVC::updateRecentList() {
  // The selected function stays selected when it is still listed in its group.
  const int32_t selected = selectedFunction();
  reloadOutline();
  expandOutline();
  if (!selected || !formulaOutline_) return;
  const QList<QTreeWidgetItem*> found = formulaOutline_->findItems(
      QString::fromUtf8(g_functionInfo[selected].name), Qt::MatchExactly | Qt::MatchRecursive);
  for (QTreeWidgetItem* item : found) {
    if (item->parent() && item->parent()->data(0, kItemRole).toInt() != FunctionGroupItem(0)) {
      formulaOutline_->setCurrentItem(item);
      break;
    }
  }
}

// ---- In the formula popup ---------------------------------------------------------------------

QWidget* CAFormulaOutlineVC::loadView() { return makeOutline(nullptr); }

void CAFormulaOutlineVC::insertFunction() {
  const int32_t row = selectedFunction();
  if (!row || !document()) return;
  InsertFunctionInActiveCell(*document(), row, true);
  FLPopoverBaseVC::closePopovers();
}
