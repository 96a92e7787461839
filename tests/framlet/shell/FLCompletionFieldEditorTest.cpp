#include "framlet/shell/FLCompletionFieldEditor.h"

#include "support/LogCapture.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct ReceivedKey {
  int key;
  Qt::KeyboardModifiers modifiers;
  uint64_t handleKeyCount;
  bool operator==(const ReceivedKey&) const = default;
};

// Stands in for the cell grid: lends the editor, takes the keys that end typing and answers the
// responder actions.
class FakeGrid : public QWidget, public FLFieldEditorViewDelegate, public FLCompletionDelegate {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  Q_INVOKABLE void cancelOperation(QObject* sender) { cancels.push_back(sender); }
  Q_INVOKABLE void clearField(QObject* sender) { clears.push_back(sender); }
  Q_INVOKABLE void scrollPageDown(QObject* sender) { pageDowns.push_back(sender); }

  void fieldEditorResigned(FLCompletionFieldEditor*) override { ++resignations; }
  void textViewDidChangeSelection(FLCompletionFieldEditor*) override { ++selectionChanges; }
  QStringList completions(FLCompletionFieldEditor*, FLTextRange range, int* index) override {
    ranges.push_back(range);
    *index = selectedIndex;
    return offered;
  }

  FLCompletionFieldEditor* editor = nullptr;
  std::vector<ReceivedKey> keys;
  std::vector<QObject*> cancels, clears, pageDowns;
  std::vector<FLTextRange> ranges;
  int resignations = 0, selectionChanges = 0;
  QStringList offered{QStringLiteral("=sum(range)"), QStringLiteral("=sumsq(values)")};
  int selectedIndex = 0;

 protected:
  // Tab reaches the key handling instead of moving the focus, as in the cell grid.
  bool focusNextPrevChild(bool) override { return false; }
  void keyPressEvent(QKeyEvent* event) override {
    // QTest presses Shift on its own before a shifted key; the editor lets it through.
    if (event->key() == Qt::Key_Shift) return;
    keys.push_back({event->key(), event->modifiers(), editor ? editor->handleKeyCount() : 0});
  }
};

class FieldEditorTest : public testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    grid = new FakeGrid(window.get());
    other = new QLineEdit(window.get());
    layout->addWidget(grid);
    layout->addWidget(other);
    editor = FLCompletionFieldEditor::completionFieldEditorForWindow(window.get());
    editor->setParent(grid);  // laid over the cell being typed
    editor->setGeometry(0, 0, 200, 24);
    editor->show();
    grid->editor = editor;
    window->resize(300, 200);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    editor->setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(window->focusWidget(), editor);
  }

  void TearDown() override {
    FLCompletionFieldEditor::releaseCompletionFieldEditorForWindow(window.get());
    window.reset();
  }

  // The grid as the editor's view delegate and completion source, with a text typed.
  void lend(const QString& typed = QString()) {
    editor->setViewDelegate(grid);
    editor->setCompletionDelegate(grid);
    if (!typed.isEmpty()) QTest::keyClicks(editor, typed);
  }

  std::unique_ptr<QWidget> window;
  FakeGrid* grid = nullptr;
  QLineEdit* other = nullptr;
  FLCompletionFieldEditor* editor = nullptr;
};

TEST_F(FieldEditorTest, OneEditorPerWindowForgottenWithItsWindow) {
  EXPECT_EQ(FLCompletionFieldEditor::completionFieldEditorForWindow(window.get()), editor);
  EXPECT_TRUE(editor->isFieldEditor());
  EXPECT_TRUE(editor->allowLinkDetection());
  const int registered = FLCompletionFieldEditor::registeredEditorCount();

  auto second = std::make_unique<QWidget>();
  QPointer<FLCompletionFieldEditor> secondEditor = FLCompletionFieldEditor::completionFieldEditorForWindow(second.get());
  EXPECT_NE(secondEditor, editor);
  EXPECT_EQ(FLCompletionFieldEditor::registeredEditorCount(), registered + 1);
  second.reset();
  EXPECT_TRUE(secondEditor.isNull());
  EXPECT_EQ(FLCompletionFieldEditor::registeredEditorCount(), registered);

  // A window made afterwards, wherever it lands, gets an editor of its own.
  auto third = std::make_unique<QWidget>();
  FLCompletionFieldEditor* thirdEditor = FLCompletionFieldEditor::completionFieldEditorForWindow(third.get());
  EXPECT_EQ(thirdEditor->parentWidget(), third.get());

  QPointer<FLCompletionFieldEditor> released = thirdEditor;
  FLCompletionFieldEditor::releaseCompletionFieldEditorForWindow(third.get());
  EXPECT_EQ(FLCompletionFieldEditor::registeredEditorCount(), registered);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(released.isNull());
}

TEST_F(FieldEditorTest, KeysThatEndTypingGoToTheViewDelegate) {
  lend(QStringLiteral("12"));
  const std::pair<int, Qt::KeyboardModifiers> keys[] = {
      {Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Tab, Qt::NoModifier},      {Qt::Key_Backtab, Qt::ShiftModifier},
      {Qt::Key_Enter, Qt::KeypadModifier}, {Qt::Key_Home, Qt::NoModifier},  {Qt::Key_End, Qt::NoModifier},
      {Qt::Key_PageUp, Qt::NoModifier}, {Qt::Key_PageDown, Qt::NoModifier},
  };
  for (const auto& [key, modifiers] : keys) QTest::keyClick(editor, Qt::Key(key), modifiers);
  ASSERT_EQ(grid->keys.size(), std::size(keys));
  for (size_t i = 0; i < std::size(keys); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(grid->keys[i].key, keys[i].first);
    EXPECT_EQ(grid->keys[i].handleKeyCount, 1u);
  }
  EXPECT_EQ(editor->handleKeyCount(), 0u);
  EXPECT_EQ(editor->toPlainText(), QStringLiteral("12"));
}

TEST_F(FieldEditorTest, EscapeAndClearGoUpTheResponderChain) {
  lend(QStringLiteral("x"));
  QTest::keyClick(editor, Qt::Key_Escape);
  QTest::keyClick(editor, Qt::Key_Clear, Qt::KeypadModifier);
  EXPECT_EQ(grid->cancels, (std::vector<QObject*>{editor}));
  EXPECT_EQ(grid->clears, (std::vector<QObject*>{editor}));
  EXPECT_TRUE(grid->keys.empty());
}

TEST_F(FieldEditorTest, EscapeToAnEditorWithoutTheFocusReachesTheNextRespondersKeys) {
  lend();
  other->setFocus();
  QCoreApplication::processEvents();
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_TRUE(grid->cancels.empty());
  ASSERT_EQ(grid->keys.size(), 1u);
  EXPECT_EQ(grid->keys[0].key, Qt::Key_Escape);
  EXPECT_EQ(grid->resignations, 1);
}

TEST_F(FieldEditorTest, WithoutAViewDelegateTheEditorInterpretsTheKeys) {
  QSignalSpy ended(editor, &FLCompletionFieldEditor::textDidEndEditing);
  QTest::keyClicks(editor, QStringLiteral("abc"));
  QTest::keyClick(editor, Qt::Key_Home);
  EXPECT_EQ(editor->textCursor().position(), 0);
  QTest::keyClick(editor, Qt::Key_End);
  EXPECT_EQ(editor->textCursor().position(), 3);
  const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {{Qt::Key_Return, Qt::NoModifier},
      {Qt::Key_Enter, Qt::KeypadModifier}, {Qt::Key_Tab, Qt::NoModifier}, {Qt::Key_Backtab, Qt::ShiftModifier},
      {Qt::Key_PageDown, Qt::NoModifier}};
  for (const auto& [key, modifiers] : keys) QTest::keyClick(editor, key, modifiers);
  QList<int> movements;
  for (const QList<QVariant>& signal : ended) movements << signal[0].toInt();
  EXPECT_EQ(movements, (QList<int>{kTextMovementReturn, kTextMovementReturn, kTextMovementTab, kTextMovementBacktab}));
  EXPECT_EQ(grid->pageDowns, (std::vector<QObject*>{editor}));
  EXPECT_EQ(editor->toPlainText(), QStringLiteral("abc"));
  EXPECT_TRUE(grid->keys.empty());
}

TEST_F(FieldEditorTest, CompletionRunsOnlyWhileTheUserTypes) {
  lend(QStringLiteral("=su"));
  EXPECT_TRUE(editor->allowCompletion());
  QTest::keyClick(editor, Qt::Key_Left);
  EXPECT_FALSE(editor->allowCompletion());
  editor->complete();
  EXPECT_FALSE(editor->isCompleting());
  EXPECT_TRUE(grid->ranges.empty());

  QTest::keyClicks(editor, QStringLiteral("m"));
  editor->complete();
  ASSERT_TRUE(editor->isCompleting());
  EXPECT_EQ(grid->ranges, (std::vector<FLTextRange>{{0, 4}}));
}

TEST_F(FieldEditorTest, RightDismissesACompletionWithoutInsertingIt) {
  lend(QStringLiteral("=su"));
  editor->complete();
  ASSERT_TRUE(editor->isCompleting());
  QTest::keyClick(editor, Qt::Key_Right);
  EXPECT_FALSE(editor->isCompleting());
  EXPECT_EQ(editor->toPlainText(), QStringLiteral("=su"));
  EXPECT_TRUE(grid->keys.empty());
}

TEST_F(FieldEditorTest, ReturnTabAndBacktabMakeTheCompletionFinal) {
  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool down;
    const char* text;
    size_t keysForwarded;  // Tab and Backtab still move on in the grid
  } const cases[] = {
      {Qt::Key_Return, Qt::NoModifier, false, "=sum(range)", 0},
      {Qt::Key_Return, Qt::NoModifier, true, "=sumsq(values)", 0},
      {Qt::Key_Tab, Qt::NoModifier, false, "=sum(range)", 1},
      {Qt::Key_Backtab, Qt::ShiftModifier, false, "=sum(range)", 1},
  };
  lend();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    editor->clear();
    grid->keys.clear();
    QTest::keyClicks(editor, QStringLiteral("=su"));
    editor->complete();
    ASSERT_TRUE(editor->isCompleting());
    if (c.down) QTest::keyClick(editor, Qt::Key_Down);
    QTest::keyClick(editor, c.key, c.modifiers);
    EXPECT_FALSE(editor->isCompleting());
    EXPECT_EQ(editor->toPlainText(), QString::fromUtf8(c.text));
    EXPECT_FALSE(editor->textCursor().hasSelection());
    EXPECT_EQ(editor->textCursor().position(), editor->toPlainText().size());
    EXPECT_EQ(grid->keys.size(), c.keysForwarded);
  }
}

TEST_F(FieldEditorTest, TypeAheadAppendsTheOfferedCompletionSelected) {
  lend(QStringLiteral("=s"));
  grid->offered = {QStringLiteral("sum"), QStringLiteral("sin")};
  grid->selectedIndex = 1;
  editor->typeAhead();
  EXPECT_EQ(editor->toPlainText(), QStringLiteral("=sin"));
  EXPECT_EQ(editor->textCursor().selectedText(), QStringLiteral("in"));
  EXPECT_EQ(grid->ranges.back(), (FLTextRange{1, 1}));

  const struct { const char* text; QStringList offered; int index; bool caretAtEnd; const char* after; } cases[] = {
      {"=s", {"sum", "sin"}, -1, true, "=sum"},     // a bad index takes the first
      {"=s", {"sum", "sin"}, 5, true, "=sum"},
      {"=s", {"sum"}, 0, false, "=s"},              // caret not at the end
      {"=s", {"s"}, 0, true, "=s"},                 // one character adds nothing
      {"=s", {}, 0, true, "=s"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.after);
    editor->clear();
    QTest::keyClicks(editor, QString::fromUtf8(c.text));
    if (!c.caretAtEnd) {
      QTextCursor cursor = editor->textCursor();
      cursor.setPosition(1);
      editor->setTextCursor(cursor);
    }
    grid->offered = c.offered;
    grid->selectedIndex = c.index;
    editor->typeAhead();
    EXPECT_EQ(editor->toPlainText(), QString::fromUtf8(c.after));
  }
  editor->clear();
  editor->typeAhead();  // an empty text
  EXPECT_TRUE(editor->toPlainText().isEmpty());
}

TEST_F(FieldEditorTest, ResigningStopsCompletionAndTellsTheView) {
  lend(QStringLiteral("=s"));
  other->setFocus();
  QCoreApplication::processEvents();
  EXPECT_EQ(grid->resignations, 1);
  EXPECT_FALSE(editor->allowCompletion());
  EXPECT_GT(grid->selectionChanges, 0);
}

}  // namespace

#include "FLCompletionFieldEditorTest.moc"
