#include "StorageTestSupport.h"
#include "glimmet/storage/gmAttributedExport.h"
#include "glimmet/storage/gmFetch.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmLists.h"
#include "glimmet/storage/gmTables.h"
#include "support/LogCapture.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QTextTable>

#include <gtest/gtest.h>

namespace {

GlimmetDocPtr FromRtf(const QByteArray& rtf) { return DocFromRtf(QString::fromLatin1(rtf)); }

std::unique_ptr<QTextDocument> ExportBody(GlimmetDoc* doc, bool noParaFormat = false, double scale = 1.0) {
  return ExportAttributedText(doc, kBody, uint32_t(doc->userLength), noParaFormat, scale);
}

// The format of the character at index of the plain text.
QTextCharFormat FormatAt(const QTextDocument& out, int index) {
  QTextCursor cursor(const_cast<QTextDocument*>(&out));
  cursor.setPosition(index + 1);
  return cursor.charFormat();
}

const QByteArray kColors = "{\\colortbl;\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}";

TEST(AttributedExport, CharacterFormats) {
  using F = QTextCharFormat;
  const struct { const char* rtf; std::function<bool(const F&)> holds; } cases[] = {
      {"\\b x", [](const F& f) { return f.fontWeight() == QFont::Bold && !f.fontItalic(); }},
      {"\\fs36 x", [](const F& f) { return f.fontPointSize() == 18; }},
      {"\\ul x", [](const F& f) { return f.underlineStyle() == F::SingleUnderline; }},
      {"\\uld x", [](const F& f) { return f.underlineStyle() == F::DotLine; }},
      {"\\uldash x", [](const F& f) { return f.underlineStyle() == F::DashUnderline; }},
      {"\\strike x", [](const F& f) { return f.fontStrikeOut(); }},
      {"\\cf2 x", [](const F& f) { return f.foreground().color() == QColor(255, 0, 0); }},
      // Opaque black is the text's own colour: no foreground.
      {"\\cf1 x", [](const F& f) { return !f.hasProperty(QTextFormat::ForegroundBrush); }},
      {"\\cb3 x", [](const F& f) { return f.background().color() == QColor(0, 0, 255); }},
      {"\\super x", [](const F& f) { return f.verticalAlignment() == F::AlignSuperScript; }},
      {"\\expnd4 x", [](const F& f) { return f.fontLetterSpacingType() == QFont::AbsoluteSpacing && f.fontLetterSpacing() == 1; }},
      {"\\outl\\fs200 x", [](const F& f) { return f.textOutline().widthF() == 3; }},
      {"x", [](const F& f) { return f.fontPointSize() == 12 && f.underlineStyle() == F::NoUnderline &&
                                    !f.hasProperty(QTextFormat::BackgroundBrush); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rtf);
    GlimmetDocPtr doc = FromRtf("{\\rtf1" + kColors + "a{" + c.rtf + "}}");
    auto out = ExportBody(doc.get());
    EXPECT_EQ(out->toPlainText(), QStringLiteral("ax"));
    EXPECT_TRUE(c.holds(FormatAt(*out, 1)));
  }
  // The scale applies to every size.
  GlimmetDocPtr doc = FromRtf("{\\rtf1 {\\fs20 a}b}");
  auto out = ExportBody(doc.get(), false, 1.5);
  EXPECT_EQ(FormatAt(*out, 0).fontPointSize(), 15);
  EXPECT_EQ(FormatAt(*out, 1).fontPointSize(), 18);
}

TEST(AttributedExport, ParagraphFormats) {
  using B = QTextBlockFormat;
  const struct {
    const char* rtf;
    std::function<bool(const B&)> holds;
    bool keptWithoutFormat;  // true: the same holds without paragraph formatting
  } cases[] = {
      {"\\qc", [](const B& b) { return b.alignment() == Qt::AlignHCenter; }, false},
      {"\\qj", [](const B& b) { return b.alignment() == Qt::AlignJustify; }, false},
      {"\\qr", [](const B& b) { return b.alignment() == Qt::AlignRight; }, false},
      {"\\li720\\fi-360", [](const B& b) { return b.leftMargin() == 36 && b.textIndent() == -18; }, false},
      {"\\ri1440", [](const B& b) { return b.rightMargin() == 72; }, false},
      {"\\sb240\\sa120", [](const B& b) { return b.topMargin() == 12 && b.bottomMargin() == 6; }, false},
      {"\\sl-480", [](const B& b) { return b.lineHeightType() == B::FixedHeight && b.lineHeight() == 24; }, false},
      {"\\sl480", [](const B& b) { return b.lineHeightType() == B::MinimumHeight && b.lineHeight() == 24; }, false},
      {"\\tx1440\\tqc\\tx2880\\tqr\\tx4320\\tqdec\\tx5760",
       [](const B& b) {
         using T = QTextOption;
         return b.tabPositions() == QList<T::Tab>{{72, T::LeftTab}, {144, T::CenterTab}, {216, T::RightTab},
                                                   {288, T::DelimiterTab, u'.'}};
       },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rtf);
    GlimmetDocPtr doc = FromRtf(QByteArray("{\\rtf1 a\\par\\pard") + c.rtf + " b\\par\\pard c}");
    for (bool noFormat : {false, true}) {
      auto out = ExportBody(doc.get(), noFormat);
      ASSERT_EQ(out->toPlainText(), QStringLiteral("a\nb\nc"));
      const QTextBlock b = out->findBlockByNumber(1);
      EXPECT_EQ(c.holds(b.blockFormat()), !noFormat || c.keptWithoutFormat) << noFormat;
      EXPECT_FALSE(c.holds(b.previous().blockFormat()));
      EXPECT_FALSE(c.holds(b.next().blockFormat()));
    }
  }
}

// Runs of one character and paragraphs of tab stops of their own come out one by one, each with
// its own format.
TEST(AttributedExport, ManyRunsAndTabStopsKeepTheirFormats) {
  constexpr int kCount = 60;
  QByteArray rtf = "{\\rtf1 ";
  for (int i = 0; i < kCount; ++i) rtf += i % 2 ? "{\\b x}" : "x";
  for (int i = 0; i < kCount; ++i) rtf += "\\par\\pard\\tx" + QByteArray::number(20 * (i + 1)) + " a\\tab b";
  GlimmetDocPtr doc = FromRtf(rtf + "}");
  auto out = ExportBody(doc.get());
  ASSERT_EQ(out->blockCount(), kCount + 1);
  for (int i = 0; i < kCount; ++i)
    EXPECT_EQ(FormatAt(*out, i).fontWeight() == QFont::Bold, i % 2 == 1) << i;
  for (int i = 0; i < kCount; ++i) {
    const QTextBlock block = out->findBlockByNumber(i + 1);
    EXPECT_EQ(block.text(), QStringLiteral("a\tb"));
    EXPECT_EQ(block.blockFormat().tabPositions(), QList<QTextOption::Tab>{QTextOption::Tab(i + 1, QTextOption::LeftTab)})
        << i;
  }
}

TEST(AttributedExport, Ranges) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("one\ntwo\n\nfour"));
  const struct { uint32_t first, limit; const char* text; } cases[] = {
      {kBody, kBody, ""},
      {kBody, kBody + 4, "one"},  // the paragraph mark ends the paragraph, no empty one follows
      {kBody + 1, kBody + 6, "ne\ntw"},
      {kBody + 4, kBody + 13, "two\n\nfour"},
      {kBody, kBody + 1000, "one\ntwo\n\nfour\n"},  // up to the document's final mark, clamped
  };
  for (const auto& c : cases) {
    auto out = ExportAttributedText(doc.get(), c.first, c.limit, false, 1.0);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->toPlainText(), QString::fromLatin1(c.text)) << c.first << " " << c.limit;
  }
  EXPECT_TRUE(ExportAttributedText(doc.get(), kBody, kBody, false, 1.0)->isEmpty());
  EXPECT_FALSE(ExportAttributedText(nullptr, 0, 10, false, 1.0));
  // A variable shows its text, as in the plain text.
  SetVariableTextHook([](GlimmetDoc*, const KnotInfo&) { return QStringLiteral("7"); });
  DocRange variable{doc.get(), kBody + 3, kBody + 3};
  const KinkData page{2, 0};
  ASSERT_TRUE(InsertKnotCore(&variable, kKnotVar, 0, 0, nullptr, 1, &page, false));
  EXPECT_EQ(ExportAttributedText(doc.get(), kBody, kBody + 5, false, 1.0)->toPlainText(), QStringLiteral("one7"));
  EXPECT_EQ(ExtractPlainText({doc.get(), kBody, kBody + 5}, false), QStringLiteral("one7\n"));
  SetVariableTextHook(nullptr);
}

TEST(AttributedExport, Tables) {
  // A fixed table (the sheet's option) whose first cell has a cyan background; then paddings, an
  // exact row height and interior spacing.
  g_glimmetConfig.tableOption = 1;
  GlimmetDocPtr doc = FromRtf(
      "{\\rtf1 Before\\par\\trowd\\clcfpat2\\cellx1000\\cellx3000\\cellx4000\\pard\\intbl A\\cell B\\par b2\\cell"
      "\\cell\\row\\trowd\\cellx1000\\cellx3000\\cellx4000\\pard\\intbl C\\cell D\\cell E\\cell\\row\\pard After\\par}");
  g_glimmetConfig.tableOption = 0;
  KnotInfo knot;
  ASSERT_TRUE(FetchKnot(doc.get(), uint32_t(doc->tableCps.cpAt(0)), &knot, kKnotTable));
  PropRecord props = *PropertiesAtIndex(doc.get(), knot.entry.propIndex);
  props.set<int64_t>(TableProp::height, -254000);
  props.set<int64_t>(TableProp::cellLeft, 63500);
  props.set<int64_t>(TableProp::cellTop, 25400);
  props.body[TableProp::outerMargins] = 1;
  SetPropsOnKink(doc.get(), uint32_t(knot.index), IndexForProperties(doc.get(), &props));
  auto out = ExportBody(doc.get());
  auto* table = qobject_cast<QTextTable*>(out->rootFrame()->childFrames().value(0));
  ASSERT_TRUE(table && table->rows() == 2 && table->columns() == 3);
  // (3000 - 1000) twips
  EXPECT_EQ(table->format().columnWidthConstraints().value(1), QTextLength(QTextLength::FixedLength, 100));

  const struct {
    int row, column;
    const char* text;
    bool background;
    double left, top;  // padding: the left only in the first column, the top only in the first row
  } cells[] = {
      {0, 0, "A", true, 5, 2}, {0, 1, "B\nb2", false, 0, 2}, {0, 2, "", false, 0, 2},
      {1, 0, "C", false, 5, 0}, {1, 1, "D", false, 0, 0},     {1, 2, "E", false, 0, 0},
  };
  for (const auto& c : cells) {
    SCOPED_TRACE(c.text);
    const QTextTableCell cell = table->cellAt(c.row, c.column);
    QTextCursor cursor(cell.firstCursorPosition());
    cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    EXPECT_EQ(cursor.selection().toPlainText(), QString::fromLatin1(c.text));
    const QTextTableCellFormat format = cell.format().toTableCellFormat();
    EXPECT_EQ(format.hasProperty(QTextFormat::BackgroundBrush), c.background);
    EXPECT_EQ(format.background().color(), c.background ? QColor(0, 255, 255) : QColor(Qt::black));
    EXPECT_EQ(format.leftPadding(), c.left);
    EXPECT_EQ(format.topPadding(), c.top);
    EXPECT_EQ(format.property(kCellMinimumHeightProperty).toDouble(), 20);
    EXPECT_EQ(format.property(kCellMaximumHeightProperty).toDouble(), 20);
  }
  EXPECT_EQ(out->toPlainText().split(u'\n').first(), QStringLiteral("Before"));
  EXPECT_TRUE(out->toPlainText().endsWith(QStringLiteral("\nAfter")));
}

TEST(AttributedExport, ListsLinksAndPictures) {
  GlimmetDocPtr doc = DocWithBody(QStringLiteral("one\ntwo\nthree\nfour"));
  Select(doc.get(), kBody + 4, kBody + 10);
  PropRecord numbered = DefaultProps(doc.get(), kPropList);
  numbered.set<uint32_t>(ListField::markers, kMarkerNumber);
  numbered.set<uint32_t>(ListField::markers + 4, 2);  // lower roman
  numbered.set<char16_t>(ListField::markers + 8, u'(');
  numbered.set<char16_t>(ListField::markers + 10, u')');
  ASSERT_TRUE(InsertList(doc.get(), &numbered, true, false));
  auto out = ExportBody(doc.get());
  ASSERT_EQ(out->toPlainText(), QStringLiteral("one\ntwo\nthree\nfour"));
  QTextList* list = out->findBlockByNumber(1).textList();
  ASSERT_NE(list, nullptr);
  for (int b : {0, 1, 2, 3}) EXPECT_EQ(out->findBlockByNumber(b).textList() == list, b == 1 || b == 2) << b;
  EXPECT_EQ(list->format().style(), QTextListFormat::ListLowerRoman);
  EXPECT_EQ(list->format().property(kListMarkerFormatProperty).toString(), QStringLiteral("({lower-roman})"));
  EXPECT_EQ(list->itemText(out->findBlockByNumber(2)), QStringLiteral("(ii)"));

  // A link carries its address and shows its text; an address that is no URL is logged and dropped.
  LogCapture log;
  GlimmetDocPtr linked = DocFromRtf(QStringLiteral("{\\rtf1 a {\\field{\\*\\fldinst{HYPERLINK \"http://x.org/a\"}}{\\fldrslt here}}"
                                                   " {\\field{\\*\\fldinst{HYPERLINK \"http://bad host/\"}}{\\fldrslt there}}"
                                                   "{\\pict\\pngblip\\picscalex50\\picscaley50 ") +
                                    PngHexOfSize(4, 2) + QStringLiteral("}}"));
  out = ExportBody(linked.get());
  EXPECT_EQ(out->toPlainText(), QStringLiteral("a here there") + QChar(QChar::ObjectReplacementCharacter));
  EXPECT_EQ(FormatAt(*out, 2).anchorHref(), QStringLiteral("http://x.org/a"));
  EXPECT_FALSE(FormatAt(*out, 7).isAnchor());
  EXPECT_TRUE(log.contains(QStringLiteral("Can't export link: http://bad host/")));
  const QTextImageFormat picture = FormatAt(*out, 12).toImageFormat();
  ASSERT_TRUE(picture.isValid());
  EXPECT_EQ(QSizeF(picture.width(), picture.height()), QSizeF(2, 1));  // at half its size
  EXPECT_FALSE(out->resource(QTextDocument::ImageResource, QUrl(picture.name())).isNull());
}

}  // namespace
