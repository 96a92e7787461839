// The recovery dialog: lists the autosaved copies found at launch (document name and folder) and
// asks whether to open them.
#pragma once

#include "calculator/controllers/CAAppController.h"

#include <QList>

class QTableWidget;

class CAAutosaveRestorer {
 public:
  // Runs the dialog modally; true when the user chose to open the copies.
  static bool shouldOpenAutosaves(const QList<CAAutosaveEntry>& autosaves);
  // The two columns of a row: a path's last component and its folder; a path that is not
  // absolute ("untitled") whole, with an empty folder.
  static std::pair<QString, QString> rowTexts(const QString& documentPath);
};
