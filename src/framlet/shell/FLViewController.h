// A controller of one view: the view is made on first request; the widget it is placed in owns
// it from then on, else the controller deletes it with itself.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class FLViewController : public QObject {
  Q_OBJECT

 public:
  explicit FLViewController(QObject* parent = nullptr) : QObject(parent) {}
  ~FLViewController() override;

  QWidget* view();
  bool isViewLoaded() const { return !view_.isNull(); }

 protected:
  // Makes the view; the base makes an empty one.
  virtual QWidget* loadView() { return new QWidget; }
  // Runs once the view exists.
  virtual void viewDidLoad() {}

 private:
  QPointer<QWidget> view_;
};
