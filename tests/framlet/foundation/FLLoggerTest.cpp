#include "framlet/foundation/FLLogger.h"

#include "framlet/foundation/flBase.h"
#include "platform/BundleInfo.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include <sys/resource.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// An entry's header: date, time and the bundle identifier, each followed by one space.
QString HeaderPattern() {
  return QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ") +
         QRegularExpression::escape(BundleIdentifier()) + QLatin1Char(' ');
}

class FLLoggerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    logger_ = std::make_unique<FLLogger>(folder_.path());
    logger_->setToolRunner([this](const QString& program, const QStringList& arguments) -> std::optional<QByteArray> {
      calls_.append(program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')));
      const auto found = toolOutput_.find(program);
      if (found == toolOutput_.end()) return std::nullopt;
      return found->second;
    });
    logger_->setAlertHook([this](const QString& message, const QString& information) {
      alerts_.append(message + QLatin1Char('|') + information);
    });
  }

  QTemporaryDir folder_;
  std::unique_ptr<FLLogger> logger_;
  std::map<QString, QByteArray> toolOutput_;
  QStringList calls_, alerts_;
};

TEST_F(FLLoggerTest, AFullFileKeepsTheLinesAfterItsMiddle) {
  // 100-byte numbered lines, enough to pass the limit.
  QByteArray contents;
  int line = 0;
  while (uint64_t(contents.size()) < FLLogger::kLogSizeLimit + 50) {
    QByteArray text = QByteArray::number(line++).rightJustified(8, '0');
    contents += text + QByteArray(91, '.') + '\n';
  }
  ASSERT_TRUE(WriteFileBytes(logger_->logFilePath(), contents));
  logger_->logString(QStringLiteral("after the cut"));

  const QByteArray result = ReadFileBytes(logger_->logFilePath());
  const qsizetype middle = contents.size() / 2, cut = contents.indexOf('\n', middle) + 1;
  ASSERT_TRUE(result.startsWith(contents.mid(cut))) << result.left(200).toStdString();
  const QString entry = QString::fromUtf8(result.mid(contents.size() - cut));
  EXPECT_TRUE(QRegularExpression(QLatin1Char('^') + HeaderPattern() + QStringLiteral("after the cut\n$"))
                  .match(entry)
                  .hasMatch())
      << entry.toStdString();
}

TEST_F(FLLoggerTest, AHugeSparseLogKeepsABoundedTailAfterOneEntry) {
  // Two gigabytes that take no disk but for their last lines.
  const QByteArray lastLines = "the line before the last\nthe last line\n";
  constexpr int64_t kHuge = int64_t(2) << 30;
  {
    QFile file(logger_->logFilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(kHuge - lastLines.size()));
    ASSERT_TRUE(file.seek(kHuge - lastLines.size()));
    ASSERT_EQ(file.write(lastLines), lastLines.size());
  }
  logger_->logString(QStringLiteral("after the cut"));

  struct stat info;
  ASSERT_EQ(stat(QFile::encodeName(logger_->logFilePath()).constData(), &info), 0);
  // The file is back under its limit at once, and what was copied to get there is its tail alone.
  EXPECT_LE(uint64_t(info.st_size), FLLogger::kLogSizeLimit / 2 + 100);
  EXPECT_LE(uint64_t(info.st_blocks) * 512, FLLogger::kLogSizeLimit);
  QFile file(logger_->logFilePath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  ASSERT_TRUE(file.seek(info.st_size - 200));
  const QByteArray end = file.readAll();
  EXPECT_TRUE(QRegularExpression(QRegularExpression::escape(QString::fromUtf8(lastLines)) + HeaderPattern() +
                                 QStringLiteral("after the cut\n$"))
                  .match(QString::fromUtf8(end))
                  .hasMatch())
      << end.toStdString();
}

// The file system refuses to let the log grow, as a full disk does: the file may not pass its size.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) {
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit lowered = previous_;
    lowered.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = nullptr;
};

TEST_F(FLLoggerTest, ALogThatCannotGrowStopsQuietlyAndKeepsWhatItHad) {
  logger_->logString(QStringLiteral("written before the disk filled"));
  const QByteArray before = ReadFileBytes(logger_->logFilePath());
  ASSERT_FALSE(before.isEmpty());
  {
    // Room for a few bytes of the next entry only.
    FileSizeLimit full(rlim_t(before.size()) + 10);
    logger_->logString(QStringLiteral("no room for this one"));
  }
  EXPECT_EQ(ReadFileBytes(logger_->logFilePath()), before);
  // Nothing more is tried while the file stays open; a fresh start logs again.
  logger_->logString(QStringLiteral("still stopped"));
  EXPECT_EQ(ReadFileBytes(logger_->logFilePath()), before);
  logger_->shutDown();
  logger_->logString(QStringLiteral("logging again"));
  const QByteArray after = ReadFileBytes(logger_->logFilePath());
  EXPECT_TRUE(after.startsWith(before));
  EXPECT_TRUE(after.endsWith("logging again\n"));
}

TEST_F(FLLoggerTest, EntriesFromManyThreadsAreAllKeptWhole) {
  constexpr int kThreads = 4, kMessages = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kMessages; ++i)
        logger_->logString(QStringLiteral("thread %1 message %2 %3").arg(t).arg(i).arg(QString(200, QLatin1Char('z'))));
    });
  }
  for (std::thread& thread : threads) thread.join();
  const QStringList lines = QString::fromUtf8(ReadFileBytes(logger_->logFilePath())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), kThreads * kMessages);
  const QRegularExpression whole(QLatin1Char('^') + HeaderPattern() + QStringLiteral("thread \\d message \\d+ z{200}$"));
  QSet<QString> seen;
  for (const QString& line : lines) {
    ASSERT_TRUE(whole.match(line).hasMatch()) << line.toStdString();
    seen.insert(line.mid(line.indexOf(QStringLiteral("thread "))));
  }
  EXPECT_EQ(seen.size(), kThreads * kMessages);
}

TEST_F(FLLoggerTest, ReadsDatesFromBothKindsOfLogLine) {
  const struct { const char* line; int32_t currentDay; int32_t day; } cases[] = {
      {"2024-03-15 10:11:12 com.x message", 20200101, 20240315},
      {"Mar 15 10:11:12 host app[1]: message", 20240101, 20240315},
      {"Jan  1 00:00:01 host app[1]: new year", 20241231, 20250101},
      {"Dec 31 23:59:59 host app[1]: same year", 20241230, 20241231},
      {"Mar 15", 20240101, 20240101},                 // too short
      {"mar 15 10:11:12 host app", 20240101, 20240101},  // month names are exact
      {"Mar 00 10:11:12 host app", 20240101, 20240101},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FLLogger::dateFromLogLine(QLatin1String(c.line), c.currentDay), c.day) << c.line;
}

TEST_F(FLLoggerTest, YearlessLinesThatRunIntoTheNextYearAreReadAgainAYearEarlier) {
  // Read as starting this year (2025), the lines would end in 2026, after today: they began in 2024.
  const QString text = QStringLiteral("Dec 30 10:00:00 h app: a\nDec 31 10:00:00 h app: b\n"
                                      "Jan  1 10:00:00 h app: c\nJan  2 10:00:00 h app: d\n");
  // A dated line sets the year the next log's year-less lines start from: 2025.
  QString messages;
  logger_->addMessages(&messages, QStringLiteral("2025-01-05 00:00:00 x first"), 20250101, 2025);
  ASSERT_EQ(messages, QStringLiteral("2025-01-05 00:00:00 x first\n"));
  messages = QStringLiteral("kept\n");
  logger_->addMessages(&messages, text, 20241231, 2025);
  EXPECT_EQ(messages, QStringLiteral("kept\nJan  1 10:00:00 h app: c\nJan  2 10:00:00 h app: d\n"));
}

TEST_F(FLLoggerTest, CollectsCrashReportsJournalAndOwnLog) {
  toolOutput_[QStringLiteral("coredumpctl")] =
      "           PID: 101 (tamsel-calculat)\n        Signal: 11 (SEGV)\n       Message: Process 101 dumped core.\n\n"
      "           PID: 202 (tamsel-calculat)\n        Signal: 6 (ABRT)\n";
  toolOutput_[QStringLiteral("journalctl")] = "Mar  1 10:00:00 host tamsel-calculator[5]: from the journal\n";
  logger_->logString(QStringLiteral("own entry"));

  const QString all = logger_->allLogsForApp(QStringLiteral("tamsel-calculator"), BundleIdentifier());
  const QString delimiter = FLLogger::delimiter();
  const QString expectedStart = QStringLiteral("1. ") + delimiter +
                                QStringLiteral("PID: 101 (tamsel-calculat)\n        Signal: 11 (SEGV)\n"
                                               "       Message: Process 101 dumped core.\n") +
                                QStringLiteral("2. ") + delimiter +
                                QStringLiteral("PID: 202 (tamsel-calculat)\n        Signal: 6 (ABRT)\n") + delimiter +
                                QStringLiteral("Mar  1 10:00:00 host tamsel-calculator[5]: from the journal\n");
  EXPECT_TRUE(all.startsWith(expectedStart)) << all.toStdString();
  EXPECT_TRUE(QRegularExpression(HeaderPattern() + QStringLiteral("own entry\n$")).match(all).hasMatch()) << all.toStdString();
  EXPECT_TRUE(alerts_.isEmpty());
  // Core dumps know the program by its command name, cut to 15 characters.
  ASSERT_EQ(calls_.size(), 2);
  EXPECT_TRUE(calls_[0].endsWith(QStringLiteral(" info COREDUMP_COMM=tamsel-calculat")));
}

// The log is cut to its last half at its limit: a link in its place (to another file of the
// user's, or to a name not there yet) or a second name of another file is replaced by a log file
// of its own, and the other file is left as it was.
TEST_F(FLLoggerTest, ALinkInTheLogsPlaceIsReplacedAndWhatItLeadsToIsLeftAlone) {
  QByteArray full;
  for (int line = 0; uint64_t(full.size()) < FLLogger::kLogSizeLimit + 50; ++line)
    full += QByteArray::number(line).rightJustified(8, '0') + QByteArray(91, '.') + '\n';
  enum class Link { Symbolic, Dangling, Hard };
  const struct { const char* name; Link link; } cases[] = {
      {"a symbolic link to a full file", Link::Symbolic},
      {"a symbolic link to nothing yet", Link::Dangling},
      {"a second name of a full file", Link::Hard},
  };
  const QString log = logger_->logFilePath();
  const QRegularExpression ownEntry(QLatin1Char('^') + HeaderPattern() + QStringLiteral("an entry\n$"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir elsewhere;
    const QString other = elsewhere.filePath(QStringLiteral("notes.txt"));
    if (c.link != Link::Dangling) {
      ASSERT_TRUE(WriteFileBytes(other, full));
    }
    QFile::remove(log);
    const QByteArray from = QFile::encodeName(other), to = QFile::encodeName(log);
    ASSERT_EQ(c.link == Link::Hard ? ::link(from.constData(), to.constData()) : ::symlink(from.constData(), to.constData()),
              0);
    logger_->shutDown();
    logger_->logString(QStringLiteral("an entry"));
    if (c.link == Link::Dangling) {
      EXPECT_FALSE(QFileInfo::exists(other));
    } else {
      EXPECT_TRUE(ReadFileBytes(other) == full) << "the other file was changed";
    }
    EXPECT_FALSE(QFileInfo(log).isSymLink());
    const QString written = QString::fromUtf8(ReadFileBytes(log));
    EXPECT_TRUE(ownEntry.match(written).hasMatch()) << written.left(200).toStdString();
  }
}

TEST_F(FLLoggerTest, ALogThatIsNoRegularFileIsPassedOverAtOnce) {
  // A FIFO in the log's place would block the collection for ever if it were opened to be read.
  const QString path = folder_.filePath(BundleIdentifier() + QStringLiteral(".log"));
  ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
  EXPECT_TRUE(logger_->allLogsForApp(QStringLiteral("tamsel-calculator"), BundleIdentifier()).isNull());
  EXPECT_EQ(alerts_.size(), 1);
}

}  // namespace
