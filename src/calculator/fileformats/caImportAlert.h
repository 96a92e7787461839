// The alert a reader shows when a file came in only in part, with a box to suppress it in
// future. The application installs the shell's alert at launch; tests install a double that
// records what was shown. Without one the message goes to the log.
#pragma once

#include <QString>

class CAImportAlert {
 public:
  virtual ~CAImportAlert() = default;
  // Shows the message with its informative text and the default button; YES when the user
  // asked not to be shown it again.
  virtual bool showSuppressibleAlert(const QString& message, const QString& information) = 0;
};

// Not owned; null removes it.
void SetImportAlert(CAImportAlert* alert);
// Shows the alert unless the boolean preference `suppressKey` of the shared domain is on, and
// turns the preference on when the user suppresses it.
void ShowImportAlert(const char* suppressKey, const QString& message, const QString& information);
