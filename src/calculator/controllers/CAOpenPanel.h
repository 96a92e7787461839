// The Open panel. Native documents and RTFD files are folders ("name.Numlet/", "name.rtfd/"); a
// plain file dialog would only walk into them. This one treats such a folder as a document: it
// shows with a document's icon and kind, and choosing it (Return, Open, or a double-click that
// would enter it) opens it.
#pragma once

#include "framlet/shell/flDocumentPackages.h"

#include <QFileDialog>

class CAOpenPanel : public QFileDialog {
  Q_OBJECT

 public:
  CAOpenPanel(QWidget* parent, const QString& message);

  void accept() override;
};
