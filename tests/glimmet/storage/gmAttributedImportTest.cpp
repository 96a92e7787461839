// Rich text into the engine: lists keep their markers by level, links their address and shown
// text, and formatting its character properties.
#include "StorageTestSupport.h"

#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmLists.h"
#include "glimmet/storage/gmTables.h"

#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

GlimmetDocPtr Imported(const char* html) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  QTextDocument text;
  text.setHtml(QString::fromUtf8(html));
  EXPECT_TRUE(ImportAttributedText(doc.get(), text)) << html;
  return doc;
}

TEST(AttributedImportTest, ListsKeepTheirMarkersByLevel) {
  const struct {
    const char* html;
    uint32_t kind0, value0, kind1, value1;  // marker kind and number format or bullet, levels 0 and 1
  } cases[] = {
      {"<ul><li>a</li></ul>", kMarkerBullet, 0x2022, kMarkerInherit, 0},
      {"<ol type=\"I\"><li>a<ol type=\"a\"><li>b</li></ol></li></ol>", kMarkerNumber, 1, kMarkerNumber, 4},
      {"<ul style=\"list-style-type:square\"><li>a<ul type=\"circle\"><li>b</li></ul></li></ul>", kMarkerBullet, 0x25A0,
       kMarkerBullet, 0x25CB},
  };
  for (const auto& c : cases) {
    GlimmetDocPtr doc = Imported(c.html);
    KnotInfo list;
    PropRecord props;
    ASSERT_TRUE(FetchList(doc.get(), kBody + 1, &list, &props)) << c.html;
    const auto marker = [&](uint32_t level, uint32_t* value) {
      const uint32_t at = ListField::markers + ListField::markerSize * level;
      const uint32_t kind = props.get<uint32_t>(at);
      *value = kind == kMarkerBullet ? props.get<uint16_t>(at + 8) : props.get<uint32_t>(at + 4);
      return kind;
    };
    uint32_t value = 0;
    EXPECT_EQ(marker(0, &value), c.kind0) << c.html;
    EXPECT_EQ(value, c.value0) << c.html;
    EXPECT_EQ(marker(1, &value), c.kind1) << c.html;
    EXPECT_EQ(value, c.value1) << c.html;
  }
  EXPECT_EQ(MarkerInfoForKeyword(QStringLiteral("Upper-Roman"))->value, 1u);
  EXPECT_EQ(MarkerInfoForKeyword(QStringLiteral("nothing")), nullptr);
}

TEST(AttributedImportTest, LinksAndFormattingArriveAsKnotsAndProperties) {
  GlimmetDocPtr doc = Imported("<p><a href=\"http://e.org/\">e <i>org</i></a> <b><sup>2</sup></b></p>");
  KnotInfo link;
  ASSERT_TRUE(FetchKnot(doc.get(), kBody, &link, kKnotLink));
  EXPECT_EQ(TextOfRange({doc.get(), link.kinkCps[0] + 1, link.kinkCps[1]}), QStringLiteral("e org"));
  EXPECT_EQ(TextOfRange({doc.get(), link.kinkCps[1] + 1, link.kinkCps[2]}), QStringLiteral("http://e.org/"));
  EXPECT_TRUE(CharsAt(doc.get(), link.kinkCps[1] - 1).body[CharField::italic]);
  const PropRecord raised = CharsAt(doc.get(), link.limit + 1);
  EXPECT_TRUE(raised.body[CharField::bold]);
  EXPECT_EQ(raised.get<int64_t>(CharField::subscript), -38100);
}

}  // namespace
