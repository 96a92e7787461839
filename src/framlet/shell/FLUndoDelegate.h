// The client side of the framework's undo stack: the stack keeps fixed-size records and leaves
// every meaning to this delegate, which fills a record when a step is recorded, replays it,
// names it for the Edit menu, merges repeated steps and frees what a record refers to.
#pragma once

#include <QString>

#include <cstdint>

class FLUndoDelegate {
 public:
  virtual ~FLUndoDelegate() = default;

  // Fills the data buffer of a new step from the caller's context; false refuses the step.
  virtual bool setUndoAction(uint32_t action, uint32_t descriptor, void* data, const void* context) = 0;
  // Performs the step backward (isRedo false) or forward. The action is read, and may be
  // rewritten, through its address in the entry. false, or a std::bad_alloc thrown: the step
  // could not be replayed, and the delegate's document is as it was before the call.
  virtual bool undoOrRedo(uint32_t* action, uint32_t descriptor, void* data, bool isRedo) = 0;
  // Puts back the state the step recorded, for a command that failed after recording it; the
  // step is freed next, so the state it leaves need not be kept. May throw std::bad_alloc, and is
  // then asked again.
  virtual void revertUndoAction(uint32_t action, uint32_t descriptor, void* data) {
    undoOrRedo(&action, descriptor, data, false);
  }
  // The step's name for "Undo %@" and "Redo %@".
  virtual QString undoActionName(uint32_t descriptor, const void* data) = 0;

  // Merges a new recording into the top step's buffer; true when merged.
  virtual bool coalesceUndoAction(uint32_t /*action*/, uint32_t /*descriptor*/, void* /*data*/,
                                  const void* /*context*/) {
    return false;
  }
  // Visiting the entries needs a delegate that says it handles the visits.
  virtual bool handlesUndoEnumeration() const { return false; }
  virtual void enumeratedUndoAction(uint32_t /*action*/, uint32_t /*descriptor*/, void* /*data*/,
                                    void* /*context*/) {}
  // Releases what a buffer refers to before its entry is reused or dropped.
  virtual void freeUndoAction(uint32_t /*action*/, uint32_t /*descriptor*/, void* /*data*/,
                              bool /*freeAll*/) {}
  // The top step is being dropped by popUndo.
  virtual void didPopUndoAction(uint32_t /*action*/, uint32_t /*descriptor*/, void* /*data*/) {}
};
