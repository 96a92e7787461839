#include "framlet/shell/FLPasswordChangeDialog.h"
#include "framlet/shell/FLPasswordSetDialog.h"
#include "framlet/shell/FLPasswordVerifyDialog.h"

#include "framlet/foundation/FLPasswordManager.h"
#include "framlet/foundation/flPasswords.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr const char* kSeed = "_J9..Tmsl";

struct Outcome { int code = -1; FLPasswordInfo info; };

class PasswordDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { window.show(); }
  FLPasswordDialog::Callback recorder(std::optional<Outcome>& outcome) {
    return [&outcome](FLPasswordDialog*, int code, const FLPasswordInfo& info) { outcome = Outcome{code, info}; };
  }
  QMainWindow window;
};

TEST_F(PasswordDialogTest, ANewPasswordNeedsSixCharactersTwiceTheSame) {
  const struct {
    QString first, second;
    QString error;  // null: accepted
  } cases[] = {
      {QStringLiteral("abcde"), QStringLiteral("abcde"), QStringLiteral("Password is too short (6 minimum)")},
      {QStringLiteral("abcdef"), QStringLiteral("abcdeg"), QStringLiteral("Passwords don't match")},
      {QStringLiteral("abcdef"), QStringLiteral("abcdef"), QString()},
      // crypt takes 511 bytes at most: a longer password would have no check value
      {QString(600, u'a'), QString(600, u'a'), QStringLiteral("Password is too long (511 bytes maximum)")},
      {QString(256, u'é'), QString(256, u'é'), QStringLiteral("Password is too long (511 bytes maximum)")},
      {QString(511, u'a'), QString(511, u'a'), QString()},
  };
  for (const auto& c : cases) {
    std::optional<Outcome> outcome;
    QPointer<FLPasswordSetDialog> dialog =
        FLPasswordSetDialog::setPassword(QString(), &window, QStringLiteral("ctx"), recorder(outcome));
    EXPECT_EQ(QApplication::activeModalWidget(), dialog.data());
    EXPECT_EQ(dialog->errorField()->text(), QStringLiteral("Warning!"));
    dialog->password1Field()->setText(c.first);
    dialog->password2Field()->setText(c.second);
    QTest::mouseClick(dialog->buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    if (c.error.isNull()) {
      ASSERT_TRUE(outcome);
      EXPECT_EQ(outcome->code, 1);
      EXPECT_EQ(outcome->info.password, c.first);
      EXPECT_EQ(outcome->info.context, QVariant(QStringLiteral("ctx")));
      EXPECT_TRUE(QTest::qWaitFor([&dialog] { return dialog.isNull(); }, 10000));
    } else {
      EXPECT_FALSE(outcome);
      EXPECT_EQ(dialog->errorField()->text(), c.error);
      // Typing brings the standing warning back.
      QTest::keyClick(dialog->password1Field(), Qt::Key_X);
      EXPECT_EQ(dialog->errorField()->text(), QStringLiteral("Warning!"));
      dialog->handleCancel();
      EXPECT_EQ(outcome->code, 0);
    }
  }
}

TEST_F(PasswordDialogTest, VerifyingComparesTheCheckValue) {
  const QString stored = EncryptPassword(QStringLiteral("secret1"), kSeed);
  ASSERT_FALSE(stored.isEmpty());
  std::optional<Outcome> outcome;
  FLPasswordVerifyDialog* dialog = FLPasswordVerifyDialog::verifyPassword(stored, kSeed, QStringLiteral("hint"),
                                                                          QString(), &window, 7, recorder(outcome));
  for (const QString& wrong : {QString(), QStringLiteral("secret2")}) {
    dialog->passwordField()->setText(wrong);
    dialog->handleOK();
    EXPECT_FALSE(outcome);
    EXPECT_EQ(dialog->errorField()->text(), QStringLiteral("Password is incorrect"));
  }
  dialog->passwordField()->setText(QStringLiteral("secret1"));
  dialog->handleOK();
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->code, 1);
  EXPECT_EQ(outcome->info.password, QStringLiteral("secret1"));
  EXPECT_EQ(outcome->info.hint, QStringLiteral("hint"));
}

TEST_F(PasswordDialogTest, ChangingChecksTheCurrentPasswordFirstAndEmptyRemovesIt) {
  const QString stored = EncryptPassword(QStringLiteral("secret1"), kSeed);
  const struct {
    QString old, first, second;
    QString error;
    QString password;  // what the record gets on success
  } cases[] = {
      {QStringLiteral("wrong!"), QStringLiteral("abc"), QStringLiteral("xyz"), QStringLiteral("Password is incorrect"), {}},
      {QStringLiteral("secret1"), QStringLiteral("abcdef"), QStringLiteral("abcdeg"), QStringLiteral("Passwords don't match"), {}},
      {QStringLiteral("secret1"), QStringLiteral("abcde"), QStringLiteral("abcde"),
       QStringLiteral("Password is too short (6 minimum)"), {}},
      {QStringLiteral("secret1"), QString(600, u'a'), QString(600, u'a'),
       QStringLiteral("Password is too long (511 bytes maximum)"), {}},
      {QStringLiteral("secret1"), QString(), QString(), QString(), QString()},
      {QStringLiteral("secret1"), QStringLiteral("newer1"), QStringLiteral("newer1"), QString(), QStringLiteral("newer1")},
  };
  for (const auto& c : cases) {
    std::optional<Outcome> outcome;
    FLPasswordChangeDialog* dialog = FLPasswordChangeDialog::changePassword(QString(), stored, kSeed, QString(),
                                                                            &window, {}, recorder(outcome));
    dialog->oldPasswordField()->setText(c.old);
    dialog->password1Field()->setText(c.first);
    dialog->password2Field()->setText(c.second);
    dialog->handleOK();
    if (c.error.isNull()) {
      ASSERT_TRUE(outcome);
      EXPECT_EQ(outcome->code, 1);
      EXPECT_EQ(outcome->info.password, c.password);
      EXPECT_EQ(outcome->info.password.isNull(), c.password.isNull());
    } else {
      EXPECT_FALSE(outcome);
      EXPECT_EQ(dialog->errorField()->text(), c.error);
      dialog->handleCancel();
    }
    QTest::qWait(1);
  }
}

TEST_F(PasswordDialogTest, TwoSheetsKeepTheirOwnRecords) {
  QMainWindow other;
  other.show();
  std::optional<Outcome> first, second;
  FLPasswordSetDialog* a = FLPasswordSetDialog::setPassword(QString(), &window, 1, recorder(first));
  FLPasswordSetDialog* b = FLPasswordSetDialog::setPassword(QString(), &other, 2, recorder(second));
  b->password1Field()->setText(QStringLiteral("bbbbbb"));
  b->password2Field()->setText(QStringLiteral("bbbbbb"));
  a->password1Field()->setText(QStringLiteral("aaaaaa"));
  a->password2Field()->setText(QStringLiteral("aaaaaa"));
  a->handleOK();
  b->handleOK();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->info.password, QStringLiteral("aaaaaa"));
  EXPECT_EQ(first->info.context, QVariant(1));
  EXPECT_EQ(second->info.password, QStringLiteral("bbbbbb"));
  EXPECT_EQ(second->info.context, QVariant(2));
  QTest::qWait(1);
}

TEST_F(PasswordDialogTest, AHintEqualToThePasswordIsConfirmed) {
  for (const bool confirmed : {false, true}) {
    int asked = 0;
    FLPasswordManager::sharedInstance().setConfirmHook([&](const QString&, const QString&, const QString&, const QString&) {
      ++asked;
      return confirmed;
    });
    std::optional<Outcome> outcome;
    FLPasswordSetDialog* dialog = FLPasswordSetDialog::setPassword(QString(), &window, {}, recorder(outcome));
    for (QLineEdit* field : {dialog->password1Field(), dialog->password2Field(), dialog->hintField()})
      field->setText(QStringLiteral("abcdef"));
    dialog->handleOK();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(outcome.has_value(), confirmed);
    if (!confirmed) dialog->handleCancel();
    QTest::qWait(1);
  }
  FLPasswordManager::sharedInstance().setConfirmHook({});
}

}  // namespace
