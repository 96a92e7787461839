// The print panel's page of sheet options: "Force to one page" scales the whole sheet onto one
// page, "Fill pages" draws the grid to the edge of every page. Both are the document's own and
// change with the boxes; fill pages has no meaning while the sheet is forced onto one page.
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

class CADocument;
class QCheckBox;

class CAPrintOptionVC : public QWidget {
  Q_OBJECT

 public:
  explicit CAPrintOptionVC(QWidget* parent = nullptr);

  CADocument* document() const { return document_; }
  // Takes the document's fill pages and scale to fit.
  void setDocument(CADocument* document);

  bool fillPages() const { return fillPages_; }
  void setFillPages(bool on);
  bool scaleToFit() const { return scaleToFit_; }
  // Turning it on turns fill pages off first; the fill box is enabled only while it is off.
  void setScaleToFit(bool on);

  // The panel's summary: {name, description} for each option.
  QList<QPair<QString, QString>> localizedSummaryItems() const;
  QCheckBox* fillButton() const { return fillButton_; }
  QCheckBox* scaleButton() const { return scaleButton_; }

 signals:
  void summaryItemsChanged();

 private:
  CADocument* document_ = nullptr;  // not owned
  QCheckBox* fillButton_ = nullptr;
  QCheckBox* scaleButton_ = nullptr;
  bool fillPages_ = false;
  bool scaleToFit_ = false;
};
