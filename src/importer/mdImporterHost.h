// The host side of the importer interface: loads the plug-in and drives it as an indexing
// service does (factory, interface query, import, release), collecting the attributes.
#pragma once

#include "importer/MDImporterPlugIn.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <utility>
#include <vector>

// The attribute dictionary handed to the plug-in: keys in the order they were first set.
class MDHostAttributes : public MDAttributes {
 public:
  MDHostAttributes();
  MDHostAttributes(const MDHostAttributes&) = delete;
  MDHostAttributes& operator=(const MDHostAttributes&) = delete;

  const std::vector<std::pair<std::string, QByteArray>>& entries() const { return entries_; }
  // The value of a key; a null QByteArray when it was not set.
  QByteArray value(const std::string& key) const;
  // "key: value" lines, the text content last so that its line breaks end nowhere but at the end.
  QByteArray listing() const;

 private:
  static void setString(MDAttributesRef attributes, const char* key, const char* value, size_t length);

  std::vector<std::pair<std::string, QByteArray>> entries_;
};

// One loaded plug-in. It is unloaded when this goes, unless instances of its factory live on.
class MDImporterPlugIn {
 public:
  MDImporterPlugIn() = default;
  ~MDImporterPlugIn();
  MDImporterPlugIn(const MDImporterPlugIn&) = delete;
  MDImporterPlugIn& operator=(const MDImporterPlugIn&) = delete;

  // Loads the library and finds its factory; the loader's message on failure.
  bool load(const QString& path, QString* error);
  // An exported symbol of the loaded plug-in, or null.
  void* symbol(const char* name) const;

  enum class Result { Supplied, NotSupplied, Failed };
  // One import of the document at `path` with the given content type, as an indexing service
  // makes it: a fresh instance from the factory, the URL interface (else the path interface),
  // the import, and both references released.
  Result import(const QString& path, const char* contentType, MDHostAttributes* attributes, QString* error) const;

 private:
  void* handle_ = nullptr;
  MDImporterFactoryFunction factory_ = nullptr;
};

// The content type an indexing service gives a file, by its extension.
const char* ContentTypeForPath(const QString& path);
