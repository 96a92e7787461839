#include "calculator/views/CAKeyEaterView.h"

#include "calculator/views/caCalculatorFunctions.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

// Records what the view sends; refuses the characters it is told to.
class RecordingTarget : public CACalculatorKeyTarget {
 public:
  bool executeFunction(int code, bool flash) override {
    functions.push_back(code);
    flashes += flash;
    return true;
  }
  bool handleCharacter(char16_t character) override {
    if (refused.contains(QChar(character))) return false;
    typed.append(QChar(character));
    return true;
  }
  bool entersOnReturn() const override { return entersOnReturnFlag; }

  std::vector<int> functions;
  int flashes = 0;
  QString typed;
  QString refused;
  bool entersOnReturnFlag = false;
};

TEST(KeyEaterViewTest, KeysBecomeFunctionsOrTyping) {
  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool entersOnReturn;
    std::vector<int> functions;
    const char* typed;
  };
  const Case cases[] = {
      {Qt::Key_Return, Qt::NoModifier, false, {}, ""},  // the standard calculator ignores Return
      {Qt::Key_Return, Qt::NoModifier, true, {kFunctionEnter}, ""},
      {Qt::Key_Enter, Qt::KeypadModifier, true, {kFunctionEnter}, ""},
      {Qt::Key_Backspace, Qt::NoModifier, false, {kFunctionDelete}, ""},
      {Qt::Key_Delete, Qt::NoModifier, false, {kFunctionDelete}, ""},
      {Qt::Key_Escape, Qt::NoModifier, false, {kFunctionClearEntry}, ""},
      {Qt::Key_Clear, Qt::KeypadModifier, false, {kFunctionClearEntry}, ""},
      {Qt::Key_Left, Qt::NoModifier, false, {kFunctionRecall}, ""},
      {Qt::Key_Right, Qt::NoModifier, false, {kFunctionStore}, ""},
      {Qt::Key_Up, Qt::NoModifier, false, {kFunctionDrop}, ""}, {Qt::Key_Down, Qt::NoModifier, false, {}, ""},
      {Qt::Key_7, Qt::NoModifier, false, {}, "7"}, {Qt::Key_Plus, Qt::NoModifier, false, {}, "+"},
      {Qt::Key_C, Qt::ControlModifier, false, {}, ""},  // a shortcut, left to the window
  };
  for (const Case& c : cases) {
    RecordingTarget target;
    target.entersOnReturnFlag = c.entersOnReturn;
    CAKeyEaterView view(&target);
    QTest::keyClick(&view, c.key, c.modifiers);
    EXPECT_EQ(target.functions, c.functions) << c.key;
    EXPECT_EQ(target.typed, QString::fromLatin1(c.typed)) << c.key;
    EXPECT_EQ(target.flashes, int(c.functions.size())) << c.key;  // functions flash their keys
  }
}

TEST(KeyEaterViewTest, InsertedTextStopsAtTheFirstRefusedCharacter) {
  RecordingTarget target;
  target.refused = QStringLiteral("?");
  CAKeyEaterView view(&target);
  view.insertText(QStringLiteral("12+3?45"));
  EXPECT_EQ(target.typed, QStringLiteral("12+3"));
}

}  // namespace
