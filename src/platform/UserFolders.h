// The user's folders as the system knows them, placed where Linux desktops expect them:
// the support folder under XDG data, the log folder under XDG state.
#pragma once

#include <QString>

// "$XDG_DATA_HOME" (default ~/.local/share): the user's application support folder.
QString ApplicationSupportFolder();
// "$XDG_DATA_HOME/Orvandel" (default ~/.local/share/Orvandel): the maker's shared support folder,
// which holds the advanced-user marker file.
QString OrvandelSupportFolder();
// "$XDG_DATA_HOME/Orvandel/Calculator": autosave packages and the application's own data.
QString CalculatorSupportFolder();
// "$XDG_STATE_HOME/Orvandel" (default ~/.local/state/Orvandel): log files.
QString LogFolder();
// "$XDG_CONFIG_HOME/Orvandel" (default ~/.config/Orvandel): preference files.
QString PreferencesFolder();
QString DownloadsFolder();
