// The function browser: the built-in functions in an outline grouped by class or by initial
// letter, the recently used ones on top; the selected function's help and syntax; inserting it
// with argument placeholders into the active cell's formula; and the help of its class. It is
// a pane of the value tab for formula cells, and, as CAFormulaOutlineVC, the formula popup's
// list. Which groups are open, and the grouping, are kept in the user defaults.
#pragma once

#include "calculator/controllers/CAFormatBaseVC.h"

#include <QPointer>
#include <QString>
#include <QTreeWidget>

#include <cstdint>
#include <optional>
#include <vector>

class QLabel;
class QToolButton;
class QTreeWidgetItem;

// ---- The outline's items, without widgets ------------------------------------------------------
// An item of 0 or more is a row of the function table; -(k + 1) is group k of the grouping, group
// 0 being "Recent Functions" in both.
constexpr int32_t FunctionGroupItem(int32_t group) { return -(group + 1); }
int32_t FunctionGroupCount(bool alphabetical);
QString FunctionGroupName(int32_t group, bool alphabetical);
// The function rows of a group, in the order shown.
std::vector<int32_t> FunctionGroupChildren(int32_t group, bool alphabetical);
// "NAME(arguments)".
QString FunctionSyntax(int32_t row);

// Inserts the function of the table row into the active cell's formula text at the document's
// text selection, as one "Formula" step; the inserted argument placeholders (or the place after
// "()") become the selection. Posts the insertion for the views and records the function as
// recently used. False when the step was refused.
bool InsertFunctionInActiveCell(CADocument& document, int32_t row, bool inPopup);

class CAFormatVFormulaVC : public CAFormatBaseVC {
  Q_OBJECT

 public:
  explicit CAFormatVFormulaVC(QObject* parent = nullptr) : CAFormatBaseVC(parent) {}
  ~CAFormatVFormulaVC() override;

  QTreeWidget* formulaOutline() const { return formulaOutline_; }
  QLabel* helpField() const { return helpField_; }
  QLabel* syntaxField() const { return syntaxField_; }
  QToolButton* alphabeticalButton() const { return alphabeticalButton_; }
  QToolButton* insertButton() const { return insertButton_; }
  QToolButton* helpButton() const { return helpButton_; }

  bool inPopup() const { return inPopup_; }
  void setInPopup(bool inPopup) { inPopup_ = inPopup; }
  bool showAlphabetical() const { return showAlphabetical_; }
  void setShowAlphabetical(bool alphabetical) { showAlphabetical_ = alphabetical; }
  // The function row of the selected item; 0 when no function is selected.
  int32_t selectedFunction() const;

  // Inserts the selected function (insert button, double click, Return).
  virtual void insertFunction();
  // Opens the help at the selected function; beeps for one in no class.
  void functionHelp();
  // The alphabetical button's choice, remembered in the user defaults.
  void toggleAlphabetical(bool alphabetical);
  void updateRecentList();
  // Opens every group but those remembered as closed.
  void expandOutline();
  void outlineSelectionDidChange();
  void domainChanged() override;

 protected:
  QWidget* loadView() override;
  void viewDidLoad() override;
  // The outline alone, as the popup shows it; the pane adds its fields and buttons around it.
  QTreeWidget* makeOutline(QWidget* parent);
  void reloadOutline();

 private:
  void groupDidToggle(QTreeWidgetItem* item, bool open);

  // The panel may delete the view before the pane.
  QPointer<QTreeWidget> formulaOutline_;
  QLabel* helpField_ = nullptr;
  QLabel* syntaxField_ = nullptr;
  QToolButton* alphabeticalButton_ = nullptr;
  QToolButton* insertButton_ = nullptr;
  QToolButton* helpButton_ = nullptr;
  bool inPopup_ = false;
  bool showAlphabetical_ = false;
  bool expanding_ = false;
};

// The formula popup's function list: inserting also closes every popover.
class CAFormulaOutlineVC : public CAFormatVFormulaVC {
  Q_OBJECT

 public:
  explicit CAFormulaOutlineVC(QObject* parent = nullptr) : CAFormatVFormulaVC(parent) { setInPopup(true); }

  void insertFunction() override;

 protected:
  QWidget* loadView() override;
};
