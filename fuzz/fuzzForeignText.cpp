// Feeds arbitrary bytes to what reads text from foreign files and pages: the unknown-format
// reader, every code page of the encoding table, and the string procedures that importers run on
// what comes out. Any crash, hang, sanitizer report or out-of-bounds read here is a fault.
#include "framlet/foundation/flStringExtensions.h"
#include "platform/TextEncodings.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

int FuzzForeignText(const uint8_t* data, size_t size) {
  static constexpr std::array<int, 12> kCodePages = {1252, 10000, 932, 936, 949, 950, 437,
                                                     864, 57002, 1255, 37, 1200};
  if (size == 0) return 0;
  const uint8_t selector = data[0];
  const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

  FLStringEncoding used = 0;
  const QString text = initWithDataInUnknownFormat(bytes, QString(), &used);
  const FLStringEncoding encoding = StringEncodingForCodePage(kCodePages[selector % kCodePages.size()]);
  const std::optional<QString> strict = DecodeText(bytes, encoding);
  const std::optional<QString> lossy = DecodeText(bytes, encoding, true);
  if (strict && (!lossy || *strict != *lossy)) __builtin_trap();
  if (lossy) (void)EncodeText(*lossy, encoding, true);
  (void)DecodeText(bytes, selector & 1 ? kFLEncodingISO2022JP : kFLEncodingUnicode, true);

  QString html = text;
  unescapeForHtml(html);
  (void)createEscapedStringForHtml(text);
  (void)decode(text);
  (void)cleanUp(text, selector & 2, selector & 4);
  (void)extract(text, uint64_t(selector) * 3, selector % 7, selector % 50, selector & 8);
  (void)titleCaseString(text);
  (void)sortTitleString(text);
  (void)stringBySubstitutingQuotes(text, char16_t(selector));
  return 0;
}
