#include "ExcelTestSupport.h"

#include <cstring>

namespace {

constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFatMark = 0xFFFFFFFD;
constexpr uint32_t kDifatMark = 0xFFFFFFFC;

void Put32(QByteArray& data, qsizetype at, uint32_t v) { qToLittleEndian<uint32_t>(v, data.data() + at); }
void Put16(QByteArray& data, qsizetype at, uint16_t v) { qToLittleEndian<uint16_t>(v, data.data() + at); }

QByteArray Entry(const QString& name, uint8_t type, uint32_t start, uint64_t size) {
  QByteArray entry(128, '\0');
  for (qsizetype i = 0; i < name.size() && i < 31; ++i) Put16(entry, 2 * i, name[i].unicode());
  Put16(entry, 64, uint16_t((name.size() + 1) * 2));
  entry[66] = char(type);
  Put32(entry, 68, kFree);
  Put32(entry, 72, kFree);
  Put32(entry, 76, kFree);
  Put32(entry, 116, start);
  qToLittleEndian<uint64_t>(size, entry.data() + 120);
  return entry;
}

uint32_t Sectors(qsizetype bytes, qsizetype unit) { return uint32_t((bytes + unit - 1) / unit); }

}  // namespace

QByteArray MakeCompoundFile(const QByteArray& workbook, const std::vector<QString>& extraNames,
                            bool forceRegular) {
  const bool mini = workbook.size() < 4096 && !forceRegular;
  QByteArray regular = workbook;  // what lives in regular sectors: the stream or the mini stream
  QByteArray miniFat;
  if (mini) {
    const uint32_t miniSectors = Sectors(workbook.size(), 64);
    regular.resize(qsizetype(miniSectors) * 64, '\0');
    miniFat = QByteArray(qsizetype(Sectors(miniSectors * 4, 512)) * 512, char(0xFF));
    for (uint32_t i = 0; i < miniSectors; ++i) Put32(miniFat, 4 * i, i + 1 < miniSectors ? i + 1 : kEnd);
  }
  QByteArray directory;
  const uint32_t dataSectors = Sectors(regular.size(), 512);
  const uint32_t miniFatSectors = Sectors(miniFat.size(), 512);
  directory += Entry(QStringLiteral("Root Entry"), 5, mini ? 0 : kEnd, mini ? uint64_t(regular.size()) : 0);
  directory += Entry(QStringLiteral("Workbook"), 2, 0, uint64_t(workbook.size()));
  for (const QString& name : extraNames) directory += Entry(name, 2, kEnd, 0);
  directory.resize(qsizetype(Sectors(directory.size(), 512)) * 512, '\0');
  const uint32_t directorySectors = Sectors(directory.size(), 512);

  const uint32_t fixed = dataSectors + miniFatSectors + directorySectors;
  uint32_t fatSectors = 1, difatSectors = 0;
  while (true) {
    const uint32_t total = fixed + fatSectors + difatSectors;
    const uint32_t needFat = Sectors(qsizetype(total) * 4, 512);
    const uint32_t needDifat = needFat > 109 ? Sectors(qsizetype(needFat - 109) * 4, 508) : 0;
    if (needFat == fatSectors && needDifat == difatSectors) break;
    fatSectors = needFat;
    difatSectors = needDifat;
  }
  const uint32_t total = fixed + fatSectors + difatSectors;
  const uint32_t miniFatStart = dataSectors;
  const uint32_t directoryStart = miniFatStart + miniFatSectors;
  const uint32_t fatStart = directoryStart + directorySectors;
  const uint32_t difatStart = fatStart + fatSectors;

  QByteArray fat(qsizetype(fatSectors) * 512, char(0xFF));
  auto chain = [&](uint32_t start, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) Put32(fat, 4 * (start + i), i + 1 < count ? start + i + 1 : kEnd);
  };
  chain(0, dataSectors);
  chain(miniFatStart, miniFatSectors);
  chain(directoryStart, directorySectors);
  for (uint32_t i = 0; i < fatSectors; ++i) Put32(fat, 4 * (fatStart + i), kFatMark);
  for (uint32_t i = 0; i < difatSectors; ++i) Put32(fat, 4 * (difatStart + i), kDifatMark);

  QByteArray header(512, '\0');
  const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  memcpy(header.data(), signature, 8);
  Put16(header, 24, 0x3E);
  Put16(header, 26, 3);
  Put16(header, 28, 0xFFFE);
  Put16(header, 30, 9);
  Put16(header, 32, 6);
  Put32(header, 44, fatSectors);
  Put32(header, 48, directoryStart);
  Put32(header, 56, 4096);
  Put32(header, 60, miniFatSectors ? miniFatStart : kEnd);
  Put32(header, 64, miniFatSectors);
  Put32(header, 68, difatSectors ? difatStart : kEnd);
  Put32(header, 72, difatSectors);
  for (uint32_t i = 0; i < 109; ++i) Put32(header, 76 + 4 * i, i < fatSectors ? fatStart + i : kFree);
  QByteArray difat(qsizetype(difatSectors) * 512, char(0xFF));
  for (uint32_t i = 109; i < fatSectors; ++i) {
    const uint32_t k = i - 109;
    Put32(difat, qsizetype(k / 127) * 512 + (k % 127) * 4, fatStart + i);
  }
  for (uint32_t d = 0; d < difatSectors; ++d)
    Put32(difat, qsizetype(d) * 512 + 508, d + 1 < difatSectors ? difatStart + d + 1 : kEnd);

  regular.resize(qsizetype(dataSectors) * 512, '\0');
  QByteArray file = header + regular + miniFat + directory + fat + difat;
  (void)total;
  return file;
}

QByteArray MakeWorkbook(const QByteArray& globals, const std::vector<QByteArray>& sheets,
                        const std::vector<uint8_t>& visibility) {
  return MakeCompoundFile(MakeWorkbookStream(globals, sheets, visibility));
}

QByteArray MakeWorkbookStream(const QByteArray& globals, const std::vector<QByteArray>& sheets,
                              const std::vector<uint8_t>& visibility) {
  BiffWriter w;
  w.bof(5);
  w.record(0x42, Bytes().u16(1200).data);
  // One font, Arial 10.
  w.record(0x31, Bytes().u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(0).u8(0).latin1(QStringLiteral("Arial"), false).data);
  // XF 0 general, 1 "m/d/yy", 2 "h:mm", 3 a 50% grey pattern.
  auto xf = [&](uint16_t format, uint32_t fill) {
    w.record(0xE0, Bytes().u16(0).u16(format).u16(0).u8(0).u8(0).u8(0).u8(0).u32(0).u32(fill).u16(0).data);
  };
  xf(0, 0);
  xf(14, 0);
  xf(20, 0);
  xf(0, 2u << 26);
  w.stream.append(globals);
  std::vector<size_t> patches;
  for (size_t i = 0; i < sheets.size(); ++i)
    patches.push_back(w.boundSheet(i < visibility.size() ? visibility[i] : 0));
  w.eof();
  for (size_t i = 0; i < sheets.size(); ++i) {
    w.patchSheet(patches[i]);
    w.bof(0x10);
    w.stream.append(sheets[i]);
    w.eof();
  }
  return w.stream;
}
