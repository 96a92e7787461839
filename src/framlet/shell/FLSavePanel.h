// The save panel: Qt's own (non-native) file dialog, so that its file types can serve as the
// format pop-up and its name field can be kept in step with the format. A document package is a
// folder, which a file dialog would open on confirmation; here a folder whose name carries an
// extension is taken as the document it is. An existing item is not asked about: the save keeps
// what it replaces as the "~" backup unless the document turned backups off.
#pragma once

#include <QFileDialog>

class FLSavePanel : public QFileDialog {
  Q_OBJECT

 public:
  FLSavePanel(QWidget* parent, const QString& caption);

  // The text of the name field.
  QString fileNameText() const;
  void setFileNameText(const QString& name);

 public slots:
  void accept() override;
};
