#include "framlet/shell/flCheckerWindows.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kPaneWidth = 420;
constexpr const char* kAppNamePlaceholder = "***";

QString Tr(const char* text) { return QDialog::tr(text); }

QLabel* WrappedLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  return label;
}

// A pane: its message, the widgets between, and a row of buttons at the bottom right.
FLCheckerPane MakePane(QDialog* window, const char* objectName, const QString& message, const char* proceedTitle,
                       const char* cancelTitle, QLabel** messageLabel = nullptr) {
  FLCheckerPane pane;
  pane.pane = new QWidget(window);
  pane.pane->setObjectName(QLatin1String(objectName));
  pane.pane->setFixedWidth(kPaneWidth);
  auto* column = new QVBoxLayout(pane.pane);
  QLabel* label = WrappedLabel(message, pane.pane);
  column->addWidget(label);
  if (messageLabel) *messageLabel = label;
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  if (cancelTitle) {
    pane.cancel = new QPushButton(Tr(cancelTitle), pane.pane);
    pane.cancel->setObjectName(QStringLiteral("cancel"));
    buttons->addWidget(pane.cancel);
  }
  if (proceedTitle) {
    pane.proceed = new QPushButton(Tr(proceedTitle), pane.pane);
    pane.proceed->setObjectName(QStringLiteral("proceed"));
    pane.proceed->setDefault(true);
    buttons->addWidget(pane.proceed);
  }
  column->addLayout(buttons);
  pane.pane->hide();
  return pane;
}

// Inserts a widget above the pane's buttons.
void AddToPane(const FLCheckerPane& pane, QWidget* widget) {
  auto* column = static_cast<QVBoxLayout*>(pane.pane->layout());
  column->insertWidget(column->count() - 1, widget);
}

QProgressBar* Spinner(const FLCheckerPane& pane) {
  auto* bar = new QProgressBar(pane.pane);
  bar->setRange(0, 0);  // busy
  bar->setTextVisible(false);
  AddToPane(pane, bar);
  return bar;
}

QDialog* NewCheckerWindow(const char* objectName, const QString& title) {
  auto* window = new QDialog(nullptr, Qt::Dialog);
  window->setObjectName(QLatin1String(objectName));
  window->setWindowTitle(title);
  auto* column = new QVBoxLayout(window);
  column->setSizeConstraint(QLayout::SetFixedSize);
  return window;
}

}  // namespace

FLCheckUpdatesUi BuildCheckUpdatesWindow() {
  FLCheckUpdatesUi ui;
  ui.window = NewCheckerWindow("FLCheckUpdates", Tr("Check for Updates"));
  ui.mainPane = MakePane(ui.window, "mainPane", Tr("*** can look on the Orvandel web site for a newer version."),
                         "Check Now", "Done");
  ui.autoCheck = new QCheckBox(Tr("Check for updates automatically"), ui.mainPane.pane);
  ui.autoCheck->setObjectName(QStringLiteral("autoCheck"));
  AddToPane(ui.mainPane, ui.autoCheck);
  ui.checkMonthly = new QCheckBox(Tr("Check monthly instead of weekly"), ui.mainPane.pane);
  ui.checkMonthly->setObjectName(QStringLiteral("checkMonthly"));
  AddToPane(ui.mainPane, ui.checkMonthly);

  ui.checkingPane = MakePane(ui.window, "checkingPane", Tr("Looking for a newer version of ***…"), nullptr, "Cancel");
  ui.checkSpinner = Spinner(ui.checkingPane);
  ui.availablePane = MakePane(ui.window, "availablePane",
                              Tr("Version ### of *** is available. Do you want to download it now?"), "Download",
                              "Cancel", &ui.availableField);
  ui.downloadPane = MakePane(ui.window, "downloadPane", Tr("Downloading the new version of ***…"), nullptr, "Cancel");
  ui.downloadSpinner = new QProgressBar(ui.downloadPane.pane);
  ui.downloadSpinner->setRange(0, 0);
  ui.downloadSpinner->setTextVisible(false);
  AddToPane(ui.downloadPane, ui.downloadSpinner);
  ui.downloadAmountField = new QLabel(ui.downloadPane.pane);
  ui.downloadAmountField->setObjectName(QStringLiteral("downloadAmount"));
  AddToPane(ui.downloadPane, ui.downloadAmountField);
  ui.upToDatePane = MakePane(ui.window, "upToDatePane", Tr("You have the newest version of ***."), "OK", nullptr);
  ui.checkFailPane = MakePane(ui.window, "checkFailPane",
                              Tr("*** could not find out whether a newer version is available. Please check your "
                                 "connection to the internet and try again later."),
                              "OK", nullptr);
  ui.downloadFailPane = MakePane(ui.window, "downloadFailPane",
                                 Tr("The new version of *** could not be downloaded. Please try again later."), "OK",
                                 nullptr);
  return ui;
}

FLNewsUpdatesUi BuildNewsUpdatesWindow() {
  FLNewsUpdatesUi ui;
  ui.window = NewCheckerWindow("FLNewsUpdates", Tr("Check for Orvandel News"));
  ui.mainPane = MakePane(ui.window, "mainPane", Tr("Orvandel posts news about its applications on its web site:"),
                         "Check Now", "Done");
  ui.newsLinkView = new QLabel(ui.mainPane.pane);
  ui.newsLinkView->setObjectName(QStringLiteral("newsLink"));
  ui.newsLinkView->setOpenExternalLinks(true);
  ui.newsLinkView->setTextInteractionFlags(Qt::TextBrowserInteraction);
  ui.newsLinkView->setAlignment(Qt::AlignHCenter);
  AddToPane(ui.mainPane, ui.newsLinkView);
  auto* dates = new QWidget(ui.mainPane.pane);
  auto* grid = new QGridLayout(dates);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(new QLabel(Tr("Last checked:"), dates), 0, 0);
  grid->addWidget(new QLabel(Tr("Newest news seen:"), dates), 1, 0);
  ui.lastCheckField = new QLabel(dates);
  ui.lastCheckField->setObjectName(QStringLiteral("lastCheck"));
  ui.lastUpdateField = new QLabel(dates);
  ui.lastUpdateField->setObjectName(QStringLiteral("lastUpdate"));
  grid->addWidget(ui.lastCheckField, 0, 1);
  grid->addWidget(ui.lastUpdateField, 1, 1);
  grid->setColumnStretch(1, 1);
  AddToPane(ui.mainPane, dates);
  ui.autoCheck = new QCheckBox(Tr("Check for news automatically once a day"), ui.mainPane.pane);
  ui.autoCheck->setObjectName(QStringLiteral("autoCheck"));
  AddToPane(ui.mainPane, ui.autoCheck);

  ui.checkingPane = MakePane(ui.window, "checkingPane", Tr("Looking for Orvandel news…"), nullptr, "Cancel");
  ui.checkSpinner = Spinner(ui.checkingPane);
  ui.upToDatePane = MakePane(ui.window, "upToDatePane", Tr("There is no new Orvandel news."), nullptr, "OK");
  ui.newsDisplayPane = MakePane(ui.window, "newsDisplayPane", Tr("News from Orvandel:"), nullptr, "OK");
  ui.newsView = new QTextBrowser(ui.newsDisplayPane.pane);
  ui.newsView->setObjectName(QStringLiteral("newsView"));
  ui.newsView->setOpenLinks(false);
  ui.newsView->setMinimumHeight(240);
  AddToPane(ui.newsDisplayPane, ui.newsView);
  ui.checkFailPane = MakePane(ui.window, "checkFailPane",
                              Tr("The Orvandel news page could not be read. Please check your connection to the "
                                 "internet and try again later."),
                              nullptr, "OK");
  return ui;
}

void SetAppName(QWidget* pane, const QString& name) {
  for (QLabel* label : pane->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
    QString text = label->text();
    const qsizetype at = text.indexOf(QLatin1String(kAppNamePlaceholder));
    if (at >= 0) label->setText(text.replace(at, 3, name));
  }
}

void SetCheckerPane(QDialog* window, QWidget*& currentPane, QWidget* pane) {
  if (!window || !pane || pane == currentPane) return;
  const bool visible = window->isVisible();
  const int top = window->geometry().top();
  QLayout* column = window->layout();
  if (currentPane) {
    column->removeWidget(currentPane);
    currentPane->hide();
  }
  column->addWidget(pane);
  pane->show();
  currentPane = pane;
  window->adjustSize();
  if (visible) window->move(window->x(), top);
}

void RunCheckerModally(QDialog* window) {
  if (!window) return;
  window->adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
  }
  window->setWindowModality(Qt::ApplicationModal);
  window->show();
  window->raise();
  window->activateWindow();
}

void RevealInFileViewer(const QString& path) {
  QDBusMessage message = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
  message << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
  QDBusConnection::sessionBus().call(message, QDBus::NoBlock);
}

void ScheduleCheckerTimer(QObject* owner, QTimer*& timer, bool on, int intervalMs, const std::function<void()>& fire) {
  if (on && !timer) {
    timer = new QTimer(owner);
    timer->setInterval(intervalMs);
    QObject::connect(timer, &QTimer::timeout, owner, fire);
    timer->start();
    fire();
  } else if (!on && timer) {
    timer->stop();
    timer->deleteLater();
    timer = nullptr;
  }
}
