#include "framlet/foundation/FLLogger.h"

#include "framlet/foundation/FLFileReader.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flDates.h"
#include "framlet/foundation/flFileSupport.h"
#include "platform/BundleInfo.h"
#include "platform/UserFolders.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <array>
#include <cerrno>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kLogHeaderFormat[] = "%d-%02d-%02d %02d:%02d:%02d %@ ";
constexpr char kLogExtension[] = "log";
constexpr char kDelimiter[] = "===== ===== ===== ===== =====\n";
constexpr char kReportHeadingFormat[] = "%d. %@";
constexpr char kNothingFoundMessage[] = "No log information.";
constexpr char kNothingFoundInformation[] = "I could not find any crash reports or log entries for %@.";

// Below this a file is too small to be worth cutting.
constexpr uint64_t kSmallestShortenedSize = 8192;
// How far past the middle the cut looks for a line end.
constexpr int kLineEndSearchBlocks = 4;
// A file that has grown past twice the limit (written by another program, or made sparse) keeps
// only its last half-limit: one entry then never copies more than a few megabytes, and the file
// comes back under the limit at once rather than halving entry by entry.
constexpr uint64_t kKeptTailOfHugeLog = FLLogger::kLogSizeLimit / 2;

// The tools the collection runs must never hold the user up for long, nor flood memory.
constexpr int kToolTimeoutMilliseconds = 15000;
constexpr qsizetype kToolOutputLimit = 16 * 1024 * 1024;
// The kernel keeps a process's command name to 15 bytes, and core dumps are named by it.
constexpr qsizetype kCommandNameLength = 15;

int32_t DayIndexOf(const QDate& date) { return date.year() * 10000 + date.month() * 100 + date.day(); }

QString ProcessName() {
  if (QCoreApplication::instance()) return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  return QString::fromLocal8Bit(program_invocation_short_name);
}

// Reads a run of digits from `position`; the value and where it stopped.
int ReadNumber(const QString& text, qsizetype* position) {
  int value = 0;
  while (*position < text.size() && text[*position].isDigit() && value < 100000) {
    value = value * 10 + text[*position].digitValue();
    ++*position;
  }
  return value;
}

std::optional<QByteArray> RunToolProcess(const QString& program, const QStringList& arguments) {
  const QString path = QStandardPaths::findExecutable(program);
  if (path.isEmpty()) return std::nullopt;
  QProcess process;
  process.setProgram(path);
  process.setArguments(arguments);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  // English month names for the dates the collection reads, no pager, and no debug-info
  // downloads behind the user's back.
  environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
  environment.insert(QStringLiteral("SYSTEMD_PAGER"), QString());
  environment.remove(QStringLiteral("DEBUGINFOD_URLS"));
  process.setProcessEnvironment(environment);
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start();
  if (!process.waitForStarted(kToolTimeoutMilliseconds)) return std::nullopt;
  QDeadlineTimer deadline(kToolTimeoutMilliseconds);
  QByteArray output;
  bool complete = false;
  while (!deadline.hasExpired()) {
    if (process.waitForFinished(int(std::min<qint64>(deadline.remainingTime(), 200)))) {
      complete = true;
      break;
    }
    output += process.readAllStandardOutput();
    if (output.size() > kToolOutputLimit) break;
  }
  if (!complete) {
    process.kill();
    process.waitForFinished(1000);
    return std::nullopt;
  }
  output += process.readAllStandardOutput();
  return output;
}

}  // namespace

FLLogger& FLLogger::sharedInstance() {
  static FLLogger* const instance = new FLLogger(QString());  // never destroyed: logging goes on to the end
  return *instance;
}

void FLLogger::install() {
  FLLogger& logger = sharedInstance();
  SetLogHandler([&logger](const QString& entry) { logger.logString(entry); });
  if (QCoreApplication* app = QCoreApplication::instance())
    QObject::connect(app, &QCoreApplication::aboutToQuit, app, [&logger] { logger.shutDown(); });
}

FLLogger::FLLogger(const QString& logFolder) : logFolder_(logFolder) {}

FLLogger::~FLLogger() = default;

QString FLLogger::delimiter() { return QString::fromLatin1(kDelimiter); }

void FLLogger::setToolRunner(ToolRunner runner) { toolRunner_ = std::move(runner); }

void FLLogger::setAlertHook(AlertHook hook) { alertHook_ = std::move(hook); }

QString FLLogger::logFilePath() const {
  const QString folder = logFolder_.isEmpty() ? LogFolder() : logFolder_;
  return folder + QLatin1Char('/') + BundleIdentifier() + QLatin1Char('.') + QLatin1String(kLogExtension);
}

// ---- The log file

void FLLogger::logString(const QString& message) {
  // Whatever writing an entry logs itself (a failed read, an assertion) would come straight back
  // here on this thread and wait for the lock it holds: such messages are dropped. Other
  // threads wait their turn instead, so their entries are kept whole.
  thread_local bool t_writing = false;
  if (t_writing) return;
  t_writing = true;
  struct Reset {
    ~Reset() { t_writing = false; }
  } reset;

  std::lock_guard guard(lock_);
  // Once the file system has refused a write (a full disk, a quota, a size limit), nothing more
  // is tried until the file is opened again: the log stays as it was, and every entry would
  // otherwise cost a write that fails.
  if (writeRefused_) return;
  if (!file_ && !openLogFile()) return;
  const uint64_t size = file_->fileSize();
  if (size >= kLogSizeLimit && !shortenFile(size)) {
    if (writeRefused_) return;
    const QByteArray bytes = message.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    return;
  }
  const QDateTime now = QDateTime::currentDateTime();
  const QDate date = now.date();
  const QTime time = now.time();
  const QString header = StringWithFormat(kLogHeaderFormat, date.year(), date.month(), date.day(), time.hour(),
                                          time.minute(), time.second(), BundleIdentifier());
  const uint64_t end = file_->fileSize();
  const char lineFeed = '\n';
  if (appendStringToLogFile(header) && appendStringToLogFile(message) &&
      file_->writeData(&lineFeed, 1, file_->fileSize())) {
    file_->sync();
    return;
  }
  // A cut-off entry would run into the next one: the file goes back to its last whole entry.
  writeRefused_ = true;
  file_->truncateToLength(end);
}

void FLLogger::shutDown() {
  std::lock_guard guard(lock_);
  file_.reset();
  writeRefused_ = false;
}

bool FLLogger::openLogFile() {
  const QString path = logFilePath();
  if (!QDir().mkpath(QFileInfo(path).path())) return false;
  const QByteArray native = QFile::encodeName(path);
  // The log is cut in half now and then: it must be a file of its own. A link at its name (to
  // another file of the user's, or to nothing yet) or a second name of another file is replaced
  // by a new file; what cannot be replaced stops the logging.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int made = ::open(native.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (made >= 0) ::close(made);
    int error = 0;
    file_ = FLFileReaderWriter::withOwnFile(path, &error);
    if (file_) return true;
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    const bool ownFile = S_ISREG(info.st_mode) && info.st_nlink == 1;
    if (ownFile || ::unlink(native.constData()) != 0) return false;
  }
  return false;
}

bool FLLogger::appendStringToLogFile(const QString& text) {
  if (text.isEmpty()) return true;
  const QByteArray bytes = text.toUtf8();
  return file_->writeData(bytes.constData(), uint64_t(bytes.size()), file_->fileSize());
}

bool FLLogger::shortenFile(uint64_t size) {
  if (size < kSmallestShortenedSize || !file_) return false;
  const uint64_t blockSize = FLFileReader::blockSize();
  std::vector<char> buffer(blockSize);
  uint64_t cut = size < 2 * kLogSizeLimit ? size / 2 : size - kKeptTailOfHugeLog;
  uint64_t position = cut;
  for (int block = 0; block < kLineEndSearchBlocks && position < size; ++block) {
    const uint64_t count = std::min(blockSize, size - position);
    if (!file_->readDataTo(buffer.data(), count, position)) return false;
    const char* begin = buffer.data();
    const char* end = begin + count;
    const char* lineFeed = std::find(begin, end, '\n');
    if (lineFeed != end) {
      cut = position + uint64_t(lineFeed - begin) + 1;
      break;
    }
    position += count;
  }
  uint64_t from = cut;
  uint64_t to = 0;
  while (from < size) {
    const uint64_t count = std::min(blockSize, size - from);
    if (!file_->readDataTo(buffer.data(), count, from)) return false;
    // The copy lands on the part that goes, so it needs no room the file does not hold already
    // (unless that part is a hole); when even so the file system refuses, the tail is still
    // whole where it was.
    if (!file_->writeData(buffer.data(), count, to)) {
      writeRefused_ = true;
      return false;
    }
    from += count;
    to += count;
  }
  return file_->truncateToLength(to);
}

// ---- Collection

std::optional<QByteArray> FLLogger::runTool(const QString& program, const QStringList& arguments) const {
  return toolRunner_ ? toolRunner_(program, arguments) : RunToolProcess(program, arguments);
}

QString FLLogger::allLogsForApp(const QString& appName, const QString& bundleID) {
  const QString name = appName.isEmpty() ? ProcessName() : appName;
  const QString identifier = bundleID.isEmpty() ? BundleIdentifier() : bundleID;
  const QString crashes = logsForApp(name, QString(), 0);
  const QString messages = messagesForApp(name, identifier, QString(), 0);
  QString result = crashes;
  if (!crashes.isEmpty() && !messages.isEmpty()) result += delimiter();
  result += messages;
  if (result.isEmpty()) {
    const QString information = StringWithFormat(kNothingFoundInformation, name);
    if (alertHook_)
      alertHook_(QString::fromLatin1(kNothingFoundMessage), information);
    else
      LogString("%s %@", kNothingFoundMessage, information);
    return QString();
  }
  return result;
}

// Linux keeps no crash report files: systemd-coredump records each crash, and "coredumpctl
// info" turns the records into reports. The container argument has no counterpart here.
QString FLLogger::logsForApp(const QString& appName, const QString& /*container*/, uint64_t filterDays) {
  logIndex_ = 1;
  QString text;
  if (appName.isEmpty()) return text;
  QStringList arguments = {QStringLiteral("--no-pager"), QStringLiteral("--quiet")};
  if (filterDays) arguments << QStringLiteral("--since=-%1d").arg(filterDays);
  arguments << QStringLiteral("info") << QStringLiteral("COREDUMP_COMM=") + appName.left(kCommandNameLength);
  const std::optional<QByteArray> output = runTool(QStringLiteral("coredumpctl"), arguments);
  if (!output) return text;
  for (const QString& report : splitCoreDumpReports(QString::fromUtf8(*output))) {
    text += StringWithFormat(kReportHeadingFormat, logIndex_, delimiter());
    ++logIndex_;
    text += report;
    text += QLatin1Char('\n');
  }
  return text;
}

QStringList FLLogger::splitCoreDumpReports(const QString& text) {
  static const QRegularExpression kReportStart(QStringLiteral("^\\s*PID: \\d+"));
  QStringList reports;
  QString current;
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    if (kReportStart.match(line).hasMatch() && !current.trimmed().isEmpty()) {
      reports.append(current.trimmed());
      current.clear();
    }
    current += line + QLatin1Char('\n');
  }
  if (!current.trimmed().isEmpty()) reports.append(current.trimmed());
  return reports;
}

QString FLLogger::messagesForApp(const QString& appName, const QString& bundleID, const QString& /*container*/,
                                 uint64_t filterDays) {
  int32_t cutoffDay = 0;
  int32_t thisYear = 0;
  if (filterDays) {
    const QDate today = QDate::currentDate();
    thisYear = today.year();
    cutoffDay = DayIndexOf(today.addDays(-qint64(std::min<uint64_t>(filterDays, 3660000))));
  }
  startingYear_ = thisYear;
  QString messages;

  // The journal takes the place of the system log file. Its matches pick the application's
  // own entries (by its syslog identifier or its command name), so the lines need no filter by
  // name; journal lines carry the command name cut to 15 characters, which such a filter on the
  // full name would drop.
  if (!appName.isEmpty()) {
    QStringList arguments = {QStringLiteral("--no-pager"), QStringLiteral("--quiet"), QStringLiteral("--output=short")};
    if (filterDays) arguments << QStringLiteral("--since=-%1d").arg(filterDays);
    arguments << QStringLiteral("SYSLOG_IDENTIFIER=") + appName << QStringLiteral("+")
              << QStringLiteral("_COMM=") + appName.left(kCommandNameLength);
    if (const std::optional<QByteArray> journal = runTool(QStringLiteral("journalctl"), arguments))
      addMessages(&messages, QString::fromUtf8(*journal), cutoffDay, thisYear);
  }

  const QString folder = logFolder_.isEmpty() ? LogFolder() : logFolder_;
  // The file is cut at kLogSizeLimit; a far larger one (or no regular file) is not ours to read.
  const QString ownLog = folder + QLatin1Char('/') + bundleID + QLatin1Char('.') + QLatin1String(kLogExtension);
  if (!bundleID.isEmpty()) {
    if (const std::optional<QByteArray> bytes = ReadRegularFile(ownLog, int64_t(4 * kLogSizeLimit)))
      addMessages(&messages, QString::fromUtf8(*bytes), cutoffDay, thisYear);
  }
  return messages;
}

void FLLogger::addMessages(QString* messages, const QString& text, int32_t cutoffDay, int32_t thisYear) {
  static const QRegularExpression kNewlines(QStringLiteral("[\\n\\r\\x{2028}\\x{2029}]"));
  const QStringList lines = text.split(kNewlines);
  const qsizetype start = messages->size();
  extractLogLines(lines, cutoffDay, messages);
  if (cutoffDay && thisYear < startingYear_) {
    // The lines without a year ran into the next year: they began a year earlier than assumed.
    messages->truncate(start);
    startingYear_ = 2 * thisYear - startingYear_;
    extractLogLines(lines, cutoffDay, messages);
  }
}

void FLLogger::extractLogLines(const QStringList& lines, int32_t cutoffDay, QString* messages) {
  int32_t currentDay = startingYear_ * 10000 + 101;
  bool previousKept = false;
  for (const QString& line : lines) {
    if (line.isEmpty()) continue;
    const bool continuation = line[0].isSpace();
    if (continuation && !previousKept) continue;
    if (cutoffDay && !continuation) currentDay = dateFromLogLine(line, currentDay);
    previousKept = cutoffDay == 0 || continuation || currentDay > cutoffDay;
    if (!previousKept) continue;
    QString kept = line;
    kept.replace(QLatin1String("\\n"), QLatin1String("\n"));
    *messages += kept;
    *messages += QLatin1Char('\n');
  }
  if (cutoffDay) startingYear_ = currentDay / 10000;
}

int32_t FLLogger::dateFromLogLine(const QString& line, int32_t currentDay) {
  if (line.size() < 11) return currentDay;
  if (line[0].isDigit() && line[4] == QLatin1Char('-') && line[7] == QLatin1Char('-') && line[10].isSpace()) {
    qsizetype position = 0;
    const int year = ReadNumber(line, &position);
    position = 5;
    const int month = ReadNumber(line, &position);
    position = 8;
    const int day = ReadNumber(line, &position);
    return year * 10000 + month * 100 + day;
  }
  const QStringView prefix = QStringView(line).left(3);
  int month = 0;
  for (int i = 1; i <= 12 && month == 0; ++i) {
    if (prefix == MonthName(i, false)) month = i;
  }
  if (month == 0) return currentDay;
  qsizetype position = 4;
  while (position < line.size() && line[position].isSpace()) ++position;
  if (position >= line.size()) return currentDay;
  const int day = ReadNumber(line, &position);
  if (day == 0) return currentDay;
  int year = currentDay / 10000;
  if ((currentDay / 100) % 100 > month) ++year;
  return year * 10000 + month * 100 + day;
}
