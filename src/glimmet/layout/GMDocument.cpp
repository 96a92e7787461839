#include "glimmet/layout/GMDocument.h"

#include "framlet/foundation/flBase.h"
#include "glimmet/layout/gmDraft.h"
#include "glimmet/layout/gmHostProcedures.h"
#include "glimmet/layout/gmSelection.h"
#include "glimmet/layout/gmViewNotifications.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmClipboard.h"
#include "glimmet/storage/gmFind.h"
#include "glimmet/storage/gmProperties.h"

#include <QGuiApplication>
#include <QWidget>

#include <new>

namespace {

// A match is selected in the document's pane, scrolled into view and flashed. The help
// document's window is told instead: the match may lie in a topic its pane does not show.
void ShowFoundText(GlimmetDoc* doc, const DocRange& match) {
  Pane* pane = CurrentPane(doc);
  if (doc->kind == kDocHelp && pane && pane->view) {
    if (auto* view = dynamic_cast<QWidget*>(pane->view)) {
      NotificationCenter::defaultCenter().post(kGMHelpFoundNotification, view->window(),
                                               {{QLatin1String(kGMFoundRangeKey), QVariantList{match.first, match.limit}}});
      return;
    }
  }
  SelectCpsCore(doc, match.first, match.limit, true, false);
  ShowSelection(doc, false, true);
}

// The closing notification's name, made with the first document, so that a document destroyed
// while a failed allocation unwinds tells its views without making anything.
const QString& DocClosingName() {
  static const QString name = QString::fromLatin1(kGMDocClosingNotification);
  return name;
}

}  // namespace

std::unique_ptr<GMDocument> GMDocument::create() {
  DocClosingName();
  if (!g_prefDoc) LogAssert("FinitGlimmet not called", __func__, __FILE__, __LINE__);
  // A shown document needs the draft to mark its lines dirty, and its copies the copy procedure.
  InstallDraftLayout();
  InstallDocumentCopy();
  SetFindHost({ShowFoundText, HostBeep});
  std::unique_ptr<GMDocument> document(new GMDocument);
  document->glimmetDoc_ = NewGlimmetDoc(kDocShown);
  if (!document->glimmetDoc_) return nullptr;
  document->glimmetDoc_->owner = document.get();
  GMDocument* self = document.get();
  NotificationCenter& center = NotificationCenter::defaultCenter();
  document->selectionObserver_ =
      center.addObserver(kGMSelectionChangeNotification, self, [self](const Notification&) { self->selectionChanged(); });
  document->redrawObserver_ =
      center.addObserver(kGMRedrawNotification, self, [self](const Notification&) { self->redrawDocument(); });
  return document;
}

GMDocument::~GMDocument() {
  selectionObserver_.reset();
  redrawObserver_.reset();
  applicationContext_.reset();
  if (!closing_) documentWillClose();
  ForgetSelectionTracking(glimmetDoc_);
  DestroyDocument(glimmetDoc_);
  glimmetDoc_ = nullptr;
}

void GMDocument::awake() {
  applicationContext_ = std::make_unique<QObject>();
  if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    QObject::connect(application, &QGuiApplication::applicationStateChanged, applicationContext_.get(),
                     [this](Qt::ApplicationState state) {
                       if (state == Qt::ApplicationActive)
                         activate();
                       else
                         deactivate();
                     });
  }
  linkInvalidation_ = 2000000000;
}

void GMDocument::documentWillClose() {
  closing_ = true;
  closeAllPanes();
  try {
    NotificationCenter::defaultCenter().post(DocClosingName(), this);
  } catch (const std::bad_alloc&) {
    // Called from the destructor too: an observer short of memory must not end the program.
  }
  selectionObserver_.reset();
  redrawObserver_.reset();
  applicationContext_.reset();
}

bool GMDocument::isDirty() const { return glimmetDoc_ && glimmetDoc_->dirty; }

void GMDocument::setLocked(bool locked) {
  locked_ = locked;
  if (glimmetDoc_) glimmetDoc_->locked = locked;
}

int32_t GMDocument::userLength() const { return glimmetDoc_ ? glimmetDoc_->userLength : 0; }
int32_t GMDocument::totalLength() const { return glimmetDoc_ ? glimmetDoc_->totalLength : 0; }

void GMDocument::setActive(bool active) {
  if (!glimmetDoc_) return;
  glimmetDoc_->active = active;
  loading_ = false;
  if (active) {
    if (Pane* pane = CurrentPane(glimmetDoc_)) pane->caretBlinkBlocked = false;
    TurnOnSel(glimmetDoc_);
  } else {
    InvalidateSel(glimmetDoc_);
  }
}

void GMDocument::activate() {
  if (!loading_) InvalidateSel(glimmetDoc_);
}

void GMDocument::deactivate() {
  if (!loading_) InvalidateSel(glimmetDoc_);
}

void GMDocument::selectionChanged() { undoDomain_ = 6; }

void GMDocument::documentDidChange() {
  everEdited_ = true;
  if (changeLockCount_ > 0) --changeLockCount_;
}

QSizeF GMDocument::paperSize() const {
  if (!glimmetDoc_) return {};
  return {double(glimmetDoc_->paperWidth), double(glimmetDoc_->paperHeight)};
}

std::pair<int64_t, int64_t> GMDocument::pageSize() const {
  if (!glimmetDoc_) return {0, 0};
  const PropRecord& props = glimmetDoc_->docProps;
  return {int64_t(glimmetDoc_->paperWidth) * kEmuPerPoint - props.get<int64_t>(DocField::left) -
              props.get<int64_t>(DocField::right),
          int64_t(glimmetDoc_->paperHeight) * kEmuPerPoint - props.get<int64_t>(DocField::top) -
              props.get<int64_t>(DocField::bottom)};
}

void GMDocument::wipeDocMemory() {
  if (g_findSettings.type == 1 || (g_findSettings.type == kFindPicture && g_findSettings.knotIndex % 2 == 0))
    g_findSettings.type = 0;
  g_findSettings.knotIndex = 1;
}

bool GMDocument::performFind(bool fromStart, bool forward) {
  return glimmetDoc_ && PerformFind(glimmetDoc_, fromStart, forward);
}

bool GMDocument::findBrokenLink(bool forward) { return glimmetDoc_ && FindBrokenLink(glimmetDoc_, forward, false); }
