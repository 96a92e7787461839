// The spreadsheet's native package as the reader finds it: its entry names, the password file and
// the limits on what it reads. The writer uses the same names. The document-level XML itself is
// the model's (caDocumentXml.h).
#pragma once

#include "framlet/foundation/flFileSupport.h"

#include "calculator/model/caDocumentServices.h"
#include "calculator/model/caDocumentXml.h"

#include <QString>

#include <cstdint>
#include <optional>

class CADocument;

inline constexpr const char* kPackageExtension = "Numlet";
inline constexpr const char* kDocumentXmlName = "document.xml";
// The password file's name is the model's (kPasswordFileName, caDocumentXml.h), which tells an
// enciphered package by it.
inline constexpr const char* kAutosavePathFileName = "path.txt";
// The images folder's name is the picture class's own (kImagesFolderName, CAPicture.h).

// Posted when idle, with the document as object, when a protected package waits for its
// password; the window controller asks for it and then calls loadXmlFile.
inline constexpr const char* kPasswordNotification = "numlet.password";

inline constexpr const char* kImageUnreadableReason = "An image could not be read";
inline constexpr int kImageUnreadableCode = -43;

// The largest "document.xml" and picture file a package may hold; anything larger is taken for
// damage rather than read into memory.
inline constexpr int64_t kMaxDocumentXmlSize = int64_t(512) << 20;
inline constexpr int64_t kMaxPictureFileSize = int64_t(256) << 20;


// "password.txt": the check value on the first line, the hint on the second.
struct CAPasswordFile {
  QString checkValue;
  QString hint;
};
// The file's two lines; nothing when it cannot be read, is not UTF-8 or has no second line
// (no line feed) or an empty check value.
std::optional<CAPasswordFile> ReadPasswordFile(const QString& path);
// The text the writer stores: "%@\n%@\n".
QString PasswordFileText(const QString& checkValue, const QString& hint);
