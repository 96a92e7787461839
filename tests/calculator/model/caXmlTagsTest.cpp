// The spreadsheet's XML vocabulary: names and keys agree, and readers find keys by name when a
// decoder carries no table.
#include <gtest/gtest.h>

#include "calculator/model/caXmlTags.h"

#include <QSet>

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

}  // namespace
