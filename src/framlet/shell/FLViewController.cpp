#include "framlet/shell/FLViewController.h"

FLViewController::~FLViewController() {
  if (view_ && !view_->parent()) delete view_.data();
}

QWidget* FLViewController::view() {
  if (!view_) {
    view_ = loadView();
    viewDidLoad();
  }
  return view_;
}
