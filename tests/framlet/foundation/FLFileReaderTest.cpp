#include "framlet/foundation/FLFileReader.h"

#include "support/LogCapture.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

QString MakeFile(const QTemporaryDir& folder, const QString& name, const QByteArray& contents) {
  const QString path = folder.filePath(name);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(contents);
  return path;
}

QByteArray Contents(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return file.readAll();
}

QByteArray Pattern(qsizetype size) {
  QByteArray bytes(size, '\0');
  for (qsizetype i = 0; i < size; ++i) bytes[i] = char('a' + i % 23);
  return bytes;
}

TEST(FLFileReader, ConvertsErrorNumbersByWhatWasBeingDone) {
  const struct {
    int kind;
    int number;
    int code;
  } cases[] = {
      {kFLFileErrorOpening, 0, 0},          {kFLFileErrorOpening, EACCES, 11},  {kFLFileErrorWriting, EROFS, 11},
      {kFLFileErrorReading, EPERM, 11},     {kFLFileErrorOpening, ENOLINK, 11}, {kFLFileErrorNone, ENOENT, 10},
      {kFLFileErrorOpening, ENOENT, 4},     {kFLFileErrorReading, ENOENT, 13},  {kFLFileErrorWriting, ENOENT, 3},
      {kFLFileErrorReading, EINTR, 2},      {kFLFileErrorWriting, EBUSY, 2},    {kFLFileErrorOpening, EAGAIN, 2},
      {kFLFileErrorOpening, EEXIST, 4},     {kFLFileErrorOpening, ENOTDIR, 10}, {kFLFileErrorOpening, EISDIR, 10},
      {kFLFileErrorOpening, ELOOP, 10},     {kFLFileErrorOpening, ENAMETOOLONG, 10},
      {kFLFileErrorOpening, EMULTIHOP, 10}, {kFLFileErrorWriting, EFBIG, 1},    {kFLFileErrorWriting, ENOSPC, 3},
      {kFLFileErrorReading, ERANGE, 12},    {kFLFileErrorReading, EIO, 13},     {kFLFileErrorWriting, EIO, 16},
      {kFLFileErrorOpening, EIO, 9},        {kFLFileErrorNone, EMFILE, 9},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ConvertUnixErrorCore(c.kind, c.number), c.code) << "kind " << c.kind << " errno " << c.number;
}

TEST(FLFileReader, OpeningFailuresGiveNothingAndTheirCode) {
  QTemporaryDir folder;
  int error = -1;
  EXPECT_EQ(FLFileReader::withFile(folder.filePath(QStringLiteral("missing")), &error), nullptr);
  EXPECT_EQ(error, 4);
  error = -1;
  EXPECT_EQ(FLFileReader::withFile(QString(), &error), nullptr);
  EXPECT_EQ(error, 10);
  error = -1;
  EXPECT_EQ(FLFileReaderWriter::withFile(folder.path(), &error), nullptr);
  EXPECT_EQ(error, 10);  // a folder cannot be written
  // The writer never creates a file.
  error = -1;
  EXPECT_EQ(FLFileReaderWriter::withFile(folder.filePath(QStringLiteral("missing")), 2, nullptr, &error), nullptr);
  EXPECT_EQ(error, 4);
  EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("missing"))));
}

TEST(FLFileReader, ReadsExactlyUpToTheEndAndNotOneByteMore) {
  QTemporaryDir folder;
  const QByteArray contents = Pattern(10000);
  const QString path = MakeFile(folder, QStringLiteral("data"), contents);
  int error = -1;
  auto reader = FLFileReader::withFile(path, &error);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(reader->fileSize(), 10000u);
  EXPECT_EQ(reader->filePath(), path);

  QByteArray tail(100, '\0');
  EXPECT_TRUE(reader->readDataTo(tail.data(), 100, 9900));
  EXPECT_EQ(tail, contents.right(100));

  LogCapture log;
  tail.fill('?');
  EXPECT_FALSE(reader->readDataTo(tail.data(), 101, 9900));
  EXPECT_TRUE(log.contains(QStringLiteral("Attempt to read past end of file")));
  EXPECT_EQ(tail, QByteArray(100, '?'));
  EXPECT_FALSE(reader->readDataTo(tail.data(), 1, UINT64_MAX));
}

TEST(FLFileReader, BlockReadsStopAtTheEndOfTheFile) {
  QTemporaryDir folder;
  const QByteArray contents = Pattern(10000);
  auto reader = FLFileReader::withFile(MakeFile(folder, QStringLiteral("data"), contents));
  ASSERT_NE(reader, nullptr);
  const struct {
    uint64_t block;
    uint64_t length;
  } cases[] = {{0, 4096}, {1, 4096}, {2, 10000 - 8192}};
  for (const auto& c : cases) {
    uint64_t length = 0;
    const uint8_t* bytes = reader->readBlock(c.block, &length);
    ASSERT_NE(bytes, nullptr) << c.block;
    ASSERT_EQ(length, c.length) << c.block;
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(length)),
              contents.mid(qsizetype(c.block * 4096), qsizetype(c.length)));
  }
  uint64_t length = 99;
  ASSERT_NE(reader->readDataFrom(9990, &length), nullptr);
  EXPECT_EQ(length, 10u);
  ASSERT_NE(reader->readDataFrom(10000, &length), nullptr);
  EXPECT_EQ(length, 0u);
  LogCapture log;
  EXPECT_EQ(reader->readDataFrom(10001, &length), nullptr);
  EXPECT_EQ(length, 0u);
}

TEST(FLFileReader, WritesAtOffsetsAndSeesTheNewSize) {
  QTemporaryDir folder;
  const QString path = MakeFile(folder, QStringLiteral("data"), QByteArray("hello"));
  auto writer = FLFileReaderWriter::withFile(path);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(writer->fileSize(), 5u);
  EXPECT_EQ(Contents(path), QByteArray("hello"));  // opening does not truncate

  EXPECT_TRUE(writer->writeData(" world", 6, 5));
  EXPECT_EQ(writer->fileSize(), 11u);
  EXPECT_TRUE(writer->writeData("J", 1, 0));
  EXPECT_TRUE(writer->sync());
  EXPECT_EQ(Contents(path), QByteArray("Jello world"));

  EXPECT_TRUE(writer->truncateToLength(4));
  EXPECT_EQ(writer->fileSize(), 4u);
  EXPECT_EQ(Contents(path), QByteArray("Jell"));

  // Another process's change is seen only when the size is read from the file.
  QFile other(path);
  ASSERT_TRUE(other.open(QIODevice::Append));
  other.write("y!");
  other.close();
  EXPECT_EQ(writer->fileSize(), 4u);
  EXPECT_EQ(writer->actualFileSize(), 6u);
}

TEST(FLFileReader, WritingAtTheCurrentPositionIsRefused) {
  QTemporaryDir folder;
  auto writer = FLFileReaderWriter::withFile(MakeFile(folder, QStringLiteral("data"), QByteArray("abc")));
  ASSERT_NE(writer, nullptr);
  LogCapture log;
  EXPECT_FALSE(writer->writeData("x", 1));
  EXPECT_EQ(writer->error(), 12);
  EXPECT_TRUE(log.contains(QStringLiteral("Current position not supported")));
  EXPECT_EQ(Contents(writer->filePath()), QByteArray("abc"));
}

TEST(FLFileReader, AReaderSeesAnotherWritersChangesWhenItAsksTheFile) {
  QTemporaryDir folder;
  const QString path = MakeFile(folder, QStringLiteral("data"), QByteArray("abc"));
  auto reader = FLFileReader::withFile(path);
  ASSERT_NE(reader, nullptr);
  auto writer = FLFileReaderWriter::withFile(path);
  ASSERT_NE(writer, nullptr);
  EXPECT_TRUE(writer->writeData("defg", 4, 3));
  EXPECT_EQ(reader->actualFileSize(), 7u);
  char bytes[7];
  EXPECT_TRUE(reader->readDataTo(bytes, 7, 0));
  EXPECT_EQ(QByteArray(bytes, 7), QByteArray("abcdefg"));
}

}  // namespace
