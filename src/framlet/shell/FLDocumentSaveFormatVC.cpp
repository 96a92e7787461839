#include "framlet/shell/FLDocumentSaveFormatVC.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flStringExtensions.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/shell/FLDocument.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLineEdit>

#include <algorithm>

namespace {

QString FilterFor(const QString& extension) { return QStringLiteral("%1 (*.%1)").arg(extension); }

}  // namespace

FLDocumentSaveFormatVC::FLDocumentSaveFormatVC() = default;
FLDocumentSaveFormatVC::~FLDocumentSaveFormatVC() = default;

QString FLDocumentSaveFormatVC::EnforcedName(const QString& name, const QStringList& saveTypes,
                                             const QString& extension) {
  QString base = name;
  for (;;) {
    const QString last = pathExtension(base);
    if (last.isEmpty() || !saveTypes.contains(last, Qt::CaseInsensitive)) break;
    base.chop(last.size() + 1);
  }
  if (base.isEmpty()) base = QApplication::translate("FLDocument", kUntitledWindowName);
  return extension.isEmpty() ? base : base + QLatin1Char('.') + extension;
}

void FLDocumentSaveFormatVC::setSavePanel(QFileDialog* panel) {
  savePanel_ = panel;
  if (!panel) return;
  updateFilters();
  connect(panel, &QFileDialog::filterSelected, this, [this](const QString& filter) {
    if (updating_) return;
    for (qsizetype i = 0; i < saveTypes_.size(); ++i) {
      if (FilterFor(saveTypes_[i]) == filter) changeFormat(i);
    }
  });
  if (QWidget* options = optionsView()) {
    if (auto* grid = qobject_cast<QGridLayout*>(panel->layout())) grid->addWidget(options, grid->rowCount(), 0, 1, -1);
  }
}

void FLDocumentSaveFormatVC::setSaveTypes(const QStringList& types) {
  saveTypes_ = types;
  if (formatIndex_ >= saveTypes_.size()) formatIndex_ = 0;
  updateFilters();
}

void FLDocumentSaveFormatVC::setFormatIndex(qsizetype index) {
  formatIndex_ = index >= 0 && index < saveTypes_.size() ? index : 0;
  // A format kept from the list comes into it while the panel is on it.
  updateFilters();
  formatChanged();
}

void FLDocumentSaveFormatVC::setFormatTag(const QString& extension, int tag) {
  tags_.insert(extension.toLower(), tag);
  updateFilters();
}

QStringList FLDocumentSaveFormatVC::offeredTypes() const {
  QStringList offered;
  for (qsizetype i = 0; i < saveTypes_.size(); ++i) {
    const bool advancedOnly = tags_.value(saveTypes_[i].toLower()) == kAdvancedFormatTag;
    if (!advancedOnly || g_advancedUser || i == formatIndex_) offered.append(saveTypes_[i]);
  }
  return offered;
}

void FLDocumentSaveFormatVC::updateFilters() {
  if (!savePanel_) return;
  QStringList filters;
  for (const QString& type : offeredTypes()) filters.append(FilterFor(type));
  updating_ = true;
  if (savePanel_->nameFilters() != filters) savePanel_->setNameFilters(filters);
  holdFormatRows();
  if (!saveTypes_.isEmpty()) savePanel_->selectNameFilter(FilterFor(saveTypes_.value(formatIndex_)));
  updating_ = false;
}

// A row of the panel's list of formats made current is held by the list, and a row held for the
// first time is entered in its model's table, which a failed allocation there leaves broken (the
// next change of the panel, or its end, reads an entry never made). Each row is held here as soon
// as the list has it, so that choosing a format later, as a typed name does while its save runs,
// enters nothing.
void FLDocumentSaveFormatVC::holdFormatRows() {
  auto* list = savePanel_->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  const QAbstractItemModel* model = list ? list->model() : nullptr;
  const int rows = model ? model->rowCount() : 0;
  if (rows == heldFormatRows_.size() &&
      std::all_of(heldFormatRows_.begin(), heldFormatRows_.end(),
                  [model](const QPersistentModelIndex& row) { return row.isValid() && row.model() == model; }))
    return;
  heldFormatRows_.clear();
  if (!model) return;
  QList<QPersistentModelIndex> held;
  held.reserve(rows);
  for (int row = 0; row < rows; ++row) held.append(model->index(row, list->modelColumn()));
  heldFormatRows_ = std::move(held);
}

bool FLDocumentSaveFormatVC::setExtension(const QString& extension) {
  for (qsizetype i = 0; i < saveTypes_.size(); ++i) {
    if (saveTypes_[i].compare(extension, Qt::CaseInsensitive) == 0) {
      setFormatIndex(i);
      return true;
    }
  }
  return false;
}

QString FLDocumentSaveFormatVC::setExtension(const QString& extension, const QString& fileName) {
  if (!setExtension(extension)) return QString();
  return enforceFormat(fileName.isNull() ? panelFileName() : fileName);
}

QString FLDocumentSaveFormatVC::panelFileName() const {
  if (!savePanel_) return QString();
  if (auto* field = savePanel_->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) return field->text();
  return QString();
}

QString FLDocumentSaveFormatVC::enforceFormat(const QString& name) {
  const QString enforced = EnforcedName(name, saveTypes_, selectedExtension());
  if (savePanel_) {
    if (auto* field = savePanel_->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
      field->setText(enforced);
      const qsizetype dot = enforced.lastIndexOf(QLatin1Char('.'));
      field->setSelection(0, dot > 0 ? int(dot) : int(enforced.size()));
    }
  }
  return enforced;
}

void FLDocumentSaveFormatVC::ensureExtensionAllowed(const QString& extension) {
  if (extension.isEmpty() || saveTypes_.contains(extension, Qt::CaseInsensitive)) return;
  saveTypes_.append(extension);
  updateFilters();
}

void FLDocumentSaveFormatVC::changeFormat(qsizetype index) {
  formatIndex_ = index >= 0 && index < saveTypes_.size() ? index : 0;
  if (savePanel_) enforceFormat(panelFileName());
  formatChanged();
}

void FLDocumentSaveFormatVC::goToOriginalPath() {
  if (savePanel_ && !originalPath_.isEmpty()) savePanel_->setDirectory(originalPath_);
}

// The typed name's format is the save's at once; the panel's list of formats follows it on a
// later turn, not while the save runs: a list that changes (an advanced format coming into it)
// is made again inside Qt, whose model a failed allocation there leaves broken.
QString FLDocumentSaveFormatVC::panelUserEnteredFilename(const QString& name) {
  const QString extension = pathExtension(name);
  for (qsizetype i = 0; i < saveTypes_.size(); ++i) {
    if (saveTypes_[i].compare(extension, Qt::CaseInsensitive) != 0) continue;
    formatIndex_ = i;
    try {
      QMetaObject::invokeMethod(this, [this] { updateFilters(); }, Qt::QueuedConnection);
    } catch (const std::bad_alloc& exception) {
      // The list shows the format at its next change.
      LogException(exception, QStringLiteral("Showing the typed name's format"));
    }
    formatChanged();
    break;
  }
  return enforceFormat(name);
}
