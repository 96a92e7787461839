// The base of the framework's text formatters: turns a control's text into a value and back,
// with an error text for what does not parse. A formatter is put on a line edit by making it a
// child of the field, so the field's value can be read through it (formatterOf).
#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

class QLineEdit;

class FLFormatter : public QObject {
  Q_OBJECT

 public:
  explicit FLFormatter(QObject* parent = nullptr) : QObject(parent) {}

  // False, with the reason in *error, when the text is no valid value.
  virtual bool getObjectValue(QVariant* value, const QString& text, QString* error) const = 0;
  // A null QString when the value is none this formatter shows.
  virtual QString stringForObjectValue(const QVariant& value) const = 0;

  // The formatter put on the field, or nullptr.
  static FLFormatter* formatterOf(const QLineEdit* field);
  // Puts this formatter on the field (it becomes the field's child).
  void attachTo(QLineEdit* field);
};
