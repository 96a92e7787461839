// What the program was started with: the documents the desktop handed over (paths or file URLs)
// and whether they are to be printed ("--print", the desktop entry's Print action) rather than
// opened. Other options are not documents and are left to Qt.
#pragma once

#include <QStringList>

inline constexpr const char* kPrintOption = "--print";

struct FLCommandLine {
  QStringList documents;  // absolute paths
  bool print = false;
};

// The arguments as QCoreApplication::arguments() gives them, the program first.
FLCommandLine ParseCommandLine(const QStringList& arguments);
