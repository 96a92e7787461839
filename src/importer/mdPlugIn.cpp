// The importer's binding to the indexing host: the factory, the instance with its interface
// table and reference count, the interface query, and the two import functions (by path and by
// URL). Every function here is part of the plug-in's export list (importer.map).
#include "importer/MDImporterPlugIn.h"
#include "importer/mdMetadataExtraction.h"
#include "importer/mdPlugInModel.h"
#include "importer/mdUUID.h"

#include <QByteArray>
#include <QFile>
#include <QUrl>

#include <atomic>
#include <cstring>
#include <new>

namespace {

constexpr const char* kCreatorName = "Tamsel Calculator";

// The interface table must be the instance's first word: hosts reach the functions through it.
struct MetadataImporterPluginType {
  MDImporterInterfaceStruct* conduitInterface;
  MDUUIDBytes factoryID;
  // Hosts call an instance from one thread at a time; atomic all the same, since it costs nothing.
  std::atomic<uint32_t> refCount;
};

const MDImporterInterfaceStruct kInterfaceTemplate = {
    nullptr, MetadataImporterQueryInterface, MetadataImporterPluginAddRef, MetadataImporterPluginRelease, nullptr};

MetadataImporterPluginType* InstanceOf(void* instance) { return static_cast<MetadataImporterPluginType*>(instance); }

bool HoldsFactoryID(const MDUUIDBytes& factoryID) { return !(factoryID == MDUUIDBytes{}); }

void SetString(MDAttributesRef attributes, const char* key, const QByteArray& value) {
  attributes->functions->setString(attributes, key, value.constData(), size_t(value.size()));
}

}  // namespace

extern "C" {

void* MetadataImporterPluginFactory(void* /*allocator*/, const MDUUIDBytes* typeID) {
  static const std::optional<MDUUIDBytes> importerType = UUIDBytesFromString(kMDImporterTypeIDString);
  if (!typeID || !importerType || !(*typeID == *importerType)) return nullptr;
  const std::optional<MDUUIDBytes> factoryID = UUIDBytesFromString(kMDImporterFactoryIDString);
  if (!factoryID) return nullptr;
  return AllocMetadataImporterPluginType(&*factoryID);
}

void* AllocMetadataImporterPluginType(const MDUUIDBytes* factoryID) {
  auto* instance = new (std::nothrow) MetadataImporterPluginType{};
  if (!instance) return nullptr;
  instance->conduitInterface = new (std::nothrow) MDImporterInterfaceStruct(kInterfaceTemplate);
  if (!instance->conduitInterface) {
    delete instance;
    return nullptr;
  }
  if (factoryID) {
    instance->factoryID = *factoryID;
    MDPlugInAddInstanceForFactory(*factoryID);
  }
  instance->refCount = 1;
  return instance;
}

void DeallocMetadataImporterPluginType(void* instance) {
  MetadataImporterPluginType* plugin = InstanceOf(instance);
  if (!plugin) return;
  const MDUUIDBytes factoryID = plugin->factoryID;
  delete plugin->conduitInterface;
  delete plugin;
  if (HoldsFactoryID(factoryID)) MDPlugInRemoveInstanceForFactory(factoryID);
}

MDResult MetadataImporterQueryInterface(void* instance, MDUUIDBytes interfaceID, void** result) {
  static const std::optional<MDUUIDBytes> pathInterface = UUIDBytesFromString(kMDImporterInterfaceIDString);
  static const std::optional<MDUUIDBytes> urlInterface = UUIDBytesFromString(kMDImporterURLInterfaceIDString);
  static const std::optional<MDUUIDBytes> baseInterface = UUIDBytesFromString(kMDIUnknownUUIDString);
  if (!result) return kMDResultNullPointer;
  MetadataImporterPluginType* plugin = InstanceOf(instance);
  if (!plugin) {
    *result = nullptr;
    return kMDResultNullPointer;
  }
  if (pathInterface && interfaceID == *pathInterface) {
    plugin->conduitInterface->ImporterImportData = GetMetadataForPath;
  } else if (urlInterface && interfaceID == *urlInterface) {
    plugin->conduitInterface->ImporterImportData = GetMetadataForURL;
  } else if (!baseInterface || !(interfaceID == *baseInterface)) {
    *result = nullptr;
    return kMDResultNoInterface;
  }
  plugin->conduitInterface->AddRef(plugin);
  *result = plugin;
  return kMDResultOK;
}

uint32_t MetadataImporterPluginAddRef(void* instance) {
  MetadataImporterPluginType* plugin = InstanceOf(instance);
  return plugin ? plugin->refCount.fetch_add(1) + 1 : 0;
}

uint32_t MetadataImporterPluginRelease(void* instance) {
  MetadataImporterPluginType* plugin = InstanceOf(instance);
  if (!plugin) return 0;
  const uint32_t count = plugin->refCount.fetch_sub(1) - 1;
  if (count == 0) DeallocMetadataImporterPluginType(plugin);
  return count;
}

bool GetMetadataForPath(void* /*instance*/, MDAttributesRef attributes, const char* contentType, const char* path) {
  if (!path || !*path) return false;
  // The document is a package, so its URL names a folder.
  QString folder = QFile::decodeName(path);
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  const QUrl url = QUrl::fromLocalFile(folder);
  if (!url.isValid()) return false;
  return GetMetadataForURL(nullptr, attributes, contentType, url.toEncoded().constData());
}

bool GetMetadataForURL(void* /*instance*/, MDAttributesRef attributes, const char* contentType, const char* url) {
  if (!attributes || !attributes->functions || !attributes->functions->setString) return false;
  if (!contentType || std::strcmp(contentType, kMDNumletContentType) != 0) return false;
  SetString(attributes, kMDItemCreator, QByteArray(kCreatorName));
  // A protected document gives its creator only: its cells stay out of the index.
  const QString package = url ? QUrl::fromEncoded(QByteArray(url)).toLocalFile() : QString();
  if (!package.isEmpty() && PackageIsProtected(package)) return true;
  QString documentXml;
  if (package.isEmpty() || !ReadDocumentXml(package, &documentXml)) return false;
  SetString(attributes, kMDItemTextContent, ExtractTextContent(documentXml).toUtf8());
  return true;
}

}  // extern "C"
