// The keychain over the desktop's Secret Service, through QtKeychain. QtKeychain knows one
// secret per service and key (our account) and keeps no label, description or comment of ours.
#include "platform/Keychain.h"

#if __has_include(<qt6keychain/keychain.h>)

#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

namespace {

// The store may ask the user to unlock it; past this the answer is taken as a failure rather
// than holding the application up for good.
constexpr int kJobTimeoutMilliseconds = 120000;

// Runs a job to its end on a local event loop. False when the store did not answer in time:
// the job then deletes itself whenever it ends, never under its own feet.
template <typename Job>
bool WaitForJob(std::unique_ptr<Job>& job) {
  job->setAutoDelete(false);
  bool finished = false;
  QEventLoop loop;
  QObject::connect(job.get(), &QKeychain::Job::finished, &loop, [&finished, &loop] {
    finished = true;
    loop.quit();
  });
  QTimer::singleShot(kJobTimeoutMilliseconds, &loop, &QEventLoop::quit);
  job->start();
  if (!finished) loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (!finished) {
    job->setAutoDelete(true);
    (void)job.release();
  }
  return finished;
}

template <typename Job>
KeychainStatus RunJob(std::unique_ptr<Job>& job, QString* message) {
  if (!WaitForJob(job)) {
    if (message) *message = QStringLiteral("The keychain did not answer.");
    return KeychainStatus::Failure;
  }
  switch (job->error()) {
    case QKeychain::NoError:
      return KeychainStatus::Success;
    case QKeychain::EntryNotFound:
      return KeychainStatus::ItemNotFound;
    default:
      if (message) *message = job->errorString();
      return KeychainStatus::Failure;
  }
}

class SecretServiceKeychain : public Keychain {
 public:
  KeychainStatus findPassword(const QString& service, const QString& account, QByteArray* data,
                              QString* message) override {
    auto job = std::make_unique<QKeychain::ReadPasswordJob>(service);
    job->setKey(account);
    const KeychainStatus status = RunJob(job, message);
    if (status == KeychainStatus::Success && data) *data = job->textData().toUtf8();
    return status;
  }

  KeychainStatus addPassword(const KeychainItem& item, QString* message) override {
    return write(item.service, item.account, item.data, message);
  }

  KeychainStatus updatePassword(const QString& service, const QString& account, const QByteArray& data,
                                const QString& /*label*/, QString* message) override {
    return write(service, account, data, message);
  }

  KeychainStatus deletePassword(const QString& service, const QString& account, QString* message) override {
    auto job = std::make_unique<QKeychain::DeletePasswordJob>(service);
    job->setKey(account);
    return RunJob(job, message);
  }

 private:
  static KeychainStatus write(const QString& service, const QString& account, const QByteArray& data,
                              QString* message) {
    auto job = std::make_unique<QKeychain::WritePasswordJob>(service);
    job->setKey(account);
    job->setTextData(QString::fromUtf8(data));
    return RunJob(job, message);
  }
};

}  // namespace

std::unique_ptr<Keychain> NewSecretServiceKeychain() { return std::make_unique<SecretServiceKeychain>(); }

#else

std::unique_ptr<Keychain> NewSecretServiceKeychain() { return nullptr; }

#endif
