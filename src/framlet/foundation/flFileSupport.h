// File-system procedures that the framework and the application share: a free file name in a
// folder, the home and standard user folders, giving the user read and write permission on a
// file tree, reading and restoring a file's attributes, and swapping two memory blocks.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

struct FLError;

// The attributes a document carries over a save. Linux keeps no colour label and no
// hidden-extension flag: those stay 0 and are never stored. It does keep a creation (birth)
// time on most file systems but cannot set one; the immutable flag is the inode's
// (chattr +i). The permission bits are Linux's own addition, so a save keeps the file's mode.
struct FinderAttributes {
  double creationTime = 0;      // seconds since 1970; 0 when the file system keeps none
  uint32_t labelNumber = 0;     // always 0 on Linux
  uint8_t extensionHidden = 0;  // always 0 on Linux
  uint8_t immutable = 0;
  uint8_t valid = 0;            // 1 when the attributes were read
  uint32_t permissions = 0;     // POSIX mode bits (07777)
};

// Whether the path names a regular file (a link to one included) of at most maxSize bytes. A
// device, a FIFO, a socket or a folder is none: reading one could hang or never end.
bool IsRegularFileOfAtMost(const QString& path, int64_t maxSize);
// The one way a whole file is read (documents, lists, help, pictures): the bytes of a regular
// file (a link to one included) of at most maxSize bytes, as many as it holds when it is read.
// The file is opened without blocking and its kind asked of the open file, so a FIFO or a device
// put in its place is refused at once rather than waited on or read without end. Nothing on
// failure, with `error` (POSIX domain) saying why: the system's reason, kNotRegularFileReason or
// kFileTooLargeReason.
inline constexpr const char* kNotRegularFileReason = "It is not a regular file.";
inline constexpr const char* kFileTooLargeReason = "The file is too large to be read.";
std::optional<QByteArray> ReadRegularFile(const QString& path, int64_t maxSize, FLError* error = nullptr);
// The first headBytes bytes of such a file (all of it when it is shorter), by the same rules: for
// telling what a file is by its first bytes without waiting on a FIFO or reading a device.
std::optional<QByteArray> ReadRegularFileHead(const QString& path, int64_t maxSize, qsizetype headBytes,
                                              FLError* error = nullptr);
// The same file read a piece at a time, never whole: `sized` (when given) is told the size the
// file has when it is opened, then `piece` is given the pieces in order, each of at most
// pieceSize bytes, the last with `last` set (an empty file gives one empty last piece). False
// when the file cannot be read (`error` as above) or when `piece` answers false.
bool ReadRegularFileInPieces(const QString& path, int64_t maxSize, qsizetype pieceSize,
                             const std::function<void(int64_t)>& sized,
                             const std::function<bool(QByteArrayView, bool)>& piece, FLError* error = nullptr);

// Where an entry of a package folder ("document.xml", "Images/<name>") is read from: the file it
// names, found through any links, when that lies inside the package (a link may lead elsewhere
// in the package, never out of it, or opening a document would read, and its next save copy,
// files that are not the document's); the entry's own path when nothing is there. Nothing when
// it leads out of the package.
std::optional<QString> PackageEntryPath(const QString& package, const QString& entry);

// A name the system keeps as bytes that are not text in its encoding (a Latin-1 name under UTF-8)
// reaches the program with those bytes replaced, and the replaced name names nothing.
inline constexpr const char* kUnreadableNameReason =
    "I can't read the name: it is not written in the system's character encoding.";
// Whether the path names nothing because a name on the way was changed so in reading: some
// folder on the way holds an entry that reads as that name but is not its encoding.
bool NameIsUnreadable(const QString& path);

// The standard folders the program asks for.
enum class FLUserFolder {
  ApplicationSupport,  // $XDG_DATA_HOME
  Downloads,
};

// A path in the folder for the name and extension (empty: none) that names nothing yet.
// "/" and ":" are removed from the name; an empty name becomes "untitled". With an extension,
// the name's dots are removed too, except that a name with an extension of its own keeps it in
// front of "zip" (Budget.pkg + zip gives Budget.pkg.zip). Taken names get "-1" to "-99",
// then a new GUID. Always answers a path; a dangling link counts as taken.
QString UniqueFileNameCore(const QString& folder, const QString& name, const QString& extension = QString());
// The same; the original took its own file manager here, which Qt does not need.
QString UniqueFileName(const QString& folder, const QString& name, const QString& extension = QString());

// The user's home folder ($HOME, else the password entry's), without a trailing "/";
// read once and kept.
QString HomeFolderPath();

// The folder's path, created with its parents when missing; empty when it cannot be made.
QString PathForUserFolder(FLUserFolder folder);

// The path's permission bits (of a link itself, never its target) and whether it is a folder.
// When they cannot be read: logs "Can't get permissions for %@. %@" and answers 0 and false.
uint32_t PermissionsForFile(const QString& path, bool* isFolder);

// Gives the owner read and write permission on the path and, for a folder, on everything inside
// it. Group and other bits are left as they are, execute bits are never added and links are not
// followed. Failures are logged ("Can't change permissions of %@. %@"); a folder that cannot
// be changed is not entered.
void GiveUserFilePermissions(const QString& path);

// Zeroes the record, then fills it when the path's attributes can be read (of a link itself).
void GetFinderAttributes(const QString& path, FinderAttributes* attributes);
// Puts back what Linux can of a record that GetFinderAttributes filled: the permission bits
// (0777). False when the record is not valid or the change failed.
bool SetFinderAttributes(const QString& path, const FinderAttributes& attributes);

// Exchanges the contents of two blocks. Identical or empty blocks are left alone; null or
// overlapping blocks assert and are left alone.
void SwapBuffers(void* a, void* b, size_t length);
