#include "framlet/shell/FLViewController.h"

#include "framlet/shell/FLTeardownSilencer.h"

FLViewController::~FLViewController() {
  if (view_ && !view_->parent()) {
    // The subclass is gone: the view's fields, losing the focus as it goes, must not reach it.
    SilenceForTeardown(this, view_.data());
    delete view_.data();
  }
}

QWidget* FLViewController::view() {
  if (!view_) {
    view_ = loadView();
    viewDidLoad();
  }
  return view_;
}
