// The model's side of paste without the file formats: pictures from the clipboard, the undo
// step a paste records, and the pastes that must leave the sheet as it was.
#include "UndoTestSupport.h"

#include "calculator/model/CAPicture.h"
#include "calculator/model/caDocumentServices.h"
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
  // The cell archive of a three-cell row, as copying A1:C1 of another sheet makes it.
  CADocument source;
  for (int64_t x = 0; x < 3; ++x) source.cellAtGridPointImperative({x, 0})->setFormula(QString::number(x + 1));
  source.setSelectionRange(Range("A1", "C1"));
  QMimeData data;
  PasteboardSetData(data, QLatin1String(kPasteboardCellsType), DocumentXml(source).toUtf8());

  // Two columns before the grid's last one the third cell would fall past it: refused whole.
  const int64_t last = LastGridColumn();
  for (const int64_t x : {last - 1, last}) {
    document.setSelectionPoint(GridPoint{x, 0});
    const std::string before = xml();
    const int beeps = environment.beeps;
    EXPECT_FALSE(document.paste(&data, false)) << x;
    EXPECT_EQ(xml(), before) << x;
    EXPECT_EQ(environment.beeps, beeps + 1) << x;
    EXPECT_EQ(window.manager.inUseCount(), 0u) << x;
  }

  // Where it fits, the same archive is pasted, its last cell in the last column.
  document.setSelectionPoint(GridPoint{last - 2, 0});
  EXPECT_TRUE(document.paste(&data, false));
  for (int64_t x = 0; x < 3; ++x) {
    const CACell* pasted = document.cellAtGridPoint({last - 2 + x, 0});
    ASSERT_NE(pasted, nullptr) << x;
    EXPECT_EQ(pasted->displayText(false), QString::number(x + 1));
  }
}

TEST_F(PasteTest, WholeColumnsPastedNearTheLastColumnAreRefused) {
  CADocument source;
  source.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
  source.cellAtGridPointImperative({1, 4})->setFormula(QStringLiteral("2"));
  source.setSelectionRange(Columns(0, 1));
  QMimeData data;
  PasteboardSetData(data, QLatin1String(kPasteboardCellsType), DocumentXml(source).toUtf8());
  document.setSelectionRange(Columns(LastGridColumn(), LastGridColumn()));
  const std::string before = xml();
  EXPECT_FALSE(document.paste(&data, false));
  EXPECT_EQ(xml(), before);
  EXPECT_EQ(environment.beeps, 1);
}

TEST_F(PasteTest, TheFlatRtfdTypeIsNotOfferedSinceNothingReadsIt) {
  CAFileFormatServices services;
  services.loadRtf = [](CADocument&, const QString&, const QString&) { return true; };
  SetFileFormatServices(services);
  const QStringList types = CADocument::clipboardTypes();
  SetFileFormatServices(CAFileFormatServices());
  EXPECT_TRUE(types.contains(QLatin1String(kPasteboardRtfType)));
  EXPECT_FALSE(types.contains(QLatin1String(kPasteboardFlatRtfdType)));
}

TEST_F(PasteTest, DescriptorZeroChangesTheSheetWithoutAStep) {
  const std::unique_ptr<QMimeData> data = ImageData();
  select("C3", "C3");
  EXPECT_TRUE(document.paste(data.get(), false, kUndoUnnamed));
  EXPECT_EQ(cell("C3")->valueType(), kValuePicture);
  EXPECT_EQ(window.manager.inUseCount(), 0u);
}

}  // namespace
