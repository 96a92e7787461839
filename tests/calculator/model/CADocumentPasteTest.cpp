// The model's side of paste without the file formats: pictures from the clipboard, the undo
// step a paste records, and the pastes that must leave the sheet as it was.
#include "UndoTestSupport.h"

#include "calculator/model/CAPicture.h"
#include "platform/Pasteboard.h"

#include <QImage>
#include <QMimeData>

namespace {

class PasteTest : public EditTest {
 protected:
  static std::unique_ptr<QMimeData> ImageData() {
    auto data = std::make_unique<QMimeData>();
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(Qt::red);
    data->setImageData(image);
    return data;
  }
};

TEST_F(PasteTest, AnImageBecomesAPictureCellAsOnePasteStep) {
  enter("B2", "was here");
  select("B2", "B2");
  const std::unique_ptr<QMimeData> data = ImageData();
  expectUndoAndRedo([&] { EXPECT_TRUE(document.paste(data.get(), false)); });
  EXPECT_EQ(cell("B2")->valueType(), kValuePicture);
  EXPECT_EQ(document.pictures().size(), 1);
  QString title;
  EXPECT_TRUE(window.manager.validateState(true, &title));
  EXPECT_EQ(title, QStringLiteral("Undo Paste"));
}

TEST_F(PasteTest, AnImageWithPlainTextPastesTheText) {
  std::unique_ptr<QMimeData> data = ImageData();
  data->setText(QStringLiteral("plain"));
  select("A1", "A1");
  // Without the delimited-text reader installed there is nothing to make cells with.
  EXPECT_FALSE(document.paste(data.get(), false));
  EXPECT_EQ(environment.beeps, 1);
  EXPECT_TRUE(document.pictures().isEmpty());
}

TEST_F(PasteTest, FailedPastesLeaveTheSheetAndTheUndoStackAlone) {
  enter("A1", "keep");
  select("A1", "A1");
  const std::string before = xml();

  QMimeData empty;
  EXPECT_FALSE(document.paste(&empty, false));
  EXPECT_EQ(environment.beeps, 1);

  // A refused undo step: nothing changes and no picture stays behind.
  window.archiver.refuse = true;
  const std::unique_ptr<QMimeData> data = ImageData();
  EXPECT_FALSE(document.paste(data.get(), false));
  EXPECT_EQ(environment.beeps, 2);
  EXPECT_TRUE(document.pictures().isEmpty());
  window.archiver.refuse = false;

  // A locked document pastes nothing, silently.
  document.setLocked(true);
  EXPECT_FALSE(document.paste(data.get(), false));
  EXPECT_EQ(environment.beeps, 2);
  document.setLocked(false);

  EXPECT_EQ(xml(), before);
  EXPECT_EQ(window.manager.inUseCount(), 0u);
}

TEST_F(PasteTest, ABlockThatWouldRunOffTheGridIsRefusedBeforeAnythingChanges) {
  // A cell archive of a 2 x 1 block pasted at the last column.
  const QString archive = QStringLiteral(
      "<spreadsheet ver=\"1\"><sel>A1:B1</sel><active>A1</active><rows><row y=\"0\"><cells>"
      "<c x=\"0\" t=\"#\"><val>i1</val></c><c x=\"1\" t=\"#\"><val>i2</val></c></cells></row></rows></spreadsheet>");
  QMimeData data;
  PasteboardSetData(data, QLatin1String(kPasteboardCellsType), archive.toUtf8());
  const GridPoint last{kGridOpenEnd - 1, 0};
  document.setSelectionPoint(last);
  const std::string before = xml();
  EXPECT_FALSE(document.paste(&data, false));
  EXPECT_EQ(xml(), before);
}

TEST_F(PasteTest, DescriptorZeroChangesTheSheetWithoutAStep) {
  const std::unique_ptr<QMimeData> data = ImageData();
  select("C3", "C3");
  EXPECT_TRUE(document.paste(data.get(), false, kUndoUnnamed));
  EXPECT_EQ(cell("C3")->valueType(), kValuePicture);
  EXPECT_EQ(window.manager.inUseCount(), 0u);
}

}  // namespace
