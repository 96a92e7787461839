// Opening a sheet as the application does, and converting one as a whole process, for the
// benchmarks that set this program beside others on the same files.
#pragma once

#include "BenchApplication.h"
#include "BenchPeakMemory.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <memory>

// Opens the file as the application does: the reading, then the recalculation.
inline bool OpenAsTheApplication(CADocument& document, const QString& path) {
  FLError error;
  if (document.openFile(path, &error) <= 0) return false;
  document.setOpening(true);
  document.evaluate();
  document.setOpening(false);
  return true;
}

// What a program converting the sheet does: opens it as the application does, and saves it as a
// package once `right` holds of it and its rows (counted to its last): 0, or 1 where it could not
// be opened or saved, 3 where it is wrong.
inline int ConvertToNative(const QString& input, const QString& package,
                           const std::function<bool(const CADocument&, int64_t)>& right) {
  EnsureBenchApplication();
  g_glimmetConfig.tableOption = 1;  // as the application sets it at launch
  auto document = std::make_unique<CADocument>();
  if (!OpenAsTheApplication(*document, input)) {
    std::fprintf(stderr, "%s could not be opened\n", qPrintable(input));
    return 1;
  }
  const int64_t rows = document->extent().endPoint.y + 1;
  if (!right(*document, rows)) {
    std::fprintf(stderr, "%s: the total of row %lld is wrong\n", qPrintable(input), static_cast<long long>(rows));
    return 3;
  }
  FLError error;
  return document->saveToNativeFile(package, false, &error) ? 0 : 1;
}

inline bool WriteSheet(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) > 0;
}

// Opens the sheet that `write` writes to a file named `name`, as the application does, checking
// each time that it computed what `right` says.
inline void OpenSheetBenchmark(benchmark::State& state, const std::function<bool(const QString&)>& write,
                               const QString& name, const std::function<bool(const CADocument&)>& right) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  const QString path = folder.filePath(name);
  if (!write(path)) {
    state.SkipWithError("the sheet could not be written");
    return;
  }
  ResetPeakMemory();
  for (auto _ : state) {
    auto document = std::make_unique<CADocument>();
    const bool opened = OpenAsTheApplication(*document, path);
    state.PauseTiming();
    if (!opened || !right(*document)) {
      state.SkipWithError("the sheet did not open right");
      break;
    }
    document.reset();
    state.ResumeTiming();
  }
  ReportPeakMemory(state);
}

// The same for a sheet of `bytes`.
inline void OpenSheetBenchmark(benchmark::State& state, const QByteArray& bytes, const QString& name,
                               const std::function<bool(const CADocument&)>& right) {
  OpenSheetBenchmark(
      state, [&bytes](const QString& path) { return WriteSheet(path, bytes); }, name, right);
}

// Writes `bytes` to a file named `name` in the folder and opens it into the document as the
// application does, for the benchmarks that then edit it.
inline bool WriteAndOpenSheet(CADocument& document, const QTemporaryDir& folder, const QString& name,
                              const QByteArray& bytes) {
  const QString path = folder.filePath(name);
  return WriteSheet(path, bytes) && OpenAsTheApplication(document, path);
}

// Opens `bytes` as a file named `name`, readies it (`ready`, when given), then types `first` and
// `second` in turn into the cell at `at`, each with the recalculation it starts; `right` checks
// the sheet after the last.
inline void TypeInTurnsBenchmark(benchmark::State& state, const QByteArray& bytes, const QString& name,
                                 const GridPoint& at, const QString& first, const QString& second,
                                 const std::function<bool(const CADocument&)>& right,
                                 const std::function<void(CADocument&)>& ready = {}) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  CADocument document;
  if (!WriteAndOpenSheet(document, folder, name, bytes)) {
    state.SkipWithError("the sheet did not open");
    return;
  }
  if (ready) ready(document);
  bool other = false;
  for (auto _ : state) {
    other = !other;
    document.cellAtGridPointImperative(at)->setFormula(other ? first : second);
    document.evaluate();
  }
  if (!right(document)) state.SkipWithError("the sheet is wrong after the typing");
}
