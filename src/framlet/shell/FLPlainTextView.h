// A plain text edit that survives a failed allocation inside Qt's text document. Qt's rich text
// is not safe against exceptions: an allocation that fails while the document changes (a text
// replaced, a key typed, a paste) may leave its tables half-changed, and the next use of the
// document, or its destruction, then walks what is broken. When a failure passes through one of
// the view's events or its text calls, the view leaves that document alone for good (it is never
// touched or destroyed again) and goes on with a fresh one made beforehand. After a key, a paste
// or a drop the fresh document is given the text as it was before the event; the failure then
// goes on to whoever guards the command (which says so, and shows the text again where the view
// follows a document).
#pragma once

#include <QPlainTextEdit>

#include <new>

class QTextDocument;

class FLPlainTextView : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit FLPlainTextView(QWidget* parent = nullptr);
  ~FLPlainTextView() override;

  // Replaces the whole text, as setPlainText does.
  void replaceWholeText(const QString& text);
  // Inserts at the selection, as insertPlainText does.
  void insertAtSelection(const QString& text);
  // Runs a change of the text; should an allocation fail inside it, the document is replaced
  // (empty) before the failure goes on.
  template <typename F>
  void changeText(F&& change) {
    prepareSpareDocument();
    try {
      change();
    } catch (const std::bad_alloc&) {
      replaceBrokenDocument(nullptr);
      throw;
    }
  }
  // Documents left alone since the process began.
  static long abandonedDocuments();

 protected:
  bool event(QEvent* event) override;
  // A broken document was replaced: with the text it held before the failed change when
  // textKept (given back as a change of the text), empty otherwise (and not told as a change).
  // Runs while the failure unwinds; takes no memory.
  virtual void documentReplaced(bool /*textKept*/) {}

 private:
  // The empty document that takes a broken one's place: made while nothing fails, so that the
  // replacement itself asks for little.
  void prepareSpareDocument();
  // The text and the selection as they were before an event.
  struct KeptText {
    QString text;
    int anchor = 0;
    int position = 0;
  };
  // Goes on with the spare document, holding `kept` when given.
  void replaceBrokenDocument(const KeptText* kept);

  QTextDocument* spare_ = nullptr;  // a child of the view
  bool makingSpare_ = false;
};
