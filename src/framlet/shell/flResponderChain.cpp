#include "framlet/shell/flResponderChain.h"

#include <QByteArray>
#include <QMetaMethod>
#include <QObject>

namespace {
int ActionIndex(const QObject* object, const char* action) {
  const QByteArray signature = QByteArray(action) + "(QObject*)";
  return object->metaObject()->indexOfMethod(signature.constData());
}
}  // namespace

bool RespondsToAction(const QObject* object, const char* action) {
  return object && ActionIndex(object, action) >= 0;
}

bool TryToPerform(QObject* responder, const char* action, QObject* sender) {
  for (QObject* object = responder; object; object = object->parent()) {
    const int index = ActionIndex(object, action);
    if (index < 0) continue;
    return object->metaObject()->method(index).invoke(object, Qt::DirectConnection, Q_ARG(QObject*, sender));
  }
  return false;
}
