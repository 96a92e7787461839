// Running part of a test as a user whom the mode bits stop. Root is not stopped by them, so as
// root the part runs in a child process of the user "nobody"; as anyone else in a child of the
// same user. What the part answers comes back to the test as bytes.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <functional>
#include <optional>

#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

inline constexpr uid_t kNobodyUser = 65534;

// What `part` answered in the child; nothing when the child could not run it.
inline std::optional<QByteArray> RunAsUserTheModeBitsStop(const std::function<QByteArray()>& part) {
  int report[2];
  if (::pipe(report) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return std::nullopt;
  }
  if (child == 0) {
    ::close(report[0]);
    if (::geteuid() == 0 && (::setgid(kNobodyUser) != 0 || ::setuid(kNobodyUser) != 0)) ::_exit(3);
    const QByteArray answer = part();
    (void)!::write(report[1], answer.constData(), size_t(answer.size()));
    ::_exit(0);
  }
  ::close(report[1]);
  QByteArray answer;
  char buffer[4096];
  for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, got);
  ::close(report[0]);
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return answer;
}

// A template for QTemporaryDir in a folder the user of RunAsUserTheModeBitsStop can reach: as
// root that is another user, whom a private temporary folder (TMPDIR a folder of mode 0700) keeps
// out, so the first folder every user may pass through down to it is taken instead.
inline QString TemporaryTemplateAnotherUserReaches() {
  const auto reachable = [](const QString& base) {
    QString path = QDir(base).canonicalPath();
    if (path.isEmpty()) return false;
    for (;;) {
      struct stat status;
      if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !(status.st_mode & S_IXOTH)) return false;
      if (path == QLatin1String("/")) return true;
      path = QFileInfo(path).path();
    }
  };
  const QString name = QStringLiteral("/tamsel-test-XXXXXX");
  if (::geteuid() != 0) return QDir::tempPath() + name;
  for (const QString& base : {QDir::tempPath(), QStringLiteral("/tmp"), QStringLiteral("/var/tmp"), QStringLiteral("/dev/shm")})
    if (reachable(base)) return QDir(base).canonicalPath() + name;
  return QDir::tempPath() + name;
}
