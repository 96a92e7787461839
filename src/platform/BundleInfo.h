// The application's identity as its bundle information gave it on the original platform: the
// identifier that names its preference and log files, its display name and its short version.
// Here they come from the Qt application object, which main() fills.
#pragma once

#include <QString>

// The desktop file name without ".desktop" ("com.orvandel.calculator"); without one, the
// application name, so each test program keeps its own preference file. Never holds "/".
QString BundleIdentifier();
// QCoreApplication::applicationName(); the executable's name when main() set none.
QString BundleName();
// QCoreApplication::applicationVersion(); empty when main() set none.
QString BundleShortVersion();
