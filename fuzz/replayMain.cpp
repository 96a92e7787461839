// Feeds every saved corpus file to its reader once. A reader that crashes, hangs or trips a
// sanitizer on one of them fails the run; the inputs themselves may be as hostile as they like.
#include "replayEntries.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  // Documents measure fonts, so the readers need a GUI application; it stays headless.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  int files = 0;
  for (const ReplayEntry& entry : kReplayEntries) {
    QDir folder(QString::fromLocal8Bit(argv[1]) + QLatin1Char('/') + QLatin1String(entry.name));
    for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
      QFile file(folder.filePath(name));
      if (!file.open(QIODevice::ReadOnly)) continue;
      QByteArray bytes = file.readAll();
      entry.run(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
      ++files;
    }
  }
  std::printf("replayed %d corpus files\n", files);
  return 0;
}
