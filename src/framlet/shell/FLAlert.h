// The one road by which a message reaches the user: a modal alert with a message, an optional
// more-info text, up to three buttons and an optional "don't show again" check box. Answers the
// code of the pressed button, the index of its title (0, 1, 2).
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

struct FLAlertRequest {
  QString message;
  QString moreInfo;
  QStringList buttonStrings;  // empty: one "OK" button
  bool showSuppressButton = false;
};

class FLAlert {
 public:
  // Escape presses the second button, so its code is the refusal: what an alert that could not
  // be shown answers, so that a failure never reads as consent.
  static constexpr int kCancelCode = 1;

  // Shows the alert and answers the code; writes the check box's state to *suppress when given.
  // A failed run answers kCancelCode and, with allowDelay, shows the texts again on the next
  // turn of the event loop.
  using ModalRunner = std::function<int(const FLAlertRequest& request, bool* suppress)>;

  static FLAlert& sharedInstance();
  FLAlert(const FLAlert&) = delete;
  FLAlert& operator=(const FLAlert&) = delete;

  int giveAlertMessage(const QString& message, const QString& moreInfo, const QStringList& buttonStrings = {},
                       bool* suppress = nullptr);
  int giveAlertMessage(const QString& message, const QString& moreInfo, const QStringList& buttonStrings,
                       bool* suppress, bool allowDelay);
  // [message, more info]: a plain alert without buttons, check box or delay.
  void giveAlertWithStrings(const QStringList& strings);

  static bool isAlertActive();
  // Replaces the dialog that runs an alert (tests); an empty runner restores it. Returns the old one.
  ModalRunner setModalRunner(ModalRunner runner);

 private:
  FLAlert() = default;
  static int runMessageBox(const FLAlertRequest& request, bool* suppress);

  ModalRunner runner_;
};
