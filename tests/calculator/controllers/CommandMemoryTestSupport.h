// A shown document window whose commands are run with one allocation made to fail at each point
// in turn: what the document and its undo history were before a command (the document's XML, the
// steps' titles), and the memory alerts the window gave.
#pragma once

#include "ShownWindowTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/UndoTestSupport.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caDocumentXml.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLUndoManager.h"

#include <QStringList>

#include <string>

class CommandMemoryTest : public ShownWindowTest {
 protected:
  CommandMemoryTest() : previousLog_(SetLogHandler([](const QString&) {})) {
    // Copy and paste write and read the clipboard through the file formats.
    InstallFileFormatServices();
    FLAlert::sharedInstance().setModalRunner([this](const FLAlertRequest& request, bool*) {
      alerts.append(request.message + QLatin1Char('|') + request.moreInfo);
      return 0;
    });
  }
  ~CommandMemoryTest() override {
    FLAlert::sharedInstance().setModalRunner({});
    SetLogHandler(previousLog_);
  }

  // Everything the document writes of itself: its options, columns, rows and cells, its selection.
  std::string sheetXml() const {
    CADocument& sheet = document();
    return DocumentXml(sheet).toStdString() + " sel " + StringFromSelection(sheet.selectionRange()).toStdString();
  }
  // The undo history as the Edit menu shows it: how many steps, where Undo stands, and the two
  // titles.
  std::string history() const {
    FLUndoManager& steps = *controller.undoManager();
    QString undo, redo;
    steps.validateState(true, &undo);
    steps.validateState(false, &redo);
    return std::to_string(steps.inUseCount()) + '/' + std::to_string(steps.currentEntry()) + ' ' +
           undo.toStdString() + " | " + redo.toStdString();
  }
  static QString memoryAlert() {
    return QLatin1String(kCommandMemoryMessage) + QLatin1Char('|') + QLatin1String(kCommandMemoryInformation);
  }

  QStringList alerts;

 private:
  FLLogHandler previousLog_;
};
