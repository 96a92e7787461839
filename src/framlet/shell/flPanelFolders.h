// Where the Open and Save panels start: in the folder of the frontmost document, else in the
// last folder a panel was confirmed in, else in the user's Documents folder.
#pragma once

#include <QString>

// The user-defaults key of the last folder used.
inline constexpr const char* kLastPanelFolderKey = "ov.fl.lastPanelFolder";

QString PanelStartFolder();
// A panel was confirmed in this folder.
void NotePanelFolder(const QString& folder);
