#include "framlet/shell/FLAboutController.h"

#include "framlet/foundation/flFormatString.h"
#include "framlet/shell/FLActionHandler.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/BundleInfo.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

namespace {

QPointer<QDialog> g_aboutWindow;

QLabel* LinkLabel(const QString& url, const QString& title, QWidget* parent) {
  auto* label = new QLabel(LinkText(url, title), parent);
  label->setAlignment(Qt::AlignHCenter);
  label->setTextInteractionFlags(Qt::TextBrowserInteraction);
  label->setOpenExternalLinks(true);
  return label;
}

}  // namespace

QString FLAboutController::versionString() {
  return FormatString("%@ (%@)", BundleShortVersion(), BundleBuildVersion());
}

QDialog* FLAboutController::window() { return g_aboutWindow; }

void FLAboutController::introduceTamselApp(const QString& description) {
  if (!g_aboutWindow) {
    auto* dialog = new QDialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(QStringLiteral("FLAboutOV3"));
    dialog->setWindowTitle(FormatString("About %@", BundleName()));
    auto* layout = new QVBoxLayout(dialog);
    auto* name = new QLabel(BundleName(), dialog);
    QFont nameFont = name->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.5);
    name->setFont(nameFont);
    const QString copyright = QApplication::translate("FLAboutController", "Copyright © Orvandel. All rights reserved.");
    for (QLabel* label : {name, new QLabel(versionString(), dialog), new QLabel(description, dialog),
                          new QLabel(copyright, dialog)}) {
      label->setAlignment(Qt::AlignHCenter);
      label->setWordWrap(label != name);
      layout->addWidget(label);
    }
    const QString site = QString::fromLatin1(kOrvandelWebsite);
    layout->addWidget(LinkLabel(site, site, dialog));
    layout->addWidget(LinkLabel(site + QStringLiteral("/license/"), QApplication::translate("FLAboutController", "License"), dialog));
    g_aboutWindow = dialog;
  }
  MakeKeyAndOrderFront(g_aboutWindow);
}
