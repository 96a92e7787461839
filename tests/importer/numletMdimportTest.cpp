// numlet-mdimport as a desktop search tool runs it: its output lines and its exit status for
// saved, protected, missing and damaged documents and for a plug-in that cannot be loaded.
#include "ImporterTestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

struct MdimportRun { int status = -1; QByteArray output; };

MdimportRun RunMdimport(const QStringList& arguments) {
  QProcess process;
  process.start(QStringLiteral(TAMSEL_MDIMPORT), arguments);
  MdimportRun run;
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return run;
  run.status = process.exitCode();
  run.output = process.readAllStandardOutput();
  return run;
}

TEST(NumletMdimport, PrintsTheAttributesWithTheTextContentLast) {
  const MdimportRun sample = RunMdimport({PackageFixture(QStringLiteral("Sample.Numlet"))});
  EXPECT_EQ(sample.status, 0);
  EXPECT_EQ(sample.output,
            "kMDItemCreator: Tamsel Calculator\n"
            "kMDItemTextContent:  A1*2 Plan B http://www.example.com a < b & \"c\"\n");

  const MdimportRun protectedPackage = RunMdimport({PackageFixture(QStringLiteral("Protected.Numlet")) + QLatin1Char('/')});
  EXPECT_EQ(protectedPackage.status, 0);
  EXPECT_EQ(protectedPackage.output, "kMDItemCreator: Tamsel Calculator\n");
}

TEST(NumletMdimport, ExitsWithOneWhenNothingIsSuppliedAndTwoWhenThePlugInFails) {
  QTemporaryDir folder;
  const QString damaged = folder.filePath(QStringLiteral("Damaged.Numlet"));
  ASSERT_TRUE(QDir().mkpath(damaged));
  ASSERT_TRUE(WriteFileBytes(damaged + QStringLiteral("/document.xml"), "<f>\xFF\xFE</f>"));
  const QString notALibrary = folder.filePath(QStringLiteral("importer.so"));
  ASSERT_TRUE(WriteFileBytes(notALibrary, "not a library"));
  const QString noExtension = folder.filePath(QStringLiteral("Untyped"));
  ASSERT_TRUE(QDir().mkpath(noExtension));
  ASSERT_TRUE(WriteFileBytes(noExtension + QStringLiteral("/document.xml"), "<f>typed</f>"));

  struct Case { QStringList arguments; int status; };
  const Case cases[] = {
      {{folder.filePath(QStringLiteral("Missing.Numlet"))}, 1}, {{damaged}, 1},
      {{PackageFixture(QStringLiteral("Recovered.Numlet_autosave"))}, 1},
      {{noExtension}, 1},
      {{QStringLiteral("--type"), QStringLiteral("com.orvandel.numlet"), noExtension}, 0},
      {{QStringLiteral("--plugin"), notALibrary, PackageFixture(QStringLiteral("Sample.Numlet"))}, 2},
      {{QStringLiteral("--plugin"), folder.filePath(QStringLiteral("none.so")), damaged}, 2},
      {{}, 2},
  };
  for (const Case& c : cases) {
    const MdimportRun run = RunMdimport(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments.join(QLatin1Char(' ')).toStdString();
    if (c.status != 0) { EXPECT_TRUE(run.output.isEmpty()) << run.output.toStdString(); }
  }
}

// Under a file-size limit the listing cannot be written in full: the program says so and exits
// with 2, as for any failure to drive the plug-in, rather than being ended by SIGXFSZ.
TEST(NumletMdimport, AListingPastAFileSizeLimitIsAFailedWrite) {
  QTemporaryDir folder;
  const QString listing = folder.filePath(QStringLiteral("listing.txt"));
  QProcess process;
  process.setStandardOutputFile(listing);
  process.setChildProcessModifier([] {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 16;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  process.start(QStringLiteral(TAMSEL_MDIMPORT), {PackageFixture(QStringLiteral("Sample.Numlet"))});
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "ended by a signal";
  EXPECT_EQ(process.exitCode(), 2);
  EXPECT_TRUE(process.readAllStandardError().contains("can't write the listing"));
  EXPECT_LE(QFileInfo(listing).size(), 16);
}

}  // namespace
