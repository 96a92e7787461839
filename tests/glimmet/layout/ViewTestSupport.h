// A document object shown in a draft view inside its scroll view, as the help window sets one
// up, with a host that records what the view asks of it.
#pragma once

#include "framlet/foundation/flFonts.h"
#include "glimmet/layout/GMDocument.h"
#include "glimmet/layout/GMDraftScrollView.h"
#include "glimmet/layout/GMDraftView.h"
#include "glimmet/layout/GMViewService.h"
#include "glimmet/layout/gmLocate.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmRtfReader.h"
#include "glimmet/storage/gmStyles.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

struct FakeViewService : GMReadOnlyViewService {
  int selectAllCount = 0;
  int blockBlinks = 0;
  bool respond = true;
  bool standardKeys = false;
  GMDocument* document = nullptr;

  void selectAll(QObject*) override {
    ++selectAllCount;
    if (document) document->setSelection(BodyStartOf(document), uint64_t(document->userLength()) - BodyStartOf(document));
  }
  bool dragAndDrop() override { return false; }
  bool useStandardKeys() override { return standardKeys; }
  double verticalRulerWidth() override { return 0; }
  bool mayRespond() override { return respond; }
  bool answersSetBlockBlink() const override { return true; }
  void setBlockBlink(bool block) override { blockBlinks += block ? 1 : 0; }

  static uint64_t BodyStartOf(GMDocument* document) { return BodyStart(document->glimmetDoc()); }
};

// A view that leaves the scroll view's numbers to the test.
struct QuietDraftView : GMDraftView {
  void setScrollLimits() override {}
};

// The body text in DejaVu Sans Mono at 12 points, locked and shown in a 400 x 300 scroll view.
struct ShownDocument {
  std::unique_ptr<GMDocument> document;
  std::unique_ptr<GMDraftScrollView> scrollView;
  GMDraftView* view = nullptr;
  FakeViewService service;
  uint32_t body = 0;

  explicit ShownDocument(const QString& text, QSize size = QSize(400, 300), bool reportScroll = true)
      : ShownDocument(size, reportScroll, [&text](GlimmetDoc* doc, uint32_t at) {
          DocRange range{doc, at, at};
          ReplaceRangeWithString(&range, text);
        }) {}
  // The document read from RTF into the body.
  struct Rtf {
    QString text;
  };
  explicit ShownDocument(const Rtf& rtf, QSize size = QSize(400, 300))
      : ShownDocument(size, true, [&rtf](GlimmetDoc* doc, uint32_t) {
          QString message;
          if (ImportRtf(doc, rtf.text, kRtfModeNormal, &message) != kRtfImportOk) ADD_FAILURE() << message.toStdString();
        }) {}

  template <typename Fill>
  ShownDocument(QSize size, bool reportScroll, const Fill& fill) {
    CreatePreferenceDocument();
    document = GMDocument::create();
    GlimmetDoc* doc = document->glimmetDoc();
    SetNormalFont(doc, IndexOfFont(QStringLiteral("DejaVuSansMono")), 48, true);
    body = BodyStart(doc);
    fill(doc, body);
    document->awake();
    document->setLocked(true);
    scrollView = std::make_unique<GMDraftScrollView>();
    scrollView->setup(false);
    view = reportScroll ? new GMDraftView(scrollView.get()) : new QuietDraftView;
    scrollView->setDocumentView(view);
    scrollView->setDocument(document.get());
    view->setDocument(document.get());
    service.document = document.get();
    view->setViewService(&service);
    scrollView->resize(size);
    scrollView->show();
    view->setFocus();
    document->setActive(true);
    QApplication::processEvents();
  }
  ~ShownDocument() {
    scrollView.reset();
    document.reset();
  }

  Pane* pane() const { return document->paneForView(view); }
  std::pair<int32_t, int32_t> selection() const { return {pane()->selFirst, pane()->selLimit}; }
  // The selection relative to the body's start.
  std::pair<int32_t, int32_t> bodySelection() const {
    return {pane()->selFirst - int32_t(body), pane()->selLimit - int32_t(body)};
  }
};

// The view point just right of the left edge of the cp's character, halfway down its line.
inline QPoint PointOfCp(const ShownDocument& shown, uint32_t cp, double dx = 1.0) {
  LocatorRec locator;
  locator.doc = shown.document->glimmetDoc();
  locator.pane = shown.pane();
  locator.cp = int32_t(cp);
  double width = 0;
  QRectF line;
  const double x = XAndWidthForCp(&locator, cp + 1, &width, &line);
  return QPointF(x + dx, line.center().y()).toPoint();
}
