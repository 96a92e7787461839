// What a save costs on the window's thread beside what earlier saves and other programs left:
// lock files of saves that never finished (each save's sweep clears them), and the desktop's
// list of recently used files locked by another program (the note at every open and save).
#include "BenchApplication.h"

#include "framlet/shell/FLDocument.h"
#include "framlet/shell/flRecentlyUsed.h"
#include "platform/FLError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

class PlainDocument : public FLDocument {
 public:
  bool saveCore(const QString& path, bool /*inPlace*/, FLError* /*error*/) override {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("content") == 7;
  }
};

// Empty, unheld lock files as saves killed before they wrote anything leave them.
void LeaveStaleLocks(const QString& folder, const QString& name, int count) {
  const QDir dir(folder);
  for (int i = 0; i < count; ++i) {
    const QString lock = QLatin1Char('.') + name + QLatin1Char('.') +
                         QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QLatin1Char('~');
    const int fd = ::open(QFile::encodeName(dir.filePath(lock)).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) ::close(fd);
  }
}

void BM_SaveBesideStaleLocks(benchmark::State& state) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  PlainDocument document;
  const QString target = QDir(folder.path()).filePath(QStringLiteral("Budget.Numlet"));
  document.saveTo(target, false, false);
  for (auto _ : state) {
    state.PauseTiming();
    LeaveStaleLocks(folder.path(), QStringLiteral("Budget.Numlet"), int(state.range(0)));
    state.ResumeTiming();
    if (!document.save()) state.SkipWithError("the save failed");
  }
  state.counters["entries_left"] = double(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden |
                                                                        QDir::NoDotAndDotDot).size());
}
BENCHMARK(BM_SaveBesideStaleLocks)->Arg(0)->Arg(1000)->Arg(8000)->Arg(16000)->Unit(benchmark::kMillisecond)->Iterations(5);

// Another program holds the list's lock for as long as the note would wait.
void BM_NoteRecentWhileTheListIsLocked(benchmark::State& state) {
  QTemporaryDir folder;
  const QString list = QDir(folder.path()).filePath(QStringLiteral("recently-used.xbel"));
  const int held = ::open(QFile::encodeName(list + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC,
                          0600);
  if (held < 0 || ::flock(held, LOCK_EX) != 0) {
    state.SkipWithError("the lock could not be taken");
    return;
  }
  const FLRecentlyUsedApplication us{QStringLiteral("Tamsel Calculator"), QStringLiteral("'tamsel-calculator %u'")};
  for (auto _ : state) {
    if (NoteRecentlyUsedFile(list, QStringLiteral("/d/a.csv"), QStringLiteral("text/csv"), us))
      state.SkipWithError("noted under another program's lock");
  }
  ::close(held);
}
BENCHMARK(BM_NoteRecentWhileTheListIsLocked)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
