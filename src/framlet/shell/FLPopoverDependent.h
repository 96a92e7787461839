// An object that must hear that a popover it depends on is about to close.
#pragma once

class FLPopoverDependent {
 public:
  virtual ~FLPopoverDependent() = default;
  virtual void popoverWillClose() = 0;
};
