// The windows of the update and news checkers, one builder each, and what both do with them: a
// window shows one pane at a time, grows or shrinks to it keeping its top edge, and runs
// application-modal until a button ends it. Both also check on a repeating timer.
#pragma once

#include <QString>

#include <functional>

class QCheckBox;
class QDialog;
class QLabel;
class QObject;
class QProgressBar;
class QPushButton;
class QTextBrowser;
class QTimer;
class QWidget;

// Every pane has a button that goes on ("proceed") and most one that stops ("cancel").
struct FLCheckerPane {
  QWidget* pane = nullptr;
  QPushButton* proceed = nullptr;
  QPushButton* cancel = nullptr;
};

struct FLCheckUpdatesUi {
  QDialog* window = nullptr;
  FLCheckerPane mainPane, checkingPane, availablePane, downloadPane, upToDatePane, checkFailPane, downloadFailPane;
  QCheckBox* autoCheck = nullptr;
  QCheckBox* checkMonthly = nullptr;
  QLabel* availableField = nullptr;  // "###" stands for the new version
  QProgressBar* checkSpinner = nullptr;
  QProgressBar* downloadSpinner = nullptr;
  QLabel* downloadAmountField = nullptr;
};
FLCheckUpdatesUi BuildCheckUpdatesWindow();

struct FLNewsUpdatesUi {
  QDialog* window = nullptr;
  FLCheckerPane mainPane, checkingPane, upToDatePane, newsDisplayPane, checkFailPane;
  QCheckBox* autoCheck = nullptr;
  QLabel* newsLinkView = nullptr;
  QTextBrowser* newsView = nullptr;
  QLabel* lastCheckField = nullptr;
  QLabel* lastUpdateField = nullptr;
  QProgressBar* checkSpinner = nullptr;
};
FLNewsUpdatesUi BuildNewsUpdatesWindow();

// Puts the application's name in place of the first "***" of every label directly in the pane.
void SetAppName(QWidget* pane, const QString& name);
// Shows the pane in place of the current one; the window keeps its top edge.
void SetCheckerPane(QDialog* window, QWidget*& currentPane, QWidget* pane);
// Centres the window on its screen and shows it application-modal (it does not block).
void RunCheckerModally(QDialog* window);
// Shows the file in the desktop's file manager.
void RevealInFileViewer(const QString& path);
// With `on`, starts a repeating timer owned by `owner` and fires once at once, unless one runs;
// without, stops and drops the timer.
void ScheduleCheckerTimer(QObject* owner, QTimer*& timer, bool on, int intervalMs, const std::function<void()>& fire);
