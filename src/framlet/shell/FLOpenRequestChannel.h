// One running application per user and display: a second launch hands the paths it was given to
// the one that runs, over a local socket in the session's runtime folder named after the
// application, the user and the display, and ends. The
// message is a JSON array of absolute paths on one line; the running one answers "ok".
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QStringList>

#include <functional>

// "<runtime folder>/<bundle identifier>-<user id>-<display>".
QString OpenRequestChannelName();

// Sends the paths (made absolute) to the application listening on the channel; true when it
// took them, false when none listens or it did not answer in time.
bool SendOpenRequest(const QString& channelName, const QStringList& paths, int timeoutMs = 3000);

class FLOpenRequestServer : public QObject {
  Q_OBJECT

 public:
  using Handler = std::function<void(const QStringList& paths)>;

  explicit FLOpenRequestServer(Handler handler, QObject* parent = nullptr);
  // Listens on the channel, taking over a socket that a crashed run left behind. false when
  // another instance listens there.
  bool listen(const QString& channelName);

  // A request longer than this is refused.
  static constexpr qsizetype kMaxRequestSize = 1 << 20;
  // The paths of a request line; nothing for a malformed one.
  static std::optional<QStringList> parseRequest(const QByteArray& line);

 private:
  void acceptConnection();

  Handler handler_;
  QLocalServer server_;
};
