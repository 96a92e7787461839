// A private pasteboard in memory for drags out of a view: values are appended with their type
// names, the newest value of a type wins, and the whole can become the MIME data of a drag.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <vector>

class QMimeData;

class FLDragPasteboard {
 public:
  // A new, empty pasteboard with a name of its own.
  static std::unique_ptr<FLDragPasteboard> dragPasteboard();

  const QString& name() const { return name_; }
  int64_t changeCount() const { return changeCount_; }

  bool setData(const QByteArray& data, const QString& type);
  bool setString(const QString& text, const QString& type);
  bool setPropertyList(const QVariant& value, const QString& type);
  void setValue(const QVariant& value, const QString& type);

  // The newest value of the type; invalid when none.
  QVariant valueForType(const QString& type) const;
  // Only bytes; null otherwise.
  QByteArray dataForType(const QString& type) const;
  // Only texts; null otherwise.
  QString stringForType(const QString& type) const;
  QVariant propertyListForType(const QString& type) const { return valueForType(type); }
  // The types in the order they were added; a type added twice is listed twice.
  QStringList writableTypes() const;
  // The newest value of each type, texts as UTF-8, for a drag.
  std::unique_ptr<QMimeData> mimeData() const;

 private:
  struct Entry {
    QString type;
    QVariant value;
  };
  QString name_;
  std::vector<Entry> entries_;
  int64_t changeCount_ = 0;
};
