// Fakes and helpers for the package tests: a window that serves both the model and the package
// (frame, format panel, scroll point, first-page PDF), pinned version texts, temporary folders,
// the fixtures of tests/data/package and the comparison of two sheets after a round trip.
#pragma once

#include "calculator/model/caPackageWindow.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/ModelTestSupport.h"
#include "calculator/model/CADocumentWindow.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "support/LogCapture.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QRectF>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

class FakePackageWindow : public QObject, public CADocumentWindow, public CAPackageWindow {
 public:
  // CADocumentWindow
  void redrawCell(const GridPoint&) override {}
  void redrawRange(const GridRange&) override {}
  void redrawSelectionForDomain(int32_t) override {}
  void removeTooltipForCell(const CACell&) override {}

  // CAPackageWindow
  QRectF contentRect() const override { return content; }
  void setContentRect(const QRectF& rect) override { placedRects.push_back(rect); }
  bool showingFormatPanel() const override { return formatPanelShown; }
  void forceFormatPanelClosed() override { ++formatPanelClosings; }
  GridPoint scrollPoint() const override { return scroll; }
  void scrollToGridPoint(const QString& text) override { scrolledTo.append(text); }
  void synchronizeWindowTitle() override { ++titleChanges; }
  QByteArray pdfOfDocument(QSizeF* size) override {
    ++pdfRequests;
    if (size) *size = pdfSize;
    return pdf;
  }

  QRectF content;
  bool formatPanelShown = false;
  GridPoint scroll;
  QByteArray pdf;
  QSizeF pdfSize;

  std::vector<QRectF> placedRects;
  int formatPanelClosings = 0;
  QStringList scrolledTo;
  int titleChanges = 0;
  int pdfRequests = 0;
};

// The version texts every written package carries, fixed for the life of the object.
class PinnedVersions {
 public:
  PinnedVersions(const QString& app = QStringLiteral("3.1"),
                 const QString& system = QStringLiteral("Debian GNU/Linux 12"))
      : app_(g_appVersionString), system_(g_systemVersionString) {
    g_appVersionString = app;
    g_systemVersionString = system;
  }
  ~PinnedVersions() {
    g_appVersionString = app_;
    g_systemVersionString = system_;
  }
  PinnedVersions(const PinnedVersions&) = delete;
  PinnedVersions& operator=(const PinnedVersions&) = delete;

 private:
  QString app_;
  QString system_;
};

// Copies a folder tree; the fixtures are copied before a test changes or saves over them.
inline bool CopyTree(const QString& from, const QString& to) {
  if (!QDir().mkpath(to)) return false;
  const QDir source(from);
  for (const QFileInfo& entry : source.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
    const QString target = QDir(to).filePath(entry.fileName());
    if (entry.isDir()) {
      if (!CopyTree(entry.filePath(), target)) return false;
    } else if (!QFile::copy(entry.filePath(), target)) {
      return false;
    }
  }
  return true;
}

inline QString PackageFixture(const QString& name) { return TestDataPath(QStringLiteral("package/") + name); }

// The names in a folder, sorted; hidden ones included.
inline QStringList FolderEntries(const QString& path) {
  return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// ---- Documents --------------------------------------------------------------------------------

// A format as the package writes it, for comparing two formats whole.
inline QString FormatXml(const CAFormat* format) {
  if (!format) return QStringLiteral("none");
  FLXmlEncoder encoder;
  format->saveToXml(encoder, nullptr);
  return encoder.xml();
}

// Everything a round trip must keep of a sheet: options, formats, columns, rows, cells and the
// pictures cells show (compared by image, since a save under a new name renames them).
inline void ExpectSameSheet(CADocument& expected, CADocument& actual) {
  EXPECT_EQ(actual.makeBackups(), expected.makeBackups());
  EXPECT_EQ(actual.noPreview(), expected.noPreview());
  EXPECT_EQ(actual.constrainText(), expected.constrainText());
  EXPECT_EQ(actual.showFormulas(), expected.showFormulas());
  EXPECT_EQ(actual.redFormulas(), expected.redFormulas());
  EXPECT_EQ(actual.showOnlyOccupied(), expected.showOnlyOccupied());
  EXPECT_EQ(actual.titleRow(), expected.titleRow());
  EXPECT_EQ(actual.titleColumn(), expected.titleColumn());
  EXPECT_EQ(actual.printGrid(), expected.printGrid());
  EXPECT_EQ(actual.printLabels(), expected.printLabels());
  EXPECT_EQ(actual.showPageBreaks(), expected.showPageBreaks());
  EXPECT_EQ(actual.scaleToFit(), expected.scaleToFit());
  EXPECT_EQ(actual.fillPages(), expected.fillPages());
  EXPECT_EQ(actual.font().family(), expected.font().family());
  EXPECT_EQ(actual.font().pointSizeF(), expected.font().pointSizeF());
  EXPECT_EQ(FormatXml(&actual.defaultFormat()), FormatXml(&expected.defaultFormat()));
  EXPECT_EQ(actual.cellPadding(), expected.cellPadding());
  EXPECT_EQ(actual.maxDisplayGridPoint(), expected.maxDisplayGridPoint());
  EXPECT_EQ(actual.defaultDigitCount(), expected.defaultDigitCount());
  if (expected.defaultDigitCount() < 0) { EXPECT_EQ(actual.defaultWidth(), expected.defaultWidth()); }
  EXPECT_EQ(actual.minimumHeight(), expected.minimumHeight());
  EXPECT_EQ(actual.stripeInterval(), expected.stripeInterval());
  if (expected.stripeInterval() != 0) { EXPECT_EQ(actual.stripeKolor(), expected.stripeKolor()); }
  EXPECT_EQ(actual.zoomValue(), expected.zoomValue());
  EXPECT_EQ(actual.selectionRange(), expected.selectionRange());
  EXPECT_EQ(actual.activeCellPoint(), expected.activeCellPoint());
  EXPECT_EQ(actual.header(), expected.header());
  EXPECT_EQ(actual.footer(), expected.footer());
  EXPECT_EQ(actual.topMargin(), expected.topMargin());
  EXPECT_EQ(actual.bottomMargin(), expected.bottomMargin());
  EXPECT_EQ(actual.leftMargin(), expected.leftMargin());
  EXPECT_EQ(actual.rightMargin(), expected.rightMargin());
  EXPECT_EQ(actual.headerOffset(), expected.headerOffset());
  EXPECT_EQ(actual.printInfo(), expected.printInfo());

  ASSERT_EQ(actual.columns().size(), expected.columns().size());
  for (size_t i = 0; i < expected.columns().size(); ++i) {
    const CAColumn& e = *expected.columns()[i];
    const CAColumn& a = *actual.columns()[i];
    EXPECT_EQ(a.gridX(), e.gridX());
    EXPECT_EQ(a.digitCount(), e.digitCount()) << "column " << e.gridX();
    if (e.digitCount() < 0) { EXPECT_EQ(a.width(), e.width()) << "column " << e.gridX(); }
    EXPECT_EQ(FormatXml(a.format()), FormatXml(e.format())) << "column " << e.gridX();
  }
  ASSERT_EQ(actual.rows().size(), expected.rows().size());
  for (size_t r = 0; r < expected.rows().size(); ++r) {
    CARow& e = *expected.rows()[r];
    CARow& a = *actual.rows()[r];
    ASSERT_EQ(a.gridY(), e.gridY());
    EXPECT_EQ(a.minimumHeight(), e.minimumHeight()) << "row " << e.gridY();
    EXPECT_EQ(FormatXml(a.format()), FormatXml(e.format())) << "row " << e.gridY();
    ASSERT_EQ(a.cells().size(), e.cells().size()) << "row " << e.gridY();
    for (size_t c = 0; c < e.cells().size(); ++c) {
      const CACell& ec = *e.cells()[c];
      const CACell& ac = *a.cells()[c];
      const std::string where = FormatGridPoint(ec.gridPoint()).toStdString();
      EXPECT_EQ(ac.gridPoint(), ec.gridPoint()) << where;
      EXPECT_EQ(ac.valueType(), ec.valueType()) << where;
      EXPECT_EQ(ac.formula(), ec.formula()) << where;
      // A formula's value is not read back: recalculation gives it again.
      if (ec.valueType() != kValueFormula && ec.valueType() != kValueError) {
        EXPECT_EQ(ac.number().has_value(), ec.number().has_value()) << where;
        if (ac.number() && ec.number()) { EXPECT_EQ(ac.number()->archive(), ec.number()->archive()) << where; }
      }
      EXPECT_EQ(ac.displayTextField(), ec.displayTextField()) << where;
      EXPECT_EQ(ac.note(), ec.note()) << where;
      EXPECT_EQ(ac.isChecked(), ec.isChecked()) << where;
      EXPECT_EQ(ac.inactiveLink(), ec.inactiveLink()) << where;
      EXPECT_EQ(FormatXml(ac.format()), FormatXml(ec.format())) << where;
      ASSERT_EQ(bool(ac.picture()), bool(ec.picture())) << where;
      if (ec.picture()) {
        ASSERT_TRUE(ac.picture()->image()) << where;
        EXPECT_EQ(ac.picture()->imageFormat(), ec.picture()->imageFormat()) << where;
        EXPECT_EQ(ac.picture()->image()->bitmap().convertToFormat(QImage::Format_ARGB32),
                  ec.picture()->image()->bitmap().convertToFormat(QImage::Format_ARGB32))
            << where;
      }
    }
  }
}

// Runs the event loop until the queued and delayed work of a read has been delivered.
inline void DeliverQueuedWork() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// A test with the model's preferences fixed, the kernel made, version texts pinned and a
// scratch folder.
class PackageTest : public testing::Test {
 protected:

  QString scratch(const QString& name) const { return folder.filePath(name); }
  // A copy of a fixture package that the test may change.
  QString fixtureCopy(const QString& fixture, const QString& name = QString()) {
    const QString target = scratch(name.isEmpty() ? fixture : name);
    EXPECT_TRUE(CopyTree(PackageFixture(fixture), target)) << fixture.toStdString();
    return target;
  }

  // The kernel sets the version texts when it is made, so it must exist before they are pinned.
  FLKernel& kernel = FLKernel::sharedInstance();
  ModelEnvironment environment;
  PinnedVersions versions;
  QTemporaryDir folder;
};
