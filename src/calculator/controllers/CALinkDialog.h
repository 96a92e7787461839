// The link sheet: an address (typed or chosen as a file) and the text the cell shows for it,
// inserted into the active cell as a link.
#pragma once

#include "framlet/shell/FLTeardownSilencer.h"

#include <QDialog>

#include <functional>

class CAWindowController;
class QLineEdit;

// A file link below the home folder is kept relative to it ("file:~/..."), so that it still
// leads there for another user or after the home folder moved; any other link is unchanged.
QString HomeRelativeLink(const QString& link, const QString& homePath);
// Opens a window-modal file chooser for a link's target over parent; ended hears whether a file
// was chosen and its path.
void ChooseLinkTarget(QWidget* parent, const QString& message, std::function<void(bool, const QString&)> ended);

class CALinkDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens the sheet on the window for its document's active cell.
  static CALinkDialog* runSheetForWindow(CAWindowController& controller);

  explicit CALinkDialog(CAWindowController& controller);

  QString link() const;
  void setLink(const QString& link);
  QString displayText() const;
  void setDisplayText(const QString& text);

  // Chooses a file or folder to link to, in a sheet on this one.
  void selectFile();
  // The open panel ended; with a chosen item the link leads to it and shows its name.
  void openPanelEnded(bool accepted, const QString& path);
  void updateRelativePath();
  void ok();
  void cancel();

 protected:
  void reject() override { cancel(); }

 private:
  void buildWindow();

  CAWindowController& windowController_;
  QLineEdit* linkField_ = nullptr;
  QLineEdit* displayField_ = nullptr;
  // Last: its children signal nothing into this once it starts to go.
  FLTeardownSilencer teardownSilencer_{this};
};
