// Character references of HTML and XML text, both ways. The string procedures' header includes
// this one, so callers of either find them.
#pragma once

#include <QChar>
#include <QString>

// Replaces character references in one left-to-right pass: the named ones "&quot;", "&lt;",
// "&gt;", "&apos;", "&nbsp;" (a space) and "&amp;", and numeric ones ("&#233;", "&#xE9;") for
// valid Unicode scalar values; any other reference of up to 12 characters is deleted. Text
// that a replacement produces is never read again, so "&amp;lt;" becomes "&lt;".
void unescapeForHtml(QString& string);
// Controls other than tab, line feed and return become spaces; then "&", ">", "<" and '"'
// become entities.
QString createEscapedStringForHtml(const QString& string);
// The same for an XML archive, which keeps format characters and turns what XML 1.0 cannot hold
// (lone surrogates, U+FFFE and U+FFFF) into spaces too; the text itself when nothing changes.
// Returns are written "&#13;", so that a reader does not turn them into line feeds.
QString createEscapedStringForXml(const QString& string);
// The same for an attribute value, where tab and line feed are written "&#9;" and "&#10;" too.
QString createEscapedAttributeForXml(const QString& string);
QString createUnescapedStringForHtml(const QString& string);
// The value of a hexadecimal digit, -1 for any other character.
int HexDigitValue(QChar c);
