// Loading the importer plug-in and driving it through its interface table.
#include "importer/mdImporterHost.h"

#include "importer/mdUUID.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <dlfcn.h>

namespace {

constexpr const char* kFactoryFunctionName = "MetadataImporterPluginFactory";
constexpr const char* kInstanceCountFunctionName = "MDPlugInInstanceCountForFactory";
constexpr const char* kNativeExtension = "Numlet";
constexpr const char* kOtherContentType = "public.data";

MDImporterInterfaceStruct* InterfaceOf(void* instance) { return *static_cast<MDImporterInterfaceStruct**>(instance); }

}  // namespace

MDHostAttributes::MDHostAttributes() {
  static const MDAttributesFunctions functions = {&MDHostAttributes::setString};
  this->functions = &functions;
}

void MDHostAttributes::setString(MDAttributesRef attributes, const char* key, const char* value, size_t length) {
  if (!attributes || !key) return;
  auto* self = static_cast<MDHostAttributes*>(attributes);
  const QByteArray bytes = value ? QByteArray(value, qsizetype(length)) : QByteArray("");
  for (auto& entry : self->entries_) {
    if (entry.first == key) {
      entry.second = bytes;
      return;
    }
  }
  self->entries_.emplace_back(key, bytes);
}

QByteArray MDHostAttributes::value(const std::string& key) const {
  for (const auto& entry : entries_)
    if (entry.first == key) return entry.second;
  return QByteArray();
}

QByteArray MDHostAttributes::listing() const {
  QByteArray text;
  auto append = [&](const auto& entry) {
    text += QByteArray::fromStdString(entry.first) + ": " + entry.second + '\n';
  };
  for (const auto& entry : entries_)
    if (entry.first != kMDItemTextContent) append(entry);
  for (const auto& entry : entries_)
    if (entry.first == kMDItemTextContent) append(entry);
  return text;
}

MDImporterPlugIn::~MDImporterPlugIn() {
  if (!handle_) return;
  const auto count = reinterpret_cast<MDPlugInInstanceCountFunction>(symbol(kInstanceCountFunctionName));
  const std::optional<MDUUIDBytes> factoryID = UUIDBytesFromString(kMDImporterFactoryIDString);
  if (count && factoryID && count(&*factoryID) != 0) return;  // an instance still uses the code
  dlclose(handle_);
}

bool MDImporterPlugIn::load(const QString& path, QString* error) {
  handle_ = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    if (error) *error = QString::fromLocal8Bit(dlerror());
    return false;
  }
  factory_ = reinterpret_cast<MDImporterFactoryFunction>(symbol(kFactoryFunctionName));
  if (!factory_) {
    if (error) *error = QStringLiteral("%1 has no %2").arg(path, QLatin1String(kFactoryFunctionName));
    return false;
  }
  return true;
}

void* MDImporterPlugIn::symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

MDImporterPlugIn::Result MDImporterPlugIn::import(const QString& path, const char* contentType,
                                                  MDHostAttributes* attributes, QString* error) const {
  auto fail = [&](const char* reason) {
    if (error) *error = QLatin1String(reason);
    return Result::Failed;
  };
  const std::optional<MDUUIDBytes> type = UUIDBytesFromString(kMDImporterTypeIDString);
  const std::optional<MDUUIDBytes> urlInterface = UUIDBytesFromString(kMDImporterURLInterfaceIDString);
  const std::optional<MDUUIDBytes> pathInterface = UUIDBytesFromString(kMDImporterInterfaceIDString);
  if (!factory_ || !type || !urlInterface || !pathInterface) return fail("The plug-in is not loaded.");
  void* instance = factory_(nullptr, &*type);
  if (!instance) return fail("The plug-in made no importer.");
  void* importer = nullptr;
  bool byURL = InterfaceOf(instance)->QueryInterface(instance, *urlInterface, &importer) == kMDResultOK;
  if (!byURL && InterfaceOf(instance)->QueryInterface(instance, *pathInterface, &importer) != kMDResultOK) {
    InterfaceOf(instance)->Release(instance);
    return fail("The plug-in offers no importer interface.");
  }
  if (!InterfaceOf(importer)->ImporterImportData) {
    InterfaceOf(importer)->Release(importer);
    InterfaceOf(instance)->Release(instance);
    return fail("The plug-in's importer has no import function.");
  }
  const QString absolute = QFileInfo(path).absoluteFilePath();
  const QByteArray location =
      byURL ? QUrl::fromLocalFile(absolute).toEncoded() : QFile::encodeName(absolute);
  const bool supplied =
      InterfaceOf(importer)->ImporterImportData(importer, attributes, contentType, location.constData());
  InterfaceOf(importer)->Release(importer);
  InterfaceOf(instance)->Release(instance);
  return supplied ? Result::Supplied : Result::NotSupplied;
}

const char* ContentTypeForPath(const QString& path) {
  QString trimmed = path;
  while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/'))) trimmed.chop(1);
  return QFileInfo(trimmed).suffix().compare(QLatin1String(kNativeExtension), Qt::CaseInsensitive) == 0
             ? kMDNumletContentType : kOtherContentType;
}
