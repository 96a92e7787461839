// The framework's document base: what every document window's document has whatever it holds
// (its window controller, the file it was read from or saved to, unsaved changes, read-only
// state) and the hooks a document class fills in.
#pragma once

#include <QString>

class FLDocumentWC;

class FLDocument {
 public:
  FLDocument() = default;
  virtual ~FLDocument();
  FLDocument(const FLDocument&) = delete;
  FLDocument& operator=(const FLDocument&) = delete;

  // Not owned; cleared by prepareToClose.
  FLDocumentWC* windowController() const { return windowController_; }
  void setWindowController(FLDocumentWC* controller) { windowController_ = controller; }

  // Null while the document is untitled.
  const QString& filePath() const { return filePath_; }
  void setFilePath(const QString& path) { filePath_ = path; }

  bool dirty() const { return dirty_; }
  void setDirty(bool dirty) { dirty_ = dirty; }

  bool locked() const { return locked_; }
  void setLocked(bool locked) { locked_ = locked; }

  // A private document (a help copy, a template in the support folder) is never reopened at launch.
  virtual bool privateDocument() const { return false; }

  // Whether the document may not be changed.
  virtual bool isLocked() const { return locked_; }
  // The window is going away: the document lets go of it.
  virtual void prepareToClose() { windowController_ = nullptr; }

 private:
  FLDocumentWC* windowController_ = nullptr;
  QString filePath_;
  bool dirty_ = false;
  bool locked_ = false;
};
