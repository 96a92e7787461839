// The spreadsheet's XML vocabulary: names and keys agree, and readers find keys by name when a
// decoder carries no table.
#include <gtest/gtest.h>

#include "calculator/model/caXmlTags.h"

#include <QSet>

#include <cstring>

namespace {

TEST(XmlTags, KeysAreFoundByNameWithoutATable) {
  auto decoder = FLXmlDecoder::withString(
      QStringLiteral("<?xml version=\"1.0\"?><spreadsheet><100s>1</100s><cell/><nothing/></spreadsheet>"));
  ASSERT_TRUE(decoder);
  decoder->setAllowNumericTags(true);
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(XmlTagOf(*decoder), kXmlSpreadsheet);
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(XmlTagOf(*decoder), kXmlHundredths);
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(XmlTagOf(*decoder), kXmlCell);
  ASSERT_TRUE(decoder->getNextTag());
  EXPECT_EQ(XmlTagOf(*decoder), kXmlUnknownTag);
}

// Writers take each key's first name ("hunds" for the key that also reads "100s"); keys outside
// the table give "".
TEST(XmlTags, EveryKeyWritesItsFirstName) {
  QSet<int32_t> seen;
  for (const FLXmlTagKey& entry : SpreadsheetXmlTags()) {
    if (seen.contains(int32_t(entry.key))) continue;
    seen.insert(int32_t(entry.key));
    const CAXmlTag tag = CAXmlTag(entry.key);
    EXPECT_EQ(XmlName(tag), QLatin1String(entry.tag)) << entry.tag;
    EXPECT_EQ(XmlName(tag).size(), qsizetype(std::strlen(entry.tag))) << entry.tag;
    EXPECT_STREQ(XmlTagName(tag), entry.tag);
  }
  EXPECT_EQ(seen.size(), kXmlLastTag);
  EXPECT_EQ(XmlName(kXmlHundredths), QLatin1String("hunds"));
  for (const int32_t outside : {0, -1, kXmlLastTag + 1, 1000}) {
    EXPECT_TRUE(XmlName(CAXmlTag(outside)).isEmpty()) << outside;
    EXPECT_STREQ(XmlTagName(CAXmlTag(outside)), "") << outside;
  }
}

}  // namespace
