// The About window: the application's name, version, copyright, a line that describes it, and
// links to the maker's web site and licence. There is one; asking again brings it forward.
#pragma once

#include <QString>

class QDialog;

class FLAboutController {
 public:
  // Shows the one About window with this description under the name.
  static void introduceTamselApp(const QString& description);
  // The window while it is open.
  static QDialog* window();
  // "%@ (%@)": the short version and the build.
  static QString versionString();
};
