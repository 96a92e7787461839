// Fakes and helpers for the package tests: a window that serves both the model and the package
// (frame, format panel, scroll point, first-page PDF), pinned version texts, temporary folders,
// the fixtures of tests/data/package and the comparison of two sheets after a round trip.
#pragma once

#include "calculator/model/caPackageWindow.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CANumberFormat.h"
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
#include <QLocale>
#include <QObject>
#include <QRectF>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>
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
  void placeAtStandardSize() override { ++standardSizings; }
  bool showingFormatPanel() const override { return formatPanelShown; }
  void forceFormatPanelClosed() override { ++formatPanelClosings; }
  GridPoint scrollPoint() const override { return scroll; }
  void scrollToGridPoint(const QString& text) override { scrolledTo.append(text); }
  void synchronizeWindowTitle() override { ++titleChanges; }
  QByteArray pdfOfDocument(QSizeF* size, FLError*) override {
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
  int standardSizings = 0;
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
  const auto options = [](CADocument& d) {
    return std::tuple(d.makeBackups(), d.noPreview(), d.constrainText(), d.showFormulas(), d.redFormulas(),
                      d.showOnlyOccupied(), d.titleRow(), d.titleColumn(), d.printGrid(), d.printLabels(),
                      d.showPageBreaks(), d.scaleToFit(), d.fillPages(), d.font().family(), d.font().pointSizeF(),
                      FormatXml(&d.defaultFormat()), d.cellPadding(), d.maxDisplayGridPoint(), d.defaultDigitCount(),
                      d.defaultDigitCount() < 0 ? d.defaultWidth() : 0, d.minimumHeight(), d.stripeInterval(),
                      d.stripeInterval() != 0 ? d.stripeKolor() : 0, d.zoomValue(), d.selectionRange(),
                      d.activeCellPoint(), d.header(), d.footer(), d.topMargin(), d.bottomMargin(), d.leftMargin(),
                      d.rightMargin(), d.headerOffset(), d.printInfo());
  };
  EXPECT_TRUE(options(actual) == options(expected)) << "the sheet's options differ";

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
      const CACellReading expectedCell(e.cells()[c], e.gridY(), &expected);
      const CACellReading actualCell(a.cells()[c], a.gridY(), &actual);
      const CACell& ec = *expectedCell;
      const CACell& ac = *actualCell;
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

// Numbers read and written with the decimal comma, for the test's length.
struct GermanNumberLocale {
  GermanNumberLocale() { SetNumberTextLocale(QLocale(QLocale::German, QLocale::Germany)); }
  ~GermanNumberLocale() { SetNumberTextLocale(QLocale(QLocale::English, QLocale::UnitedStates)); }
};

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
