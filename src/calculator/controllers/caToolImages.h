// The spreadsheet window's tool pictures, drawn here since the application carries no image
// files for them: each is a small glyph on a light tile, drawn at twice the resolution so that
// it stays sharp on high-density screens.
#pragma once

#include <QImage>
#include <QString>

// The picture of the tool image name ("SumTool", "ExpandDown", ...), 32 x 32 points; a null
// image for a name without one.
QImage DrawToolImage(const QString& name);

// The template picture (black on clear) of a segmented tool's tab: "TextAlignLeft",
// "TextAlignCenter", "TextAlignRight", "UndoTool", "RedoTool".
QImage DrawSegmentImage(const QString& name);
