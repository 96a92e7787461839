// The one table between the original platform's virtual key codes and modifier flags and Qt's
// keys and modifiers. Command is Ctrl, Option is Alt and Control is Meta; keypad Enter is
// Key_Enter with the keypad modifier, and keypad Clear is Key_Clear (keypad 5 with Num Lock off).
#pragma once

#include <Qt>

#include <cstdint>

class QKeyEvent;

// Virtual key codes the views branch on.
enum FLKeyCode : uint16_t {
  kKeyCodeReturn = 36,
  kKeyCodeTab = 48,
  kKeyCodeSpace = 49,
  kKeyCodeDelete = 51,  // backspace
  kKeyCodeEscape = 53,
  kKeyCodeClear = 71,   // keypad
  kKeyCodeEnter = 76,   // keypad
  kKeyCodeHome = 115,
  kKeyCodePageUp = 116,
  kKeyCodeForwardDelete = 117,
  kKeyCodeEnd = 119,
  kKeyCodePageDown = 121,
  kKeyCodeLeftArrow = 123,
  kKeyCodeRightArrow = 124,
  kKeyCodeDownArrow = 125,
  kKeyCodeUpArrow = 126,
  kKeyCodeNone = 0xFFFF,
};

// Modifier flags of the original platform's events.
enum FLModifierFlag : uint32_t {
  kShiftKeyFlag = 1u << 17,
  kControlKeyFlag = 1u << 18,
  kOptionKeyFlag = 1u << 19,
  kCommandKeyFlag = 1u << 20,
};

inline constexpr Qt::KeyboardModifier kCommandModifier = Qt::ControlModifier;
inline constexpr Qt::KeyboardModifier kOptionModifier = Qt::AltModifier;
inline constexpr Qt::KeyboardModifier kControlModifier = Qt::MetaModifier;

// The key code of a key event (Backtab is Tab, as Shift-Tab is there); kKeyCodeNone for keys
// outside the table.
uint16_t KeyCodeForEvent(const QKeyEvent& event);
uint16_t KeyCodeForKey(int qtKey, Qt::KeyboardModifiers modifiers);
// The Qt key of a key code, with the keypad modifier it needs; Qt::Key_unknown when unknown.
int QtKeyForKeyCode(uint16_t keyCode, Qt::KeyboardModifiers* modifiers = nullptr);

Qt::KeyboardModifiers ModifiersFromFlags(uint32_t flags);
uint32_t FlagsFromModifiers(Qt::KeyboardModifiers modifiers);
