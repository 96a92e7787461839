// The desktop's list of recently used files ("recently-used.xbel" in the user's data folder, the
// freedesktop bookmark format that file managers, launchers and desktop search read). A document
// the application opens or saves is noted there with the application's name and command, as
// other applications note theirs; their entries are kept as they are.
#pragma once

#include <QDateTime>
#include <QString>

// "$XDG_DATA_HOME/recently-used.xbel".
QString RecentlyUsedFilePath();

struct FLRecentlyUsedApplication {
  QString name;  // the application's name ("Tamsel Calculator")
  QString exec;  // its command, with %u for the file's URL
};

// Adds the file (or marks it used again) in the list file: the bookmark's times, its MIME type
// and the application's count. The file is rewritten atomically; a list that cannot be read as
// XML is left alone (it is other applications' too). False when nothing was written.
bool NoteRecentlyUsedFile(const QString& listPath, const QString& documentPath, const QString& mimeType,
                          const FLRecentlyUsedApplication& application,
                          const QDateTime& now = QDateTime::currentDateTimeUtc());
