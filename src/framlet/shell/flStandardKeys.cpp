#include "framlet/shell/flStandardKeys.h"

QList<QKeySequence> StandardShortcuts(QKeySequence::StandardKey key) {
  QList<QKeySequence> keys{QKeySequence(key)};
  const QKeySequence equal(QKeyCombination(Qt::ControlModifier, Qt::Key_Equal));
  if (key == QKeySequence::ZoomIn && keys.front() != equal) keys.append(equal);
  return keys;
}
