#include "framlet/shell/FLSavePanel.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFormatString.h"
#include "framlet/foundation/flStringExtensions.h"
#include "framlet/shell/FLDocument.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/flDocumentPackages.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace {

constexpr const char* kFileNameEditName = "fileNameEdit";

// The name the replaced item takes when the save keeps it: "name~.ext".
QString BackupNameOf(const QString& name) {
  const QString extension = pathExtension(name);
  const QString stem = FormatString(kBackupNameFormat, fileNameMinusExtension(name));
  return extension.isEmpty() ? stem : stem + QLatin1Char('.') + extension;
}

}  // namespace

QString ReplaceQuestionInformation(const QString& name, bool keepsBackup) {
  return keepsBackup ? FormatString(QApplication::translate("FLSavePanel", kReplaceBackupInformation), BackupNameOf(name))
                     : QApplication::translate("FLSavePanel", kReplaceInformation);
}

FLSavePanel::FLSavePanel(QWidget* parent, const QString& caption) : QFileDialog(parent, caption) {
  setObjectName(QStringLiteral("FLSavePanel"));
  setOption(QFileDialog::DontUseNativeDialog);
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  // Completing a typed name that is a package would open the package as a folder.
  if (auto* field = findChild<QLineEdit*>(QLatin1String(kFileNameEditName))) field->setCompleter(nullptr);
  // A package is a document to save onto, never a folder to save into: entering one chooses it,
  // which asks the usual question about replacing it.
  TreatPackagesAsDocuments(this, [this](const QString& package) {
    setFileNameText(QFileInfo(package).fileName());
    accept();
  });
  // Selecting a package names it, as selecting a file does. These run after the dialog's own
  // handlers, so the button it just relabelled "Open" reads "Save" again.
  connect(this, &QFileDialog::currentChanged, this, [this](const QString& path) {
    if (IsDocumentPackage(path)) setFileNameText(QFileInfo(path).fileName());
    labelPackageAsSave();
  });
  if (auto* field = findChild<QLineEdit*>(QLatin1String(kFileNameEditName))) {
    connect(field, &QLineEdit::textChanged, this, &FLSavePanel::labelPackageAsSave);
  }
  for (auto* view : findChildren<QAbstractItemView*>()) {
    if (view->selectionModel()) {
      connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &FLSavePanel::labelPackageAsSave);
    }
  }
}

void FLSavePanel::labelPackageAsSave() {
  const QStringList chosen = selectedFiles();
  if (chosen.isEmpty() || !IsDocumentPackage(chosen.first())) return;
  auto* buttons = findChild<QDialogButtonBox*>();
  if (QPushButton* button = buttons ? buttons->button(QDialogButtonBox::Save) : nullptr) {
    button->setText(QFileDialog::tr("&Save"));
  }
}

QString FLSavePanel::fileNameText() const {
  const auto* field = findChild<QLineEdit*>(QLatin1String(kFileNameEditName));
  return field ? field->text() : QString();
}

void FLSavePanel::setFileNameText(const QString& name) {
  if (auto* field = findChild<QLineEdit*>(QLatin1String(kFileNameEditName))) {
    field->setText(name);
  } else {
    selectFile(name);
  }
}

// The name field decides, not a selection left in the file list (which would be a package the
// name was completed to). A folder without an extension is opened; anything else is the answer.
void FLSavePanel::accept() {
  QString name = fileNameText();
  if (name.isEmpty()) return;
  typedName_ = name;
  if (name == QLatin1String("~") || name.startsWith(QLatin1String("~/"))) name.replace(0, 1, QDir::homePath());
  const QFileInfo typed(QDir::isAbsolutePath(name) ? name : directory().filePath(name));
  if (typed.isDir() && typed.suffix().isEmpty()) {
    setDirectory(typed.absoluteFilePath());
    setFileNameText(QString());
    return;
  }
  const QString target = resolver_ ? resolver_(typed.absoluteFilePath()) : typed.absoluteFilePath();
  const QFileInfo existing(target);
  if (openElsewhere_ && openElsewhere_(target)) {
    FLAlert::sharedInstance().startAlertMessage(FormatString(kOpenElsewhereFormat, existing.fileName()),
                                                QApplication::translate("FLSavePanel", kOpenElsewhereInformation),
                                                {}, false, this, {});
    return;
  }
  if (!existing.exists()) {
    finish(target);
    return;
  }
  const QString information = ReplaceQuestionInformation(existing.fileName(), keepsBackup_ && keepsBackup_(target));
  const QPointer<FLSavePanel> self(this);
  FLAlert::sharedInstance().startAlertMessage(
      FormatString(kReplaceFormat, existing.fileName()), information,
      {QApplication::translate("FLSavePanel", "Replace"), QApplication::translate("FLSavePanel", "Cancel")}, false,
      this, [self, target](FLAlertController*, int code) {
        if (self && code == 0) self->finish(target);
      });
}

void FLSavePanel::finish(const QString& target) {
  if (saver_) {
    const QPointer<FLSavePanel> self(this);
    if (!saver_(target)) {
      // The format may have put its extension on the name; the folder typed before it stays.
      const qsizetype slash = typedName_.lastIndexOf(QLatin1Char('/'));
      const QString shown = fileNameText();
      if (self && slash >= 0 && !shown.contains(QLatin1Char('/'))) setFileNameText(typedName_.left(slash + 1) + shown);
      return;
    }
    // A save that closes the window has taken the panel with it.
    if (!self) return;
    // The file is saved: a panel that cannot close for memory stays up, and the save still
    // counts as done.
    try {
      emit fileSelected(target);
      QDialog::accept();
    } catch (const std::bad_alloc& exception) {
      LogException(exception, QStringLiteral("Closing the save panel"));
    }
    return;
  }
  emit fileSelected(target);
  QDialog::accept();
}
