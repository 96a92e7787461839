// The kernel singleton and the process-wide values it sets.
#include "framlet/foundation/FLKernel.h"

#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flFileSupport.h"
#include "platform/Appearance.h"
#include "platform/BundleInfo.h"
#include "platform/NotificationCenter.h"
#include "platform/UserFolders.h"

#include <QCalendar>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <QStorageInfo>
#include <QSysInfo>
#include <QTimer>
#include <QWhatsThis>

QString g_systemVersionString;
QString g_appVersionString;
QString g_appName;
QString g_bootVolumeName;
const QCalendar* g_calendar = nullptr;
bool g_advancedUser = false;
QColorSpace g_genericColorSpace;
bool g_darkMode = false;
QColor g_formatPanelBackground;
QColor g_outlineViewBackground;
QFont& g_systemFont = *new QFont;
QFont& g_smallSystemFont = *new QFont;

namespace {

// From this version on the appearance can be dark and tool images are templates.
constexpr uint32_t kDarkAppearanceVersion = 0x0A0E00;

constexpr Kolor kDarkPanelKolor = 0x64262626;
constexpr Kolor kLightPanelKolor = 0x64E6E6E6;

// The small system font stood at 11 points beside the regular 13.
constexpr double kSmallToRegularFontRatio = 11.0 / 13.0;

FLApplicationDelegate* g_applicationDelegate = nullptr;

QColor LightOutlineBackground() { return QColor::fromRgbF(229 / 255.0f, 236 / 255.0f, 248 / 255.0f, 1.0f); }

bool HaveGuiApplication() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

QString SystemVersionText() {
  QString text = QSysInfo::prettyProductName();
  if (text.isEmpty() || text.compare(QLatin1String("unknown"), Qt::CaseInsensitive) == 0)
    return QString::fromLatin1(kUnknownSystemVersion);
  return text;
}

QFont SmallSystemFont(const QFont& regular) {
  QFont smallest = QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont);
  if (smallest.pointSizeF() > 0 && smallest.pointSizeF() < regular.pointSizeF()) return smallest;
  QFont small = regular;
  if (regular.pointSizeF() > 0) small.setPointSizeF(regular.pointSizeF() * kSmallToRegularFontRatio);
  return small;
}

// Stands in for the key-value observation of the application's appearance and for the
// notification that context help switched on.
class KernelWatcher : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnterWhatsThisMode) {
      // The mode is still being set up while the top-level windows hear of it; it ends on the
      // next turn of the event loop instead.
      QTimer::singleShot(0, this, [] { FLKernel::sharedInstance().bypassContextHelp(); });
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void SetApplicationDelegate(FLApplicationDelegate* delegate) { g_applicationDelegate = delegate; }

FLApplicationDelegate* ApplicationDelegate() { return g_applicationDelegate; }

FLKernel& FLKernel::sharedInstance() {
  // The kernel lives for the whole process; nothing may free it.
  static FLKernel* kernel = new FLKernel;
  return *kernel;
}

FLKernel::FLKernel() {
  g_systemVersion = kFLLinuxSystemVersion;
  g_systemVersionString = SystemVersionText();

  g_appVersionString = BundleShortVersion();
  g_appName = BundleName();
  appDelegate_ = ApplicationDelegate();
  g_bootVolumeName = QStorageInfo::root().displayName();

  static const QCalendar gregorian(QCalendar::System::Gregorian);
  g_calendar = &gregorian;

  g_advancedUser = advancedUserMarkerExists();
  g_genericColorSpace = QColorSpace(QColorSpace::SRgb);

  watcher_ = std::make_unique<QObject>();
  if (HaveGuiApplication()) {
    SetSystemAccentColorSource([] { return Appearance::sharedInstance().accentColor(); });
    SetSystemLinkColorSource([] { return QGuiApplication::palette().color(QPalette::Active, QPalette::Link); });
  }

  if (g_systemVersion >= kDarkAppearanceVersion) {
    QObject::connect(&Appearance::sharedInstance(), &Appearance::darkModeChanged, watcher_.get(),
                     [this] { observeValueForKeyPath(); });
    observeValueForKeyPath();
  }
  if (!g_formatPanelBackground.isValid()) {
    g_formatPanelBackground = ColorFromKolor(kLightPanelKolor);
    g_outlineViewBackground = LightOutlineBackground();
  }

  if (HaveGuiApplication()) {
    auto* watcher = new KernelWatcher;
    watcher->setParent(watcher_.get());
    QCoreApplication::instance()->installEventFilter(watcher);

    g_systemFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    g_smallSystemFont = SmallSystemFont(g_systemFont);
  }
}

FLKernel::~FLKernel() = default;

bool FLKernel::advancedUserMarkerExists() {
  // Without an application support folder there is no marker to look for.
  if (PathForUserFolder(FLUserFolder::ApplicationSupport).isEmpty()) return false;
  const QString marker = OrvandelSupportFolder() + QLatin1Char('/') + QLatin1String(kAdvancedUserMarkerName);
  QFileInfo info(marker);
  return info.exists() || info.isSymLink();
}

void FLKernel::observeValueForKeyPath() {
  if (g_systemVersion >= kDarkAppearanceVersion) g_darkMode = Appearance::sharedInstance().isDark();
  g_formatPanelBackground = ColorFromKolor(g_darkMode ? kDarkPanelKolor : kLightPanelKolor);
  g_outlineViewBackground = g_darkMode ? g_formatPanelBackground : LightOutlineBackground();
  NotificationCenter::defaultCenter().post(QString::fromLatin1(kDarkModeNotification));
}

void FLKernel::loadToolTemplates() {
  if (g_systemVersion < kDarkAppearanceVersion) return;
  for (const char* name : kToolTemplateImageNames) templateImages_.insert(QString::fromLatin1(name));
}

void FLKernel::bypassContextHelp() {
  // Every top-level window is told that the mode began; only the first call finds it on.
  if (!QWhatsThis::inWhatsThisMode()) return;
  QWhatsThis::leaveWhatsThisMode();
  if (appDelegate_) appDelegate_->showNonContextualHelp();
}
