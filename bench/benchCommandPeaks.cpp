// One open or paste of a file in a window, in a process of its own, and the process's peak
// resident memory over it: what the whole command (reading, building, the cells, the undo step,
// showing the sheet) takes, against the reading budget. bench/command-peaks.sh runs it over the
// shapes of input that reached past their bounds, with and without an address-space limit.
//   benchCommandPeaks open FILE
//   benchCommandPeaks paste FILE html|text|rtf [TIMES]
// prints one line: the command, the outcome ("read N cells" or "refused: " and the alert), the
// peak and the memory held before the command (MiB), the budget as set and as the process's
// limits leave it (MiB), the input's size (MiB) and the seconds the command took.
#include "calculator/controllers/CAWindowController.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"
#include "framlet/shell/FLAlert.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"
#include "platform/Pasteboard.h"
#include "platform/WorkerThreads.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QMainWindow>
#include <QMenuBar>
#include <QMimeData>

#include <cstdio>
#include <cstring>

namespace {

// Kilobytes of a line of /proc/self/status ("VmHWM:", "VmRSS:").
double StatusMiB(const char* key) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(key)) return line.mid(int(std::strlen(key))).trimmed().split(' ').value(0).toDouble() / 1024.0;
  return 0;
}

class CollectingImportAlert : public CAImportAlert {
 public:
  explicit CollectingImportAlert(QStringList& alerts) : alerts_(alerts) {}
  bool showSuppressibleAlert(const QString& message, const QString& information) override {
    alerts_.append(message + QLatin1String(" / ") + information);
    return false;
  }

 private:
  QStringList& alerts_;
};

// The cells that hold something, and beside them the placeholders of overflowing text that the
// sheet keeps as cells too.
QString CellCount(const CADocument& document) {
  int64_t cells = 0, placeholders = 0;
  for (const std::unique_ptr<CARow>& row : document.rows())
    for (const CACellEntry& entry : row->cells())
      ++(entry.holdsContent() || entry.valueType() != kValueOverflow ? cells : placeholders);
  return placeholders ? QStringLiteral("%1 (and %2 placeholders)").arg(cells).arg(placeholders) : QString::number(cells);
}

}  // namespace

int main(int argc, char** argv) {
  LimitAllocatorArenas();  // as the application limits them, before any thread
  const bool open = argc == 3 && std::strcmp(argv[1], "open") == 0;
  const bool paste = (argc == 4 || argc == 5) && std::strcmp(argv[1], "paste") == 0;
  if (!open && !paste) {
    std::fprintf(stderr, "usage: %s open FILE | paste FILE html|text|rtf [TIMES]\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  StartWorkerThreads();  // as the application starts them at launch
  FLKernel::sharedInstance();
  g_glimmetConfig.tableOption = 1;  // as the application sets it at launch
  const FLLogHandler previousLog = SetLogHandler([](const QString&) {});
  InstallFileFormatServices();
  QStringList alerts;
  FLAlert::sharedInstance().setModalRunner([&alerts](const FLAlertRequest& request, bool*) {
    alerts.append(request.message + QLatin1String(" / ") + request.moreInfo);
    return 0;
  });
  CollectingImportAlert importAlert(alerts);
  SetImportAlert(&importAlert);

  const QString path = QString::fromLocal8Bit(argv[2]);
  QByteArray input;
  {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
      std::fprintf(stderr, "%s cannot be read\n", argv[2]);
      return 2;
    }
    input = file.readAll();
  }
  const double inputMiB = double(input.size()) / (1 << 20);

  CAWindowController controller;
  controller.prepareToShow();
  controller.mainWindow()->show();
  QApplication::processEvents();
  CADocument& document = *controller.document();

  // The paste's clipboard holds the file as the program that copied it would put it there.
  QString type;
  if (paste) {
    type = QString::fromLatin1(argv[3]);
    auto* data = new QMimeData;
    if (type == QLatin1String("html"))
      PasteboardSetData(*data, QLatin1String(kPasteboardHtmlType), input);
    else if (type == QLatin1String("rtf"))
      PasteboardSetData(*data, QLatin1String(kPasteboardRtfType), input);
    else  // as bytes, as another program's clipboard hands them over: the paste decodes them
      data->setData(QStringLiteral("text/plain"), input);
    QGuiApplication::clipboard()->setMimeData(data);
    input.clear();
    input.squeeze();
  }
  const int times = argc == 5 ? std::max(1, std::atoi(argv[4])) : 1;

  const double base = StatusMiB("VmRSS:");
  const int64_t budget = PageReadingBudget();
  const int64_t room = BudgetWithinLimits(budget);
  QElapsedTimer clock;
  clock.start();
  bool done = true;
  if (open) {
    // As the application opens a file into a new window: read, evaluated, shown, under one meter.
    FLReadingMeter meter(FileReadingBudget());
    FLError error;
    done = document.openFile(path, &error) != 0;
    if (!done) {
      alerts.append(QStringLiteral("Can't open file. / ") + error.reason);
    } else {
      document.setOpening(true);
      document.evaluate();
      controller.prepareToShow();
      document.setOpening(false);
    }
  } else {
    QAction* command = controller.mainWindow()->menuBar()->findChild<QAction*>(QStringLiteral("paste:"));
    for (int k = 0; k < times && command; ++k) {
      document.setSelectionPoint(GridPoint{0, 0});
      controller.validateMenuItems();
      const qsizetype told = alerts.size();
      command->trigger();
      if (alerts.size() != told) done = false;
    }
    if (!command) alerts.append(QStringLiteral("no Paste command"));
  }
  QApplication::processEvents();
  const double seconds = double(clock.nsecsElapsed()) / 1e9;

  QString outcome = done && alerts.isEmpty() ? QStringLiteral("read %1 cells").arg(CellCount(document))
                                             : QStringLiteral("refused: ") + alerts.join(QLatin1String(" | "));
  if (done && !alerts.isEmpty()) outcome = QStringLiteral("read %1 cells, told: ").arg(CellCount(document)) + alerts.join(QLatin1String(" | "));
  std::printf("%s%s\t%s\t%.0f\t%.0f\t%.0f\t%.0f\t%.1f\t%.2f\n", open ? "open" : "paste",
              times > 1 ? qPrintable(QStringLiteral(" x%1").arg(times)) : "", qPrintable(outcome), StatusMiB("VmHWM:"),
              base, double(budget) / (1 << 20), double(room) / (1 << 20), inputMiB, seconds);
  std::fflush(stdout);
  FLAlert::sharedInstance().setModalRunner({});
  SetImportAlert(nullptr);
  SetLogHandler(previousLog);
  // The document and window go with the process: tearing a sheet of millions of cells down is no
  // part of the command.
  std::_Exit(0);
}
