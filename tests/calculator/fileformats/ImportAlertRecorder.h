// Records the import alerts a reader shows, installed for the life of the object.
#pragma once

#include "calculator/fileformats/caImportAlert.h"

#include <QStringList>

class ImportAlertRecorder : public CAImportAlert {
 public:
  ImportAlertRecorder() { SetImportAlert(this); }
  ~ImportAlertRecorder() override { SetImportAlert(nullptr); }
  ImportAlertRecorder(const ImportAlertRecorder&) = delete;
  ImportAlertRecorder& operator=(const ImportAlertRecorder&) = delete;

  bool showSuppressibleAlert(const QString& message, const QString& information) override {
    shown.append(message + QLatin1Char('|') + information);
    return false;
  }
  void showAlert(const QString& message, const QString& information) override {
    shown.append(message + QLatin1Char('|') + information);
  }

  QStringList shown;
};
