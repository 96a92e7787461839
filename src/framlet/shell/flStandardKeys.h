// The keys that the windows' standard commands answer, shared by the spreadsheet and help
// windows so that both take the same keys for the same command.
#pragma once

#include <QKeySequence>
#include <QList>

// The platform's key for a standard command; Zoom In also answers Ctrl+=, since "+" is Shift+"="
// on most keyboards and the unshifted key is the one people press.
QList<QKeySequence> StandardShortcuts(QKeySequence::StandardKey key);
