// The application's identity as its bundle information gave it on the original platform: the
// identifier that names its preference and log files, its display name and its short version.
// Here they come from the Qt application object, which main() fills.
#pragma once

#include <QString>
#include <QStringList>

// The desktop file name without ".desktop" ("com.orvandel.calculator"); without one, the
// application name, so each test program keeps its own preference file. Never holds "/".
QString BundleIdentifier();
// QCoreApplication::applicationName(); the executable's name when main() set none.
QString BundleName();
// QCoreApplication::applicationVersion(); empty when main() set none.
QString BundleShortVersion();
// The build the program was made from (the commit's short id, which main() sets); the short
// version when none was set.
QString BundleBuildVersion();
void SetBundleBuildVersion(const QString& build);

// A resource installed with the application ("Help", "glimmet"): searched in the folders set for
// it, else beside the program in ../share/tamsel-calculator and in the desktop's data folders
// under "tamsel-calculator". Empty when there is none.
QString BundleResourcePath(const QString& name, const QString& type);
// Replaces the folders searched first (tests; empty: none).
void SetBundleResourceFolders(const QStringList& folders);
