// A remembered file, found again at a later launch: its path, how it is stored (local disk, an
// alias, a folder that a cloud service keeps in step) and a bookmark. Locators are kept as text
// archives (preferences, property lists) or binary archives, whose formats older files share.
#pragma once

#include "platform/FLError.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>

class FLFileLocator {
 public:
  // Storage methods, the index into the method table.
  enum Method : int32_t {
    kMethodNil = 0,
    kMethodAlias = 1,
    kMethodLocal = 2,
    kMethodCloud = 3,
    kMethodDropbox = 4,
    kMethodGoogleDrive = 5,
    kMethodWuala = 6,
    kMethodOneDrive = 7,
    kMethodUnknown = 8,
  };

  FLFileLocator() = default;
  // A locator for the path; method 0 means: the method the path's folders show. The bookmark is
  // made from the path when the file exists.
  explicit FLFileLocator(const QString& path, int32_t method = kMethodNil);

  // A text archive ("_local_.~%2Fa%2Etxt.sb..."); nothing when the text is none (malformed and
  // unknown ones are logged).
  static std::optional<FLFileLocator> withArchive(const QString& text);
  // A text archive from a QString, a binary archive from a QByteArray; nothing otherwise.
  static std::optional<FLFileLocator> withObject(const QVariant& object);
  static std::optional<FLFileLocator> withBinaryArchive(const QByteArray& data);

  // Six components joined by "."; line feeds of the bookmark's Base64 text are escaped only
  // when asked.
  QString archive(bool escapeReturns) const;
  QByteArray createBinaryArchive() const;

  // Whether the file can be found, at its path or else by its bookmark. When it was found
  // elsewhere (moved or renamed), the path, method and bookmark follow it and `changed` tells
  // the caller to save the locator again.
  bool verify(bool* changed);
  // Linux mounts no volumes on the way, so `allowVolumeMount` changes nothing.
  bool verify(bool* changed, bool allowVolumeMount, FLError* error);
  // Makes a bookmark of the path; false, keeping the old one, when the file does not exist.
  bool setBookmarkFromPath();

  bool isEqual(const FLFileLocator& other) const { return isEqualToPath(other.path_); }
  bool isEqualToPath(const QString& path) const { return path_ == path; }
  bool operator==(const FLFileLocator& other) const { return isEqual(other); }

  bool isInTrash() const;
  // The path less a leading removable-volume folder ("/media/<user>/", "/run/media/<user>/",
  // or the original platform's "/Volumes/"), so the volume's name comes first.
  QString displayText() const;
  bool isCloudBased() const { return isMethodCloudBased(method_); }
  bool isServiceRunning() const;
  // Whether the service runs now. Linux offers no way to launch the services' desktop
  // clients hidden, so one that is not running stays so.
  bool runService();

  int32_t method() const { return method_; }
  void setMethod(int32_t method) { method_ = method; }
  const QString& path() const { return path_; }
  void setPath(const QString& path) { path_ = path; }
  const QString& filePath() const { return path_; }
  // Empty when the locator has none.
  const QByteArray& bookmark() const { return bookmark_; }
  void setBookmark(const QByteArray& bookmark) { bookmark_ = bookmark; }
  bool isFolder() const { return folder_; }
  void setFolder(bool folder) { folder_ = folder; }
  bool isSandboxed() const { return sandboxed_; }
  void setSandboxed(bool sandboxed) { sandboxed_ = sandboxed; }

  // The archive name of a method 0-7 ("_local_"); other methods assert "Bad locator method".
  static QString methodName(int32_t method);
  // The service's folder name ("Dropbox"); empty for methods 0-3.
  static QString methodDisplayName(int32_t method);
  // The method of an archive name; names starting with "-" read every "-" as "_". Unknown: 8.
  static int32_t methodFromName(const QString& name);
  // The method of the nearest enclosing service folder (any case), else local.
  static int32_t methodFromPath(const QString& path);
  static bool isMethodCloudBased(int32_t method) { return (method & ~3) == kMethodDropbox; }
  static bool isPathCloudBased(const QString& path) { return isMethodCloudBased(methodFromPath(path)); }

 private:
  int32_t method_ = kMethodNil;
  QString path_;
  QByteArray bookmark_;
  bool folder_ = false;
  bool sandboxed_ = false;
};
