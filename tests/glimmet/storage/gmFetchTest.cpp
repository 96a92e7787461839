#include "glimmet/storage/gmFetch.h"

#include "StorageTestSupport.h"
#include "glimmet/storage/gmBookmarks.h"

#include <gtest/gtest.h>

namespace {

TEST(Fetch, APaneFetchStopsAtTheParagraphEnd) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("first\nsecond"));
  char16_t buffer[32] = {};
  uint32_t count = 32;
  FetchText(doc.get(), CurrentPane(doc.get()), kBody + 2, kGMNone, buffer, &count);
  EXPECT_EQ(QString::fromUtf16(buffer, count), QStringLiteral("rst\n"));
  count = 3;
  FetchText(doc.get(), nullptr, kBody + 2, kBody + 12, buffer, &count);
  EXPECT_EQ(QString::fromUtf16(buffer, count), QStringLiteral("rst"));
  count = 5;
  FetchText(doc.get(), nullptr, kBody + 4, kBody + 4, buffer, &count);
  EXPECT_EQ(count, 0u);
}

TEST(Fetch, RawTextAndPointers) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("abc"));
  EXPECT_EQ(RawTextString(doc.get(), kBody, kBody), QStringLiteral(""));
  EXPECT_FALSE(RawTextString(doc.get(), kBody, kBody).isNull());
  EXPECT_EQ(RawTextString(doc.get(), kBody, kBody + 2), QStringLiteral("ab"));
  uint32_t first = 0;
  const char16_t* unit = DocumentTextPtrBackward(doc.get(), kBody + 1, &first);
  ASSERT_TRUE(unit);
  EXPECT_EQ(*unit, u'b');
  EXPECT_LE(first, kBody + 1);
  // Past the end: clamped to the last unit, never read outside the text.
  unit = DocumentTextPtrBackward(doc.get(), 100000, &first);
  ASSERT_TRUE(unit);
  EXPECT_EQ(*unit, u'\n');
}

TEST(Fetch, ALinkExtractsAsItsDisplayText) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("see  now"));
  Select(doc.get(), kBody + 4, kBody + 4);
  const QString display = QStringLiteral("the site");
  ASSERT_TRUE(InsertLink(doc.get(), QStringLiteral("www.example.com"), &display));
  const DocRange body{doc.get(), kBody, uint32_t(doc->userLength)};
  EXPECT_EQ(ExtractPlainText(body, false), QStringLiteral("see the site now\n"));
  KnotInfo link;
  ASSERT_TRUE(FetchKnot(doc.get(), kBody + 4, &link, kKnotLink));
  EXPECT_EQ(TextOfRange({doc.get(), link.kinkCps[1] + 1, link.kinkCps[2]}), QStringLiteral("http://www.example.com"));
  // An empty display text shows the URL.
  Select(doc.get(), kBody, kBody);
  const QString none;
  ASSERT_TRUE(InsertLink(doc.get(), QStringLiteral("www.b.org"), &none));
  EXPECT_EQ(ExtractPlainText({doc.get(), kBody, uint32_t(doc->userLength)}, false),
            QStringLiteral("www.b.orgsee the site now\n"));
}

TEST(Fetch, OnlyKinksExtractToNothing) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("x"));
  EXPECT_TRUE(ExtractPlainText({doc.get(), 1, 2}, false).isNull());
  DocRange at{doc.get(), kBody, kBody};
  ASSERT_TRUE(InsertKnotCore(&at, kKnotBookmark, 0, 0, nullptr, 0, nullptr, false));
  ASSERT_TRUE(ReplaceRangeSimpleWithString({doc.get(), kBody + 1, kBody + 1}, nullptr, QStringLiteral("GUID")));
  EXPECT_TRUE(ExtractPlainText({doc.get(), kBody, kBody + 7}, false).isNull());
}

TEST(Fetch, MarkersAddPrefixesAndSuffixes) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("one\ntwo"));
  PropRecord para = ParaAt(doc.get(), kBody);
  // Short strings: a count, then the units.
  const std::pair<uint32_t, uint16_t> fields[] = {
      {ParaField::prefix, 2}, {ParaField::prefix + 2, u'['}, {ParaField::prefix + 4, u' '},
      {ParaField::suffix, 1}, {ParaField::suffix + 2, u']'}};
  for (const auto& [offset, value] : fields) para.set<uint16_t>(offset, value);
  ASSERT_TRUE(ApplyPropsToRange({doc.get(), kBody, kBody + 1}, para));
  const DocRange body{doc.get(), kBody, uint32_t(doc->userLength)};
  EXPECT_EQ(ExtractPlainText(body, true), QStringLiteral("[ one]\ntwo\n"));
  EXPECT_EQ(ExtractPlainText(body, false), QStringLiteral("one\ntwo\n"));
}

}  // namespace
