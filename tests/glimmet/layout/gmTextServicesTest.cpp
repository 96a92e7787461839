// Sentence starts over an engine document, and raw text conversion into a bounded buffer.
#include "glimmet/layout/gmTextServices.h"

#include "glimmet/storage/StorageTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(TextServices, SentencesStartAfterTheirEnds) {
  struct Case {
    QString body;
    uint32_t cp;  // body offsets
    uint32_t start;
  };
  const Case cases[] = {
      {QStringLiteral("One. Two"), 7, 5},
      {QStringLiteral("He said \"no.\" Then"), 16, 14},  // past the closing quote and the space
      {QStringLiteral("a\tb"), 2, 2},                     // a tab starts a sentence
      {QStringLiteral("x.y z"), 4, 0},                    // no space after the point: one sentence
      {QStringLiteral("Why?  Now"), 3, 0},                // inside the first sentence
  };
  for (const Case& c : cases) {
    GlimmetDocPtr doc = DocWithBody(c.body);
    const uint32_t limit = kBody + uint32_t(c.body.size());
    EXPECT_EQ(StartOfSentence(kBody + c.cp, kBody, limit, doc.get()), kBody + c.start) << c.body.toStdString();
  }
}

TEST(TextServices, ConversionReportsTheLengthItNeeds) {
  const char latin[] = "caf\xE9";
  char16_t buffer[3] = {};
  uint32_t capacity = 3;
  EXPECT_EQ(ConvertRawTextToUnicode(latin, 4, kFLEncodingISOLatin1, buffer, &capacity), 0u);
  EXPECT_EQ(capacity, 4u);
  char16_t room[4] = {};
  EXPECT_EQ(ConvertRawTextToUnicode(latin, 4, kFLEncodingISOLatin1, room, &capacity), 4u);
  EXPECT_EQ(room[3], u'\xE9');
  EXPECT_EQ(ConvertRawTextToUnicode(latin, 0, kFLEncodingISOLatin1, room, &capacity), 0u);
}

}  // namespace
