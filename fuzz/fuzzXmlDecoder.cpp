// Feeds arbitrary bytes to the XML reader as the document readers drive it: tag by tag, with
// look-aheads, skips, extractions and coalescing chosen by the input itself. Any crash, hang,
// sanitizer report or out-of-bounds read here is a fault in the reader.
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/flBase.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

int FuzzXmlDecoder(const uint8_t* data, size_t size) {
  static const std::shared_ptr<const FLXmlKeyTable> table = std::make_shared<const FLXmlKeyTable>(
      FLXmlKeyTable{{QStringLiteral("a"), 1}, {QStringLiteral("b"), 2}, {QStringLiteral("svg"), 3},
                    {QStringLiteral("cell"), 4}, {QStringLiteral("x:y"), 5}});
  static const char* const kWords[] = {"none", "left", "center", "right"};

  // Misuse asserts log a backtrace each; keep them out of the way while fuzzing, then put the
  // caller's log handler back.
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  // The reading options come from all of the input, so every mutation may change them.
  uint8_t options = uint8_t(size);
  for (size_t i = 0; i < size; ++i) options = uint8_t(options * 31 + data[i]);

  (void)FLXmlDecoder::decodeEscapes(QString::fromUtf8(bytes));
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withData(bytes);
  if (decoder) {
    decoder->setKeyDecoder(table);
    decoder->setAllowNumericTags(options & 1);
    decoder->setAllowSpaceInAttr(options & 2);
    bool unskipped = false;
    // Everything read is folded into a sum so that no result can be optimised away; the sum
    // wraps, as unsigned sums do.
    uint64_t checksum = 0;
    auto fold = [&checksum](auto value) { checksum += uint64_t(value); };
    // Every successful read moves forward, so the text's length bounds the loop; the cap only
    // keeps one input's run short.
    for (int step = 0; step < 200000 && decoder->getNextTag(); ++step) {
      fold(decoder->key());
      fold(decoder->level());
      fold(decoder->value().size());
      fold(decoder->integerValue());
      fold(decoder->decodeValue());
      // An unknown word logs an assertion with a backtrace, which is slow: ask only now and then.
      if (step % 64 == 0) {
        fold(decoder->decodeValueFromValues(kWords));
        fold(decoder->decodeAttribute(QStringLiteral("k"), kWords));
      }
      fold(decoder->integerAttributeForTag(QStringLiteral("n")));
      fold(decoder->stringAttributeForTag(QStringLiteral("s")).size());
      fold(decoder->orderedAttributes().size());
      switch (((options >> 2) + step) % 13) {
        case 3: {
          const FLXmlSkipMark mark = decoder->skipTag();
          if (!unskipped && (options & 0x40)) {
            decoder->unskipTag(mark);
            unskipped = true;
          }
          break;
        }
        case 5: fold(decoder->extractTag().size()); break;
        case 7: {
          QHash<QString, QString> attributes;
          QString value;
          fold(decoder->followingTagWithAttributes(&attributes, &value).size());
          fold(attributes.size() + value.size());
          break;
        }
        case 9: decoder->coalesceMixedContent(); break;
        case 11: fold(decoder->skipToTag(QStringLiteral("b"))); break;
        default: break;
      }
    }
    fold(decoder->isDone());
    fold(decoder->error().size());
    (void)checksum;
  }
  SetLogHandler(previous);
  return 0;
}
