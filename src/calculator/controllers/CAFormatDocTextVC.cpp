#include "calculator/controllers/CAFormatDocTextVC.h"

#include "calculator/controllers/caFontPanel.h"
#include "calculator/controllers/caSizePanes.h"
#include "calculator/model/CAGridPoint.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/foundation/flFormatString.h"
#include "platform/NotificationCenter.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

CAFormatDocTextVC::~CAFormatDocTextVC() { closeFontPanel(); }

QFontDialog* CAFormatDocTextVC::fontPanel() const { return fontPanel_; }

QWidget* CAFormatDocTextVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Text"));
  auto* grid = new QGridLayout(view);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(4);
  const std::pair<QCheckBox**, uint64_t> boxes[] = {
      {&boldButton_, kFormatBold}, {&italicButton_, kFormatItalic},
      {&underlineButton_, kFormatUnderline}, {&strikeButton_, kFormatStrike}};
  const QString titles[] = {QStringLiteral("Bold"), QStringLiteral("Italic"), QStringLiteral("Underline"),
                            QStringLiteral("Strike")};
  for (int i = 0; i < 4; ++i) {
    auto* box = new QCheckBox(titles[i], view);
    box->setFocusPolicy(Qt::NoFocus);
    grid->addWidget(box, i / 2, i % 2);
    *boxes[i].first = box;
    connect(box, &QCheckBox::clicked, this, [this, mask = boxes[i].second](bool on) { setStyle(mask, on); });
  }
  alignmentControl_ = new QButtonGroup(view);
  alignmentControl_->setObjectName(QStringLiteral("alignmentControl"));
  auto* segments = new QHBoxLayout;
  segments->setSpacing(0);
  const QString alignments[] = {QStringLiteral("Default"), QStringLiteral("Left"), QStringLiteral("Center"),
                                QStringLiteral("Right")};
  for (int i = 0; i < 4; ++i) {
    auto* button = new QToolButton(view);
    button->setText(alignments[i]);
    button->setCheckable(true);
    button->setFocusPolicy(Qt::NoFocus);
    alignmentControl_->addButton(button, i);
    segments->addWidget(button);
  }
  segments->addStretch();
  grid->addLayout(segments, 2, 0, 1, 2);
  connect(alignmentControl_, &QButtonGroup::idClicked, this, &CAFormatDocTextVC::setAlignment);
  fontDisplayField_ = new QLabel(view);
  fontDisplayField_->setObjectName(QStringLiteral("fontDisplayField"));
  grid->addWidget(fontDisplayField_, 3, 0);
  auto* fontButton = new QPushButton(QStringLiteral("Font…"), view);
  grid->addWidget(fontButton, 3, 1, Qt::AlignRight);
  connect(fontButton, &QPushButton::clicked, this, &CAFormatDocTextVC::setFont);
  view->resize(view->sizeHint());
  return view;
}

void CAFormatDocTextVC::viewDidLoad() {
  CAFormatBaseVC::viewDidLoad();
  NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kFontChangedNotification), document(),
                                                  [this](const Notification&) { selectionChanged(); });
}

void CAFormatDocTextVC::selectionChanged() {
  undoID_ = 0xFFFFFFFF;
  if (!document() || !boldButton_) return;
  const CAFormat& format = document()->defaultFormat();
  const std::pair<QCheckBox*, bool> boxes[] = {{boldButton_, format.bold()}, {italicButton_, format.italic()},
                                               {strikeButton_, format.strike()},
                                               {underlineButton_, format.underline()}};
  for (const auto& [box, on] : boxes) box->setChecked(on);
  const int32_t alignment = format.alignment();
  const bool shown = alignment >= kAlignmentLeft && alignment <= kAlignmentRight;
  alignmentControl_->button(shown ? alignment - 99 : 0)->setChecked(true);
  const QFont& font = document()->font();
  fontDisplayField_->setText(FormatString("%@\n%.1f pt.", font.family(), font.pointSizeF()));
}

void CAFormatDocTextVC::domainChanged() {
  closeFontPanel();
  CAFormatBaseVC::domainChanged();
}

bool CAFormatDocTextVC::setFormatUndo() {
  CADocument* target = document();
  return target && RecordPaneStep(*target, &undoID_, false, kUndoActionFormats, kUndoDocumentFormat, GridRange{},
                                  kDomainDocument);
}

void CAFormatDocTextVC::setStyle(uint64_t mask, bool on) {
  if (!setFormatUndo()) return selectionChanged();
  CADocument* target = document();
  CAFormat& format = target->mutableDefaultFormat();
  if (mask == kFormatBold) format.setBold(on);
  if (mask == kFormatItalic) format.setItalic(on);
  if (mask == kFormatUnderline) format.setUnderline(on);
  if (mask == kFormatStrike) format.setStrike(on);
  target->invalidateAllLongText();
  target->layOutLongText();
  redrawSelection();
  // Bold and italic change the width of a digit.
  if (mask == kFormatBold || mask == kFormatItalic)
    NotificationCenter::defaultCenter().post(QLatin1String(kFontChangedNotification), target);
}

void CAFormatDocTextVC::setAlignment(int segment) {
  if (!setFormatUndo()) return selectionChanged();
  document()->mutableDefaultFormat().setAlignment(segment >= 1 && segment <= 3 ? 99 + segment
                                                                                 : int32_t(kAlignmentAuto));
  redrawSelection();
}

void CAFormatDocTextVC::setFont() {
  if (!document()) return;
  if (!fontPanel_) {
    fontPanel_ = new QFontDialog(view());
    fontPanel_->setOption(QFontDialog::NoButtons);
    connect(fontPanel_, &QFontDialog::currentFontChanged, this, &CAFormatDocTextVC::changeFont);
  }
  QFont shown;
  ShowFontInPanel(fontPanel_, document()->font(), &shown);
  fontPanelFont_ = shown;
  fontPanel_->show();
  fontPanel_->raise();
}

void CAFormatDocTextVC::changeFont(const QFont& chosen) {
  CADocument* target = document();
  if (!target) return;
  bool familyChanged = false;
  const QFont font = FontFromPanelChoice(target->font(), chosen, fontPanelFont_.value_or(target->font()),
                                         &familyChanged);
  fontPanelFont_ = chosen;
  if (font == target->font()) return;
  if (!RecordPaneStep(*target, &undoID_, true, kUndoActionLayout, kUndoFont, target->selectionRange(),
                      kDomainDocument))
    return;
  // Hearing of its own change must not start a new step for the next one.
  const uint32_t undoID = undoID_;
  target->setFont(font);
  RelayLongTextForFont(*target);
  NotificationCenter::defaultCenter().post(QLatin1String(kFontChangedNotification), target);
  undoID_ = undoID;
  target->pageBreaksChanged();
  redrawSelection();
  if (familyChanged && fontPanel_) {
    QFont shown;
    ShowFontInPanel(fontPanel_, target->font(), &shown);
    fontPanelFont_ = shown;
  }
}

void CAFormatDocTextVC::closeFontPanel() {
  if (!fontPanel_) return;
  disconnect(fontPanel_.data(), nullptr, this, nullptr);
  fontPanel_->hide();
}
