// The save panel: Qt's own (non-native) file dialog, so that its file types can serve as the
// format pop-up and its name field can be kept in step with the format. A document package is a
// folder, which a file dialog would open on confirmation; here a folder whose name carries an
// extension is taken as the document it is. An existing item is asked about only when the save
// will not keep it as the "~" backup (the document turned backups off).
#pragma once

#include <QFileDialog>

#include <functional>

inline constexpr const char* kReplaceFormat = "\"%@\" already exists. Do you want to replace it?";
inline constexpr const char* kReplaceInformation =
    "No backup of it will be kept. Replacing it will overwrite its current contents.";

class FLSavePanel : public QFileDialog {
  Q_OBJECT

 public:
  FLSavePanel(QWidget* parent, const QString& caption);

  // The text of the name field.
  QString fileNameText() const;
  void setFileNameText(const QString& name);
  // The path a confirmed name saves to (the format's extension enforced); none: the typed path.
  void setTargetResolver(std::function<QString(const QString&)> resolver) { resolver_ = std::move(resolver); }
  // Whether replacing an existing item needs the user's yes first.
  void setConfirmReplace(bool confirm) { confirmReplace_ = confirm; }

 public slots:
  void accept() override;

 private:
  void finish(const QString& target);

  std::function<QString(const QString&)> resolver_;
  bool confirmReplace_ = false;
};
