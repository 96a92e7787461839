// The font panel as the document's font is set through it, from the window's Show Fonts and from
// the document text pane alike: it starts from the document's font, and a choice changes only
// the part of the font that was chosen.
#pragma once

#include <QFont>

class CADocument;
class QFontDialog;

// Shows the font in the panel, in the style of its family whose weight, slant and stretch are
// the font's, else in the family's regular style. `shown` is the font the panel then reports.
void ShowFontInPanel(QFontDialog* panel, QFont font, QFont* shown);

// The document's font `current` with what differs between the panel's choice and what it showed
// before. A new family keeps the style as it was (the panel picks a style of its own for it);
// `familyChanged` says so, the panel must then show the result afresh.
QFont FontFromPanelChoice(const QFont& current, const QFont& chosen, const QFont& shown, bool* familyChanged);

// After the document's font changed: every text lays out its overflow again at once, so that a
// text that grew is not shown cut until the next recalculation. The caller redraws the grid.
void RelayLongTextForFont(CADocument& document);
