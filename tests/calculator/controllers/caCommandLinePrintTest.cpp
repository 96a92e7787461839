// Printing from the command line, run on the program as built in a process of its own: nobody
// is there to answer an alert, so each goes to standard error, the next document is printed all
// the same, and the exit status tells that something failed.
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/model/caColumnLabels.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

constexpr int kPatienceMilliseconds = 60000;

TEST(CommandLinePrinting, EachFailureGoesToStandardErrorAndTheNextDocumentIsTried) {
  QTemporaryDir folder;
  const QString missing = folder.filePath(QStringLiteral("missing.csv"));
  // One line of more fields than the grid has columns: the far ones are cut, with a notice.
  const QString wide = folder.filePath(QStringLiteral("wide.txt"));
  const qsizetype columns = qsizetype(ColumnForLabel(QStringLiteral("ZZZZZ"))) + 2;
  ASSERT_TRUE(WriteFileBytes(wide, "a" + QByteArray(columns, '\t') + "b\n"));

  QProcess app;
  app.start(QStringLiteral(TAMSEL_APP), {QStringLiteral("--print"), missing, wide});
  ASSERT_TRUE(app.waitForStarted());
  const bool finished = app.waitForFinished(kPatienceMilliseconds);
  if (!finished) {
    app.kill();
    app.waitForFinished();
  }
  ASSERT_TRUE(finished) << "the program waited for an answer";
  const QString errors = QString::fromLocal8Bit(app.readAllStandardError());
  EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
  EXPECT_NE(app.exitCode(), 0);
  EXPECT_TRUE(errors.contains(QStringLiteral("missing.csv"))) << errors.toStdString();
  EXPECT_TRUE(errors.contains(QLatin1String(kImportColumnsMessage))) << errors.toStdString();
}

// Under a file-size limit (ulimit -f, a service's LimitFSIZE=), a write past it fails and is
// told as any failed write is: here the alerts on standard error, which already lies past the
// limit. The program goes on to its end rather than being ended by SIGXFSZ.
TEST(CommandLinePrinting, AWritePastAFileSizeLimitFailsAndTheProgramGoesOn) {
  QTemporaryDir folder;
  const QString errors = folder.filePath(QStringLiteral("errors.txt"));
  const QByteArray before(8192, '.');
  ASSERT_TRUE(WriteFileBytes(errors, before));

  QProcess app;
  app.setStandardErrorFile(errors, QIODevice::Append);
  app.setChildProcessModifier([] {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  app.start(QStringLiteral(TAMSEL_APP), {QStringLiteral("--print"), folder.filePath(QStringLiteral("missing.csv"))});
  ASSERT_TRUE(app.waitForStarted());
  const bool finished = app.waitForFinished(kPatienceMilliseconds);
  if (!finished) {
    app.kill();
    app.waitForFinished();
  }
  ASSERT_TRUE(finished) << "the program waited for an answer";
  EXPECT_EQ(app.exitStatus(), QProcess::NormalExit) << "ended by a signal";
  EXPECT_NE(app.exitCode(), 0);
  EXPECT_EQ(ReadFileBytes(errors), before);
}

}  // namespace
