#include "glimmet/layout/gmHostProcedures.h"

#include "framlet/foundation/flFileSupport.h"
#include "glimmet/storage/StorageTestSupport.h"
#include "support/LogCapture.h"

#include <QUrl>

#include <gtest/gtest.h>

namespace {

TEST(HostProcedures, TimeVariablesByFormat) {
  struct Case {
    uint32_t seconds;
    uint32_t format;
    const char* text;
  };
  const Case cases[] = {
      {1800, 0, "12:30"},           // half past midnight: hour 12
      {1800, 4, "00:30"},           // and 00 on the 24-hour clock
      {44100, 3, "12:15:00 pm"},    // a quarter past noon
      {46800 + 300, 2, "1:05 pm"},  // five past one in the afternoon
      {46800 + 300, 5, "13:05:00"},
      {3661, 6, "010101"},
      {3661, 1, "1:01:01"},
      {3661, 9, "1:01"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TimeVariableString(c.seconds, c.format), QString::fromLatin1(c.text)) << c.seconds << " " << c.format;
}

TEST(HostProcedures, DateVariablesByFormat) {
  const int32_t date = 20240307;
  EXPECT_EQ(DateVariableString(date, 5), QStringLiteral("7/3/2024"));
  EXPECT_EQ(DateVariableString(date, 6), QStringLiteral("2024/3/7"));
  EXPECT_EQ(DateVariableString(date, 7), QStringLiteral("20240307"));
  EXPECT_TRUE(DateVariableString(date, 0).startsWith(QStringLiteral("March 7, ")));
  // Formats past the table read as the short month name.
  EXPECT_EQ(DateVariableString(date, 12), DateVariableString(date, 4));
}

TEST(HostProcedures, TheUnsetDateFormatsQuietly) {
  LogCapture log;
  for (uint32_t format = 0; format <= 8; ++format) DateVariableString(0, format);
  EXPECT_EQ(DateVariableString(0, 5), QStringLiteral("0/0/00"));
  EXPECT_TRUE(log.assertMessages().isEmpty()) << log.assertMessages().join(u'|').toStdString();
}

TEST(HostProcedures, StringServicesReportBadIndexes) {
  LogCapture log;
  QString text = QStringLiteral("abc");
  EXPECT_EQ(CharacterInString(text, 1), u'b');
  EXPECT_EQ(CharacterInString(text, 3), u' ');
  InsertStringIntoString(text, QStringLiteral("Z"), 9);
  EXPECT_EQ(text, QStringLiteral("abcZ"));
  const char16_t units[] = {u'x', u'y'};
  AppendCharactersToString(text, units, 0);
  AppendCharactersToString(text, units, 2);
  EXPECT_EQ(text, QStringLiteral("abcZxy"));
  EXPECT_EQ(log.assertMessages(), (QStringList{QStringLiteral("Index out of range"),
                                               QStringLiteral("Insert after end of string")}));
}

TEST(HostProcedures, VariablesOfMissingBookmarksAndUnknownKinds) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("text"));
  EXPECT_EQ(VariableString(doc.get(), nullptr, 0, kVariableBookmarkRef, 0, kGMNone), QStringLiteral("???"));
  EXPECT_EQ(VariableString(doc.get(), nullptr, 0, kVariableBookmarkText, 0, 5), QStringLiteral("???"));
  EXPECT_EQ(VariableString(doc.get(), nullptr, 0, 9, 0, kGMNone), QStringLiteral("?"));
  EXPECT_EQ(VariableString(doc.get(), nullptr, 0, kVariableTime, 4, kGMNone), QStringLiteral("00:00"));
}

struct LinkHooks {
  QList<QUrl> opened;
  QStringList revealed;
  int beeps = 0;
  bool refuse = false;
  LinkHooks() {
    SetHostHooks({[this](const QUrl& url) { opened << url; return !refuse; },
                  [this](const QString& path) { revealed << path; return !refuse; }, [this] { ++beeps; }});
  }
  ~LinkHooks() { SetHostHooks({}); }
};

TEST(HostProcedures, FollowingLinks) {
  LinkHooks hooks;
  EXPECT_TRUE(FollowHyperLink(QStringLiteral("https://example.com/a"), false));
  EXPECT_EQ(hooks.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.com/a"))});
  // A file in the home folder is shown, not opened, unless asked to open.
  EXPECT_TRUE(FollowHyperLink(QStringLiteral("file:~/notes/a.txt"), false));
  EXPECT_EQ(hooks.revealed, QStringList{HomeFolderPath() + QStringLiteral("/notes/a.txt")});
  EXPECT_TRUE(FollowHyperLink(QStringLiteral("file:///tmp/b.txt"), true));
  EXPECT_EQ(hooks.opened.size(), 2);
  EXPECT_EQ(hooks.beeps, 0);
  hooks.refuse = true;
  EXPECT_FALSE(FollowHyperLink(QStringLiteral("https://example.com"), false));
  EXPECT_FALSE(FollowHyperLink(QString(), false));
  EXPECT_FALSE(FollowHyperLink(QStringLiteral("http://exa mple.com/%zz"), false));
  EXPECT_EQ(hooks.beeps, 3);
}

}  // namespace
