// The three calculator windows as the application opens them: at most one of each, named by
// its bit of "numlet.calculatorMask" (1 standard, 2 programmer's, 4 converter).
#pragma once

class QWidget;
class UserDefaults;

inline constexpr int kStandardCalculatorBit = 1;
inline constexpr int kProgrammerCalculatorBit = 2;
inline constexpr int kConverterCalculatorBit = 4;

// Brings the window of that bit to the front, making it first when none is open; with the
// delay flag a new window shows half a second later. Null for any other mask.
QWidget* OpenCalculatorForMask(int mask, bool delay, UserDefaults& defaults);
// The bits of the calculator windows open now.
int OpenCalculatorMask();
