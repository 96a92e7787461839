// What the native package's reader and writer ask of the window controller that shows a
// document: the window's place, the format panel, the scroll position, the window title and the
// PDF of the first printed page for the preview. The controller implements it beside
// CADocumentWindow; tests install fakes.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <QByteArray>
#include <QRectF>
#include <QSizeF>
#include <QString>

class CADocument;
struct FLError;

class CAPackageWindow {
 public:
  virtual ~CAPackageWindow() = default;

  // The window's content rectangle, in the screen's coordinates.
  virtual QRectF contentRect() const = 0;
  // Places the window so that its content has that rectangle, without redrawing at once.
  virtual void setContentRect(const QRectF& rect) = 0;
  // Gives the window the size a new document's window gets.
  virtual void placeAtStandardSize() {}
  virtual bool showingFormatPanel() const = 0;
  virtual void forceFormatPanelClosed() = 0;
  // The top left cell shown.
  virtual GridPoint scrollPoint() const = 0;
  // Scrolls to the cell of a grid point text ("x,y").
  virtual void scrollToGridPoint(const QString& text) = 0;
  // The document's file path changed: the title follows it.
  virtual void synchronizeWindowTitle() {}
  // PDF data of the document's first printed page and that page's size in points, or without a
  // size the whole sheet on one page; empty when there is nothing to print, or when the sheet is
  // too large to draw (the error then says so).
  virtual QByteArray pdfOfDocument(QSizeF* size, FLError* error) = 0;
};

// The package window of the document's controller, or null when it has no window or the
// window does not serve the package.
CAPackageWindow* PackageWindowOf(const CADocument& document);
