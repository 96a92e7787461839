// The toolbar as a widget: tools from a descriptor table and the stored configuration, clicks
// that send (or do not send) a tool's action, the segmented control's clicks, and pixels.
#include "framlet/shell/FLToolbarView.h"

#include "framlet/shell/FLToolbarDelegate.h"
#include "framlet/shell/FLToolbarSegments.h"
#include "framlet/shell/FLToolbarSegmentsDelegate.h"
#include "framlet/shell/flToolbarGeometry.h"
#include "platform/UserDefaults.h"
#include "support/LogCapture.h"

#include <QMainWindow>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

const FLToolbarItem kItems[] = {
    {kFLToolbarSpaceItem, nullptr, nullptr, "Space"},
    {kFLToolbarFlexibleSpaceItem, nullptr, nullptr, "Flexible Space"},
    {"A", "ATool", "Alpha", nullptr, "alpha:", "Alpha tip", 7},
    {"B", "BTool", "Beta", nullptr, "beta:", nullptr, 0},
    {"S", kFLToolbarSegmentsClass, "Segs", nullptr, nullptr, nullptr, 1, 130, 21, 1},
};

class FakeToolbarOwner : public FLToolbarDelegate, public FLToolbarSegmentsDelegate {
 public:
  QString toolbarGuid() const override { return guid; }
  const FLToolbarItem* toolbarItems() const override { return kItems; }
  uint64_t numberOfToolbarItems() const override { return std::size(kItems); }
  QStringList defaultToolbarItems() const override { return {"A", "B"}; }
  void sendToolbarAction(const QString& action, FLToolbarView* toolbar) override {
    sent.append(action);
    tags.append(toolbar->tag());
  }
  QVariantList tabsForSegments(FLToolbarSegments*) override { return {QStringLiteral("L"), QStringLiteral("C"), QStringLiteral("R")}; }
  void tabWasSelected(int64_t index, FLToolbarSegments*) override { selected.append(index); }

  QString guid = QStringLiteral("TEST-GUID");
  QStringList sent;
  QList<int64_t> tags, selected;
};

class ToolbarViewTest : public ::testing::Test {
 protected:
  void TearDown() override { UserDefaults::standardUserDefaults().removeObjectForKey(ToolbarConfigKey(owner.guid)); }

  // A window with the toolbar over a container, laid out at the given width.
  FLToolbarView* makeToolbar(const QVariantMap& stored = {}, int width = 500) {
    if (!stored.isEmpty()) UserDefaults::standardUserDefaults().setObject(stored, ToolbarConfigKey(owner.guid));
    window = std::make_unique<QMainWindow>();
    auto* content = new QWidget(window.get());
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* container = new QWidget(content);
    auto* toolbar = new FLToolbarView(content);
    toolbar->setUp(&owner, container);
    column->addWidget(toolbar);
    column->addWidget(container, 1);
    window->setCentralWidget(content);
    window->resize(width, 300);
    window->show();
    toolbar->grab();  // lays the tools out
    return toolbar;
  }

  FakeToolbarOwner owner;
  std::unique_ptr<QMainWindow> window;
};

}  // namespace

TEST_F(ToolbarViewTest, StoredConfigurationChoosesModeAndTools) {
  LogCapture log;
  QStringList identifiers{"B", "gone", kFLToolbarSpaceItem, "A"};
  for (int i = 0; i < 1000; ++i) identifiers.append(QStringLiteral("hand-edited %1").arg(i));
  FLToolbarView* toolbar = makeToolbar({{"TB Display Mode", 7}, {"TB Item Identifiers", identifiers}});
  EXPECT_EQ(toolbar->displayMode(), 1);
  EXPECT_TRUE(toolbar->isVisible());
  ASSERT_EQ(toolbar->tools().size(), 3u);  // the unknown tool is skipped, the others keep their order
  EXPECT_STREQ(toolbar->tools()[0].item->guid, "B");
  EXPECT_EQ(toolbar->tools()[1].toolType, kFLToolSpace);
  EXPECT_STREQ(toolbar->tools()[2].item->guid, "A");
  // Unknown tools are dropped with one line in the log, without an assertion's trace for each.
  EXPECT_TRUE(log.assertMessages().isEmpty());
  EXPECT_EQ(log.entries().filter(QStringLiteral("1001 unknown tools")).size(), 1);
  EXPECT_EQ(toolbar->height(), 56);
}

TEST_F(ToolbarViewTest, WithoutAStoredConfigurationTheDefaultsAreWritten) {
  FLToolbarView* toolbar = makeToolbar();
  ASSERT_EQ(toolbar->tools().size(), 2u);
  const QVariantMap stored = UserDefaults::standardUserDefaults().dictionaryForKey(ToolbarConfigKey(owner.guid));
  EXPECT_EQ(stored.value("TB Display Mode").toInt(), 1);
  EXPECT_TRUE(stored.value("TB Is Shown").toBool());
  toolbar->changeDisplayMode(kFLToolbarTextOnly);
  EXPECT_EQ(toolbar->height(), 21);
  toolbar->toggleToolbar();
  EXPECT_FALSE(toolbar->isVisible());
  const QVariantMap after = UserDefaults::standardUserDefaults().dictionaryForKey(ToolbarConfigKey(owner.guid));
  EXPECT_EQ(after.value("TB Display Mode").toInt(), 3);
  EXPECT_FALSE(after.value("TB Is Shown").toBool());
}

TEST_F(ToolbarViewTest, AClickSendsTheToolsActionWithItsTag) {
  FLToolbarView* toolbar = makeToolbar();
  const QPoint alpha = toolbar->tools()[0].rect.center().toPoint();
  QTest::mouseClick(toolbar, Qt::LeftButton, {}, alpha);
  EXPECT_EQ(owner.sent, QStringList{"alpha:"});
  EXPECT_EQ(owner.tags, QList<int64_t>{7});
  EXPECT_EQ(toolbar->tag(), -1);

  // Pressed on Alpha, released over Beta: nothing is sent.
  const QPoint beta = toolbar->tools()[1].rect.center().toPoint();
  QTest::mousePress(toolbar, Qt::LeftButton, {}, alpha);
  QMouseEvent move(QEvent::MouseMove, beta, toolbar->mapToGlobal(beta), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(toolbar, &move);
  QTest::mouseRelease(toolbar, Qt::LeftButton, {}, beta);
  EXPECT_EQ(owner.sent.size(), 1);

  // A disabled tool takes no click.
  toolbar->setEnabled(false, QStringLiteral("beta:"));
  QTest::mouseClick(toolbar, Qt::LeftButton, {}, beta);
  EXPECT_EQ(owner.sent.size(), 1);
}

TEST_F(ToolbarViewTest, SegmentsSelectAndTellTheirDelegate) {
  FLToolbarView* toolbar = makeToolbar({{"TB Item Identifiers", QStringList{"S", "A"}}});
  auto* segments = qobject_cast<FLToolbarSegments*>(toolbar->viewForGuid("S"));
  ASSERT_TRUE(segments);
  EXPECT_EQ(segments->size(), QSize(130, 21));
  EXPECT_TRUE(segments->isVisible());
  EXPECT_EQ(segments->metrics().tabWidths, (std::vector<double>{43, 46, 41}));
  QTest::mouseClick(segments, Qt::LeftButton, {}, QPoint(60, 10));
  EXPECT_EQ(owner.selected, QList<int64_t>{1});
  EXPECT_TRUE(segments->isTabSelected(1));
  // Clicking the selected tab again or a disabled tab selects nothing new.
  segments->setEnabled(false, 2);
  QTest::mouseClick(segments, Qt::LeftButton, {}, QPoint(60, 10));
  QTest::mouseClick(segments, Qt::LeftButton, {}, QPoint(120, 10));
  EXPECT_EQ(owner.selected.size(), 1);
}

// Template pictures take the text colour in the dark appearance; in the light one they keep their own.
// A toggled tool without a picture of its own for the "on" state gets a drawn one: the switch
// shows, and nothing is logged as missing.
TEST_F(ToolbarViewTest, AToggledToolIsDrawnOnWithoutAnAlternatePictureFile) {
  FLToolbarView* toolbar = makeToolbar();
  const QRect column(0, 0, 60, toolbar->height());  // the first tool, Alpha
  const QImage off = toolbar->grab(column).toImage();
  LogCapture log;
  toolbar->setAlternate(true, QStringLiteral("alpha:"));
  EXPECT_FALSE(log.assertMessages().contains(QStringLiteral("Can't load alternate tool image")));
  EXPECT_NE(toolbar->grab(column).toImage(), off);
  toolbar->setAlternate(false, QStringLiteral("alpha:"));
  EXPECT_EQ(toolbar->grab(column).toImage(), off);
}

TEST(ToolbarSegmentsDrawing, TemplatesAreTintedInTheDarkAppearance) {
  struct PictureOwner : FLToolbarSegmentsDelegate {
    QVariantList tabsForSegments(FLToolbarSegments*) override {
      QImage picture(12, 12, QImage::Format_ARGB32_Premultiplied);
      picture.fill(Qt::black);
      return {picture, picture};
    }
    void tabWasSelected(int64_t, FLToolbarSegments*) override {}
  } owner;
  for (const bool dark : {false, true}) {
    FLToolbarSegments segments;
    segments.setDelegate(&owner);
    QPalette palette = segments.palette();
    palette.setColor(QPalette::Window, dark ? QColor(30, 30, 30) : QColor(236, 236, 236));
    palette.setColor(QPalette::ButtonText, dark ? QColor(240, 240, 240) : QColor(0, 0, 0));
    segments.setPalette(palette);
    segments.resize(88, 21);
    const QColor middle = segments.grab().toImage().pixelColor(segments.metrics().tabWidths[0] / 2, 10);
    EXPECT_EQ(middle, palette.color(QPalette::ButtonText)) << dark;
  }
}

TEST(ToolbarSegmentsDrawing, EveryTabHasItsOwnEnabledBit) {
  FLToolbarSegments segments;
  segments.setEnabled(false, 32);
  EXPECT_TRUE(segments.isTabEnabled(0));
  EXPECT_FALSE(segments.isTabEnabled(32));
}
