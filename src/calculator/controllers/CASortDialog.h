// The sort dialog: the two key cells and the sort options. While it is up the document window
// does not take clicks as usual: a click there names the cell that becomes the key of the key
// field being edited.
#pragma once

#include "framlet/shell/FLTeardownSilencer.h"

#include <QDialog>

class CADocument;
class CAWindowController;
class QCheckBox;
class QLineEdit;

class CASortDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens the dialog for the window's document; it runs modally over the application (only
  // clicks in the document window reach it, as key cells) until OK or Cancel, and then goes.
  static CASortDialog* runSheetForWindow(CAWindowController& controller);

  explicit CASortDialog(CADocument& document, QWidget* parent);
  ~CASortDialog() override;

  QLineEdit* primaryKeyField() const { return primaryKeyField_; }
  QLineEdit* secondaryKeyField() const { return secondaryKeyField_; }

  // A cell clicked in the document window ("x,y"): the key of the key field being edited.
  void clickInCells(const QString& pointText);
  // Typing in a key field began or ended.
  void controlTextDidBeginEditing() { editingStarted_ = true; }
  void controlTextDidEndEditing(QLineEdit* field);
  void ok();
  void cancel();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Escape and the close button cancel.
  void reject() override { cancel(); }

 private:
  void buildWindow();
  // The modal run ends: picking stops and the dialog goes.
  void endRun();

  CADocument& document_;
  QLineEdit* primaryKeyField_ = nullptr;
  QLineEdit* secondaryKeyField_ = nullptr;
  QCheckBox* wholeThingButton_ = nullptr;
  bool editingStarted_ = false;
  bool running_ = false;
  // Last: its children signal nothing into this once it starts to go.
  FLTeardownSilencer teardownSilencer_{this};
};
