#include "platform/KeyMap.h"

#include <QKeyEvent>

#include <array>

namespace {

struct KeyMapEntry {
  uint16_t keyCode;
  Qt::Key key;
  bool keypad;  // the key sits on the numeric keypad
};

constexpr std::array<KeyMapEntry, 16> kKeyMap = {{
    {kKeyCodeReturn, Qt::Key_Return, false},
    {kKeyCodeTab, Qt::Key_Tab, false},
    {kKeyCodeSpace, Qt::Key_Space, false},
    {kKeyCodeDelete, Qt::Key_Backspace, false},
    {kKeyCodeEscape, Qt::Key_Escape, false},
    {kKeyCodeClear, Qt::Key_Clear, true},
    {kKeyCodeEnter, Qt::Key_Enter, true},
    {kKeyCodeHome, Qt::Key_Home, false},
    {kKeyCodePageUp, Qt::Key_PageUp, false},
    {kKeyCodeForwardDelete, Qt::Key_Delete, false},
    {kKeyCodeEnd, Qt::Key_End, false},
    {kKeyCodePageDown, Qt::Key_PageDown, false},
    {kKeyCodeLeftArrow, Qt::Key_Left, false},
    {kKeyCodeRightArrow, Qt::Key_Right, false},
    {kKeyCodeDownArrow, Qt::Key_Down, false},
    {kKeyCodeUpArrow, Qt::Key_Up, false},
}};

struct ModifierEntry {
  uint32_t flag;
  Qt::KeyboardModifier modifier;
};

constexpr std::array<ModifierEntry, 4> kModifierMap = {{
    {kShiftKeyFlag, Qt::ShiftModifier},
    {kControlKeyFlag, kControlModifier},
    {kOptionKeyFlag, kOptionModifier},
    {kCommandKeyFlag, kCommandModifier},
}};

}  // namespace

uint16_t KeyCodeForKey(int qtKey, Qt::KeyboardModifiers /*modifiers*/) {
  // Shift-Tab arrives as its own key, on the Tab key all the same.
  if (qtKey == Qt::Key_Backtab) return kKeyCodeTab;
  for (const KeyMapEntry& entry : kKeyMap) {
    if (entry.key == qtKey) return entry.keyCode;
  }
  return kKeyCodeNone;
}

uint16_t KeyCodeForEvent(const QKeyEvent& event) { return KeyCodeForKey(event.key(), event.modifiers()); }

int QtKeyForKeyCode(uint16_t keyCode, Qt::KeyboardModifiers* modifiers) {
  if (modifiers) *modifiers = Qt::NoModifier;
  for (const KeyMapEntry& entry : kKeyMap) {
    if (entry.keyCode != keyCode) continue;
    if (modifiers && entry.keypad) *modifiers = Qt::KeypadModifier;
    return entry.key;
  }
  return Qt::Key_unknown;
}

Qt::KeyboardModifiers ModifiersFromFlags(uint32_t flags) {
  Qt::KeyboardModifiers modifiers;
  for (const ModifierEntry& entry : kModifierMap) {
    if (flags & entry.flag) modifiers |= entry.modifier;
  }
  return modifiers;
}

uint32_t FlagsFromModifiers(Qt::KeyboardModifiers modifiers) {
  uint32_t flags = 0;
  for (const ModifierEntry& entry : kModifierMap) {
    if (modifiers & entry.modifier) flags |= entry.flag;
  }
  return flags;
}
