// numlet-mdimport: prints what the metadata importer finds in a saved document, as "key: value"
// lines with the text content last. Desktop search tools call it as a filter for the native
// package type. Exit status 0 when the importer supplied attributes, 1 when it did not, 2 when
// the plug-in could not be loaded or driven, the listing could not be written (or the arguments
// were wrong).
#include "importer/mdImporterHost.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

constexpr int kExitSupplied = 0;
constexpr int kExitNotSupplied = 1;
constexpr int kExitLoadFailure = 2;
constexpr const char* kUsage =
    "usage: numlet-mdimport [--plugin LIBRARY] [--type CONTENT-TYPE] DOCUMENT\n"
    "Prints the metadata the importer extracts from a saved document.\n";

QString ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? QString() : QFile::decodeName(self.parent_path().c_str());
}

// The plug-in beside the program (the build tree), else where the install puts it.
QString DefaultPlugInPath() {
  const QString folder = ExecutableFolder();
  const QString beside = QDir(folder).filePath(QStringLiteral(TAMSEL_IMPORTER_FILE_NAME));
  if (QFileInfo::exists(beside)) return beside;
  return QDir::cleanPath(QDir(folder).filePath(QStringLiteral(TAMSEL_IMPORTER_INSTALLED_PATH)));
}

void PrintError(const QString& message) {
  std::fprintf(stderr, "numlet-mdimport: %s\n", message.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
  // Past a file-size limit a write fails with EFBIG and is reported, rather than ending the
  // process with SIGXFSZ.
  std::signal(SIGXFSZ, SIG_IGN);
  QString plugInPath;
  QByteArray contentType;
  QString document;
  for (int i = 1; i < argc; ++i) {
    const QByteArray argument(argv[i]);
    if (argument == "--plugin" && i + 1 < argc) {
      plugInPath = QFile::decodeName(argv[++i]);
    } else if (argument == "--type" && i + 1 < argc) {
      contentType = argv[++i];
    } else if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return kExitSupplied;
    } else if (document.isEmpty() && !argument.startsWith("--")) {
      document = QFile::decodeName(argv[i]);
    } else {
      std::fputs(kUsage, stderr);
      return kExitLoadFailure;
    }
  }
  if (document.isEmpty()) {
    std::fputs(kUsage, stderr);
    return kExitLoadFailure;
  }
  if (plugInPath.isEmpty()) plugInPath = DefaultPlugInPath();
  if (contentType.isEmpty()) contentType = ContentTypeForPath(document);

  MDImporterPlugIn plugIn;
  QString error;
  if (!plugIn.load(plugInPath, &error)) {
    PrintError(error);
    return kExitLoadFailure;
  }
  MDHostAttributes attributes;
  switch (plugIn.import(document, contentType.constData(), &attributes, &error)) {
    case MDImporterPlugIn::Result::Supplied: {
      const QByteArray listing = attributes.listing();
      errno = 0;
      if (std::fwrite(listing.constData(), 1, size_t(listing.size()), stdout) != size_t(listing.size()) ||
          std::fflush(stdout) != 0) {
        PrintError(QStringLiteral("can't write the listing: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return kExitLoadFailure;
      }
      return kExitSupplied;
    }
    case MDImporterPlugIn::Result::NotSupplied:
      PrintError(QStringLiteral("no metadata in %1").arg(document));
      return kExitNotSupplied;
    case MDImporterPlugIn::Result::Failed:
      break;
  }
  PrintError(error);
  return kExitLoadFailure;
}
