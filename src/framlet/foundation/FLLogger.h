// The application's own log file, which every LogString reaches once install() has run, and the
// collection of that log, the system journal's entries and crash reports into one text for a
// problem report.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class FLFileReaderWriter;

class FLLogger {
 public:
  // The file is cut to its second half before an entry when it has reached this size.
  static constexpr uint64_t kLogSizeLimit = 4194304;

  // Runs a command-line tool and answers its standard output, or nothing when the tool is not
  // installed, fails to start or overruns its time. Tests install a fake.
  using ToolRunner = std::function<std::optional<QByteArray>(const QString& program, const QStringList& arguments)>;
  // Tells the user that nothing was found (message, information). The shell installs its alert.
  using AlertHook = std::function<void(const QString& message, const QString& information)>;

  // The application's logger, writing into LogFolder().
  static FLLogger& sharedInstance();
  // Makes the shared logger receive every log entry from now on and close its file when the
  // application quits. The application calls this once at launch; tests use their own logger.
  static void install();

  // A logger whose file lives in `logFolder`; for tests and tools. Empty: LogFolder().
  explicit FLLogger(const QString& logFolder);
  ~FLLogger();
  FLLogger(const FLLogger&) = delete;
  FLLogger& operator=(const FLLogger&) = delete;

  // Appends one entry: "yyyy-mm-dd hh:mm:ss <bundle identifier> ", the message, a line feed.
  // Safe from any thread; a message logged while this thread is writing one is dropped.
  void logString(const QString& message);
  // Closes the file; the next message opens it again.
  void shutDown();
  // "<log folder>/<bundle identifier>.log".
  QString logFilePath() const;

  // Everything found for the application (empty arguments: this one): crash reports, then the
  // delimiter, then the journal's entries and the own log. Null, after the alert, when nothing.
  QString allLogsForApp(const QString& appName, const QString& bundleID);
  // Crash reports (from the core dumps that systemd kept), numbered; empty when none.
  QString logsForApp(const QString& appName, const QString& container, uint64_t filterDays);
  // The journal's entries of the application, then the own log file; filterDays 0 takes all.
  QString messagesForApp(const QString& appName, const QString& bundleID, const QString& container,
                         uint64_t filterDays);
  static QString delimiter();

  void setToolRunner(ToolRunner runner);
  void setAlertHook(AlertHook hook);

  // The steps, open to tests.
  // Keeps the text after the first line end past the middle of the file (or, when there is none
  // within four blocks, past exactly the middle); false, untouched, below 8192 bytes. Of a file
  // of twice the limit or more only the last half-limit is kept, so the work is bounded. The caller
  // holds the logger's lock (logString does) or is the only one logging.
  bool shortenFile(uint64_t size);
  // A log line's day index (yyyymmdd), or currentDay when the line carries no date. Lines in
  // the month-name form have no year: it is currentDay's, plus one when the month went back.
  static int32_t dateFromLogLine(const QString& line, int32_t currentDay);
  // Appends the lines newer than cutoffDay (0: all) and the continuation lines (beginning with
  // white space) of those it keeps, with each "\n" made a line break.
  void extractLogLines(const QStringList& lines, int32_t cutoffDay, QString* messages);
  // Splits a log's text into lines and extracts them; when the year-less lines ran past this
  // year, they are read again as starting a year earlier.
  void addMessages(QString* messages, const QString& text, int32_t cutoffDay, int32_t thisYear);
  // Splits the output of "coredumpctl info" into one text per crash.
  static QStringList splitCoreDumpReports(const QString& text);

 private:
  bool openLogFile();
  bool appendStringToLogFile(const QString& text);
  std::optional<QByteArray> runTool(const QString& program, const QStringList& arguments) const;

  QString logFolder_;
  // Set by the collection, read by its steps.
  uint64_t logIndex_ = 1;
  int32_t startingYear_ = 0;

  std::mutex lock_;  // guards the file and everything written to it
  std::unique_ptr<FLFileReaderWriter> file_;
  // Set when a write into the file failed; cleared when the file is closed.
  bool writeRefused_ = false;
  ToolRunner toolRunner_;
  AlertHook alertHook_;
};
