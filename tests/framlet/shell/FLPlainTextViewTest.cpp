// A text view whose change fails with the first, second, third, ... allocation: the program goes
// on, the view is usable afterwards, and a key that failed leaves the text and the caret as they
// were before it.
#define TAMSEL_DEFINE_ALLOCATION_FAILURES
#include "support/AllocationFailures.h"

#include "framlet/shell/FLPlainTextView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTextCursor>

#include <gtest/gtest.h>

#include <functional>

namespace {

TEST(FLPlainTextViewTest, AChangeThatRunsOutOfMemoryLeavesAUsableViewAndAKeyLeavesTheTextAsItWas) {
  FLPlainTextView view;
  view.show();
  QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
  const QString start = QStringLiteral("a text\nof two lines");
  const struct {
    const char* name;
    std::function<void()> change;
    QString done;
    bool keepsTextOnFailure;
  } changes[] = {
      {"the whole text replaced", [&] { view.replaceWholeText(QStringLiteral("another text")); },
       QStringLiteral("another text"), false},
      {"a text inserted", [&] { view.insertAtSelection(QStringLiteral("more ")); },
       QStringLiteral("a text\nmore of two lines"), false},
      {"a key typed", [&] { QApplication::sendEvent(&view, &key); }, QStringLiteral("a text\nxof two lines"), true},
  };
  for (const auto& change : changes) {
    SCOPED_TRACE(change.name);
    const auto begin = [&] {
      view.replaceWholeText(start);
      QTextCursor caret = view.textCursor();
      caret.setPosition(7);
      view.setTextCursor(caret);
    };
    const long abandonedBefore = FLPlainTextView::abandonedDocuments();
    bool completed = false;
    int failed = 0;
    for (int64_t k = 1; k < 5000 && !completed; ++k) {
      SCOPED_TRACE(k);
      begin();
      FailAllocations(k);
      try {
        change.change();
      } catch (const std::bad_alloc&) {
        // (A key's failure ends in the application's last resort instead.)
      }
      completed = AllowAllocations().failures == 0;
      if (completed) EXPECT_EQ(view.toPlainText(), change.done);
      // Done whole, the failure cost only what is made again when needed.
      if (view.toPlainText() == change.done) continue;
      ++failed;
      if (change.keepsTextOnFailure) {
        EXPECT_EQ(view.toPlainText(), start);
        EXPECT_EQ(view.textCursor().position(), 7);
      }
      // Usable again, and whole.
      view.replaceWholeText(QStringLiteral("after"));
      EXPECT_EQ(view.toPlainText(), QStringLiteral("after"));
    }
    EXPECT_TRUE(completed);
    EXPECT_GT(failed, 0);
    EXPECT_GT(FLPlainTextView::abandonedDocuments(), abandonedBefore);
  }
}

}  // namespace
