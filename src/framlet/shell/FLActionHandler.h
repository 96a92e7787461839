// The target of the menu items every window shares: the logs (copied or mailed to the maker),
// the next window, the About window, the update and news checks, and the maker's web site and
// support address.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QAction;

// Action names: a shared menu item's object name.
inline constexpr const char* kCopyLogsAction = "copyLogs:";
inline constexpr const char* kEmailLogsAction = "emailLogs:";
inline constexpr const char* kNextWindowAction = "nextWindow:";
inline constexpr const char* kContactOrvandelAction = "contactOrvandel:";
inline constexpr const char* kDonationsAction = "donations:";
inline constexpr const char* kShowAboutAction = "showAbout:";
inline constexpr const char* kVisitWebsiteAction = "visitWebsite:";
inline constexpr const char* kCheckUpdatesAction = "checkUpdates:";
inline constexpr const char* kCheckNewsUpdatesAction = "checkNewsUpdates:";

inline constexpr const char* kOrvandelWebsite = "https://www.orvandel.com";
inline constexpr const char* kOrvandelSupportAddress = "support@orvandel.com";
inline constexpr const char* kDefaultAboutString = "A Orvandel app.";
// A mail message takes at most the log's last 64 KB: mail programs refuse longer "mailto:" URLs.
inline constexpr qsizetype kMailedLogLimit = 65536;

class FLActionHandler : public QObject {
  Q_OBJECT

 public:
  using UrlOpener = std::function<bool(const QUrl& url)>;
  using LogCollector = std::function<QString()>;

  static FLActionHandler& sharedInstance();

  // Enabled unless a modal window runs; "visitWebsite:" always; unknown actions never.
  bool validateMenuItem(QAction* item) const;
  // Performs the action a menu item names; false for an unknown one.
  bool perform(const QString& actionName);

  void copyLogs();
  void emailLogs();
  void contactOrvandel(bool problemReport);
  void nextWindow();
  void showAbout();
  void visitWebsite();
  void donations();
  // The update and news dialogs.
  void checkUpdates();
  void checkNewsUpdates();

  // "mailto:" address "?subject=" ... "&body=" ..., both encoded for a URL path with "&" as "%26".
  static QUrl mailUrl(const QString& subject, const QString& body);
  // The logs as the mail carries them: at most the last 64 KB, with a note when cut.
  static QString mailedLogs(const QString& logs);

  // Tests replace the browser and the log collection.
  void setUrlOpener(UrlOpener opener) { urlOpener_ = std::move(opener); }
  void setLogCollector(LogCollector collector) { logCollector_ = std::move(collector); }

 private:
  FLActionHandler() = default;
  bool openUrl(const QUrl& url) const;
  QString collectLogs() const;

  UrlOpener urlOpener_;
  LogCollector logCollector_;
};
