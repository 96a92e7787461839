/* The binary interface between the metadata importer plug-in and the program that loads it.
 * It mirrors the plug-in model of desktop indexing services: a factory function answers an
 * instance whose first word points at a table of functions; identifiers are 16-byte UUIDs; the
 * attributes the importer finds go into a dictionary that the host owns and fills through its
 * own function. Plain C, so any host can use it. */
#ifndef TAMSEL_MD_IMPORTER_PLUGIN_H
#define TAMSEL_MD_IMPORTER_PLUGIN_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A UUID as its 16 bytes in network order. */
typedef struct MDUUIDBytes {
  uint8_t bytes[16];
} MDUUIDBytes;

/* Identifiers in their text form. */
#define kMDImporterTypeIDString "8B08C4BF-415B-11D8-B3F9-0003936726FC"
#define kMDImporterFactoryIDString "21383951-E681-430E-8C12-D13BD96D2A2E"
#define kMDImporterInterfaceIDString "6EBC27C4-899C-11D8-84AE-0003936726FC"
#define kMDImporterURLInterfaceIDString "13F60F02-3622-4F35-9891-EC10E6CD08F8"
#define kMDIUnknownUUIDString "00000000-0000-0000-C000-000000000046"

/* The content type the importer serves, and the attribute keys it fills. */
#define kMDNumletContentType "com.orvandel.numlet"
#define kMDItemCreator "kMDItemCreator"
#define kMDItemTextContent "kMDItemTextContent"

/* Results of QueryInterface. */
typedef int32_t MDResult;
#define kMDResultOK ((MDResult)0)
#define kMDResultNoInterface ((MDResult)0x80000004)
#define kMDResultNullPointer ((MDResult)0x80000005)

/* The host's attribute dictionary: opaque to the plug-in except for its first word, the host's
 * function table. Setting a key again replaces its value. Values are UTF-8 of the given length
 * and need not end in a zero byte. */
typedef struct MDAttributes* MDAttributesRef;
typedef struct MDAttributesFunctions {
  void (*setString)(MDAttributesRef attributes, const char* key, const char* value, size_t length);
} MDAttributesFunctions;
struct MDAttributes {
  const MDAttributesFunctions* functions;
};

/* The interface table of an instance, five slots in this order. The import slot is empty until
 * an importer interface is asked for; the path interface passes a file path, the URL interface a
 * "file:" URL, both as UTF-8. It answers whether attributes were supplied. */
typedef struct MDImporterInterfaceStruct {
  void* reserved;
  MDResult (*QueryInterface)(void* instance, MDUUIDBytes interfaceID, void** result);
  uint32_t (*AddRef)(void* instance);
  uint32_t (*Release)(void* instance);
  bool (*ImporterImportData)(void* instance, MDAttributesRef attributes, const char* contentType,
                             const char* pathOrURL);
} MDImporterInterfaceStruct;

/* The exported functions of the plug-in. The allocator argument is unused and may be null. */
typedef void* (*MDImporterFactoryFunction)(void* allocator, const MDUUIDBytes* typeID);
typedef uint32_t (*MDPlugInInstanceCountFunction)(const MDUUIDBytes* factoryID);

void* MetadataImporterPluginFactory(void* allocator, const MDUUIDBytes* typeID);
void* AllocMetadataImporterPluginType(const MDUUIDBytes* factoryID);
void DeallocMetadataImporterPluginType(void* instance);
MDResult MetadataImporterQueryInterface(void* instance, MDUUIDBytes interfaceID, void** result);
uint32_t MetadataImporterPluginAddRef(void* instance);
uint32_t MetadataImporterPluginRelease(void* instance);
bool GetMetadataForPath(void* instance, MDAttributesRef attributes, const char* contentType, const char* path);
bool GetMetadataForURL(void* instance, MDAttributesRef attributes, const char* contentType, const char* url);

/* The plug-in model's count of live instances made for a factory; a host unloads the plug-in
 * only when it is 0. */
uint32_t MDPlugInInstanceCountForFactory(const MDUUIDBytes* factoryID);

#ifdef __cplusplus
}
#endif

#endif
