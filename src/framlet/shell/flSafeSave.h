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

// What a document notes of its file when it reads or writes it, to tell later whether another
// program has changed the file since: the item's identity, and the latest modification time,
// the total size and the number of the items in it (a package's parts are changed in place
// without its folder's own time changing). Links are followed to the file. The device is not
// compared: a disk mounted again may come back as another device, its files unchanged.
struct FLFileStamp {
  bool valid = false;
  unsigned long long device = 0, inode = 0;
  long long seconds = 0, nanoseconds = 0;
  long long size = 0, items = 0;
  bool operator==(const FLFileStamp& other) const {
    return valid == other.valid && inode == other.inode && seconds == other.seconds &&
           nanoseconds == other.nanoseconds && size == other.size && items == other.items;
  }
};
FLFileStamp FileStampOf(const QString& path);
// Applies the permissions and the extended attributes; false when one could not be set. Between a
// file and a folder (a page saved as a folder with its images, a package saved as one file) the
// search bits follow the read bits, so a folder stays openable and a file does not become a program.
bool SetFileAttributes(const QString& path, const FLFileAttributes& attributes);

// Removes a file or a folder with everything in it; true when nothing is left at the path.
bool RemoveItemAtPath(const QString& path);
// The same for the entry `name` (in the file-system encoding) of the folder open as `folder`
// (AT_FDCWD: a path from the working folder). Allocates nothing, so that it may run in a
// destructor or a cleanup while a failed allocation unwinds.
bool RemoveItemQuietlyAt(int folder, const char* name);

// A free name in the folder: "name.ext", else "name 2.ext", "name 3.ext", ... (no extension:
// "name", "name 2", ...).
QString UniquePathInFolder(const QString& folder, const QString& baseName, const QString& extension);

// The hidden name beside `target` that a save writes under, or sets the old item aside under:
// ".<target's name>.<GUID>.<extension>" (no extension: ".<target's name>.<GUID>"). Hidden, so
// that a save killed in mid-course leaves nothing in the user's view; named after the target,
// so that the next save of the same document finds it. The copied name is shortened, on a
// character's boundary, so that the whole stays within the longest name a folder takes.
QString TemporaryPathFor(const QString& target, const QString& extension);
// The longest name a folder entry may have, in bytes of its file-system encoding.
inline constexpr int kLongestFileName = 255;
// The name cut, on a character's boundary, to at most `bytes` bytes of its file-system encoding.
QString FileNameWithin(const QString& name, int bytes);
// The same, but a name that has to be cut ends in "-" and eight hexadecimal digits of a hash of
// the whole name, so that two long names that begin alike are not cut to one name.
QString DistinctNameWithin(const QString& name, int bytes);

// One save's hidden temporary beside its target, claimed for as long as the object lives: a
// lock file named after it (".<target's name>.<GUID>~") holds an exclusive flock(2), so that
// another save of the same target, in this process or another, never sweeps it. Holds the
// target's folder open too, so that the swap finds the folder should it be renamed meanwhile.
//
// The lock file also tells what a save leaves under the temporary's name. It stays for as long
// as anything does there, so that no leftover is ever without it. Before the swap it records the
// finished item and what the target was then; a save that had to leave its new version there,
// and told the user so, marks it "kept" as well. No sweep takes a kept version, nor a finished
// one whose target is no longer what it was at the swap: the swap may have cost the target, and
// the user may have been told of the copy on a disk that turned read-only before the mark could
// be written. Whatever else is left (a save killed while writing or before its swap took
// effect, an old version that would not go) is debris the next sweep clears. Items are known by
// their inodes and times, never by device numbers, which change when a disk is mounted again.
//
// What the save did not put in place goes with the object: an item under the temporary's name
// is removed when it goes unless it was kept, or the swap has changed what is at the target's
// name. That takes no allocation (the names are made at construction), so it holds while a
// failure unwinds the save.
class FLSaveTemporary {
 public:
  FLSaveTemporary(const QString& target, const QString& extension);
  ~FLSaveTemporary();
  FLSaveTemporary(const FLSaveTemporary&) = delete;
  FLSaveTemporary& operator=(const FLSaveTemporary&) = delete;

  const QString& path() const { return path_; }
  // Whether the lock file was made: a save never writes a temporary without it.
  bool claimed() const { return lock_ >= 0; }
  // Why it was not (an errno value).
  int claimError() const { return claimError_; }
  // The folder's descriptor (O_PATH), or -1 when it could not be opened.
  int folder() const { return folder_; }
  // Where the folder is now: its path at the start, or its new one when it was renamed since.
  QString folderPath() const;
  // Notes the item the writer made, so that the swap never puts another in place.
  void setWritten();
  // Whether the item at the temporary's name is still the one the writer made.
  bool holdsWrittenItem() const;
  // Removes what is under the temporary's name (a version not put in place); allocates nothing.
  // True when nothing is left there.
  bool discard() const;
  // The new version stays under the temporary's name: no sweep may take it. False (and a log
  // line) when the mark could not be written.
  bool keep() const;
  // Records, before the swap, the finished item and what is at the target's name (in the
  // folder) then. False when it could not be written.
  bool noteSwap(const QString& targetName) const;

 private:
  // Names the object for a new GUID: allocates, and so runs while no descriptor is held.
  void name(const QString& target, const QString& extension, qsizetype guidEnd);
  // Whether the swap changed what is at the target's name since it was noted.
  bool swapTookEffect() const;

  QString path_, folderPath_;
  // In the file-system encoding, made before they are needed: the item, the name an old item is
  // set aside under, the lock file, and the target's name as the swap was noted for it.
  QByteArray itemName_, asideName_, lockName_;
  mutable QByteArray swapTargetName_;
  int folder_ = -1, lock_ = -1, claimError_ = 0;
  unsigned long long writtenDevice_ = 0, writtenInode_ = 0;
  long long writtenSeconds_ = 0, writtenNanoseconds_ = 0;
  // What was at the target's name when the swap was noted (inode 0: nothing).
  mutable bool swapNoted_ = false, kept_ = false;
  mutable unsigned long long swapTargetInode_ = 0;
  mutable long long swapTargetSeconds_ = 0, swapTargetNanoseconds_ = 0;
};

// Removes what saves of `target` that never finished left beside it under such names: a
// temporary whose lock file no save holds, unless the lock file says it is kept (see
// FLSaveTemporary); and a
// temporary without a lock file (made by a version that had none, or whose lock file was
// removed) only when it has not changed since before the system started, so that its maker is
// certainly gone. Nothing a running save writes goes, nor anything a save had to keep. Linear
// in the folder's entries.
void RemoveStaleTemporaries(const QString& target);

// Puts the finished item at `temporary` in place at `target`, a name in the same folder. With a
// `backup` path (in that folder) the replaced item ends there (whatever was at the backup path
// before goes); without one it is deleted. A plain file is replaced by one rename(2); a folder
// (or a change of kind) swaps names with the new one in one step (renameat2 with
// RENAME_EXCHANGE), or, on a file system that cannot, is first moved aside and put back when the
// new one cannot take its place. A target gone meanwhile is simply taken by the new item. The
// renames go through the folder held open, so a folder renamed meanwhile still gets the new item
// at the target's name; `placedAt` then tells the path it has. On failure `reason` says why,
// `backupFailed` tells whether it was the backup step, and the target is as it was.
bool ReplaceItemAtPath(const FLSaveTemporary& temporary, const QString& target, const QString& backup,
                       QString* reason, bool* backupFailed = nullptr, QString* placedAt = nullptr);
// Moves the temporary to a free visible name beside the target ("name.ext", "name 2.ext", ...),
// for a new version that could not take the target's place: hidden, it would look like debris.
// Answers the path it has now (the temporary's own when even that move fails).
QString KeepTemporaryVisible(const FLSaveTemporary& temporary, const QString& target);

// Tests: called before each rename of the swap with the source and destination; false makes that
// rename fail as a full disk or a dying process would.
using FLRenameProbe = std::function<bool(const QString& from, const QString& to)>;
void SetRenameProbe(FLRenameProbe probe);
// Tests: called before a save writes into its lock file; false makes the write fail as on a disk
// that has turned read-only.
using FLLockWriteProbe = std::function<bool()>;
void SetLockWriteProbe(FLLockWriteProbe probe);
// Tests: the device number of every item a save looks at, in place of the system's own, as when
// the disk has been mounted again as another device.
using FLDeviceProbe = std::function<unsigned long long(unsigned long long device)>;
void SetDeviceProbe(FLDeviceProbe probe);
// Tests: when the system started, in seconds since 1970, in place of the system's own answer.
using FLBootTimeProbe = std::function<long long()>;
void SetBootTimeProbe(FLBootTimeProbe probe);
