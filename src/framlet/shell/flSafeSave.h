// The file-system half of a safe save: the document is written beside its target under a
// temporary name and then swapped in, so that the user's path always holds a whole document,
// the old one or the new one. Also what a replaced file carries over to its successor: its
// permission bits and its "user." extended attributes. (Linux keeps no creation date, Finder
// label or hidden-extension flag, so those are not carried.)
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

// What a file carries over to the file that replaces it.
struct FLFileAttributes {
  bool valid = false;
  unsigned permissions = 0;                            // POSIX mode bits (07777)
  bool folder = false;                                 // taken from a folder (a package)
  bool immutable = false;                              // chattr +i
  QList<QPair<QByteArray, QByteArray>> userAttributes; // "user.*" extended attributes
};

FLFileAttributes GetFileAttributes(const QString& path);
// Applies the permissions and the extended attributes; false when one could not be set. Between a
// file and a folder (a page saved as a folder with its images, a package saved as one file) the
// search bits follow the read bits, so a folder stays openable and a file does not become a program.
bool SetFileAttributes(const QString& path, const FLFileAttributes& attributes);

// Removes a file or a folder with everything in it; true when nothing is left at the path.
bool RemoveItemAtPath(const QString& path);

// A free name in the folder: "name.ext", else "name 2.ext", "name 3.ext", ... (no extension:
// "name", "name 2", ...).
QString UniquePathInFolder(const QString& folder, const QString& baseName, const QString& extension);

// The hidden name beside `target` that a save writes under, or sets the old item aside under:
// ".<target's name>.<GUID>.<extension>" (no extension: ".<target's name>.<GUID>"). Hidden, so
// that a save killed in mid-course leaves nothing in the user's view; named after the target,
// so that the next save of the same document finds it.
QString TemporaryPathFor(const QString& target, const QString& extension);
// Removes what saves of `target` that never finished left beside it under such names.
void RemoveStaleTemporaries(const QString& target);

// Puts the finished item at `temporary` in place at `target`. With a `backup` path the replaced
// item ends there (whatever was at the backup path before goes); without one it is deleted.
// A plain file is replaced by one rename(2); a folder (or a change of kind) swaps names with the
// new one in one step (renameat2 with RENAME_EXCHANGE), or, on a file system that cannot, is
// first moved aside and put back when the new one cannot take its place. On failure `reason` says why,
// `backupFailed` tells whether it was the backup step, and the target is as it was.
bool ReplaceItemAtPath(const QString& temporary, const QString& target, const QString& backup, QString* reason,
                       bool* backupFailed = nullptr);

// Tests: called before each rename of the swap with the source and destination; false makes that
// rename fail as a full disk or a dying process would.
using FLRenameProbe = std::function<bool(const QString& from, const QString& to)>;
void SetRenameProbe(FLRenameProbe probe);
