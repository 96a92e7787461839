#include "calculator/controllers/CAAutosaveRestorer.h"

#include "calculator/controllers/caHelpTopics.h"
#include "framlet/shell/FLActionHandler.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString Tr(const char* text) { return QApplication::translate("CAAutosaveRestorer", text); }

}  // namespace

std::pair<QString, QString> CAAutosaveRestorer::rowTexts(const QString& documentPath) {
  const QFileInfo info(documentPath);
  if (!info.isAbsolute()) return {documentPath, QString()};
  return {info.fileName(), info.path()};
}

bool CAAutosaveRestorer::shouldOpenAutosaves(const QList<CAAutosaveEntry>& autosaves) {
  QDialog dialog;
  dialog.setObjectName(QStringLiteral("AutosaveDialog"));
  dialog.setWindowTitle(Tr("Recover Documents"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* message = new QLabel(Tr("These documents were not saved when the application last ended. "
                                "Open their autosaved copies?"),
                             &dialog);
  message->setWordWrap(true);
  layout->addWidget(message);
  auto* fileList = new QTableWidget(int(autosaves.size()), 2, &dialog);
  fileList->setHorizontalHeaderLabels({Tr("Name"), Tr("Folder")});
  fileList->horizontalHeader()->setStretchLastSection(true);
  fileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int row = 0; row < autosaves.size(); ++row) {
    const auto [name, folder] = rowTexts(autosaves[row].path);
    fileList->setItem(row, 0, new QTableWidgetItem(name));
    fileList->setItem(row, 1, new QTableWidgetItem(folder));
  }
  layout->addWidget(fileList);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  AddHelpButton(buttons, kAutosaveHelpTopic);
  QPushButton* contact = buttons->addButton(Tr("Contact Orvandel"), QDialogButtonBox::HelpRole);
  QObject::connect(contact, &QPushButton::clicked, &dialog, [] { FLActionHandler::sharedInstance().contactOrvandel(true); });
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  return dialog.exec() == QDialog::Accepted;
}
