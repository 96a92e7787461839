// The plug-in and host as built, loaded the way an indexing service loads them, and scratch
// packages for the importer's tests.
#pragma once

#include "importer/MDImporterPlugIn.h"
#include "importer/mdImporterHost.h"
#include "importer/mdUUID.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

inline MDUUIDBytes UUIDBytes(const char* text) {
  const std::optional<MDUUIDBytes> bytes = UUIDBytesFromString(text);
  EXPECT_TRUE(bytes) << text;
  return bytes.value_or(MDUUIDBytes{});
}

// A symbolic link at the path that leads to the target as written.
inline void Symlink(const QString& target, const QString& at) {
  EXPECT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()), 0) << at.toStdString();
}

inline QString PackageFixture(const QString& name) { return TestDataPath(QStringLiteral("package/") + name); }

class ImporterTest : public testing::Test {
 protected:
  void SetUp() override {
    QString error;
    ASSERT_TRUE(plugIn.load(QStringLiteral(TAMSEL_IMPORTER_PLUGIN), &error)) << error.toStdString();
  }

  template <typename Function>
  Function exported(const char* name) const { return reinterpret_cast<Function>(plugIn.symbol(name)); }

  uint32_t liveInstances() const {
    const auto count = exported<MDPlugInInstanceCountFunction>("MDPlugInInstanceCountForFactory");
    const MDUUIDBytes factoryID = UUIDBytes(kMDImporterFactoryIDString);
    return count ? count(&factoryID) : 0xFFFFFFFF;
  }

  // A package folder in the scratch folder, empty or holding a "document.xml" with these bytes.
  QString emptyPackage(const QString& name) const {
    const QString path = folder.filePath(name);
    EXPECT_TRUE(QDir().mkpath(path));
    return path;
  }
  QString package(const QString& name, const QByteArray& documentXml) const {
    const QString path = emptyPackage(name);
    EXPECT_TRUE(WriteFileBytes(path + QStringLiteral("/document.xml"), documentXml));
    return path;
  }

  MDImporterPlugIn::Result import(const QString& path, MDHostAttributes* attributes,
                                  const char* contentType = kMDNumletContentType) const {
    QString error;
    const MDImporterPlugIn::Result result = plugIn.import(path, contentType, attributes, &error);
    EXPECT_NE(result, MDImporterPlugIn::Result::Failed) << error.toStdString();
    return result;
  }

  MDImporterPlugIn plugIn;
  QTemporaryDir folder;
};
