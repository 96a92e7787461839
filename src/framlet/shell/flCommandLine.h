// What the program was started with: the documents the desktop handed over (paths or file URLs)
// and whether they are to be printed ("--print", the desktop entry's Print action) rather than
// opened. Other options are not documents and are left to Qt.
#pragma once

#include <QStringList>

class QUrl;

inline constexpr const char* kPrintOption = "--print";

struct FLCommandLine {
  QStringList documents;  // absolute paths
  bool print = false;
};

// The arguments as QCoreApplication::arguments() gives them, the program first.
FLCommandLine ParseCommandLine(const QStringList& arguments);

// A path as a document is named by it: doubled "/" made one, "." steps and a trailing "/" (which
// shell completion adds to a package, as it is a folder) dropped. ".." stays, as a link before it
// decides where it leads; so does the "//" of another host's file (see LocalPathOfFileUrl).
QString CleanDocumentPath(const QString& path);

// The path of a local file URL. A host of "localhost" or this machine's own name is this machine
// (the desktop writes either); the path of a URL of another host keeps its host ("//host/path").
QString LocalPathOfFileUrl(const QUrl& url);
