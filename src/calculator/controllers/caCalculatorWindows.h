// The three calculator windows as the application opens them: at most one of each, named by
// its bit of "numlet.calculatorMask" (kStandardCalculatorMask and its neighbours).
#pragma once

class QWidget;
class UserDefaults;

// Brings the window of that bit to the front, making it first when none is open; with the
// delay flag a new window shows half a second later. Null for any other mask.
QWidget* OpenCalculatorForMask(int mask, bool delay, UserDefaults& defaults);
// The bits of the calculator windows open now, those waiting to show included.
int OpenCalculatorMask();
