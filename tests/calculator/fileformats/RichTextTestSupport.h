// Shared by the RTF and HTML tests of the sheet: a sheet in a test environment, a one-line
// summary of its cells, and the cell contents of each kind made in one call.
#pragma once

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/ModelTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "platform/FLError.h"
#include "support/TestFiles.h"
#include "glimmet/storage/gmTables.h"

#include <QImage>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

// Expects the cell to hold `number` (in the C syntax, whatever the locale) where it is given, and
// otherwise what the text `shown` gives typed here: its shown text and its number.
inline void ExpectNumberOrTyped(const CACell& cell, const char* number, const QString& shown) {
  if (number) {
    const std::optional<CANumber> want = CANumber::withValidatedString(QString::fromUtf8(number), false, u'.', QChar());
    ASSERT_TRUE(want);
    ASSERT_TRUE(cell.number()) << cell.formula().toStdString();
    EXPECT_TRUE(*cell.number() == *want) << cell.number()->archive().toStdString();
    return;
  }
  CADocument typed;
  CACell* entered = typed.cellAtGridPointImperative({0, 0});
  entered->setFormula(shown);
  typed.evaluate();
  EXPECT_EQ(cell.displayText(true).toStdString(), entered->displayText(true).toStdString());
  ASSERT_EQ(cell.number().has_value(), entered->number().has_value());
  if (cell.number()) {
    EXPECT_TRUE(*cell.number() == *entered->number());
  }
}

// "x,y=text" for each cell in order, joined by "|": a link as "address>shown", a checkbox as
// "[x]" or "[ ]", a picture as "picture".
inline QString CellSummary(const CADocument& document) {
  QStringList parts;
  for (const std::unique_ptr<CARow>& row : document.rows()) {
    for (const CACellEntry& entry : row->cells()) {
      const CACellReading cell(entry, row->gridY(), &document);
      QString value;
      switch (cell->valueType()) {
        case kValueLink: value = cell->formula() + u'>' + cell->displayTextField(); break;
        case kValueCheckbox: value = QLatin1String(cell->isChecked() ? "[x]" : "[ ]"); break;
        case kValuePicture: value = QStringLiteral("picture"); break;
        default: value = cell->displayText(true); break;
      }
      parts << QStringLiteral("%1,%2=%3").arg(cell->gridPoint().x).arg(cell->gridPoint().y).arg(value);
    }
  }
  return parts.join(u'|');
}

// The cells of CellSummary that hold something.
inline std::string FilledCellSummary(const CADocument& document) {
  QStringList filled;
  for (const QString& cell : CellSummary(document).split(u'|', Qt::SkipEmptyParts))
    if (!cell.endsWith(u'=')) filled << cell;
  return filled.join(u'|').toStdString();
}

class RichTextTest : public ::testing::Test {
 protected:
  RichTextTest() { g_glimmetConfig.tableOption = 1; }

  CACell& enter(int64_t x, int64_t y, const QString& text) {
    CACell* cell = document.cellAtGridPointImperative({x, y});
    cell->setFormula(text);
    return *cell;
  }
  CACell& picture(int64_t x, int64_t y, QImage::Format format = QImage::Format_RGB32) {
    QImage bitmap(40, 20, format);
    bitmap.fill(Qt::blue);
    CACell* cell = document.cellAtGridPointImperative({x, y});
    cell->setPicture(CAPicture::withImage(std::shared_ptr<FLImage>(FLImage::withCGImage(bitmap, QSizeF(0, 0))), &document));
    return *cell;
  }
  QString path(const char* name) const { return folder.filePath(QString::fromUtf8(name)); }

  // The page opened from a file, then pasted, under `locale`, given to `check` each time.
  void readPageInLocale(const QByteArray& page, const char* locale, const std::function<void(const CADocument&)>& check) {
    const QString file = path("page.html");
    ASSERT_TRUE(WriteFileBytes(file, page));
    const TestLocale scope(locale);
    for (const bool pasted : {false, true}) {
      SCOPED_TRACE(std::string(locale) + (pasted ? ", pasted" : ", opened"));
      CADocument sheet;
      if (pasted) {
        ASSERT_TRUE(FileFormatServices().loadHtml(sheet, QString::fromUtf8(page)));
      } else {
        FLError error;
        ASSERT_EQ(sheet.openFile(file, &error), kFileTypeHtml) << error.reason.toStdString();
      }
      check(sheet);
    }
  }

  ModelEnvironment environment;
  CADocument document;
  QTemporaryDir folder;
};

// Gives the cell the number (in the C syntax), shown as the display (0: as it comes) with the
// places and grouping given.
inline void SetShownNumber(CACell& cell, const char* number, int32_t display, bool grouped, int32_t size) {
  const std::optional<CANumber> value = CANumber::withValidatedString(QString::fromLatin1(number), false, u'.', QChar());
  ASSERT_TRUE(value);
  cell.setNumberValue(*value);
  if (display == 0) return;
  CANumberFormat shown;
  shown.setDisplay(display);
  shown.setSize(size);
  shown.setGroupThousands(grouped);
  CAFormat format;
  format.setNumberFormat(&shown);
  cell.setFormat(format);
}
