// One document that sets every document-level element of the native package, columns with each
// width form and a format, and rows holding a cell of every value type (with notes, formats and a
// picture), so one save pins the whole vocabulary and one round trip checks everything it keeps.
#pragma once

#include "calculator/model/CABorder.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "framlet/foundation/flFonts.h"
#include "support/TestData.h"

#include <QFont>

inline constexpr const char* kSampleFontName = "DejaVu Sans";
inline constexpr const char* kSamplePictureGuid = "5E1D0C2B-7A4F-4C3D-9B8A-0123456789AB";

inline CACell& SampleCell(CADocument& document, int64_t x, int64_t y) {
  return *document.cellAtGridPointImperative({x, y});
}

inline void FillSampleDocument(CADocument& document) {
  document.setMakeBackups(true);
  document.setNoPreview(true);
  document.setConstrainText(true);
  document.setShowFormulas(true);
  document.setRedFormulas(true);
  document.setShowOnlyOccupied(true);
  document.setTitleRow(true);
  document.setTitleColumn(true);
  QFont font(QString::fromLatin1(kSampleFontName));
  font.setPointSizeF(13.5);
  document.setFont(font);

  CAFormat defaultFormat = document.defaultFormat();
  defaultFormat.setBold(true);
  defaultFormat.setAlignment(kAlignmentCenter);
  defaultFormat.setTextKolor(0x640000FF);
  defaultFormat.setBackgroundKolor(0x50F0F0F0);
  document.setDefaultFormat(defaultFormat);

  document.setCellPadding({25400, 12700});
  document.setMaxDisplayGridPoint({7, 40});
  document.setDefaultWidth(1270000);
  document.setMinimumHeight(190500);
  document.setStripeInterval(3);
  document.setStripeKolor(0x64E0F0FF);
  document.setZoomValue(1.25);
  document.setSelectionRange({{1, 2}, {3, 4}});
  document.setActiveCellPoint({2, 3});
  document.setHeader(QStringLiteral("Budget & <plan>"));
  document.setFooter(QStringLiteral("l=p;c=f"));
  document.setTopMargin(914400);
  document.setBottomMargin(457200);
  document.setLeftMargin(12700);
  document.setRightMargin(25400);
  document.setHeaderOffset(6350);
  document.setPrintGrid(true);
  document.setPrintLabels(true);
  document.setShowPageBreaks(true);
  document.setScaleToFit(true);
  document.setFillPages(true);
  static const char kPrintArchive[] = "bplist00\x01\x02\xFE print settings";
  document.setPrintInfo(QByteArray(kPrintArchive, sizeof kPrintArchive - 1));

  document.columnImperative(0)->setDigitCount(8);
  CAColumn* wide = document.columnImperative(2);
  wide->setDigitCount(-1);
  wide->setWidth(1905000);
  CAFormat italic;
  italic.setItalic(true);
  wide->setFormat(italic);
  CAFormat right;
  right.setAlignment(kAlignmentRight);
  document.columnImperative(5)->setFormat(right);

  SampleCell(document, 0, 0).setFormula(QStringLiteral("12.5"));
  CACell& formula = SampleCell(document, 1, 0);
  formula.setFormula(QStringLiteral("=A1*2"));
  formula.setNumber(CANumber(25));
  SampleCell(document, 2, 0).setFormula(QStringLiteral("Plan B"));
  SampleCell(document, 3, 0).setFormula(QStringLiteral("1/2/2024"));
  CACell& check = SampleCell(document, 4, 0);
  check.setValueType(kValueCheckbox);
  check.setChecked(true);
  CACell& link = SampleCell(document, 5, 0);
  link.setFormula(QStringLiteral("www.example.com"));
  link.setDisplayText(QStringLiteral("Example"));
  link.setInactiveLink(true);
  std::shared_ptr<CAPicture> picture =
      CAPicture::withFile(TestDataPath(QStringLiteral("images/opaque-3x2.png")),
                          QString::fromLatin1(kSamplePictureGuid), &document);
  SampleCell(document, 6, 0).setPicture(picture);

  CACell& text = SampleCell(document, 0, 1);
  text.setFormula(QStringLiteral("a < b & \"c\""));
  text.setNote(QStringLiteral("checked by Ann"));
  CAFormat cellFormat;
  cellFormat.setUnderline(true);
  cellFormat.setStrike(false);
  CANumberFormat percent;
  percent.setDisplay(kDisplayPercent);
  cellFormat.setNumberFormat(&percent);
  CABorder border;
  border.setStyle(kBorderSolid);
  border.setWidth(25400);
  cellFormat.setBorder(&border);
  SampleCell(document, 3, 1).setFormat(cellFormat);
  SampleCell(document, 3, 1).setNumberValue(CANumber::withNumerator(3, 4));

  CARow* tall = document.rowImperative(3);
  tall->setMinimumHeight(381000);
  CAFormat rowFormat;
  rowFormat.setBackgroundKolor(0x64FFFF00);
  tall->setFormat(rowFormat);
  SampleCell(document, 1, 3).setFormula(QStringLiteral("-0.000123"));
}
