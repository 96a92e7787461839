#include "calculator/controllers/CALinkDialog.h"

#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caHelpTopics.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "framlet/foundation/flFileSupport.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr const char* kFileScheme = "file:";
constexpr const char* kLocalhostFileFormat = "file://localhost%1/";
constexpr const char* kHomeLinkPrefix = "file:~/";

QString Tr(const char* text) { return QApplication::translate("CALinkDialog", text); }

}  // namespace

QString HomeRelativeLink(const QString& link, const QString& homePath) {
  if (!link.startsWith(QLatin1String(kFileScheme)) || homePath.isEmpty()) return link;
  // The home folder as a URL path; file URLs made here carry no host, older ones "localhost".
  const QString home = QUrl::fromLocalFile(homePath).path(QUrl::FullyEncoded);
  for (const QString& prefix : {QString::fromLatin1(kLocalhostFileFormat).arg(home),
                                QStringLiteral("file://") + home + QLatin1Char('/')}) {
    if (link.startsWith(prefix) && link.size() > prefix.size())
      return QLatin1String(kHomeLinkPrefix) + link.mid(prefix.size());
  }
  return link;
}

CALinkDialog* CALinkDialog::runSheetForWindow(CAWindowController& controller) {
  auto* dialog = new CALinkDialog(controller);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->open();
  return dialog;
}

CALinkDialog::CALinkDialog(CAWindowController& controller)
    : QDialog(controller.window()), windowController_(controller) {
  buildWindow();
  if (const CACell* cell = controller.document()->activeCell()) {
    if (cell->valueType() == kValueText) {
      setDisplayText(cell->displayText(false));
    } else if (cell->valueType() == kValueLink) {
      setLink(cell->formula());
      setDisplayText(cell->displayText(false));
    }
  }
}

// "LinkDialog": the address with its file chooser and the text shown.
void CALinkDialog::buildWindow() {
  setObjectName(QStringLiteral("LinkDialog"));
  setWindowTitle(Tr("Insert Link"));
  linkField_ = new QLineEdit(this);
  linkField_->setObjectName(QStringLiteral("linkField"));
  displayField_ = new QLineEdit(this);
  displayField_->setObjectName(QStringLiteral("displayField"));
  auto* choose = new QPushButton(Tr("Choose…"), this);
  choose->setObjectName(QStringLiteral("selectFile"));
  choose->setAutoDefault(false);
  auto* linkRow = new QHBoxLayout;
  linkRow->addWidget(linkField_, 1);
  linkRow->addWidget(choose);
  auto* fields = new QFormLayout;
  fields->addRow(Tr("Link:"), linkRow);
  fields->addRow(Tr("Display text:"), displayField_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  AddHelpButton(buttons, kLinkHelpTopic);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(buttons);
  connect(choose, &QPushButton::clicked, this, &CALinkDialog::selectFile);
  connect(buttons, &QDialogButtonBox::accepted, this, &CALinkDialog::ok);
  connect(buttons, &QDialogButtonBox::rejected, this, &CALinkDialog::cancel);
}

QString CALinkDialog::link() const { return linkField_->text(); }
void CALinkDialog::setLink(const QString& link) { linkField_->setText(link); }
QString CALinkDialog::displayText() const { return displayField_->text(); }
void CALinkDialog::setDisplayText(const QString& text) { displayField_->setText(text); }

void ChooseLinkTarget(QWidget* parent, const QString& message, std::function<void(bool, const QString&)> ended) {
  auto* panel = new QFileDialog(parent, message);
  panel->setAttribute(Qt::WA_DeleteOnClose);
  panel->setFileMode(QFileDialog::ExistingFile);
  QObject::connect(panel, &QFileDialog::finished, panel, [panel, ended = std::move(ended)](int result) {
    const QStringList files = panel->selectedFiles();
    ended(result == QDialog::Accepted, files.isEmpty() ? QString() : files.first());
  });
  panel->open();
}

void CALinkDialog::selectFile() {
  ChooseLinkTarget(this, QString(), [this](bool accepted, const QString& path) { openPanelEnded(accepted, path); });
}

void CALinkDialog::openPanelEnded(bool accepted, const QString& path) {
  if (!accepted || path.isEmpty()) return;
  setLink(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
  updateRelativePath();
  setDisplayText(QFileInfo(path).completeBaseName());
}

void CALinkDialog::updateRelativePath() { setLink(HomeRelativeLink(link(), HomeFolderPath())); }

void CALinkDialog::ok() {
  updateRelativePath();
  windowController_.runCommand([this] { windowController_.document()->insertLink(link(), displayText()); });
  cancel();
}

void CALinkDialog::cancel() { done(QDialog::Rejected); }
