#include "platform/KeyMap.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

namespace {

TEST(KeyMapTest, KeyCodesAndQtKeysCorrespond) {
  const struct { uint16_t code; Qt::Key key; Qt::KeyboardModifiers modifiers; } cases[] = {
      {36, Qt::Key_Return, Qt::NoModifier},   {48, Qt::Key_Tab, Qt::NoModifier},
      {71, Qt::Key_Clear, Qt::KeypadModifier}, {76, Qt::Key_Enter, Qt::KeypadModifier},
      {117, Qt::Key_Delete, Qt::NoModifier},  {121, Qt::Key_PageDown, Qt::NoModifier},
      {123, Qt::Key_Left, Qt::NoModifier},    {126, Qt::Key_Up, Qt::NoModifier},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    Qt::KeyboardModifiers modifiers;
    EXPECT_EQ(QtKeyForKeyCode(c.code, &modifiers), c.key);
    EXPECT_EQ(modifiers, c.modifiers);
    EXPECT_EQ(KeyCodeForEvent(QKeyEvent(QEvent::KeyPress, c.key, c.modifiers)), c.code);
  }
  EXPECT_EQ(KeyCodeForEvent(QKeyEvent(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier)), kKeyCodeTab);
  EXPECT_EQ(KeyCodeForEvent(QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier)), kKeyCodeNone);
  EXPECT_EQ(QtKeyForKeyCode(0), Qt::Key_unknown);
}

TEST(KeyMapTest, CommandIsCtrlOptionIsAltControlIsMeta) {
  EXPECT_EQ(ModifiersFromFlags(kCommandKeyFlag), Qt::ControlModifier);
  EXPECT_EQ(ModifiersFromFlags(kOptionKeyFlag), Qt::AltModifier);
  EXPECT_EQ(ModifiersFromFlags(kControlKeyFlag), Qt::MetaModifier);
  EXPECT_EQ(ModifiersFromFlags(kShiftKeyFlag | kCommandKeyFlag), Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_EQ(FlagsFromModifiers(Qt::AltModifier | Qt::MetaModifier), kOptionKeyFlag | kControlKeyFlag);
}

}  // namespace
