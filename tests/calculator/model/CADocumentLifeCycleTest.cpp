// The document's life: what a new document starts with, the save dispatch by file type, the
// autosave timer's rules on a fake clock, closing, and the selection state kept on it.
#include "UndoTestSupport.h"

#include "calculator/model/caDocumentServices.h"
#include "calculator/model/caModelNotifications.h"
#include "platform/Clocks.h"
#include "platform/FLError.h"
#include "platform/NotificationCenter.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

namespace {

TEST(DocumentLifeCycle, NewDocumentsTakeTheirColumnWidthFromThePreferences) {
  const struct {
    int64_t digits;
    int64_t width;
    int64_t expectedDigits;
    int64_t expectedWidth;
  } cases[] = {{0, 0, 12, 0}, {-1, 0, 12, 0}, {-1, 914400, -1, 914400}, {8, 914400, 8, 0}};
  for (const auto& test : cases) {
    CAModelPreferences preferences;
    preferences.defaultDigitCount = test.digits;
    preferences.defaultWidth = test.width;
    ModelEnvironment environment(preferences);
    CADocument document;
    EXPECT_EQ(document.defaultDigitCount(), test.expectedDigits) << test.digits;
    EXPECT_EQ(document.defaultWidth(), test.expectedWidth) << test.digits;
    EXPECT_EQ(document.sortKey1(), (GridPoint{-1, -1}));
    EXPECT_FALSE(document.everEdited());
  }
}

TEST(DocumentLifeCycle, SavingDispatchesByTypeAndRefusesWhatItCannotWrite) {
  ModelEnvironment environment;
  CAFileFormatServices services;
  QStringList calls;
  services.writers[kFileTypeCsv] = [&](CADocument&, const QString& path, bool inPlace, FLError*) {
    calls.append(QStringLiteral("csv %1 %2").arg(path).arg(inPlace));
    return true;
  };
  services.writers[kFileTypeNative] = [&](CADocument&, const QString& path, bool inPlace, FLError* error) {
    calls.append(QStringLiteral("native %1 %2").arg(path).arg(inPlace));
    SetError(error, -36, QStringLiteral("disk"));
    return false;
  };
  SetFileFormatServices(services);
  CADocument document;
  const struct { const char* path; bool result; int code; const char* reason; } cases[] = {
      {"/x/a.csv", true, 0, ""}, {"/x/a.Numlet", false, -36, "disk"},
      {"/x/a.xls", false, -50, "Unknown file format."}, {"/x/a", false, -50, "Unknown file format."},
      {"/x/a.rtf", false, -4, "Saving as RTF is not available yet."},
      {"/x/a.html", false, -4, "Saving as HTML is not available yet."},
      {"/x/a.dif", false, -4, "Saving as DIF is not available yet."},
  };
  for (const auto& test : cases) {
    FLError error;
    EXPECT_EQ(document.saveCore(QString::fromUtf8(test.path), true, &error), test.result) << test.path;
    EXPECT_EQ(error.code, test.code) << test.path;
    EXPECT_EQ(error.reason, QString::fromUtf8(test.reason)) << test.path;
  }
  EXPECT_EQ(calls, (QStringList{QStringLiteral("csv /x/a.csv 1"), QStringLiteral("native /x/a.Numlet 1")}));
  SetFileFormatServices(CAFileFormatServices());
}

// An autosave writer that makes an empty package and counts.
class AutosaveTimingTest : public EditTest {
 protected:
  AutosaveTimingTest() : previous_(qgetenv("XDG_DATA_HOME")) {
    qputenv("XDG_DATA_HOME", folder_.path().toUtf8());
    CAFileFormatServices services;
    services.writers[kFileTypeNative] = [this](CADocument&, const QString& path, bool inPlace, FLError*) {
      EXPECT_FALSE(inPlace);
      ++saves;
      return QDir().mkdir(path);
    };
    SetFileFormatServices(services);
  }
  ~AutosaveTimingTest() override {
    SetFileFormatServices(CAFileFormatServices());
    qputenv("XDG_DATA_HOME", previous_);
  }

  // An edit recorded as a typing step at that time.
  void editAt(double seconds) {
    environment.now = seconds;
    document.setSelectionPoint(A1("A1"));
    document.setCellUndo(kUndoTyping, kUndoRangeActiveCell);
    enter("A1", QString::number(seconds).toUtf8().constData());
  }
  // A timer tick at that time; the number of autosaves so far.
  int tickAt(double seconds) {
    environment.now = seconds;
    document.autosaveTimerFired(true);
    return saves;
  }

  int saves = 0;

 private:
  QTemporaryDir folder_;
  QByteArray previous_;
};

TEST_F(AutosaveTimingTest, ATickSavesAfterFiveQuietSecondsAndAtMostEveryTwoMinutes) {
  ASSERT_TRUE(document.autosaveTimer());
  EXPECT_EQ(document.autosaveTimer()->interval(), 1000);

  // The document was made at 1000: nothing to save before an edit.
  EXPECT_EQ(tickAt(1150), 0);
  editAt(1010);
  EXPECT_TRUE(document.dirtySinceAutoSave());
  EXPECT_EQ(tickAt(1014), 0);  // not quiet yet
  EXPECT_EQ(tickAt(1100), 0);  // quiet, but not 120 seconds since the document was made
  EXPECT_EQ(tickAt(1121), 1);
  EXPECT_FALSE(document.dirtySinceAutoSave());
  const QString copy = document.autosavePath();
  EXPECT_TRUE(copy.endsWith(document.guid() + QStringLiteral(".Numlet_autosave")));

  editAt(1130);
  EXPECT_EQ(tickAt(1200), 1);  // only 79 seconds since the last autosave
  EXPECT_EQ(tickAt(1241), 2);
  EXPECT_EQ(tickAt(1400), 2);  // nothing edited since

  // Resigning the application saves at once, without the quiet seconds, under the 120 rule.
  editAt(1300);
  NotificationCenter::defaultCenter().post(QLatin1String(kApplicationDidResignActiveNotification));
  EXPECT_EQ(saves, 2);
  environment.now = 1361;
  NotificationCenter::defaultCenter().post(QLatin1String(kApplicationDidResignActiveNotification));
  EXPECT_EQ(saves, 3);

  // Closing deletes the copy.
  int closings = 0;
  NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kDocClosingNotification), &document, [&](const Notification&) { ++closings; });
  document.prepareToClose();
  document.prepareToClose();
  EXPECT_EQ(closings, 1);
  EXPECT_FALSE(QFileInfo::exists(copy));
}

// The quiet seconds and the interval are timed on the steady clock. The wall clock set a day
// ahead for a while and put right again (as time synchronisation does) neither brings an autosave
// early nor holds the next one back for a day.
TEST_F(AutosaveTimingTest, TheWallClockSteppingMovesNoAutosave) {
  // The system's own clocks, read as the program reads them when no hook stands in.
  SetModelHooks(CAModelHooks());
  double steady = 1000;  // when the document was made
  double wallAhead = 0;
  SetClockSources([&steady] { return steady; }, [&steady, &wallAhead] { return 1.8e9 + steady + wallAhead; });
  struct Restore {
    ~Restore() { SetClockSources({}, {}); }
  } restore;
  constexpr double kDay = 86400;
  enum Step { Edit, Tick };
  const struct {
    double at;  // on the steady clock
    double wallAhead;
    Step step;
    int saves;  // so far
  } steps[] = {
      {1010, 0, Edit, 0},     {1016, 0, Tick, 0},     // quiet, but not two minutes since the document was made
      {1130, 0, Edit, 0},     {1136, 0, Tick, 1},     //
      {1141, kDay, Edit, 1},  {1147, kDay, Tick, 1},  // the wall clock a day ahead: only 11 s since the last
      {1150, 0, Edit, 1},     {1156, 0, Tick, 1},     // put right
      {1257, 0, Tick, 2},                             // two minutes after the last autosave
  };
  for (const auto& s : steps) {
    steady = s.at;
    wallAhead = s.wallAhead;
    if (s.step == Edit) {
      document.setSelectionPoint(A1("A1"));
      document.setCellUndo(kUndoTyping, kUndoRangeActiveCell);
      enter("A1", QString::number(s.at).toUtf8().constData());
    } else {
      document.autosaveTimerFired(true);
    }
    EXPECT_EQ(saves, s.saves) << (s.step == Edit ? "edit" : "tick") << " at " << s.at;
  }
}

TEST_F(AutosaveTimingTest, NoAutosaveWhenOffLockedRecoveredOrFailed) {
  editAt(1010);

  CAModelPreferences off;
  off.autoSave = false;
  environment.set(off);
  NotificationCenter::defaultCenter().post(QLatin1String(kAutosaveNotification));
  EXPECT_EQ(tickAt(1500), 0);
  environment.set(CAModelPreferences());
  NotificationCenter::defaultCenter().post(QLatin1String(kAutosaveNotification));

  document.setLocked(true);
  EXPECT_EQ(tickAt(1500), 0);
  document.setLocked(false);
  document.setAutosaveRecoveryDoc(true);
  EXPECT_EQ(tickAt(1500), 0);
  // Saving under a name ends the recovery state and restarts the two minutes.
  document.attachToSavedFile();
  EXPECT_EQ(tickAt(1600), 0);
  EXPECT_EQ(tickAt(1620), 1);

  // A failing writer is logged once and ends the autosaves.
  CAFileFormatServices failing;
  failing.writers[kFileTypeNative] = [](CADocument&, const QString&, bool, FLError* error) {
    SetError(error, -34, QStringLiteral("The disk is full."));
    return false;
  };
  SetFileFormatServices(failing);
  editAt(1800);
  LogCapture log;
  document.autosaveTimerFired(false);
  EXPECT_TRUE(log.contains(QStringLiteral("Autosave of untitled failed: The disk is full.")));
  log.clear();
  document.autosaveTimerFired(false);
  EXPECT_TRUE(log.entries().isEmpty());
}

TEST(DocumentLifeCycle, RevertOfAMissingFileAlertsAndKeepsTheDocument) {
  ModelEnvironment environment;
  CADocument document;
  UndoWindow window(document);
  document.setController(&window);
  document.setFilePath(QStringLiteral("/nonexistent/Gone.Numlet"));
  EXPECT_FALSE(document.revert());
  EXPECT_EQ(window.alerts, QStringList{QStringLiteral(
                               "Can't revert missing file.|I can't revert the file because I can't find the original. "
                               "It may have been moved to the Trash.")});
  document.setController(nullptr);
}

TEST(DocumentLifeCycle, SelectionTestsByDomain) {
  ModelEnvironment environment;
  CADocument document;
  document.setActiveCellPoint({-4, 3});
  EXPECT_EQ(document.activeCellPoint(), (GridPoint{0, 3}));

  document.setSelectionRange({{kGridWildcard, 2}, {kGridWildcard, 4}});
  EXPECT_TRUE(document.isCellSelected({900, 3}));
  EXPECT_FALSE(document.isCellSelected({0, 5}));
  EXPECT_EQ(document.selectionAdaptedToDomain(kDomainRow), document.selectionRange());
  EXPECT_EQ(document.selectionAdaptedToDomain(kDomainColumn), (GridRange{{0, kGridWildcard}, {0, kGridWildcard}}));
  EXPECT_EQ(document.selectionAdaptedToDomain(0), (GridRange{{0, 2}, {0, 2}}));

  document.setSelectionRange({{1, 1}, {2, 2}});
  EXPECT_EQ(document.selectionAdaptedToDomain(kDomainRow), (GridRange{{kGridWildcard, 1}, {kGridWildcard, 1}}));
  EXPECT_FALSE(document.isCellSelected({3, 1}));
}


TEST(DocumentLifeCycle, HeaderAndFooterFields) {
  ModelEnvironment environment;
  CADocument document;
  document.setFilePath(QStringLiteral("/home/u/Budget 2026.Numlet"));
  document.setHeader(QStringLiteral("l=f;c=pofp;r=p/p"));
  document.setFooter(QStringLiteral("c=p"));
  document.setPrintDate();
  EXPECT_EQ(document.headerStrings(false, 2, 7), (std::array<QString, 3>{"Budget 2026", "2 of 7", "2/7"}));
  EXPECT_EQ(document.headerStrings(true, 3, 7), (std::array<QString, 3>{QString(), "3", QString()}));
}

}  // namespace
