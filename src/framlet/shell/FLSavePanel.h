// The save panel: Qt's own (non-native) file dialog, so that its file types can serve as the
// format pop-up and its name field can be kept in step with the format. A document package is a
// folder, which a file dialog would open on confirmation; here a folder whose name carries an
// extension is taken as the document it is. Replacing an existing item is always asked about, as
// the desktop's save dialogs do; an item that another window has open is never replaced.
#pragma once

#include <QFileDialog>

#include <functional>

inline constexpr const char* kReplaceFormat = "\"%@\" already exists. Do you want to replace it?";
inline constexpr const char* kReplaceInformation =
    "No backup of it will be kept. Replacing it will overwrite its current contents.";
inline constexpr const char* kReplaceBackupInformation =
    "Its current contents will be kept as the backup \"%@\", in place of any earlier backup.";
inline constexpr const char* kOpenElsewhereFormat = "\"%@\" is open in another window.";
inline constexpr const char* kOpenElsewhereInformation =
    "Close that window first, or save under another name.";

// The more-info text of the question before an item named `name` is replaced: where its
// current contents go.
QString ReplaceQuestionInformation(const QString& name, bool keepsBackup);

class FLSavePanel : public QFileDialog {
  Q_OBJECT

 public:
  FLSavePanel(QWidget* parent, const QString& caption);

  // The text of the name field.
  QString fileNameText() const;
  void setFileNameText(const QString& name);
  // The path a confirmed name saves to (the format's extension enforced); none: the typed path.
  void setTargetResolver(std::function<QString(const QString&)> resolver) { resolver_ = std::move(resolver); }
  // Whether a save to the target keeps the item it replaces as the "~" backup (the question says
  // which).
  void setKeepsBackup(std::function<bool(const QString&)> keeps) { keepsBackup_ = std::move(keeps); }
  // Whether another window has this path open: such a target is refused.
  void setOpenElsewhere(std::function<bool(const QString&)> check) { openElsewhere_ = std::move(check); }
  // Saves to a confirmed target and answers whether it went well; a failed save (it has told the
  // user why) leaves the panel up with the name as typed, for another folder or name. None: the
  // panel closes on confirmation, and fileSelected tells the target.
  void setSaver(std::function<bool(const QString&)> saver) { saver_ = std::move(saver); }

 public slots:
  void accept() override;

 private:
  void finish(const QString& target);
  // The dialog calls a selected folder's button "Open"; a package is saved onto.
  void labelPackageAsSave();

  std::function<QString(const QString&)> resolver_;
  std::function<bool(const QString&)> openElsewhere_;
  std::function<bool(const QString&)> keepsBackup_;
  std::function<bool(const QString&)> saver_;
  QString typedName_;  // the name field's text when last confirmed
};
