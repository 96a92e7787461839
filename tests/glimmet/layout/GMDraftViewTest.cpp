#include "glimmet/layout/GMDraftView.h"

#include "glimmet/layout/ViewTestSupport.h"
#include "glimmet/layout/GMDraftViewAccessible.h"
#include "support/LogCapture.h"
#include "glimmet/layout/gmHostProcedures.h"
#include "glimmet/layout/gmSelection.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmTables.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QStyleHints>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

const QString kText = QStringLiteral("alpha beta gamma. Delta epsilon.\nzeta eta theta\niota kappa");

using Range = std::pair<int32_t, int32_t>;

void Click(ShownDocument& shown, QPoint point, Qt::KeyboardModifiers modifiers = {}) {
  QTest::mouseClick(shown.view, Qt::LeftButton, modifiers, point);
}

// Clicks in quick succession, at times of our own choosing, as QTest spaces its clicks apart.
void QuickClicks(ShownDocument& shown, QPoint point, int count) {
  static ulong time = 1000000;
  time += 10000;
  for (int i = 0; i < count; ++i, time += 50) {
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent event(type, point, shown.view->mapToGlobal(point), Qt::LeftButton,
                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
      event.setTimestamp(time);
      QApplication::sendEvent(shown.view, &event);
    }
  }
}

TEST(DraftView, ClicksSelectByCharacterWordAndSentence) {
  ShownDocument shown(kText);
  Click(shown, PointOfCp(shown, shown.body + 8));
  EXPECT_EQ(shown.bodySelection(), Range(8, 8));
  // A double click takes the word and the space after it.
  QTest::mouseDClick(shown.view, Qt::LeftButton, {}, PointOfCp(shown, shown.body + 7));
  EXPECT_EQ(shown.bodySelection(), Range(6, 11));
  // Command (Ctrl) takes the sentence with the space that ends it.
  QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
  Click(shown, PointOfCp(shown, shown.body + 2), Qt::ControlModifier);
  EXPECT_EQ(shown.bodySelection(), Range(0, 18));
  EXPECT_EQ(shown.view->selectionType(), 0);
}

TEST(DraftView, DragAndShiftClickExtend) {
  ShownDocument shown(kText);
  QTest::mousePress(shown.view, Qt::LeftButton, {}, PointOfCp(shown, shown.body + 2));
  QMouseEvent move(QEvent::MouseMove, PointOfCp(shown, shown.body + 9), shown.view->mapToGlobal(PointOfCp(shown, shown.body + 9)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(shown.view, &move);
  EXPECT_EQ(shown.view->selectionType(), kSelectPlain);
  QTest::mouseRelease(shown.view, Qt::LeftButton, {}, PointOfCp(shown, shown.body + 9));
  EXPECT_EQ(shown.bodySelection(), Range(2, 9));
  QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
  Click(shown, PointOfCp(shown, shown.body + 13), Qt::ShiftModifier);
  EXPECT_EQ(shown.bodySelection(), Range(2, 13));
}

TEST(DraftView, AHostThatMayNotRespondIgnoresClicks) {
  ShownDocument shown(kText);
  shown.document->setSelection(shown.body + 4, 0);
  shown.service.respond = false;
  Click(shown, PointOfCp(shown, shown.body + 10));
  EXPECT_EQ(shown.bodySelection(), Range(4, 4));
}

TEST(DraftView, MovementKeys) {
  struct Case {
    int32_t first, limit;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int32_t expectFirst, expectLimit;
  };
  // "alpha beta gamma. Delta epsilon.\n" is 33 units; "zeta eta theta\n" begins at 33.
  const Case cases[] = {
      {2, 2, Qt::Key_Right, {}, 3, 3},
      {2, 2, Qt::Key_Right, Qt::ShiftModifier, 2, 3},
      {2, 2, Qt::Key_Left, Qt::ShiftModifier, 1, 2},
      {2, 5, Qt::Key_Left, {}, 2, 2},
      {2, 5, Qt::Key_Right, {}, 5, 5},
      {0, 0, Qt::Key_Left, {}, 0, 0},
      {8, 8, Qt::Key_Left, Qt::ControlModifier, 6, 6},  // Command-Left: the word's start
      {6, 6, Qt::Key_Left, Qt::ControlModifier, 0, 0},  // after white space: the previous word's
      {2, 2, Qt::Key_Right, Qt::ControlModifier, 5, 5},
      {2, 2, Qt::Key_Down, {}, 35, 35},
      {35, 35, Qt::Key_Up, {}, 2, 2},
      {2, 2, Qt::Key_Down, Qt::ShiftModifier, 2, 35},
      {2, 2, Qt::Key_Right, Qt::MetaModifier, 18, 18},  // Control: the sentence's end
      {20, 20, Qt::Key_Left, Qt::MetaModifier, 18, 18},
      {2, 2, Qt::Key_Right, Qt::AltModifier, 32, 32},   // Option: the line's end, before its mark
      {10, 10, Qt::Key_Left, Qt::AltModifier, 0, 0},
      {35, 35, Qt::Key_Up, Qt::ControlModifier, 33, 33},  // Command: the paragraph's start
      {35, 35, Qt::Key_Down, Qt::ControlModifier, 48, 48},
  };
  ShownDocument shown(kText);
  for (const Case& c : cases) {
    shown.document->setSelection(shown.body + uint32_t(c.first), uint32_t(c.limit - c.first));
    QTest::keyClick(shown.view, c.key, c.modifiers);
    EXPECT_EQ(shown.bodySelection(), Range(c.expectFirst, c.expectLimit))
        << c.first << "-" << c.limit << " key " << c.key << " modifiers " << c.modifiers;
  }
}

TEST(DraftView, HomeEndAndTheLastCp) {
  ShownDocument shown(kText);
  Pane* pane = shown.pane();
  const int32_t last = int32_t(PaneLastCp(shown.document->glimmetDoc(), pane)) - int32_t(shown.body);
  QTest::keyClick(shown.view, Qt::Key_End);
  EXPECT_EQ(shown.bodySelection(), Range(last, last));
  QTest::keyClick(shown.view, Qt::Key_Right);
  EXPECT_EQ(shown.bodySelection(), Range(last, last));
  // Down on the last line of a pane that ends there goes to its last cp.
  shown.document->setSelection(shown.body + 50, 0);
  QTest::keyClick(shown.view, Qt::Key_Down);
  EXPECT_EQ(shown.bodySelection(), Range(last, last));
  QTest::keyClick(shown.view, Qt::Key_Home);
  EXPECT_EQ(shown.bodySelection(), Range(0, 0));
  QTest::keyClick(shown.view, Qt::Key_End, Qt::ShiftModifier);
  EXPECT_EQ(shown.bodySelection().first, 0);
  EXPECT_GE(shown.bodySelection().second, last);
}

TEST(DraftView, CopyPutsTheSelectedTextOnTheClipboard) {
  ShownDocument shown(kText);
  shown.document->setSelection(shown.body + 6, 4);
  QTest::keyClick(shown.view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("beta"));
  QTest::keyClick(shown.view, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(shown.service.selectAllCount, 1);
}

// The share of the rectangle's pixels that are not the background.
double InkIn(const QImage& image, const QRect& rect, QColor background) {
  int ink = 0, all = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x, ++all)
      if (image.pixelColor(x, y) != background) ++ink;
  return all ? double(ink) / all : 0;
}

TEST(DraftView, DrawsTheTextAndTheSelection) {
  ShownDocument shown(kText);
  const QColor background = shown.view->palette().color(QPalette::Base);
  const QPoint alpha = PointOfCp(shown, shown.body + 1);
  const QRect word(alpha.x(), alpha.y() - 3, 20, 6);
  const QRect empty(300, 250, 40, 20);
  QImage before = shown.view->grab().toImage();
  EXPECT_GT(InkIn(before, word, background), 0.05);
  EXPECT_EQ(InkIn(before, empty, background), 0.0);
  shown.document->setSelection(shown.body, 5);
  QImage after = shown.view->grab().toImage();
  EXPECT_GT(InkIn(after, word, background), 0.6);
}

TEST(DraftView, PageDownAndTheWheelScroll) {
  QString text;
  for (int i = 0; i < 200; ++i) text += QStringLiteral("line %1\n").arg(i);
  ShownDocument shown(text);
  Pane* pane = shown.pane();
  shown.view->grab();
  const int32_t top = pane->firstDraftCp;
  QTest::keyClick(shown.view, Qt::Key_PageDown);
  QApplication::processEvents();
  EXPECT_GT(pane->firstDraftCp, top);
  EXPECT_EQ(shown.bodySelection(), Range(0, 0));  // the selection stays
  const int32_t paged = pane->firstDraftCp;
  QWheelEvent wheel(QPointF(50, 50), shown.view->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(shown.view, &wheel);
  EXPECT_GT(pane->firstDraftCp, paged);
}

TEST(DraftView, RuleAndFlash) {
  ShownDocument shown(kText);
  shown.view->setRulePosition(QPointF(100, qQNaN()));
  const QImage image = shown.view->grab().toImage();
  EXPECT_EQ(image.pixelColor(100, 290), QColor(Qt::blue));
  shown.view->setRulePosition(QPointF(qQNaN(), qQNaN()));
  // An empty selection flashes a box 16 points wide around the caret.
  shown.document->setSelection(shown.body + 3, 0);
  shown.view->flashSelection();
  EXPECT_DOUBLE_EQ(shown.view->flashRect().width(), 16.0);
  // The flash ends by a timer, which a loaded machine runs late.
  EXPECT_TRUE(QTest::qWaitFor([&] { return shown.view->flashRect().isEmpty(); }, 10000));
}

TEST(DraftView, LinesAndParagraphsBesideTheText) {
  ShownDocument shown(QStringLiteral("first line\nsecond line\nthird line\n"));
  const int y = PointOfCp(shown, shown.body + 13).y();
  Click(shown, QPoint(3, y));
  EXPECT_EQ(shown.bodySelection(), Range(11, 23));
  QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
  QuickClicks(shown, PointOfCp(shown, shown.body + 14), 2);
  EXPECT_EQ(shown.bodySelection(), Range(11, 18));  // a double click: the word and its space
  QuickClicks(shown, PointOfCp(shown, shown.body + 14), 3);
  EXPECT_EQ(shown.bodySelection(), Range(11, 22));  // a triple click: the sentence
}

TEST(DraftView, KeysAreSwallowedWhileTheMouseIsDown) {
  ShownDocument shown(kText);
  QTest::mousePress(shown.view, Qt::LeftButton, {}, PointOfCp(shown, shown.body + 4));
  ASSERT_TRUE(shown.view->selectionInProgress());
  QTest::keyClick(shown.view, Qt::Key_Right);
  QTest::keyClick(shown.view, Qt::Key_Escape);
  EXPECT_EQ(shown.bodySelection(), Range(4, 4));
  QTest::mouseRelease(shown.view, Qt::LeftButton, {}, PointOfCp(shown, shown.body + 4));
  EXPECT_FALSE(shown.view->selectionInProgress());
}

TEST(DraftView, WordSelectionsGrowByWords) {
  ShownDocument shown(kText);
  QuickClicks(shown, PointOfCp(shown, shown.body + 7), 2);
  ASSERT_EQ(shown.bodySelection(), Range(6, 11));
  QTest::keyClick(shown.view, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(shown.bodySelection(), Range(6, 16));
  QTest::keyClick(shown.view, Qt::Key_PageDown, Qt::ShiftModifier);
  EXPECT_EQ(shown.bodySelection().first, 6);
  EXPECT_GT(shown.bodySelection().second, 16);
}

struct LinkRecorder {
  QList<QUrl> opened;
  QStringList revealed;
  LinkRecorder() {
    SetHostHooks({[this](const QUrl& url) { opened << url; return true; },
                  [this](const QString& path) { revealed << path; return true; }, [] {}});
  }
  ~LinkRecorder() { SetHostHooks({}); }
};

TEST(DraftView, AClickFollowsALinkAndAnOptionClickSelectsIt) {
  ShownDocument shown(QStringLiteral("see  now"));
  GlimmetDoc* doc = shown.document->glimmetDoc();
  shown.document->setSelection(shown.body + 4, 0);
  const QString title = QStringLiteral("here");
  ASSERT_TRUE(InsertLink(doc, QStringLiteral("https://example.com/help"), &title));
  KnotInfo link;
  ASSERT_TRUE(FetchKnot(doc, shown.body + 4, &link, kKnotLink));
  shown.view->grab();
  // A point on the link's text, wherever the layout shows it.
  QPoint onLink;
  for (int x = 0; x < 400 && onLink.isNull(); ++x) {
    LocatorRec locator;
    locator.doc = doc;
    locator.pane = shown.pane();
    const QPoint point(x, PointOfCp(shown, shown.body).y());
    // The link shows as one piece that stands for its first cp.
    if (LocatePointInDoc(point.x(), point.y(), &locator, 7) && uint32_t(locator.cp) == link.first)
      onLink = point + QPoint(8, 0);
  }
  ASSERT_FALSE(onLink.isNull());
  LinkRecorder links;
  Click(shown, onLink);
  EXPECT_EQ(links.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.com/help"))});
  LocatorRec locator;
  EXPECT_EQ(shown.document->setCursor(onLink, shown.view, &locator),
            GMCursor::PointingHand);
  QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
  Click(shown, onLink, Qt::AltModifier);
  // The link shows as its first cp, so that one cp stands for it.
  EXPECT_EQ(shown.selection(), (Range(int32_t(link.first), int32_t(link.first) + 1)));
  EXPECT_EQ(links.opened.size(), 1);
}

// Hidden text read from RTF is drawn as any text, with a green dashed line under it while the
// view shows its marks.
TEST(DraftView, HiddenTextFromRtfIsMarkedWhileMarksAreShown) {
  ShownDocument shown(ShownDocument::Rtf{QStringLiteral("{\\rtf1 a{\\v bcd}e f\\v0 g\\par}")});
  GlimmetDoc* doc = shown.document->glimmetDoc();
  PropRecord chars;
  const struct {
    uint32_t offset;
    bool hidden;
  } runs[] = {{0, false}, {1, true}, {3, true}, {4, false}, {7, false}};
  for (const auto& r : runs) {
    FetchCharProps(doc, shown.body + r.offset, nullptr, &chars);
    EXPECT_EQ(chars.body[CharField::hidden] != 0, r.hidden) << r.offset;
  }
  auto greenColumns = [&] {
    const QImage image = shown.view->grab().toImage();
    int count = 0;
    for (int x = 0; x < image.width(); ++x)
      for (int y = 0; y < image.height(); ++y) {
        const QColor p = image.pixelColor(x, y);
        if (p.green() > 150 && p.red() < 100 && p.blue() < 100) {
          ++count;
          break;
        }
      }
    return count;
  };
  EXPECT_EQ(greenColumns(), 0);
  shown.document->toggleShowMarks();
  ASSERT_TRUE(shown.document->showingMarks());
  // "bcd" is three monospaced characters of about 7 pixels, dashed.
  const int marked = greenColumns();
  EXPECT_GT(marked, 8);
  EXPECT_LT(marked, 24);
}

TEST(DraftView, CursorsOverTextMarginAndBelow) {
  ShownDocument shown(kText);
  LocatorRec locator;
  const QPoint text = PointOfCp(shown, shown.body + 3);
  EXPECT_EQ(shown.document->setCursor(text, shown.view, &locator), GMCursor::IBeam);
  EXPECT_EQ(shown.document->setCursor(QPointF(text.x(), 280), shown.view, &locator), GMCursor::IBeam);
  EXPECT_EQ(shown.document->setCursor(QPointF(395, text.y()), shown.view, &locator), GMCursor::Arrow);
}

TEST(DraftView, NothingIsDrawnWhileDisplayIsDeferred) {
  ShownDocument shown(kText);
  const QColor background = shown.view->palette().color(QPalette::Base);
  const QPoint alpha = PointOfCp(shown, shown.body + 1);
  const QRect word(alpha.x(), alpha.y() - 3, 20, 6);
  DeferDisplay();
  EXPECT_EQ(InkIn(shown.view->grab().toImage(), word, background), 0.0);
  UndeferDisplay(2);
  EXPECT_GT(InkIn(shown.view->grab().toImage(), word, background), 0.05);
}

TEST(DraftView, AnActivatingClickKeepsTheSelection) {
  ShownDocument shown(kText);
  shown.document->setSelection(shown.body + 6, 4);
  shown.view->setInitialClick(true);
  Click(shown, PointOfCp(shown, shown.body + 20));
  EXPECT_EQ(shown.bodySelection(), Range(6, 10));
  EXPECT_FALSE(shown.view->initialClick());
}

TEST(DraftView, DraggingAcrossTableCellsSelectsColumns) {
  ShownDocument shown(QStringLiteral("x"));
  GlimmetDoc* doc = shown.document->glimmetDoc();
  const uint8_t saved = g_glimmetConfig.tableOption;
  g_glimmetConfig.tableOption = 1;
  DocRange table;
  ASSERT_TRUE(NewTableCore(doc, shown.body, 2, 3, &table));
  g_glimmetConfig.tableOption = saved;
  shown.view->grab();
  KnotInfo tableInfo, row;
  ASSERT_TRUE(FetchTable(doc, table.first + 1, &tableInfo, &row, nullptr));
  // Inside the first row's third and first cells, away from the column edges.
  const QPoint third = PointOfCp(shown, row.kinkCps[2] + 1, 10);
  const QPoint first = PointOfCp(shown, row.kinkCps[0] + 1, 10);
  shown.document->startSelection(third, shown.view, kSelectCells, {});
  Pane* pane = shown.pane();
  ASSERT_EQ(pane->cellFirst, 2);
  shown.document->continueSelection(first);
  shown.document->endSelection();
  EXPECT_EQ(pane->cellFirst, 0);
  EXPECT_EQ(pane->cellLimit, 3);
  EXPECT_EQ(pane->selectionUnit, kUnitCells);
}

TEST(DraftView, ZoomTypeTwoPagesBySelectionOnlyWithShift) {
  QString text;
  for (int i = 0; i < 200; ++i) text += QStringLiteral("line %1\n").arg(i);
  ShownDocument shown(text);
  shown.view->grab();
  shown.view->setZoomType(2);
  LogCapture log;
  QTest::keyClick(shown.view, Qt::Key_PageDown);
  EXPECT_EQ(log.assertMessages(), QStringList{QStringLiteral("You must override this method")});
  EXPECT_EQ(shown.bodySelection(), Range(0, 0));
  QTest::keyClick(shown.view, Qt::Key_PageDown, Qt::ShiftModifier);
  EXPECT_EQ(shown.bodySelection().first, 0);
  EXPECT_GT(shown.bodySelection().second, 100);
}

TEST(DraftView, TheSelectionAnchorIsTheSelectedPartOfTheFirstLine) {
  ShownDocument shown(kText);
  shown.document->setSelection(shown.body + 6, 4);
  LogCapture log;
  const QRectF anchor = shown.view->selectionAnchorRect();
  EXPECT_TRUE(log.assertMessages().isEmpty()) << log.assertMessages().join(u'|').toStdString();
  const QPoint beta = PointOfCp(shown, shown.body + 6, 0);
  const QPoint gamma = PointOfCp(shown, shown.body + 10, 0);
  EXPECT_NEAR(anchor.left(), beta.x(), 1.0);
  EXPECT_NEAR(anchor.right(), gamma.x(), 1.0);
  EXPECT_TRUE(anchor.contains(QPointF(beta.x() + 3, beta.y())));
}

TEST(DraftView, AMouseUpReleasesTheChangeLocksAndGoesOn) {
  ShownDocument shown(kText);
  shown.document->lockChanges();
  shown.document->lockChanges();
  Click(shown, PointOfCp(shown, shown.body + 8));
  EXPECT_EQ(shown.document->changeLockCount(), 0u);
  EXPECT_EQ(shown.bodySelection(), Range(8, 8));
}

// The events assistive technology is told of, while the object lives.
struct AccessibilityEvents {
  static inline std::vector<std::pair<QAccessible::Event, QObject*>> events;
  AccessibilityEvents() {
    events.clear();
    GMDraftViewAccessible::setEventObserver(
        [](const QAccessibleEvent& event) { events.emplace_back(event.type(), event.object()); });
  }
  ~AccessibilityEvents() { GMDraftViewAccessible::setEventObserver(nullptr); }
  static int count(QAccessible::Event type, QObject* object) {
    return int(std::count(events.begin(), events.end(), std::make_pair(type, object)));
  }
};

TEST(DraftView, AScreenReaderReadsTheTextCaretAndSelection) {
  AccessibilityEvents events;
  ShownDocument shown(kText);
  EXPECT_EQ(AccessibilityEvents::count(QAccessible::ObjectCreated, shown.view), 1);
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(shown.view);
  ASSERT_NE(iface, nullptr);
  QAccessibleTextInterface* text = iface->textInterface();
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(iface->state().readOnly);
  // The pane's text, its kinks as objects.
  const int body = text->text(0, text->characterCount()).indexOf(QStringLiteral("alpha beta"));
  ASSERT_GE(body, 0);
  EXPECT_EQ(text->text(body + 6, body + 10), QStringLiteral("beta"));
  EXPECT_TRUE(iface->text(QAccessible::Value).contains(QStringLiteral("iota kappa")));
  // The selection made in the view is the one read, and one set by the reader is the view's.
  shown.document->setSelection(shown.body + 6, 4);
  EXPECT_EQ(text->selectionCount(), 1);
  int start = -1, end = -1;
  text->selection(0, &start, &end);
  EXPECT_EQ(std::make_pair(start, end), std::make_pair(body + 6, body + 10));
  EXPECT_GE(AccessibilityEvents::count(QAccessible::TextCaretMoved, shown.view), 1);
  EXPECT_GE(AccessibilityEvents::count(QAccessible::TextSelectionChanged, shown.view), 1);
  text->setCursorPosition(body + 2);
  EXPECT_EQ(shown.bodySelection(), Range(2, 2));
  EXPECT_EQ(text->cursorPosition(), body + 2);
  EXPECT_EQ(text->selectionCount(), 0);
  // A character lies where the view draws it.
  const QRect rect = text->characterRect(body + 6);
  ASSERT_FALSE(rect.isEmpty());
  EXPECT_EQ(text->offsetAtPoint(rect.center()), body + 6);
  QObject* view = shown.view;
  shown.scrollView.reset();
  EXPECT_GE(AccessibilityEvents::count(QAccessible::ObjectDestroyed, view), 1);
}

}  // namespace
