#include "framlet/shell/FLTeardownSilencer.h"

#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QObject>

void SilenceForTeardown(QObject* receiver, QObject* tree) {
  if (!receiver) return;
  // A child's destroyed() still goes out (Qt sends it whatever is blocked): what keeps track of
  // the children by it stays right.
  if (tree) {
    tree->blockSignals(true);
    for (QObject* child : tree->findChildren<QObject*>()) child->blockSignals(true);
  }
  if (QCoreApplication* application = QCoreApplication::instance()) application->disconnect(receiver);
  NotificationCenter::defaultCenter().removeObserver(receiver);
}
