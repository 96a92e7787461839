#include "glimmet/storage/gmQtFormatTable.h"

#include <QBrush>
#include <QByteArray>
#include <QColor>
#include <QDataStream>
#include <QIODevice>
#include <QMap>
#include <QPen>
#include <QTextLength>
#include <QVariant>

#include <algorithm>

namespace {

size_t ColourHash(const QColor& colour) { return colour.isValid() ? size_t(colour.rgba()) : size_t(0x234109); }

// Qt's number for one property's value: its value for the kinds Qt numbers by value, else its
// type's name (the same number for every value of the kind: a list of font families, of names).
size_t ValueHash(const QVariant& value) {
  switch (value.userType()) {
    case QMetaType::QString: return qHash(value.toString());
    case QMetaType::Double: return qHash(value.toDouble());
    case QMetaType::Int: return 0x811890U + size_t(value.toInt());
    case QMetaType::QBrush: {
      const QBrush brush = value.value<QBrush>();
      return 0x01010101 + ColourHash(brush.color()) + (size_t(brush.style()) << 3);
    }
    case QMetaType::Bool: return 0x371818 + size_t(value.toBool());
    case QMetaType::QPen: {
      const QPen pen = value.value<QPen>();
      return 0x02020202 + ColourHash(pen.color()) + qHash(pen.widthF());
    }
    case QMetaType::QVariantList: return 0x8377U + size_t(value.value<QVariantList>().size());
    case QMetaType::QColor: return ColourHash(value.value<QColor>());
    case QMetaType::QTextLength: return 0x377 + qHash(value.value<QTextLength>().rawValue());
    case QMetaType::Float: return qHash(value.toFloat());
    case QMetaType::UnknownType: return 0;
    default: break;
  }
  return qHash(value.typeName());
}

}  // namespace

size_t QtFormatTableHash(const QTextFormat& format) {
  size_t hash = 0;
  const QMap<int, QVariant> properties = format.properties();
  for (auto it = properties.constBegin(); it != properties.constEnd(); ++it)
    hash += size_t(uint32_t(uint32_t(it.key()) << 16)) + ValueHash(it.value());  // the key's shift in 32 bits, as Qt's
  return hash + size_t(format.type());
}

namespace {

// What a spread of `spread` adds to Qt's hash: an integer property's number.
size_t SpreadShift(int spread) {
  return size_t(uint32_t(uint32_t(kQtHashSpreadProperty) << 16)) + 0x811890U + size_t(spread);
}

// Formats are the same when Qt would take them for one: the same kind and the same properties.
bool SameFormat(const QTextFormat& a, const QTextFormat& b) {
  return a.type() == b.type() && a.properties() == b.properties();
}

}  // namespace

size_t GMQtFormatTable::SeededWholeHash(const QByteArray& serialized) { return FLSeededHash()(serialized); }

int64_t GMQtFormatTable::handOver(QTextFormat& format) {
  const auto alike = [this](size_t qt) {
    const auto found = alike_.find(qt);
    return found == alike_.end() ? int64_t(0) : found->second;
  };
  for (const Recent& recent : recent_) {
    if (!recent.used || !SameFormat(recent.format, format)) continue;
    if (recent.handed.spread != 0) format.setProperty(kQtHashSpreadProperty, recent.handed.spread);
    return std::max<int64_t>(alike(recent.handed.qt), 1);
  }
  Key key;
  key.qt = QtFormatTableHash(format);
  {
    QByteArray whole;
    QDataStream out(&whole, QIODevice::WriteOnly);
    out << format;
    key.whole = wholeHash_(whole);
  }
  std::vector<Seen>& under = seen_[key];
  const auto known = std::find_if(under.begin(), under.end(), [&](const Seen& seen) { return SameFormat(seen.format, format); });
  Handed handed;
  if (known != under.end()) {
    handed = known->handed;
  } else {
    handed.qt = key.qt;
    // A hash that holds its share already: the format takes the first spread whose hash has room.
    constexpr int kMostTries = 64;
    if (alike(key.qt) >= kMostAlikeInQt) {
      int& next = nextSpread_[key.qt];
      for (int tries = 0; tries < kMostTries; ++tries) {
        ++next;
        if (next <= 0) next = 1;
        if (alike(key.qt + SpreadShift(next)) < kMostAlikeInQt) break;
      }
      handed.spread = next;
      handed.qt = key.qt + SpreadShift(next);
    }
    under.push_back(Seen{format, handed});
    ++alike_[handed.qt];
    ++distinct_;
  }
  Recent& slot = recent_[nextRecent_];
  nextRecent_ = (nextRecent_ + 1) % recent_.size();
  slot.format = format;
  slot.handed = handed;
  slot.used = true;
  if (handed.spread != 0) format.setProperty(kQtHashSpreadProperty, handed.spread);
  return std::max<int64_t>(alike(handed.qt), 1);
}
