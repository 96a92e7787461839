// The strips of column letters and row numbers around a sheet's cells.
#pragma once

#include <QSizeF>

class CADocument;

// The width of the row label strip and the height of the column label strip, in view points:
// room for eight digits and one line of the document's font, grown (never shrunk) with the zoom.
// Printed labels and page breaks use the same extent.
QSizeF LabelExtent(double digitWidth, double lineHeight, double zoom);
QSizeF LabelExtent(const CADocument& document);
