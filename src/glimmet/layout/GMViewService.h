// What a draft view asks of the window that hosts it: its context menus, undo, spelling, the
// plain and select-all commands, the key scheme and whether the view may respond at all. The
// optional requests have empty defaults; a host that handles one says so through its answers*
// function, and the view skips the request for a host that does not.
#pragma once

#include <QString>

#include <cstdint>

class FLUndoManager;
class GMDraftView;
class QMenu;
class QObject;

class GMViewService {
 public:
  virtual ~GMViewService() = default;

  virtual QMenu* pageContextMenu() = 0;
  virtual QMenu* paragraphContextMenu() = 0;
  virtual QMenu* pictureContextMenu() = 0;
  virtual QMenu* textContextMenu() = 0;
  virtual uint32_t newUndoID() = 0;
  virtual FLUndoManager* undoManager() = 0;
  virtual void clearGoodWordMarks(QObject* sender) = 0;
  virtual void clearSpellingError() = 0;
  virtual void correctWord(QObject* sender) = 0;
  virtual void rememberWord(QObject* sender) = 0;
  virtual bool spellingErrorAt(uint32_t cp) = 0;
  virtual void plain(QObject* sender) = 0;
  virtual void selectAll(QObject* sender) = 0;
  virtual bool dragAndDrop() = 0;
  virtual bool useStandardKeys() = 0;
  virtual double verticalRulerWidth() = 0;
  virtual bool mayRespond() = 0;

  // Optional.
  virtual double dragZoomForView(GMDraftView* /*view*/) { return 1.0; }
  virtual QMenu* frameContextMenu() { return nullptr; }
  virtual bool answersSetBlockBlink() const { return false; }
  virtual void setBlockBlink(bool /*block*/) {}
  virtual bool answersSetStatusMessage() const { return false; }
  virtual void setStatusMessage(const QString& /*message*/, double /*timeOut*/, int /*priority*/) {}
};

// A host that shows its text read-only: no context menus, undo or spelling, and no plain-text
// command. Undo identifiers are all ones (none).
class GMReadOnlyViewService : public GMViewService {
 public:
  QMenu* pageContextMenu() override { return nullptr; }
  QMenu* paragraphContextMenu() override { return nullptr; }
  QMenu* pictureContextMenu() override { return nullptr; }
  QMenu* textContextMenu() override { return nullptr; }
  uint32_t newUndoID() override { return 0xFFFFFFFF; }
  FLUndoManager* undoManager() override { return nullptr; }
  void clearGoodWordMarks(QObject*) override {}
  void clearSpellingError() override {}
  void correctWord(QObject*) override {}
  void rememberWord(QObject*) override {}
  bool spellingErrorAt(uint32_t) override { return false; }
  void plain(QObject*) override {}
};
