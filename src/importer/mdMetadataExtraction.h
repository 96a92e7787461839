// What the importer takes out of a saved package: whether it is protected, its "document.xml"
// read safely, and the cell texts and formulas of that file. The plug-in's import function and
// the fuzz target share these.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>

// The most of "document.xml" that is read; the rest of a larger file is not indexed.
inline constexpr int64_t kMaxDocumentXmlBytes = int64_t(64) * 1024 * 1024;

// Whether the package holds "password.txt", in any form (a dangling link counts too: a
// protected document stays out of the index even when damaged).
bool PackageIsProtected(const QString& packagePath);

// The package's "document.xml" as text: at most its first kMaxDocumentXmlBytes, a sequence cut
// there dropped. Fails for a file that is missing, not a regular file, a link that leads out of
// the package, or not UTF-8.
bool ReadDocumentXml(const QString& packagePath, QString* text);
// The text of the bytes read from "document.xml", cut to kMaxDocumentXmlBytes as the reading
// does; fails when they are not UTF-8.
bool DecodeDocumentXml(QByteArray bytes, QString* text);

// The text content of a document: for each "<f>" ... "</f>" span a space and the span's text
// with character references replaced, a formula's leading "=" dropped. The markup is not
// parsed: the writer puts every cell's text or formula, escaped, in such a span.
QString ExtractTextContent(QStringView documentXml);
