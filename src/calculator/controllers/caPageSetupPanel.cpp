#include "calculator/controllers/caPageSetupPanel.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QRadioButton>

namespace {

constexpr QPageSize::PageSizeId kPapers[] = {QPageSize::Letter, QPageSize::Legal, QPageSize::Tabloid,
                                             QPageSize::Executive, QPageSize::A3, QPageSize::A4,
                                             QPageSize::A5, QPageSize::B5};

QString Tr(const char* text) { return QApplication::translate("CAPageSetupPanel", text); }

}  // namespace

CAPageSetupPanel::CAPageSetupPanel(const QPageLayout& layout, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("PageSetup"));
  setWindowTitle(Tr("Page Setup"));
  auto* form = new QFormLayout(this);
  paperPopup_ = new QComboBox(this);
  for (const QPageSize::PageSizeId id : kPapers) {
    const QPageSize size(id);
    paperPopup_->addItem(size.name(), QVariant::fromValue(size));
  }
  // A paper that is not in the list (kept from elsewhere) is offered as it is.
  const QPageSize current = layout.pageSize();
  int index = -1;
  for (int i = 0; i < paperPopup_->count(); ++i) {
    if (paperPopup_->itemData(i).value<QPageSize>().isEquivalentTo(current)) index = i;
  }
  if (index < 0 && current.isValid()) {
    paperPopup_->addItem(current.name(), QVariant::fromValue(current));
    index = paperPopup_->count() - 1;
  }
  paperPopup_->setCurrentIndex(std::max(index, 0));
  form->addRow(Tr("Paper Size:"), paperPopup_);

  auto* orientation = new QHBoxLayout;
  portraitButton_ = new QRadioButton(Tr("Portrait"), this);
  landscapeButton_ = new QRadioButton(Tr("Landscape"), this);
  (layout.orientation() == QPageLayout::Landscape ? landscapeButton_ : portraitButton_)->setChecked(true);
  orientation->addWidget(portraitButton_);
  orientation->addWidget(landscapeButton_);
  form->addRow(Tr("Orientation:"), orientation);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);
}

QPageLayout CAPageSetupPanel::pageLayout() const {
  return QPageLayout(paperPopup_->currentData().value<QPageSize>(),
                     landscapeButton_->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF());
}
