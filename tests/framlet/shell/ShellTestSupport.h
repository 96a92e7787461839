// Fake documents and windows for the application delegate's tests: a document is a path and a
// dirty flag, its window a plain main window, and the delegate opens whatever path it is given.
#pragma once

#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLDocument.h"
#include "framlet/shell/FLDocumentAppDelegate.h"
#include "framlet/shell/FLDocumentWC.h"

#include "platform/FLError.h"
#include "support/EventWaits.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QTest>

#include <functional>
#include <memory>

class FakeDocument : public FLDocument {
 public:
  bool privateDocument() const override { return isPrivate; }
  bool isPrivate = false;
};

// Writes `content` as a package folder holding "document.xml", or as a plain file, unless told
// to fail.
class PackageDocument : public FLDocument {
 public:
  bool saveCore(const QString& path, bool /*inPlace*/, FLError* error) override {
    writtenTo = path;
    finalDuringSave = finalSavePath();
    if (failWith.size()) {
      QDir().mkpath(path);  // a half-written package the save must clean up
      SetError(error, -34, failWith);
      return false;
    }
    if (asPackage && !QDir().mkpath(path)) return false;
    if (whileWriting) whileWriting();
    QFile file(asPackage ? QDir(path).filePath(QStringLiteral("document.xml")) : path);
    return file.open(QIODevice::WriteOnly) && file.write(content.toUtf8()) == content.toUtf8().size();
  }
  void attachToSavedFile() override { ++attached; }
  bool makeBackups() const override { return backups; }
  bool savesEnciphered(const QString& /*path*/) const override { return enciphered; }

  QString content, failWith, writtenTo, finalDuringSave;
  // Called with the package begun and its document not yet written.
  std::function<void()> whileWriting;
  bool asPackage = true, backups = true, enciphered = false;
  int attached = 0;
};

class FakeWC : public FLDocumentWC {
 public:
  explicit FakeWC(const QString& path) {
    document_.setFilePath(path);
    window_ = std::make_unique<QMainWindow>();
    window_->setWindowTitle(path.isEmpty() ? QStringLiteral("Untitled") : path);
    watchWindow();
  }
  FakeDocument* document() const override { return &document_; }
  QWidget* window() const override { return window_.get(); }
  bool saveDocument() override {
    ++saves;
    if (!saveSucceeds) return false;
    document_.setDirty(false);
    return true;
  }
  FLPrintReply printWithInfo(const QVariantMap& settings, bool showPanel) override {
    printed.append(settings.value(QStringLiteral("copies")).toInt());
    return showPanel ? FLPrintReply::ReplyLater : printReply;
  }
  bool saveSucceeds = true;
  int saves = 0;
  QList<int> printed;
  FLPrintReply printReply = FLPrintReply::Success;

 private:
  mutable FakeDocument document_;
  std::unique_ptr<QMainWindow> window_;
};

class TestDelegate : public FLDocumentAppDelegate {
 public:
  QString reopenFilesKey() const override { return QStringLiteral("test.openFiles"); }
  FLDocumentWC* openFileWithTabIdentifier(const QString& path, const QString&) override {
    opened.append(path);
    if (failingPaths.contains(path)) return nullptr;
    return adoptController(std::make_unique<FakeWC>(path));
  }
  FLDocumentWC* openUntitledWithTabIdentifier(const QString&) override {
    ++untitled;
    FLDocumentWC* controller = adoptController(std::make_unique<FakeWC>(QString()));
    controller->window()->show();
    return controller;
  }
  void prepareToQuit() override { ++prepared; }
  Qt::KeyboardModifiers launchModifiers() const override { return modifiers; }
  void quitApplication() override { ++quits; }
  int delayedOpenOrderFrontDelay() const override { return 10; }

  void launch() {
    applicationWillFinishLaunching();
    for (const QString& path : handedOver) applicationOpenFile(path);
    applicationDidFinishLaunching();
  }
  FakeWC* controllerFor(const QString& path) const {
    return static_cast<FakeWC*>(controllerOfWindow(windowForFile(path)));
  }

  QStringList handedOver, failingPaths, opened;
  Qt::KeyboardModifiers modifiers;
  int untitled = 0, prepared = 0, quits = 0;
};

// Presses the button with this title on the save alert of the controller's window.
inline bool AnswerSaveAlert(FLDocumentWC* controller, const QString& title) {
  if (!QTest::qWaitFor([controller] { return controller->saveAlert() && controller->saveAlert()->isVisible(); }, 10000)) {
    return false;
  }
  for (QAbstractButton* button : controller->saveAlert()->buttons()) {
    if (button->text() == title) {
      button->click();
      return true;
    }
  }
  return false;
}

// Lets the delayed orderings and the controllers' release run.
inline void SettleEvents() {
  WaitPastDelay(30);
  QApplication::processEvents();
}
