// Feeds arbitrary bytes to the metadata importer as a package's "document.xml": the decoding the
// importer reads the file with, then the extraction of cell texts and formulas. Any crash, hang
// or sanitizer report is a fault, and so is a text content longer than the document (each span
// gives one space for its three-character tag, and undoing a reference never lengthens text).
#include "importer/mdMetadataExtraction.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

int FuzzImporterText(const uint8_t* data, size_t size) {
  QString documentXml;
  if (!DecodeDocumentXml(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), &documentXml)) return 0;
  const QString content = ExtractTextContent(documentXml);
  if (content.size() > documentXml.size()) std::abort();
  if (!content.isEmpty() && content.front() != QLatin1Char(' ')) std::abort();
  return 0;
}
