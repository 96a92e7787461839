// The drag pasteboard, speech, function keys, window placement and the complaints of validated
// dialogs.
#include "framlet/shell/FLDragPasteboard.h"
#include "framlet/shell/FLSpeechManager.h"
#include "framlet/shell/FLValidatedDialog.h"
#include "framlet/shell/flInterfaceSupport.h"

#include "framlet/shell/FLAlert.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QSlider>
#include <QTest>
#include <QVBoxLayout>
#include <QMimeData>
#include <QValidator>

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(DragPasteboardTest, TheNewestValueOfATypeWins) {
  auto pasteboard = FLDragPasteboard::dragPasteboard();
  auto other = FLDragPasteboard::dragPasteboard();
  EXPECT_NE(pasteboard->name(), other->name());
  const QString cells = QStringLiteral("application/x-numlet-cells"), text = QStringLiteral("text/plain");
  EXPECT_TRUE(pasteboard->setString(QStringLiteral("old"), text));
  EXPECT_TRUE(pasteboard->setData(QByteArray("<cells/>"), cells));
  EXPECT_TRUE(pasteboard->setString(QStringLiteral("new"), text));
  EXPECT_TRUE(pasteboard->setString(QStringLiteral("as text"), cells));
  pasteboard->setValue(QByteArray("bytes"), cells);
  EXPECT_EQ(pasteboard->changeCount(), 5);
  EXPECT_EQ(pasteboard->stringForType(text), QStringLiteral("new"));
  EXPECT_TRUE(pasteboard->stringForType(cells).isNull());  // its newest value is data
  EXPECT_EQ(pasteboard->dataForType(cells), QByteArray("bytes"));
  EXPECT_TRUE(pasteboard->dataForType(text).isNull());
  EXPECT_FALSE(pasteboard->valueForType(QStringLiteral("image/png")).isValid());
  EXPECT_EQ(pasteboard->writableTypes(), (QStringList{text, cells, text, cells, cells}));
  const std::unique_ptr<QMimeData> mime = pasteboard->mimeData();
  EXPECT_EQ(mime->data(text), QByteArray("new"));
  EXPECT_EQ(mime->data(cells), QByteArray("bytes"));
}

class FakeSynthesizer : public FLSpeechSynthesizer {
 public:
  explicit FakeSynthesizer(QStringList* spoken) : spoken_(spoken) {}
  void startSpeaking(const QString& text) override {
    spoken_->append(text);
    speaking_ = true;
  }
  void stopSpeaking() override { speaking_ = false; }
  bool isSpeaking() const override { return speaking_; }
  void finish() {
    speaking_ = false;
    finished();
  }

 private:
  QStringList* spoken_;
  bool speaking_ = false;
};

TEST(SpeechManagerTest, TheSynthesizerLivesWhileItSpeaksUnlessKept) {
  FLSpeechManager& speech = FLSpeechManager::sharedInstance();
  QStringList spoken;
  int made = 0;
  speech.setSynthesizerFactory([&] {
    ++made;
    return std::make_unique<FakeSynthesizer>(&spoken);
  });
  speech.speakString(QString());
  EXPECT_EQ(made, 0);
  speech.speakString(QStringLiteral("one"));
  EXPECT_TRUE(speech.isSpeaking());
  static_cast<FakeSynthesizer*>(speech.speaker())->finish();
  EXPECT_EQ(speech.speaker(), nullptr);
  EXPECT_FALSE(speech.isSpeaking());

  speech.setKeepSpeaker(true);
  speech.speakString(QStringLiteral("two"));
  speech.speakString(QStringLiteral("three"));  // stops "two", same synthesizer
  EXPECT_EQ(made, 2);
  static_cast<FakeSynthesizer*>(speech.speaker())->finish();
  EXPECT_NE(speech.speaker(), nullptr);
  EXPECT_FALSE(speech.isSpeaking());
  speech.setKeepSpeaker(false);
  speech.stopSpeaking();
  EXPECT_EQ(speech.speaker(), nullptr);
  EXPECT_EQ(spoken, (QStringList{QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}));
  speech.setSynthesizerFactory({});
}

TEST(InterfaceSupportTest, FunctionKeysAreNumberedFromOne) {
  const struct {
    int key, number;
  } cases[] = {{Qt::Key_F1, 1}, {Qt::Key_F2, 2}, {Qt::Key_F12, 12}, {Qt::Key_F16, 16},
               {Qt::Key_F17, 0}, {Qt::Key_A, 0}, {Qt::Key_Escape, 0}};
  for (const auto& entry : cases) {
    const QKeyEvent event(QEvent::KeyPress, entry.key, Qt::NoModifier);
    EXPECT_EQ(FunctionKeyForEvent(event), entry.number) << entry.key;
  }
}

TEST(InterfaceSupportTest, AWindowsFrameIsPlacedWithinTheScreensAvailableArea) {
  // Inner rectangles; the frame is the inner rectangle grown by the margins.
  const QRect screen(0, 30, 1600, 970);  // below a 30-point top bar
  const QMargins decorations(4, 28, 4, 4);
  const struct {
    const char* what;
    QRect inner;
    QMargins margins;
    QSize minimum;
    QRect placed;
  } cases[] = {
      {"already inside", {100, 200, 400, 300}, decorations, {}, {100, 200, 400, 300}},
      {"title bar above the top", {100, 30, 400, 300}, decorations, {}, {100, 58, 400, 300}},
      {"past the bottom edge", {200, 686, 300, 329}, decorations, {}, {200, 667, 300, 329}},
      {"past the right edge", {1500, 200, 400, 300}, decorations, {}, {1196, 200, 400, 300}},
      {"left of the screen", {-50, 200, 400, 300}, decorations, {}, {4, 200, 400, 300}},
      {"the whole height as inner height", {0, 30, 1200, 970}, decorations, {}, {4, 58, 1200, 938}},
      {"wider and taller than the screen", {-100, -100, 2000, 1200}, decorations, {}, {4, 58, 1592, 938}},
      {"no decorations known", {0, 30, 1200, 970}, {}, {}, {0, 30, 1200, 970}},
      {"no decorations, too far down", {10, 900, 300, 200}, {}, {}, {10, 800, 300, 200}},
      // A window that cannot be made small enough keeps its title bar on the screen.
      {"larger than the screen at its minimum", {300, 300, 400, 300}, decorations, {400, 1000}, {300, 58, 400, 1000}},
      // Where no screen is: the title bar is not taken off the least coordinate, nor a width
      // computed past the greatest.
      {"far beyond the top left", {QPoint(INT_MIN, INT_MIN), QSize(400, 300)}, decorations, {}, {4, 58, 400, 300}},
      {"far beyond the bottom right", {QPoint(INT_MAX - 399, INT_MAX - 299), QPoint(INT_MAX, INT_MAX)}, decorations, {},
       {1196, 696, 400, 300}},
      {"across every coordinate", {QPoint(INT_MIN, INT_MIN), QPoint(INT_MAX, INT_MAX)}, decorations, {},
       {4, 58, 1592, 938}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QRect placed = FitWindowInScreen(c.inner, c.margins, screen, c.minimum);
    EXPECT_EQ(placed, c.placed);
    if (c.minimum.isEmpty()) { EXPECT_TRUE(screen.contains(placed.marginsAdded(c.margins))); }
  }
  // Off every screen, a window is placed within the one it is on.
  EXPECT_EQ(FitWindowInScreen({3000, 2000, 300, 200}, decorations, screen), QRect(1296, 796, 300, 200));

  // A window whose place another window has moves on by the title bar, smaller where it must be.
  const struct {
    const char* what;
    QRect inner;
    QList<QPoint> taken;
    QSize minimum;
    QRect placed;
  } cascades[] = {
      {"nothing there", {100, 200, 400, 300}, {}, {}, {100, 200, 400, 300}},
      {"another window there", {100, 200, 400, 300}, {{100, 200}}, {}, {128, 228, 400, 300}},
      {"two there", {100, 200, 400, 300}, {{100, 200}, {128, 228}}, {}, {156, 256, 400, 300}},
      {"another elsewhere", {100, 200, 400, 300}, {{128, 228}}, {}, {100, 200, 400, 300}},
      {"the standard size", {4, 58, 1192, 938}, {{4, 58}}, {}, {32, 86, 1192, 910}},
      {"stored beyond the screen", {-100, -100, 2000, 1200}, {{4, 58}}, {}, {32, 86, 1564, 910}},
      {"no room at its minimum", {4, 58, 1592, 938}, {{4, 58}}, {1580, 900}, {4, 58, 1592, 938}},
      {"stored far beyond the screen", {QPoint(INT_MIN, INT_MIN), QSize(400, 300)}, {{4, 58}}, {}, {32, 86, 400, 300}},
  };
  for (const auto& c : cascades) {
    SCOPED_TRACE(c.what);
    const QRect placed = CascadeWindowRect(c.inner, decorations, screen, c.taken, c.minimum);
    EXPECT_EQ(placed, c.placed);
    EXPECT_TRUE(screen.contains(placed.marginsAdded(decorations)));
  }

  // The standard size fills the area's height and three quarters of its width, frame included.
  EXPECT_EQ(StandardWindowGeometry(screen, decorations), QRect(4, 58, 1192, 938));
  EXPECT_TRUE(screen.contains(StandardWindowGeometry(screen, decorations).marginsAdded(decorations)));
  EXPECT_EQ(StandardWindowGeometry(QRect(0, 0, 1280, 800), {}), QRect(0, 0, 960, 800));
}

// A sheet lies centred across its window's frame with its top under the window's title bar,
// moved onto the screen where the window reaches past it; inner rectangles are worked out by hand.
TEST(InterfaceSupportTest, ASheetLiesOverItsWindow) {
  const QRect screen(0, 0, 1600, 952);  // above a 48-point panel
  const QMargins decorations(4, 28, 4, 4);
  const struct {
    const char* what;
    QRect hostFrame;
    int hostInnerTop;
    QSize sheet;
    QRect placed;
  } cases[] = {
      {"a window in the middle", {200, 100, 1000, 700}, 128, {360, 160}, {520, 156, 360, 160}},
      {"a window as narrow as the sheet", {0, 400, 368, 300}, 428, {360, 160}, {4, 456, 360, 160}},
      {"a window narrower than the sheet", {0, 400, 200, 136}, 428, {360, 160}, {4, 456, 360, 160}},
      {"a window at the screen's bottom", {1000, 800, 600, 300}, 828, {360, 160}, {1120, 788, 360, 160}},
      {"a window past the right edge", {1400, 100, 600, 400}, 128, {360, 160}, {1236, 156, 360, 160}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QRect placed = SheetRectOverWindow(c.hostFrame, c.hostInnerTop, c.sheet, decorations, screen);
    EXPECT_EQ(placed, c.placed);
    EXPECT_TRUE(screen.contains(placed.marginsAdded(decorations)));
  }
}

// A validator that states its range as texts, as a formatter of lengths does.
class RangeValidator : public QValidator {
 public:
  State validate(QString&, int&) const override { return Intermediate; }
};

TEST(InterfaceSupportTest, ASliderTakesTheFocusFromItsPairedField) {
  QWidget window;
  auto* pane = new QWidget(&window);
  auto* field = new QLineEdit(pane);
  auto* slider = new QSlider(Qt::Horizontal, pane);
  auto* elsewhere = new QLineEdit(&window);
  auto* layout = new QVBoxLayout(&window);
  for (QWidget* widget : {static_cast<QWidget*>(pane), static_cast<QWidget*>(elsewhere)}) layout->addWidget(widget);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  field->setFocus();
  YankFocusForSliderPair(field, pane);  // not a slider: nothing happens
  EXPECT_TRUE(field->hasFocus());
  YankFocusForSliderPair(slider, pane);
  EXPECT_FALSE(field->hasFocus());
  elsewhere->setFocus();
  YankFocusForSliderPair(slider, pane);  // a field outside the pair keeps it
  EXPECT_TRUE(elsewhere->hasFocus());
  EXPECT_TRUE(LinkText(QStringLiteral("https://x.example/?a=1&b=2"), QStringLiteral("Site <1>"))
                  .contains(QStringLiteral("href=\"https://x.example/?a=1&amp;b=2\"")));
}

TEST(ValidatedDialogTest, TheComplaintNamesTheAllowedRange) {
  QIntValidator integers(1, 10);
  RangeValidator custom;
  custom.setProperty("minimumString", QStringLiteral("0 cm"));
  custom.setProperty("maximumString", QStringLiteral("15.24 cm"));
  const QString ranged = FLValidatedDialog::complaintText(QStringLiteral("x1"), &integers);
  EXPECT_TRUE(ranged.startsWith(QStringLiteral("The number you entered, \"x1\", is not a valid value for this field. It may")));
  EXPECT_TRUE(ranged.endsWith(QStringLiteral("\n\nThe allowed values for this field range from 1 to 10.")));
  EXPECT_TRUE(FLValidatedDialog::complaintText(QStringLiteral("9 in"), &custom)
                  .endsWith(QStringLiteral("range from 0 cm to 15.24 cm.")));
  EXPECT_EQ(FLValidatedDialog::complaintText(QStringLiteral("abc"), nullptr),
            QStringLiteral("The number you entered, \"abc\", is not a valid value for this field."));
}

TEST(ValidatedDialogTest, ReturnOnAnUnacceptableValueComplainsAndKeepsTheFocus) {
  QStringList complaints;
  FLAlert::sharedInstance().setModalRunner([&complaints](const FLAlertRequest& request, bool*) {
    complaints.append(request.message + QLatin1Char('|') + request.moreInfo);
    return 0;
  });
  FLValidatedDialog dialog;
  auto* field = new QLineEdit(&dialog);
  auto* other = new QLineEdit(&dialog);
  field->setValidator(new QIntValidator(1, 10, field));
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(field);
  layout->addWidget(other);
  dialog.watchField(field);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  field->setFocus();
  field->setText(QStringLiteral("50"));
  QTest::keyClick(field, Qt::Key_Return);
  ASSERT_EQ(complaints.size(), 1);
  EXPECT_TRUE(complaints[0].startsWith(QStringLiteral("Invalid value.|The number you entered, \"50\"")));
  EXPECT_TRUE(complaints[0].endsWith(QStringLiteral("range from 1 to 10.")));
  EXPECT_TRUE(field->hasFocus());
  EXPECT_FALSE(dialog.presentError());
  field->setText(QStringLiteral("7"));
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_TRUE(dialog.presentError());
  EXPECT_EQ(complaints.size(), 2);
  FLAlert::sharedInstance().setModalRunner({});
}

}  // namespace
