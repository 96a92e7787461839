// Tamsel Calculator's main function: hands the paths on to a running instance when there is
// one (unless they are to be printed), otherwise wires the lower layers' hooks and runs the
// launch, in this order.
#include "calculator/controllers/CAAppController.h"
#include "calculator/fileformats/caImportAlert.h"
#include "framlet/foundation/FLLogger.h"
#include "framlet/foundation/FLPasswordManager.h"
#include "framlet/help/FLGlimmetHelpWC.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLOpenRequestChannel.h"
#include "framlet/shell/flCommandLine.h"
#include "framlet/shell/flMeasures.h"
#include "platform/Application.h"
#include "platform/BundleInfo.h"
#include "platform/Keychain.h"
#include "platform/UserDefaults.h"
#include "platform/WorkerThreads.h"

#include <QApplication>
#include <QHashFunctions>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* kDesktopFileName = "com.orvandel.calculator";

int g_signalPipe[2] = {-1, -1};

void NoteQuitSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(g_signalPipe[0], &byte, 1);
}

// SIGTERM (the session ends) and SIGINT quit as the Quit command does, on the event loop.
void QuitOnSignals(FLDocumentAppDelegate& delegate) {
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &delegate);
  QObject::connect(notifier, &QSocketNotifier::activated, &delegate, [&delegate] {
    char byte = 0;
    [[maybe_unused]] const ssize_t got = read(g_signalPipe[1], &byte, 1);
    delegate.terminate();
  });
  struct sigaction action = {};
  action.sa_handler = NoteQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

// A reader that took a file in only in part says so with the shell's alert and its check box.
class ShellImportAlert : public CAImportAlert {
 public:
  bool showSuppressibleAlert(const QString& message, const QString& information) override {
    bool suppress = false;
    FLAlert::sharedInstance().giveAlertMessage(message, information, {}, &suppress);
    return suppress;
  }
};

void InstallServiceHooks() {
  FLLogger::install();
  FLLogger::sharedInstance().setAlertHook([](const QString& message, const QString& information) {
    FLAlert::sharedInstance().giveAlertMessage(message, information);
  });
  FLPasswordManager& passwords = FLPasswordManager::sharedInstance();
  passwords.setKeychain(NewSecretServiceKeychain());
  passwords.setConfirmHook([](const QString& message, const QString& information, const QString& confirm,
                              const QString& cancel) {
    return FLAlert::sharedInstance().giveAlertMessage(message, information, {confirm, cancel}) == 0;
  });
  // Lengths ("%m") in the user's unit.
  InstallMeasureFormatter();
  // Help requests from every layer open the help window.
  FLGlimmetHelpWC::installHelpHook();
  static ShellImportAlert importAlert;
  SetImportAlert(&importAlert);
}

}  // namespace

int main(int argc, char** argv) {
  // Before any thread (Qt's included) starts: the room the limits leave is the documents'.
  LimitAllocatorArenas();
  // A file-size limit (ulimit -f, a service's LimitFSIZE=) would end the process, and every
  // unsaved window with it, at the first write past it: ignored, such a write fails with EFBIG
  // and is told as any failed write is.
  std::signal(SIGXFSZ, SIG_IGN);
  // Qt's own hash tables hold what files and pages name (fonts, styles, attributes): they keep a
  // seed drawn at random even where the environment asks Qt for a fixed one (QT_HASH_SEED),
  // before any table exists.
  QHashSeed::resetRandomGlobalSeed();
  QApplication::setApplicationName(QStringLiteral("Tamsel Calculator"));
  QApplication::setOrganizationName(QStringLiteral("Orvandel"));
  QApplication::setApplicationVersion(QStringLiteral(TAMSEL_VERSION));
  SetBundleBuildVersion(QStringLiteral(TAMSEL_BUILD));
  // Names the preference and log files; set before anything reads the bundle identifier.
  QGuiApplication::setDesktopFileName(QLatin1String(kDesktopFileName));
  Application application(argc, argv);
  application.setQuitOnLastWindowClosed(false);
  StartWorkerThreads();

  const FLCommandLine commandLine = ParseCommandLine(QApplication::arguments());
  const QStringList& paths = commandLine.documents;
  const QString channel = OpenRequestChannelName();
  // Printing is done here, not handed to a running instance, which would only open them.
  if (!commandLine.print && SendOpenRequest(channel, paths)) return 0;

  InstallServiceHooks();

  // The delegate registers itself before it makes the kernel; the preferences and the model's
  // providers, the number locale and the XML tag table follow in its launch hooks.
  CAAppController controller(UserDefaults::standardUserDefaults());
  if (commandLine.print) {
    controller.applicationWillFinishLaunching();
    return controller.printFromCommandLine(paths);
  }
  FLOpenRequestServer server([&controller](const QStringList& handed) { controller.handleOpenRequest(handed); });
  server.listen(channel);
  QuitOnSignals(controller);
  // The Linux habit: the application ends with its last window (documents, the preferences).
  QObject::connect(&application, &QGuiApplication::lastWindowClosed, &controller,
                   [&controller] { controller.lastWindowClosed(); });

  controller.applicationWillFinishLaunching();
  for (const QString& path : paths) controller.applicationOpenFile(path);
  QTimer::singleShot(0, &controller, [&controller] { controller.applicationDidFinishLaunching(); });
  QObject::connect(&application, &QCoreApplication::aboutToQuit, &controller, [&controller] {
    // Ended from outside the quit: the preferences are kept; the reopen list, which only the
    // quit's walk over the windows can tell, stays as the last quit stored it.
    if (controller.terminating()) return;
    controller.prepareToQuit();
    UserDefaults::standardUserDefaults().synchronize();
  });
  return QApplication::exec();
}
