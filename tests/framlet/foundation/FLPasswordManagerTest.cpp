#include "framlet/foundation/FLPasswordManager.h"

#include "framlet/foundation/flPasswords.h"
#include "platform/Keychain.h"
#include "platform/UserDefaults.h"
#include "support/LogCapture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr char kSeed[] = "_3Kq.Wz7P";
const QString kAccount = QStringLiteral("/home/u/Budget.numlet");

// A manager over an in-memory keychain and a preference domain in a scratch folder.
class FLPasswordManagerTest : public testing::Test {
 protected:
  void SetUp() override {
    savedConfig_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", folder_.path().toUtf8());
    defaults_ = std::make_unique<UserDefaults>(QStringLiteral("passwords.test"));
    auto keychain = std::make_unique<InMemoryKeychain>();
    keychain_ = keychain.get();
    manager_ = std::make_unique<FLPasswordManager>(std::move(keychain), *defaults_);
    manager_->setDescription(QStringLiteral("Calculator document password"));
  }
  void TearDown() override {
    manager_.reset();
    defaults_.reset();
    qputenv("XDG_CONFIG_HOME", savedConfig_);
  }

  QTemporaryDir folder_;
  QByteArray savedConfig_;
  std::unique_ptr<UserDefaults> defaults_;
  InMemoryKeychain* keychain_ = nullptr;
  std::unique_ptr<FLPasswordManager> manager_;
};

TEST_F(FLPasswordManagerTest, StoresUpdatesAndFindsPasswords) {
  manager_->setUseKeychain(true);
  manager_->storePassword(QStringLiteral("first"), kAccount, QStringLiteral("a comment"));
  const KeychainItem* item = keychain_->item(manager_->service(), kAccount);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->data, QByteArray("first"));
  EXPECT_EQ(item->description, QStringLiteral("Calculator document password"));
  EXPECT_EQ(item->comment, QStringLiteral("a comment"));
  EXPECT_EQ(item->label, manager_->label());

  manager_->storePassword(QStringLiteral("s\u00E9cond"), kAccount, QString());
  EXPECT_EQ(keychain_->count(), 1);
  EXPECT_EQ(manager_->passwordForService(manager_->service(), kAccount), QStringLiteral("s\u00E9cond"));
  EXPECT_TRUE(manager_->passwordForService(manager_->service(), QStringLiteral("/other")).isNull());
}

TEST_F(FLPasswordManagerTest, AStalePasswordIsGivenNoMoreAndDeleted) {
  manager_->setUseKeychain(true);
  manager_->storePassword(QStringLiteral("old"), kAccount, QString());
  const QString current = EncryptPassword(QStringLiteral("new"), kSeed);
  EXPECT_TRUE(manager_->passwordFromKeychain(kAccount, current, kSeed).isNull());
  EXPECT_EQ(keychain_->count(), 0);

  manager_->storePassword(QStringLiteral("new"), kAccount, QString());
  EXPECT_EQ(manager_->passwordFromKeychain(kAccount, current, kSeed), QStringLiteral("new"));
  EXPECT_EQ(keychain_->count(), 1);
}

TEST_F(FLPasswordManagerTest, AFailedCheckValueNeverMatches) {
  manager_->setUseKeychain(true);
  manager_->storePassword(QStringLiteral("pw"), kAccount, QString());
  LogCapture log;
  // A seed crypt cannot use gives no check value; a document without one must not open.
  EXPECT_TRUE(manager_->passwordFromKeychain(kAccount, QString(), "_!!!!!!!!").isNull());
}

TEST_F(FLPasswordManagerTest, KeychainFailuresAreLoggedWithTheirReason) {
  manager_->setUseKeychain(true);
  const struct { QString failure; QString logged; } cases[] = {
      {QStringLiteral("The keyring is locked."),
       QStringLiteral("Password store failed for account /home/u/Budget.numlet: The keyring is locked.")},
      {QLatin1String(""), QStringLiteral("Password store failed for account /home/u/Budget.numlet: unknown error")},
  };
  for (const auto& c : cases) {
    keychain_->setFailure(c.failure);
    LogCapture log;
    manager_->storePassword(QStringLiteral("pw"), kAccount, QString());
    EXPECT_TRUE(log.contains(c.logged)) << log.entries().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(manager_->passwordForService(manager_->service(), kAccount).isNull());
  }
}

}  // namespace
