#include "framlet/shell/FLSavePanel.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

namespace {

constexpr const char* kFileNameEditName = "fileNameEdit";

}  // namespace

FLSavePanel::FLSavePanel(QWidget* parent, const QString& caption) : QFileDialog(parent, caption) {
  setObjectName(QStringLiteral("FLSavePanel"));
  setOption(QFileDialog::DontUseNativeDialog);
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  // Completing a typed name that is a package would open the package as a folder.
  if (auto* field = findChild<QLineEdit*>(QLatin1String(kFileNameEditName))) field->setCompleter(nullptr);
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
  const QString name = fileNameText();
  if (name.isEmpty()) return;
  if (name.contains(QLatin1Char('/'))) {
    QFileDialog::accept();
    return;
  }
  const QFileInfo chosen(directory().filePath(name));
  if (chosen.isDir() && chosen.suffix().isEmpty()) {
    setDirectory(chosen.absoluteFilePath());
    setFileNameText(QString());
    return;
  }
  emit fileSelected(chosen.absoluteFilePath());
  QDialog::accept();
}
