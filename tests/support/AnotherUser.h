// Running part of a test as a user whom the mode bits stop. Root is not stopped by them, so as
// root the part runs in a child process of the user "nobody"; as anyone else in a child of the
// same user. What the part answers comes back to the test as bytes.
#pragma once

#include <QByteArray>

#include <functional>
#include <optional>

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
