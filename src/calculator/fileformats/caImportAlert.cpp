#include "calculator/fileformats/caImportAlert.h"

#include "calculator/fileformats/caHtml.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flPicturePrice.h"
#include "framlet/shell/FLAlert.h"
#include "platform/FLError.h"
#include "platform/UserDefaults.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace {

CAImportAlert* g_importAlert = nullptr;
uint64_t g_importCellBudget = kDefaultImportCellBudget;

void ShowPlainAlert(const QString& message, const QString& information) {
  if (!g_importAlert) {
    LogString("%@ %@", message, information);
    return;
  }
  g_importAlert->showAlert(message, information);
}

}  // namespace

void CAImportAlert::showAlert(const QString& message, const QString& information) {
  FLAlert::sharedInstance().giveAlertMessage(message, information);
}

void SetImportAlert(CAImportAlert* alert) { g_importAlert = alert; }

void ShowImportAlert(const char* suppressKey, const QString& message, const QString& information) {
  UserDefaults& shared = UserDefaults::sharedDefaults();
  const QString key = QLatin1String(suppressKey);
  if (shared.boolForKey(key)) return;
  if (!g_importAlert) {
    LogString("%@ %@", message, information);
    return;
  }
  if (g_importAlert->showSuppressibleAlert(message, information)) shared.setBool(true, key);
}

int64_t FileReadingBudget() { return PageReadingBudget(); }

QString MemorySizeText(int64_t bytes) {
  // Tenths of a gigabyte, as large files are thought of; a small budget's megabytes.
  return bytes >= 1'000'000'000 ? QStringLiteral("%1 GB").arg(double(bytes) / 1e9, 0, 'f', 1)
                                : QStringLiteral("%1 MB").arg(std::max<int64_t>((bytes + 999'999) / 1'000'000, 1));
}

QString FileTooLargeReason(int64_t cost) {
  return QString::fromLatin1(kFileTooLargeToOpenReason).arg(MemorySizeText(cost));
}

QString PasteTextTooLargeReason(int64_t cost) {
  return QString::fromLatin1(kPasteTextTooLargeReason).arg(MemorySizeText(cost));
}

int64_t WholeReadingCost(int64_t held, int64_t grown, double share) {
  if (!(share > 0) || share >= 1) return grown;
  return held + int64_t(double(std::max<int64_t>(grown - held, 0)) / share);
}

bool RefuseTooLargeFile(FLError* error, int64_t cost) {
  SetError(error, kFileTooLargeCode, FileTooLargeReason(cost));
  return false;
}

uint64_t ImportCellBudget() { return g_importCellBudget; }

uint64_t SetImportCellBudget(uint64_t budget) {
  const uint64_t previous = g_importCellBudget;
  g_importCellBudget = budget;
  return previous;
}

void ShowImportBudgetAlert(const QString& path, uint64_t cellsRead) {
  ShowPlainAlert(QLatin1String(kImportBudgetMessage),
                 QString::fromLatin1(kImportBudgetInformation)
                     .arg(QLocale().toString(qulonglong(cellsRead)), QFileInfo(path).fileName()));
}

void ShowImportColumnsAlert(const QString& path) {
  ShowPlainAlert(QLatin1String(kImportColumnsMessage),
                 QString::fromLatin1(kImportColumnsInformation).arg(QFileInfo(path).fileName()));
}

void ShowImportPicturesAlert(const QString& path, uint64_t picturesLeftOut, bool kept) {
  QString information = QString::fromLatin1(kImportPicturesInformation)
                            .arg(QLocale().toString(qulonglong(picturesLeftOut)), QFileInfo(path).fileName());
  if (kept) information += u' ' + QLatin1String(kPicturesKeptInformation);
  ShowPlainAlert(QLatin1String(kImportPicturesMessage), information);
}

void ShowImportPicturesPastDecodeLimitAlert(const QString& path, uint64_t picturesLeftOut, bool kept) {
  QString information = QString::fromLatin1(kImportPicturesPastDecodeLimitInformation)
                            .arg(QLocale().toString(qulonglong(picturesLeftOut)), QFileInfo(path).fileName(),
                                 MemorySizeText(PictureDecodeLimit()));
  if (kept) information += u' ' + QLatin1String(kPicturesKeptInformation);
  ShowPlainAlert(QLatin1String(kImportPicturesMessage), information);
}


void ShowPastePicturesPastDecodeLimitAlert(uint64_t picturesLeftOut) {
  ShowPlainAlert(QLatin1String(kImportPicturesMessage),
                 QString::fromLatin1(kPastePicturesPastDecodeLimitInformation)
                     .arg(QLocale().toString(qulonglong(picturesLeftOut)), MemorySizeText(PictureDecodeLimit())));
}

void ShowPastePicturesAlert(uint64_t picturesLeftOut) {
  ShowPlainAlert(QLatin1String(kImportPicturesMessage),
                 QString::fromLatin1(kPastePicturesInformation).arg(QLocale().toString(qulonglong(picturesLeftOut))));
}

void ShowPlainImportAlert(const QString& message, const QString& information) { ShowPlainAlert(message, information); }
