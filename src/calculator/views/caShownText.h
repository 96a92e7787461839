// What of a long text a view can show: the first lines its height holds and, of each, the
// characters its width holds, no character that matters to a line being narrower than a pixel.
// The formula bar holds no more of a text it is not editing, and a cell's tooltip shows no more:
// laying out the rest would cost time in proportion to a text nobody can see.
#pragma once

#include <QSize>
#include <QString>

struct CAShownExtent {
  qsizetype lines = 1;
  qsizetype across = 1;  // characters of each line
};

// The extent of a view of that many pixels with lines that far apart: every line that shows
// even in part, and one character more than the pixels across.
CAShownExtent ShownExtentOfSize(const QSize& pixels, double lineSpacing);
// The extent of the largest screen.
CAShownExtent ShownExtentOfScreens(double lineSpacing);

// The text's first extent.lines lines (with the breaks between them), each cut after
// extent.across characters, never inside a surrogate pair; the text itself when nothing is cut.
// The rest of a cut line is passed over only to find the next line.
QString ShownPartOfText(const QString& text, const CAShownExtent& extent, bool* cut = nullptr);
