#include "framlet/shell/FLOpenRequestChannel.h"

#include "framlet/foundation/flBase.h"
#include "platform/BundleInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <unistd.h>

namespace {

constexpr const char* kAnswer = "ok\n";
constexpr int kReadTimeoutMs = 5000;

}  // namespace

QString OpenRequestChannelName() {
  // A bare name would put the socket in the shared temporary folder, where every login and
  // display of the user meets the same one: a launch on one screen then opened its documents in
  // a window on another. The socket lives in the session's runtime folder and names the display.
  QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
  display.replace(QLatin1Char('/'), QLatin1Char('_'));
  const QString name = QStringLiteral("%1-%2-%3").arg(BundleIdentifier()).arg(uint(getuid())).arg(display);
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (runtime.isEmpty() || !QFileInfo(runtime).isDir()) return name;
  return QDir(runtime).filePath(name);
}

bool SendOpenRequest(const QString& channelName, const QStringList& paths, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(channelName);
  if (!socket.waitForConnected(timeoutMs)) return false;
  QJsonArray array;
  for (const QString& path : paths) {
    const QUrl url(path);
    array.append(url.isLocalFile() ? url.toLocalFile() : QFileInfo(path).absoluteFilePath());
  }
  socket.write(QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n');
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  QByteArray answer;
  while (!answer.contains('\n')) {
    if (!socket.waitForReadyRead(timeoutMs)) return false;
    answer += socket.readAll();
  }
  return answer == kAnswer;
}

FLOpenRequestServer::FLOpenRequestServer(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  connect(&server_, &QLocalServer::newConnection, this, &FLOpenRequestServer::acceptConnection);
}

bool FLOpenRequestServer::listen(const QString& channelName) {
  // A socket file that answers belongs to a running instance; one that does not was left by a
  // run that crashed and is taken over.
  QLocalSocket probe;
  probe.connectToServer(channelName);
  if (probe.waitForConnected(500)) return false;
  QLocalServer::removeServer(channelName);
  if (server_.listen(channelName)) return true;
  LogString("Can't listen for open requests: %@", server_.errorString());
  return false;
}

std::optional<QStringList> FLOpenRequestServer::parseRequest(const QByteArray& line) {
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(line, &error);
  if (error.error != QJsonParseError::NoError || !document.isArray()) return std::nullopt;
  QStringList paths;
  for (const QJsonValue& value : document.array()) {
    if (!value.isString() || value.toString().isEmpty()) return std::nullopt;
    paths.append(value.toString());
  }
  return paths;
}

void FLOpenRequestServer::acceptConnection() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // A client that never finishes its line is let go.
    QTimer::singleShot(kReadTimeoutMs, socket, [socket] { socket->abort(); });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequestSize) socket->abort();
        return;
      }
      const std::optional<QStringList> paths = parseRequest(socket->readLine(kMaxRequestSize + 1).trimmed());
      if (!paths) {
        LogString("Ignored a malformed open request");
        socket->abort();
        return;
      }
      socket->write(kAnswer);
      socket->flush();
      socket->disconnectFromServer();
      // After this turn: the handler may open windows and run alerts.
      const QStringList request = *paths;
      QTimer::singleShot(0, this, [this, request] { handler_(request); });
    });
  }
}
