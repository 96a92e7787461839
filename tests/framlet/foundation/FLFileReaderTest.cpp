#include "framlet/foundation/FLFileReader.h"

#include "support/LogCapture.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

QString MakeFile(const QTemporaryDir& folder, const QString& name, const QByteArray& contents) {
  const QString path = folder.filePath(name);
  EXPECT_TRUE(WriteFileBytes(path, contents));
  return path;
}

QByteArray Pattern(qsizetype size) {
  QByteArray bytes(size, '\0');
  for (qsizetype i = 0; i < size; ++i) bytes[i] = char('a' + i % 23);
  return bytes;
}

TEST(FLFileReader, OpeningFailuresGiveNothingAndTheirCode) {
  QTemporaryDir folder;
  const QString missing = folder.filePath(QStringLiteral("missing"));
  const std::pair<std::function<bool(int*)>, int> cases[] = {
      {[&](int* error) { return !FLFileReader::withFile(missing, error); }, 4},
      {[&](int* error) { return !FLFileReader::withFile(QString(), error); }, 10},
      {[&](int* error) { return !FLFileReaderWriter::withFile(folder.path(), error); }, 10},  // a folder
      {[&](int* error) { return !FLFileReaderWriter::withFile(missing, 2, nullptr, error); }, 4},
  };
  for (const auto& [open, code] : cases) {
    int error = -1;
    EXPECT_TRUE(open(&error));
    EXPECT_EQ(error, code);
  }
  EXPECT_FALSE(QFile::exists(missing));  // the writer never creates a file
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
  const struct { uint64_t block; uint64_t length; } cases[] = {{0, 4096}, {1, 4096}, {2, 10000 - 8192}};
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
  EXPECT_EQ(ReadFileBytes(path), QByteArray("hello"));  // opening does not truncate

  EXPECT_TRUE(writer->writeData(" world", 6, 5));
  EXPECT_EQ(writer->fileSize(), 11u);
  EXPECT_TRUE(writer->writeData("J", 1, 0));
  EXPECT_TRUE(writer->sync());
  EXPECT_EQ(ReadFileBytes(path), QByteArray("Jello world"));

  EXPECT_TRUE(writer->truncateToLength(4));
  EXPECT_EQ(writer->fileSize(), 4u);
  EXPECT_EQ(ReadFileBytes(path), QByteArray("Jell"));

  // Another process's change is seen only when the size is read from the file.
  QFile other(path);
  ASSERT_TRUE(other.open(QIODevice::Append));
  other.write("y!");
  other.close();
  EXPECT_EQ(writer->fileSize(), 4u);
  EXPECT_EQ(writer->actualFileSize(), 6u);
}

}  // namespace
