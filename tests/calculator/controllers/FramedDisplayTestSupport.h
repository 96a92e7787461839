// An X server (Xvfb) of a chosen size with a real window manager (openbox), and a copy of the test
// program run on it, for what offscreen cannot show: window frames, and what a window manager does
// with a window's size and state. The child finds the screen's size in kScreenVariable.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The names are the test program's own; each test file that runs a child includes this once.
namespace {

// Set in the child only: the screen's size, "WIDTHxHEIGHT".
constexpr const char* kScreenVariable = "TAMSEL_FRAMED_SCREEN";
constexpr int kStartMilliseconds = 10000;
constexpr int kChildMilliseconds = 240000;

inline QString Describe(const QRect& rect) {
  return QStringLiteral("%1,%2 %3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

inline QString Run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(kStartMilliseconds)) {
    process.kill();
    process.waitForFinished();
    return {};
  }
  return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// An X server of the given size with openbox managing it, on a display number the server picks
// itself among the free ones.
class FramedDisplay {
 public:
  explicit FramedDisplay(const QSize& size) {
    server_.setProcessChannelMode(QProcess::SeparateChannels);
    server_.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                   QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp")});
    QElapsedTimer waited;
    waited.start();
    QByteArray number;
    while (!number.contains('\n') && waited.elapsed() < kStartMilliseconds && server_.state() != QProcess::NotRunning) {
      server_.waitForReadyRead(100);
      number += server_.readAllStandardOutput();
    }
    if (!number.contains('\n')) {
      failure_ = QStringLiteral("Xvfb: ") + QString::fromLocal8Bit(server_.readAllStandardError()).trimmed();
      return;
    }
    name_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), name_);
    manager_.setProcessEnvironment(environment);
    manager_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    // The manager is there once it names its check window on the root.
    while (waited.elapsed() < kStartMilliseconds && manager_.state() != QProcess::NotRunning) {
      if (Run(QStringLiteral("xprop"), {QStringLiteral("-display"), name_, QStringLiteral("-root"),
                                        QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
              .contains(QLatin1String("window id"))) {
        managed_ = true;
        return;
      }
      QTest::qWait(50);
    }
    failure_ = QStringLiteral("openbox: ") + QString::fromLocal8Bit(manager_.readAllStandardError()).trimmed();
  }
  ~FramedDisplay() {
    for (QProcess* process : {&manager_, &server_}) {
      if (process->state() == QProcess::NotRunning) continue;
      process->terminate();
      if (!process->waitForFinished(3000)) {
        process->kill();
        process->waitForFinished();
      }
    }
  }
  bool ready() const { return managed_; }
  // What the server or the manager said when it did not start.
  const QString& failure() const { return failure_; }
  const QString& name() const { return name_; }

 private:
  QProcess server_;
  QProcess manager_;
  QString name_, failure_;
  bool managed_ = false;
};

// A display of that size, started again when the server lost the display number it picked to
// another starting at the same moment elsewhere on a busy machine; ready() says whether it came.
inline std::unique_ptr<FramedDisplay> StartFramedDisplay(const QSize& size) {
  std::unique_ptr<FramedDisplay> display;
  for (int attempt = 0; attempt < 3 && !(display && display->ready()); ++attempt) {
    display.reset();
    display = std::make_unique<FramedDisplay>(size);
  }
  return display;
}

// The application under xcb on that display, with folders of its own.
class ChildRun {
 public:
  // Runs the tests that `filter` names (a --gtest_filter pattern) in a copy of this test program.
  ChildRun(const FramedDisplay& display, const QSize& size, const char* filter) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display.name());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QLatin1String(kScreenVariable), QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME",
                             "XDG_RUNTIME_DIR"}) {
      const QString path = home_.filePath(QLatin1String(name));
      QDir().mkpath(path);
      QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      environment.insert(QLatin1String(name), path);
    }
    // The X keyboard library hands strndup a counted name without its end: the sanitizer's strict
    // reading of strings would stop the child at its connection to the server.
    QString sanitizer = environment.value(QStringLiteral("ASAN_OPTIONS"));
    sanitizer.replace(QLatin1String("strict_string_checks=1"), QLatin1String("strict_string_checks=0"));
    if (!sanitizer.isEmpty()) environment.insert(QStringLiteral("ASAN_OPTIONS"), sanitizer);
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + QLatin1String(filter)});
  }
  // The child's exit code (-1 when it did not end normally) and what it printed.
  int finish(QString* output) {
    if (!process_.waitForFinished(kChildMilliseconds)) {
      process_.kill();
      process_.waitForFinished();
    }
    *output = QString::fromLocal8Bit(process_.readAll());
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }

 private:
  QTemporaryDir home_;
  QProcess process_;
};

}  // namespace
