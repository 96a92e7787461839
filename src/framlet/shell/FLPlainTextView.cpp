#include "framlet/shell/FLPlainTextView.h"

#include "framlet/foundation/flQtHeld.h"

#include <QEvent>
#include <QPlainTextDocumentLayout>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// A text up to this length is kept aside while a key, a paste or a drop changes it, to be given
// back should Qt fail inside; a longer one is lost with the failure rather than copied at every
// key.
constexpr int kLongestKeptText = 1 << 16;

long g_abandoned = 0;

bool TypesIntoText(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::Drop:
    case QEvent::MouseButtonRelease:  // the selection pasted with the middle button
      return true;
    default:
      return false;
  }
}

}  // namespace

FLPlainTextView::FLPlainTextView(QWidget* parent) : QPlainTextEdit(parent) { prepareSpareDocument(); }

FLPlainTextView::~FLPlainTextView() = default;

long FLPlainTextView::abandonedDocuments() { return g_abandoned; }

void FLPlainTextView::replaceWholeText(const QString& text) {
  changeText([&] { setPlainText(text); });
}

void FLPlainTextView::insertAtSelection(const QString& text) {
  changeText([&] { insertPlainText(text); });
}

bool FLPlainTextView::event(QEvent* event) {
  if (!TypesIntoText(event->type())) {
    bool handled = false;
    changeText([&] { handled = QPlainTextEdit::event(event); });
    return handled;
  }
  prepareSpareDocument();
  KeptText before;
  const bool keep = QPlainTextEdit::document()->characterCount() <= kLongestKeptText;
  if (keep) {
    before.text = toPlainText();
    const QTextCursor caret = textCursor();
    before.anchor = caret.anchor();
    before.position = caret.position();
  }
  try {
    return QPlainTextEdit::event(event);
  } catch (const std::bad_alloc&) {
    replaceBrokenDocument(keep ? &before : nullptr);
    throw;
  }
}

void FLPlainTextView::prepareSpareDocument() {
  // Made as a child, the spare comes back here as the view's child event.
  if (spare_ || makingSpare_) return;
  const QScopedValueRollback<bool> making(makingSpare_, true);
  // Made with no parent and given one once whole: Qt's constructors cannot take back a failure
  // half-way, and a parent would keep a child whose construction failed.
  auto* spare = new QTextDocument;
  try {
    // The layout's failure would leave the document a broken child: left alone then.
    spare->setDocumentLayout(new QPlainTextDocumentLayout(spare));
  } catch (const std::bad_alloc&) {
    NoteQtObjectAbandoned(spare);
    throw;
  }
  try {
    spare->setParent(this);
  } catch (const std::bad_alloc&) {
    delete spare;
    throw;
  }
  spare_ = spare;
}

void FLPlainTextView::replaceBrokenDocument(const KeptText* kept) {
  QTextDocument* broken = QPlainTextEdit::document();
  QTextDocument* fresh = spare_;
  if (!broken || !fresh) return;
  spare_ = nullptr;
  {
    // The view between two documents says nothing of it.
    const QSignalBlocker quiet(this);
    // What the view set on its document, read from fields the failure did not touch.
    const qreal margin = broken->documentMargin();
    const int blocks = broken->maximumBlockCount();
    // Owned by the view, the broken document would be destroyed as the fresh one comes in.
    broken->setParent(nullptr);
    NoteQtObjectAbandoned(broken);
    ++g_abandoned;
    setDocument(fresh);
    try {
      fresh->setDocumentMargin(margin);
      fresh->setMaximumBlockCount(blocks);
      fresh->setDefaultFont(font());
    } catch (const std::bad_alloc&) {
      // Shown with Qt's margins and the application's font until the view is next set up.
    }
  }
  bool textKept = false;
  if (kept) {
    // The text as it was, told as a change, so that whoever follows the view (a cell being typed
    // in) holds it again too. Should that fail, the view goes on empty with yet another document.
    try {
      changeText([&] {
        setPlainText(kept->text);
        QTextCursor caret = textCursor();
        caret.setPosition(kept->anchor);
        caret.setPosition(kept->position, QTextCursor::KeepAnchor);
        setTextCursor(caret);
      });
      textKept = true;
    } catch (const std::bad_alloc&) {
    }
  }
  documentReplaced(textKept);
}
