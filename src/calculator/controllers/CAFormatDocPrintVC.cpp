#include "calculator/controllers/CAFormatDocPrintVC.h"

#include "calculator/controllers/caSizePanes.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caUndoArchives.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QSlider>
#include <QStringList>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int kMaxMarginPoints = 144;
constexpr int kMaxOffsetPoints = 72;
// The page the samples show, of how many.
constexpr int64_t kSamplePage = 1;
constexpr int64_t kSamplePageCount = 5;

// The pull-downs' items, by variable number.
constexpr const char* kVariableTitles[] = {"None",          "Date",       "Long Date", "File Name", "Page",
                                           "Page of Pages", "Page/Pages", "Time"};
constexpr int32_t kVariableCount = int32_t(std::size(kVariableTitles));
constexpr const char* kPositionTitles[] = {"Left", "Center", "Right"};

// A header or footer sample: the three texts of a "left\tcentre\tright" text at the left, around
// the middle and against the right, each cut at its tail to its room.
class CAHeaderSample : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QStringList parts = text().split(QLatin1Char('\t'));
    const QFontMetrics metrics(font());
    const int room = std::max(width() - 2, 0);
    const int third = room / 3;
    const int flags[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    for (int i = 0; i < 3 && i < parts.size(); ++i) {
      const QRect cell(1 + i * third, 0, third, height());
      painter.drawText(cell, flags[i] | Qt::AlignVCenter, metrics.elidedText(parts[i], Qt::ElideRight, third));
    }
  }
};

}  // namespace

QString HeaderString(const HeaderVariables& variables) {
  QStringList entries;
  for (int field = 0; field < int(variables.size()); ++field) {
    if (variables[size_t(field)] == kHeaderNothing) continue;
    entries << HeaderFieldKey(field) + QLatin1Char('=') + HeaderVariableKey(variables[size_t(field)]);
  }
  return entries.join(QLatin1Char(';'));
}

QString HeaderSampleText(const std::array<QString, 3>& texts) {
  if (std::all_of(texts.begin(), texts.end(), [](const QString& text) { return text.isEmpty(); })) return QString();
  return texts[0] + QLatin1Char('\t') + texts[1] + QLatin1Char('\t') + texts[2];
}

QWidget* CAFormatDocPrintVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Print"));
  auto* grid = new QGridLayout(view);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(4);
  const struct {
    const char* label;
    const char* name;
    int maxPoints;
  } lengths[kLengthCount] = {
      {"Left", "left", kMaxMarginPoints},     {"Right", "right", kMaxMarginPoints},
      {"Top", "top", kMaxMarginPoints},       {"Bottom", "bottom", kMaxMarginPoints},
      {"Offset", "offset", kMaxOffsetPoints},
  };
  for (int i = 0; i < kLengthCount; ++i) {
    fields_[size_t(i)] = AddLengthRow(grid, i, QLatin1String(lengths[i].label), QLatin1String(lengths[i].name),
                                      lengths[i].maxPoints, &sliders_[size_t(i)], view);
    ConnectLengthPair(fields_[size_t(i)], sliders_[size_t(i)], view, this, [this, i](QWidget* sender) {
      setMarginFromControl(sender, sliders_[size_t(i)], fields_[size_t(i)]);
    });
  }
  const char* rowNames[2] = {"header", "footer"};
  const char* rowTitles[2] = {"Header", "Footer"};
  int row = kLengthCount;
  for (int line = 0; line < 2; ++line) {
    grid->addWidget(new QLabel(QLatin1String(rowTitles[line]), view), row, 0);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    for (int position = 0; position < 3; ++position) {
      auto* popup = new QToolButton(view);
      popup->setObjectName(QLatin1String(rowNames[line]) + QLatin1String(kPositionTitles[position]));
      popup->setProperty("tag", kLeftTag + position);
      popup->setText(QLatin1String(kPositionTitles[position]));
      popup->setPopupMode(QToolButton::InstantPopup);
      popup->setFocusPolicy(Qt::NoFocus);
      auto* menu = new QMenu(popup);
      auto* group = new QActionGroup(menu);
      for (int32_t variable = 0; variable < kVariableCount; ++variable) {
        QAction* item = menu->addAction(QLatin1String(kVariableTitles[variable]));
        item->setCheckable(true);
        group->addAction(item);
        connect(item, &QAction::triggered, this,
                [this, line, position, variable] { changeHeaderFooter(line, position, variable); });
      }
      connect(menu, &QMenu::aboutToShow, this, [this, popup] { menuWillOpen(popup); });
      popup->setMenu(menu);
      popups_[size_t(line)][size_t(position)] = popup;
      buttons->addWidget(popup);
    }
    buttons->addStretch();
    grid->addLayout(buttons, row, 1, 1, 2);
    auto* sample = new CAHeaderSample(view);
    sample->setObjectName(QLatin1String(rowNames[line]) + QLatin1String("Sample"));
    sample->setFrameShape(QFrame::StyledPanel);
    sample->setMinimumHeight(sample->fontMetrics().height() + 4);
    samples_[size_t(line)] = sample;
    grid->addWidget(sample, row + 1, 0, 1, 3);
    row += 2;
  }
  gridLinesButton_ = new QCheckBox(QStringLiteral("Print grid lines"), view);
  labelsButton_ = new QCheckBox(QStringLiteral("Print labels"), view);
  for (QCheckBox* box : {gridLinesButton_, labelsButton_}) {
    box->setFocusPolicy(Qt::NoFocus);
    grid->addWidget(box, row++, 0, 1, 3);
  }
  connect(gridLinesButton_, &QCheckBox::clicked, this, &CAFormatDocPrintVC::toggleGridLines);
  connect(labelsButton_, &QCheckBox::clicked, this, &CAFormatDocPrintVC::toggleLabels);
  view->resize(view->sizeHint());
  return view;
}

void CAFormatDocPrintVC::viewDidLoad() {
  // The samples show the moment the pane came up.
  if (document()) document()->setPrintDate();
  CAFormatBaseVC::viewDidLoad();
}

bool CAFormatDocPrintVC::setUndo(const QObject* control, int32_t descriptor) {
  CADocument* target = document();
  return target && RecordDocumentPaneStep(*target, &undoID_, &undoControl_, control, kUndoActionLayout, descriptor);
}

int64_t CAFormatDocPrintVC::lengthOf(int index) const {
  const CADocument& source = *document();
  switch (index) {
    case kLeftMargin:
      return source.leftMargin();
    case kRightMargin:
      return source.rightMargin();
    case kTopMargin:
      return source.topMargin();
    case kBottomMargin:
      return source.bottomMargin();
    default:
      return source.headerOffset();
  }
}

void CAFormatDocPrintVC::selectionChanged() {
  undoID_ = kNoUndoID;
  undoControl_ = nullptr;
  CADocument* source = document();
  if (!source || !gridLinesButton_) return;
  for (int i = 0; i < kLengthCount; ++i) ShowLength(fields_[size_t(i)], sliders_[size_t(i)], lengthOf(i));
  variables_[kHeaderRow] = HeaderVariables{};
  variables_[kFooterRow] = HeaderVariables{};
  InterpretHeaderString(source->header(), variables_[kHeaderRow]);
  InterpretHeaderString(source->footer(), variables_[kFooterRow]);
  updateSample(kHeaderRow);
  updateSample(kFooterRow);
  gridLinesButton_->setChecked(source->printGrid());
  labelsButton_->setChecked(source->printLabels());
}

void CAFormatDocPrintVC::unitsChanged() {
  if (!gridLinesButton_) return;
  for (QLineEdit* field : fields_) ShowLengthInNewUnit(field);
}

void CAFormatDocPrintVC::setMarginFromControl(QWidget* sender, QSlider* slider, QLineEdit* field) {
  const auto found = std::find(sliders_.begin(), sliders_.end(), slider);
  if (found == sliders_.end()) return;
  const int index = int(found - sliders_.begin());
  if (!setUndo(slider, index == kOffset ? kUndoHeaderFooter : kUndoMargins)) return selectionChanged();
  CADocument& target = *document();
  const int64_t length = std::max<int64_t>(LengthFromControl(sender), 0);
  switch (index) {
    case kLeftMargin:
      target.setLeftMargin(length);
      break;
    case kRightMargin:
      target.setRightMargin(length);
      break;
    case kTopMargin:
      target.setTopMargin(length);
      break;
    case kBottomMargin:
      target.setBottomMargin(length);
      break;
    default:
      target.setHeaderOffset(length);
      break;
  }
  ShowLength(field, slider, length);
  target.pageBreaksChanged();
}

void CAFormatDocPrintVC::menuWillOpen(QToolButton* popup) {
  for (int line = 0; line < 2; ++line) {
    for (int position = 0; position < 3; ++position) {
      if (popups_[size_t(line)][size_t(position)] != popup) continue;
      const QList<QAction*> items = popup->menu()->actions();
      const int32_t variable = variables_[size_t(line)][size_t(position)];
      for (int i = 0; i < items.size(); ++i) items[i]->setChecked(i == variable);
      return;
    }
  }
}

void CAFormatDocPrintVC::changeHeaderFooter(int row, int position, int32_t variable) {
  if (row < 0 || row > 1 || position < 0 || position > 2 || variable < 0 || variable >= kVariableCount) return;
  variables_[size_t(row)][size_t(position)] = variable;
  // The row's left pull-down stands for the whole row.
  if (!setUndo(popups_[size_t(row)][0], kUndoHeaderFooter)) return selectionChanged();
  CADocument& target = *document();
  if (row == kHeaderRow)
    target.setHeader(headerString(row));
  else
    target.setFooter(headerString(row));
  updateSample(row);
}

void CAFormatDocPrintVC::updateSample(int row) {
  if (!document() || !samples_[size_t(row)]) return;
  samples_[size_t(row)]->setText(
      HeaderSampleText(document()->headerStrings(row == kFooterRow, kSamplePage, kSamplePageCount)));
}

void CAFormatDocPrintVC::toggleGridLines(bool on) {
  if (!setUndo(nullptr, kUndoPrintOptions)) return selectionChanged();
  document()->setPrintGrid(on);
}

void CAFormatDocPrintVC::toggleLabels(bool on) {
  if (!setUndo(nullptr, kUndoPrintOptions)) return selectionChanged();
  document()->setPrintLabels(on);
  document()->pageBreaksChanged();
}
