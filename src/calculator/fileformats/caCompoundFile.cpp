// Reads one stream out of a compound file held in memory. The file is addressed in place; only
// the directory and the stream itself are copied.
#include "calculator/fileformats/caCompoundFile.h"

#include "framlet/foundation/flBase.h"

#include <QtEndian>

#include <new>
#include <vector>

namespace {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint64_t kSectorSize = 512;
constexpr uint64_t kMiniSectorSize = 64;
constexpr uint64_t kEntriesPerSector = 128;
constexpr uint64_t kHeaderTableEntries = 109;
constexpr uint64_t kExtensionEntries = 127;
constexpr uint64_t kMiniStreamCutoff = 4096;
constexpr uint64_t kDirectoryEntrySize = 128;
constexpr const char* kWorkbookStreamName = "Workbook";
// Some writers put a BIFF8 workbook into a stream of the older name; the records tell.
constexpr const char* kBookStreamName = "Book";
constexpr const char* kEncryptionStreamName = "encryption";
constexpr const char* kRightsStreamName = "\tDRMContent";
constexpr const char* kBadLocationReport = "Bad data location or length";

uint16_t U16(QByteArrayView data, uint64_t offset) {
  return qFromLittleEndian<uint16_t>(data.data() + offset);
}
uint32_t U32(QByteArrayView data, uint64_t offset) {
  return qFromLittleEndian<uint32_t>(data.data() + offset);
}
uint64_t U64(QByteArrayView data, uint64_t offset) {
  return qFromLittleEndian<uint64_t>(data.data() + offset);
}

// The sectors of a file and the allocation table that chains them.
class CompoundFile {
 public:
  explicit CompoundFile(QByteArrayView file) : file_(file) {}

  bool open() {
    if (uint64_t(file_.size()) < kSectorSize) return false;
    if (memcmp(file_.data(), kSignature, sizeof kSignature) != 0) return false;
    if (U16(file_, 26) != 3 || U16(file_, 28) != 0xFFFE || U16(file_, 30) != 9 ||
        U16(file_, 32) != 6 || U32(file_, 56) != kMiniStreamCutoff)
      return false;
    sectorCount_ = (uint64_t(file_.size()) - kSectorSize + kSectorSize - 1) / kSectorSize;
    for (uint64_t i = 0; i < kHeaderTableEntries; ++i)
      allocationSectors_.push_back(U32(file_, 76 + 4 * i));
    // The extension sectors each add 127 allocation sectors; the chain may not outrun the file.
    uint32_t extension = U32(file_, 68);
    std::vector<bool> seen(sectorCount_, false);
    while (extension < sectorCount_ && !seen[extension]) {
      seen[extension] = true;
      const uint64_t base = (uint64_t(extension) + 1) * kSectorSize;
      if (base + kSectorSize > uint64_t(file_.size())) break;
      for (uint64_t i = 0; i < kExtensionEntries; ++i)
        allocationSectors_.push_back(U32(file_, base + 4 * i));
      extension = U32(file_, base + 508);
    }
    return true;
  }

  uint64_t sectorCount() const { return sectorCount_; }

  // The sector after s in its chain; kEndOfChain for the end, anything at or past the sector
  // count for a chain that leaves the file.
  uint32_t nextSector(uint32_t sector) const {
    const uint64_t index = sector / kEntriesPerSector;
    if (index >= allocationSectors_.size()) return UINT32_MAX;
    const uint32_t table = allocationSectors_[index];
    if (table >= sectorCount_) return UINT32_MAX;
    const uint64_t offset = (uint64_t(table) + 1) * kSectorSize + (sector % kEntriesPerSector) * 4;
    if (offset + 4 > uint64_t(file_.size())) return UINT32_MAX;
    return U32(file_, offset);
  }

  // The bytes of sector s, cut short at the end of the file.
  QByteArrayView sector(uint32_t sector) const {
    const uint64_t start = (uint64_t(sector) + 1) * kSectorSize;
    if (sector >= sectorCount_ || start >= uint64_t(file_.size())) return {};
    return file_.sliced(qsizetype(start), qsizetype(std::min(kSectorSize, uint64_t(file_.size()) - start)));
  }

  // A whole chain up to its end, as for the directory and the mini-sector table; NO for a chain
  // that leaves the file or repeats.
  bool readWholeChain(uint32_t start, QByteArray* out) const {
    out->reserve(5120);
    std::vector<bool> seen(sectorCount_, false);
    for (uint32_t s = start; s != kEndOfChain; s = nextSector(s)) {
      if (s >= sectorCount_ || seen[s]) return false;
      seen[s] = true;
      const QByteArrayView bytes = sector(s);
      out->append(bytes.data(), bytes.size());
      if (uint64_t(bytes.size()) < kSectorSize) out->append(qsizetype(kSectorSize - bytes.size()), '\0');
    }
    return true;
  }

 private:
  QByteArrayView file_;
  uint64_t sectorCount_ = 0;
  std::vector<uint32_t> allocationSectors_;
};

struct DirectoryEntry {
  QString name;
  uint32_t start = 0;
  uint64_t size = 0;
};

bool CopyChain(const CompoundFile& file, uint32_t start, uint64_t length, char* destination) {
  std::vector<bool> seen(file.sectorCount(), false);
  uint64_t copied = 0;
  uint32_t s = start;
  while (copied < length) {
    if (s >= file.sectorCount() || seen[s]) return false;
    seen[s] = true;
    const QByteArrayView bytes = file.sector(s);
    const uint64_t n = std::min(length - copied, kSectorSize);
    if (uint64_t(bytes.size()) < n) return false;
    memcpy(destination + copied, bytes.data(), n);
    copied += n;
    if (copied < length) s = file.nextSector(s);  // the sector after the last is never asked for
  }
  return true;
}

bool Fail(QString* failure, const char* reason) {
  if (failure) *failure = QString::fromUtf8(reason);
  return false;
}

// Streams below the cut-off live in 64-byte mini sectors inside the root entry's stream.
bool ReadMiniStream(QByteArrayView file, const CompoundFile& compound, const DirectoryEntry& root,
                    const DirectoryEntry& entry, char* destination) {
  if (root.size > uint64_t(file.size())) return false;
  QByteArray container(qsizetype(root.size), '\0');
  if (root.size && !CopyChain(compound, root.start, root.size, container.data())) return false;
  QByteArray table;
  if (!compound.readWholeChain(U32(file, 60), &table)) return false;
  const uint64_t miniSectors = uint64_t(container.size()) / kMiniSectorSize;
  std::vector<bool> seen(miniSectors, false);
  uint64_t copied = 0;
  uint32_t s = entry.start;
  while (copied < entry.size) {
    if (s >= miniSectors || seen[s]) return false;
    seen[s] = true;
    const uint64_t n = std::min(entry.size - copied, kMiniSectorSize);
    memcpy(destination + copied, container.constData() + uint64_t(s) * kMiniSectorSize, n);
    copied += n;
    if (copied >= entry.size) break;
    if (uint64_t(s) * 4 + 4 > uint64_t(table.size())) return false;
    s = U32(table, uint64_t(s) * 4);
  }
  return true;
}

}  // namespace

bool FetchCBFData(QByteArrayView file, uint32_t startSector, uint64_t length, char* destination,
                  uint64_t destinationSize) {
  const uint32_t count = uint32_t(length);
  if (count == 0 || count > destinationSize || length > UINT32_MAX) {
    LogAssert(kBadLocationReport, __func__, __FILE__, __LINE__);
    return false;
  }
  CompoundFile compound(file);
  return compound.open() && CopyChain(compound, startSector, count, destination);
}

bool ReadWorkbookStream(QByteArrayView file, QByteArray* stream, QString* failure) {
  CompoundFile compound(file);
  if (!compound.open()) return Fail(failure, kExcelFormatReason);
  QByteArray directory;
  if (!compound.readWholeChain(U32(file, 48), &directory)) return Fail(failure, kExcelFormatReason);

  std::vector<DirectoryEntry> entries;
  DirectoryEntry root;
  const uint64_t entryCount = uint64_t(directory.size()) / kDirectoryEntrySize;
  for (uint64_t i = 0; i < entryCount; ++i) {
    const QByteArrayView entry = QByteArrayView(directory).sliced(qsizetype(i * kDirectoryEntrySize), kDirectoryEntrySize);
    QString name;
    for (int unit = 0; unit < 32; ++unit) {
      const char16_t c = U16(entry, 2 * unit);
      if (c == 0) break;
      name.append(QChar(c));
    }
    DirectoryEntry record{name, U32(entry, 116), U64(entry, 120)};
    if (i == 0) root = record;
    if (name.isEmpty()) continue;
    entries.push_back(record);
  }

  // Directory names compare regardless of case in this container, and writers do vary it.
  const DirectoryEntry* workbook = nullptr;
  const DirectoryEntry* book = nullptr;
  for (const DirectoryEntry& entry : entries) {
    if (entry.name.compare(QLatin1String(kWorkbookStreamName), Qt::CaseInsensitive) == 0)
      workbook = &entry;
    else if (entry.name.compare(QLatin1String(kBookStreamName), Qt::CaseInsensitive) == 0)
      book = &entry;
    else if (entry.name == QLatin1String(kEncryptionStreamName) ||
             entry.name == QLatin1String(kRightsStreamName))
      return Fail(failure, kExcelProtectedReason);
  }
  if (!workbook) workbook = book;
  // A stream can be no larger than the file that holds it; this also refuses sizes of 4 GiB
  // and more instead of reading them as empty.
  if (!workbook || workbook->size == 0 || workbook->size > uint64_t(file.size()))
    return Fail(failure, kExcelFormatReason);

  try {
    stream->resize(qsizetype(workbook->size));
  } catch (const std::bad_alloc&) {
    return Fail(failure, kExcelFileMemoryReason);
  }
  const bool read = workbook->size < kMiniStreamCutoff
                        ? ReadMiniStream(file, compound, root, *workbook, stream->data())
                        : FetchCBFData(file, workbook->start, workbook->size, stream->data(),
                                       uint64_t(stream->size()));
  if (!read) {
    stream->clear();
    return Fail(failure, kExcelFormatReason);
  }
  return true;
}
