// The spreadsheet's XML vocabulary: names and keys agree, and readers find keys by name when a
// decoder carries no table.
#include <gtest/gtest.h>

#include "calculator/model/caXmlTags.h"

#include <QSet>

namespace {

TEST(XmlTags, EveryKeyHasItsNameAndKeyTwentyHasTwo) {
  const std::span<const FLXmlTagKey> tags = SpreadsheetXmlTags();
  EXPECT_EQ(tags.size(), 89u);
  QSet<QString> names;
  for (const FLXmlTagKey& tag : tags) {
    EXPECT_FALSE(names.contains(QLatin1String(tag.tag))) << tag.tag;
    names.insert(QLatin1String(tag.tag));
  }
  for (int32_t key = 1; key <= kXmlLastTag; ++key) EXPECT_STRNE(XmlTagName(CAXmlTag(key)), "") << key;
  EXPECT_STREQ(XmlTagName(kXmlActive), "active");
  EXPECT_STREQ(XmlTagName(kXmlHundredths), "hunds");
  EXPECT_STREQ(XmlTagName(kXmlFraction), "fraction");
  EXPECT_STREQ(XmlTagName(kXmlZoom), "zoom");
  EXPECT_STREQ(XmlTagName(kXmlVal), "val");
  EXPECT_STREQ(XmlTagName(CAXmlTag(89)), "");
}

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

}  // namespace
