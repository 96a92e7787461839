// Front-to-back order of the application's windows. Qt keeps no stacking order it will tell, so
// the order is the one in which windows were last activated, fed by the focus-window changes
// and by MakeKeyAndOrderFront; windows never activated follow, in their creation order.
#pragma once

#include <QList>

class QWidget;

// Visible top-level windows (documents, dialogs, panels), frontmost first. Menus, pop-ups and
// tool tips are not windows here. Tabbed document windows are listed in their container's place,
// the selected tab first.
QList<QWidget*> OrderedWindows();
// Whether the widget is such a window by its kind, shown or not.
bool IsOrderedKind(const QWidget* widget);
// The frontmost ordered window that is not a panel, or null.
QWidget* MainWindow();
// Panels float beside documents (tool windows: the preferences' font and colour choosers).
bool IsPanel(const QWidget* window);
// Shows the window, raises it, gives it the focus and puts it first in the order at once; a tab
// is selected in its container, which comes front. A sheet up on the window takes the focus.
void MakeKeyAndOrderFront(QWidget* window);
// Whether a window runs modally (an application- or window-modal dialog is up).
bool HasModalWindow();
