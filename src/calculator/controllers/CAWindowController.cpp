#include "calculator/controllers/CAWindowController.h"

#include "calculator/controllers/CAAppController.h"
#include "calculator/controllers/CAApplication.h"
#include "calculator/controllers/CAColorWell.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CASaveFormatVC.h"
#include "calculator/controllers/caSheetPages.h"
#include "calculator/fileformats/caPackageReader.h"
#include "calculator/model/CABorder.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAScrollView.h"
#include "calculator/views/CASpreadsheetView.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLDocumentSaveFormatVC.h"
#include "framlet/shell/FLToolbarView.h"
#include "framlet/shell/FLWindowTabContainer.h"
#include "framlet/shell/FLWindowTabManager.h"
#include "framlet/shell/flWindowOrder.h"
#include "framlet/shell/flInterfaceSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFontDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrinter>
#include <QScreen>
#include <QVBoxLayout>
#include "platform/NotificationCenter.h"

#include <algorithm>

CAWindowController::CAWindowController()
    : document_(std::make_unique<CADocument>()), window_(std::make_unique<QMainWindow>()) {
  InstallWindowEventGuard();
  archiver_ = std::make_unique<Archiver>(*document_, *this);
  undoManager_.setDelegate(archiver_.get());
  undoManager_.setBufferSize(CAUndoArchiver::kBufferSize);
  undoManager_.setCapacity(CAUndoArchiver::kCapacity);
  document_->setController(this);
  document_->setWindowController(this);
  window_->setObjectName(QStringLiteral("MainWindow"));
  markWindow();
  window_->setAttribute(Qt::WA_DeleteOnClose, false);
  // The toolbar across the top of the content, the formula bar below it, the sheet below that.
  auto* centre = new QWidget(window_.get());
  auto* layout = new QVBoxLayout(centre);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  formulaTextView_ = new CAFormulaTextView(centre);
  formulaTextView_->setFixedHeight(formulaTextView_->fontMetrics().lineSpacing() * 2 + 8);
  formulaTextView_->setDocument(document_.get());
  connect(formulaTextView_, &CAFormulaTextView::focusCellViewRequested, this, &CAWindowController::focusCellView);
  // The sheet (the label strips around the scroll view that holds the cells) shares its row with the
  // format panel while the panel shows.
  auto* sheetRow = new QWidget(centre);
  sheetRowLayout_ = new QHBoxLayout(sheetRow);
  sheetRowLayout_->setContentsMargins(0, 0, 0, 0);
  sheetRowLayout_->setSpacing(0);
  auto* sheet = new CASpreadsheetView(document_.get(), sheetRow);
  scrollView_ = sheet->scrollView();
  sheetRowLayout_->addWidget(sheet, 1);
  layout->addWidget(formulaTextView_);
  layout->addWidget(sheetRow, 1);
  window_->setCentralWidget(centre);
  // Whoever names the window (a save, a revert, the password), the preference on extensions holds.
  connect(window_.get(), &QWidget::windowTitleChanged, this, &CAWindowController::applyTitlePreference);
  applyPreferences();
  if (CAPrefController* preferences = CAPrefController::sharedInstance()) {
    connect(preferences, &CAPrefController::preferenceChanged, this, &CAWindowController::applyPreferences);
  }
  buildToolbar();
  layout->insertWidget(0, toolbarView_);
  scrollView_->cellView()->setFocus();
  NotificationCenter& center = NotificationCenter::defaultCenter();
  center.addObserver(this, QLatin1String(kSelectionChangeNotification), document_.get(),
                     [this](const Notification&) { selectionChanged(); });
  center.addObserver(this, QLatin1String(kPasswordNotification), document_.get(),
                     [this](const Notification&) { askForPassword(); });
  center.addObserver(this, QLatin1String(kPagesChangedNotification), document_.get(),
                     [this](const Notification&) { updatePageBreaks(); });
  connect(scrollView_->cellView(), &CACellView::formulaPopupRequested, this, &CAWindowController::showFormulaPopup);
  if (CAAppController* app = CAAppController::sharedInstance()) app->installMenus(window_.get());
  installMenuItems();
  if (CAAppController* app = CAAppController::sharedInstance()) app->installSubmenus(window_.get());
  watchWindow();
  // The window stops being the main one when the keys go to another document window (or to
  // another tab of the same container); its own panels and sheets keep it main.
  if (auto* application = qobject_cast<QApplication*>(QCoreApplication::instance())) {
    connect(application, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
      for (QWidget* widget = now; widget; widget = widget->parentWidget()) {
        if (CAWindowController* holder = controllerOfWindow(widget)) {
          if (holder != this) windowDidResignMain();
          return;
        }
      }
    });
  }
}

CAWindowController::~CAWindowController() {
  NotificationCenter::defaultCenter().removeObserver(this);
  if (CACellView* view = cellView()) view->shutDown();
  document_->prepareToClose();
  window_.reset();
  undoManager_.clearUndo();
}

void CAWindowController::prepareToShow() {
  synchronizeWindowTitle();
  // A native document comes back in the frame it stored, and a document reopened at launch in
  // the frame its window had (given as its tab group is rebuilt); others are placed as the user
  // chose for new windows.
  const bool native = QFileInfo(document_->filePath()).suffix().compare(QLatin1String(kPackageExtension),
                                                                        Qt::CaseInsensitive) == 0;
  const bool reopened =
      !document_->filePath().isEmpty() && FLWindowTabManager::sharedInstance().storedFrameForFile(document_->filePath());
  // A protected document's frame is read with its cells, after the password: until then its
  // window is placed as a new one, a window its password sheet lies over.
  const bool frameRead = native && document_->password().isEmpty();
  // A tab takes its container's place.
  if (!frameRead && !reopened && window_->isWindow()) {
    const CAPrefController* prefs = CAPrefController::sharedInstance();
    const int64_t option = prefs ? prefs->value(CAIntPreference::newSizeOption) : 0;
    if (option == 1) {
      SetStandardWindowSize(window_.get());
      if (!window_->isMaximized()) window_->setWindowState(window_->windowState() | Qt::WindowMaximized);
    } else if (option == 2 && prefs && !prefs->untitledPosition().isEmpty()) {
      window_->setGeometry(prefs->untitledPosition().toAlignedRect());
    } else {
      SetStandardWindowSize(window_.get());
      if (option == 3) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
          const int shift = (screen->availableGeometry().width() - window_->width()) / 2;
          window_->move(window_->x() + shift, window_->y());
        }
      }
    }
  }
  if (CACellView* view = cellView()) view->setZoomValue(document_->zoomValue());
  updatePageBreaks();
  selectZoomTool(document_->zoomValue());
  selectionChanged();
  updateUndoTool();
  updateStateTools();
  prepareComplete_ = true;
}

void CAWindowController::synchronizeWindowTitle() {
  if (!showsRecoveredCopy()) {
    document_->setWindowTitle();
  } else {
    window_->setWindowTitle(titleOverride_);
    window_->setWindowFilePath(QString());
  }
  window_->setWindowModified(document_->dirty());
}

// Once saved, the copy is the document of the file it was saved to.
bool CAWindowController::showsRecoveredCopy() const {
  return !titleOverride_.isEmpty() && document_->autosaveRecoveryDoc();
}

QString CAWindowController::nameForSave() const {
  if (!showsRecoveredCopy()) return FLDocumentWC::nameForSave();
  return QString(titleOverride_).remove(QLatin1String("[*]"));
}

QString CAWindowController::untitledSaveProposal() const {
  if (!showsRecoveredCopy() || recoveredFromPath_.isEmpty()) return FLDocumentWC::untitledSaveProposal();
  // A copy of a document never saved is proposed as a new one is.
  if (!QFileInfo(recoveredFromPath_).isAbsolute()) return document_->untitledWindowName();
  return recoveredFromPath_;
}

// The old interchange format and the rich-text package are offered to advanced users only.
std::unique_ptr<FLDocumentSaveFormatVC> CAWindowController::saveFormatVC() {
  auto accessory = std::make_unique<CASaveFormatVC>();
  for (const char* extension : {"dif", "rtfd"}) accessory->setFormatTag(QLatin1String(extension), kAdvancedFormatTag);
  return accessory;
}

QWidget* CAWindowController::printView() { return scrollView_; }

void CAWindowController::giveAlert(const QString& message, const QString& information) {
  FLAlert::sharedInstance().giveAlertMessage(message, information);
}

QRectF CAWindowController::contentRect() const { return QRectF(FLWindowTabContainer::contentFrame(window_.get())); }

// A tab keeps the frame of the window it is in. A frame stored on another screen is brought onto
// this one: when it shows, or here for a window already up (the untitled one a document fills).
void CAWindowController::setContentRect(const QRectF& rect) {
  if (!(rect.width() > 0 && rect.height() > 0 && window_->isWindow())) return;
  window_->setGeometry(rect.toAlignedRect());
  if (window_->isVisible()) PlaceWindowOnScreen(window_.get());
}

void CAWindowController::placeAtStandardSize() {
  if (window_->isWindow()) SetStandardWindowSize(window_.get());
}

// The preview asks for the size and gets the first page; an export gets the whole sheet.
QByteArray CAWindowController::pdfOfDocument(QSizeF* size, FLError* error) {
  return SheetPdf(*document_, size != nullptr, size, spreadsheetView(), error);
}

bool CAWindowController::printToPrinter(QPrinter& printer) {
  bool tooManyPages = false;
  if (PrintSheet(*document_, printer, spreadsheetView(), &tooManyPages)) return true;
  if (tooManyPages) {
    giveAlert(QString::fromLatin1(kTooManyPagesMessage), TooManyPagesInformation());
  }
  return false;
}

void CAWindowController::modifyPrintInfo(QPrinter& printer) {
  // The paper of the document's page set-up (the one that panel shows without settings), then
  // its margins.
  const QPageLayout layout = DocumentPageLayout(*document_);
  printer.setPageSize(layout.pageSize());
  printer.setPageOrientation(layout.orientation());
  const double emu = double(kEmuPerPoint);
  printer.setPageMargins(QMarginsF(double(document_->leftMargin()) / emu, double(document_->topMargin()) / emu,
                                   double(document_->rightMargin()) / emu, double(document_->bottomMargin()) / emu),
                         QPageLayout::Point);
}

bool CAWindowController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_.get() && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) windowDidMove();
  return FLDocumentWC::eventFilter(watched, event);
}

void CAWindowController::windowDidMove() {
  if (!prepareComplete_ || !document_->filePath().isEmpty() || !window_->isWindow()) return;
  CAPrefController* prefs = CAPrefController::sharedInstance();
  if (prefs && prefs->value(CAIntPreference::newSizeOption) == 2) prefs->setUntitledPosition(QRectF(window_->geometry()));
}

bool CAWindowController::windowShouldClose(FLDocumentAppDelegate* quitting) {
  commitTyping();
  return FLDocumentWC::windowShouldClose(quitting);
}

void CAWindowController::windowWillClose() { document_->prepareToClose(); }

void CAWindowController::windowDidResignMain() {
  // The window's font panel and its document text pane's act on this window's document alone.
  for (QFontDialog* panel : window_->findChildren<QFontDialog*>()) panel->hide();
  CAColorWell::closePanelOver(window_.get());
}

CACellView* CAWindowController::cellView() const { return scrollView_ ? scrollView_->cellView() : nullptr; }

void CAWindowController::focusCellView() {
  if (CACellView* view = cellView()) view->setFocus(Qt::OtherFocusReason);
}

// While the document suppresses redraws (a recalculation of the whole sheet), the whole view is
// redrawn when it is done: the cells it recalculates are not measured out one by one.
void CAWindowController::redrawCell(const GridPoint& point) {
  if (document_->suppressRedraws() > 0) return;
  if (CACellView* view = cellView()) view->redrawGridPoint(point);
}

void CAWindowController::redrawRange(const GridRange& range) {
  if (document_->suppressRedraws() > 0) return;
  if (CACellView* view = cellView()) view->redrawRange(range);
}

void CAWindowController::redrawSelectionForDomain(int32_t domain) {
  if (CACellView* view = cellView()) view->redrawSelectionForDomain(domain);
}

void CAWindowController::removeTooltipForCell(const CACell& cell) {
  if (CACellView* view = cellView()) view->removeTooltipForCell(cell);
}

void CAWindowController::adjustCellViewForNewData() {
  if (CACellView* view = cellView()) view->setContentFrame();
}

void CAWindowController::applyPreferences() {
  const CAPrefController* preferences = CAPrefController::sharedInstance();
  if (!preferences) return;
  if (formulaTextView_) formulaTextView_->setAllowReturns(preferences->value(CABoolPreference::allowReturns));
  if (CACellView* view = cellView()) view->setAcceptDrops(preferences->value(CABoolPreference::dragAndDrop));
  applyTitlePreference();
}

void CAWindowController::applyTitlePreference() {
  const CAPrefController* preferences = CAPrefController::sharedInstance();
  if (adjustingTitle_ || !preferences || showsRecoveredCopy() || document_->filePath().isEmpty()) return;
  const QFileInfo file(document_->filePath());
  const QString full = file.fileName();
  const QString bare = file.completeBaseName();
  QString title = window_->windowTitle();
  if (preferences->value(CABoolPreference::alwaysHideExtension)) {
    if (!title.startsWith(full) || full == bare) return;
    title.replace(0, full.size(), bare);
  } else {
    if (title.startsWith(full) || !title.startsWith(bare)) return;
    title.replace(0, bare.size(), full);
  }
  adjustingTitle_ = true;
  window_->setWindowTitle(title);
  adjustingTitle_ = false;
}

void CAWindowController::jumpToSelection() {
  if (CACellView* view = cellView()) view->ensureSelectionVisible();
}

// Showing only occupied cells, a delete may leave the selection and the scrolled extent beyond
// the last used cell: both come back to it.
void CAWindowController::scrollAfterDelete() {
  CACellView* view = cellView();
  if (document_->showOnlyOccupied()) {
    const GridPoint last = document_->maxGridPoint();
    const auto clampTo = [](int64_t n, int64_t limit) { return n == kGridWildcard ? n : std::min(n, limit); };
    const auto clampPoint = [&](const GridPoint& p) { return GridPoint{clampTo(p.x, last.x), clampTo(p.y, last.y)}; };
    const GridPoint active = clampPoint(document_->activeCellPoint());
    const GridRange& selection = document_->selectionRange();
    document_->setSelectionRange(GridRange{clampPoint(selection.startPoint), clampPoint(selection.endPoint)});
    document_->setActiveCellPoint(active);
    document_->setMaxDisplayGridPoint(last);
    if (view) {
      view->setContentFrame();
      view->redraw();
    }
  }
  jumpToSelection();
}

// A sheet is a window-modal dialog of this window.
bool CAWindowController::showsSheet() const {
  const QList<QDialog*> dialogs = window_->findChildren<QDialog*>(Qt::FindDirectChildrenOnly);
  return std::any_of(dialogs.begin(), dialogs.end(), [](const QDialog* dialog) {
    return dialog->isVisible() && dialog->windowModality() == Qt::WindowModal;
  });
}

// A tab is shown by selecting it; its container decides which tab is visible.
void CAWindowController::setWindowVisible(bool visible) {
  if (!FLWindowTabContainer::containerOf(window_.get())) {
    window_->setVisible(visible);
  } else if (visible) {
    MakeKeyAndOrderFront(window_.get());
  }
}

void CAWindowController::performClose() { window_->close(); }

GridPoint CAWindowController::scrollPoint() const {
  const CACellView* view = cellView();
  return view ? view->scrollPoint() : GridPoint{0, 0};
}

// The stored scroll point is "x,y", as the package writer wrote it.
void CAWindowController::scrollToGridPoint(const QString& text) {
  const GridPoint point = GridPointFromStringCalc(text, false);
  CACellView* view = cellView();
  if (view && point.x >= 0 && point.y >= 0) view->scrollToGridPoint(point);
}
