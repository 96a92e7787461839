#include "framlet/shell/FLDragPasteboard.h"

#include <QMimeData>
#include <QUuid>

std::unique_ptr<FLDragPasteboard> FLDragPasteboard::dragPasteboard() {
  auto pasteboard = std::make_unique<FLDragPasteboard>();
  pasteboard->name_ = QUuid::createUuid().toString(QUuid::WithoutBraces);
  return pasteboard;
}

void FLDragPasteboard::setValue(const QVariant& value, const QString& type) {
  entries_.push_back({type, value});
  ++changeCount_;
}

bool FLDragPasteboard::setData(const QByteArray& data, const QString& type) {
  setValue(QVariant(data), type);
  return true;
}

bool FLDragPasteboard::setString(const QString& text, const QString& type) {
  setValue(QVariant(text), type);
  return true;
}

bool FLDragPasteboard::setPropertyList(const QVariant& value, const QString& type) {
  setValue(value, type);
  return true;
}

QVariant FLDragPasteboard::valueForType(const QString& type) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->type == type) return it->value;
  }
  return {};
}

QByteArray FLDragPasteboard::dataForType(const QString& type) const {
  const QVariant value = valueForType(type);
  return value.typeId() == QMetaType::QByteArray ? value.toByteArray() : QByteArray();
}

QString FLDragPasteboard::stringForType(const QString& type) const {
  const QVariant value = valueForType(type);
  return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

QStringList FLDragPasteboard::writableTypes() const {
  QStringList types;
  for (const Entry& entry : entries_) types.append(entry.type);
  return types;
}

std::unique_ptr<QMimeData> FLDragPasteboard::mimeData() const {
  auto data = std::make_unique<QMimeData>();
  for (const Entry& entry : entries_) {
    const QVariant value = valueForType(entry.type);
    if (value.typeId() == QMetaType::QByteArray) {
      data->setData(entry.type, value.toByteArray());
    } else if (value.typeId() == QMetaType::QString) {
      data->setData(entry.type, value.toString().toUtf8());
    }
  }
  return data;
}
