#pragma once
#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

// Whole-file reads and replacing writes that never leave a half-written file.
//
// A write goes to a temporary file in the target's folder; every write call and
// the final sync are checked to the last byte, the replaced file's permission
// bits (and owner and group where allowed) are carried over, then the temporary
// file is renamed over the target and the folder is synced, so a save that was
// reported done survives a power cut. Any failure removes the temporary file,
// leaves the old file exactly as it was and throws ProfileWriteError
// ("Unable to write to <path>").
namespace AtomicFile {

// The content of a regular file; nullopt when nothing exists at path. Throws
// ProfileReadError ("Unable to read <path>") when something exists but cannot
// be read, or is not a regular file (folder, pipe, device): such a thing must
// never pass for an empty file.
std::optional<QByteArray> read(const QString& path);

// Replaces (or creates) path with data; the folder must exist. An existing
// file keeps its permission bits; a new one gets newMode, or 0666 less the umask.
// A file that the user may not write (read-only for its owner, say) is refused
// with ProfileWriteError, never replaced.
void write(const QString& path, const QByteArray& data, std::optional<unsigned> newMode = std::nullopt);

// The same, fed piece by piece (a download). The content goes to a file
// without a name (O_TMPFILE) where the file system allows, so a crash leaves
// nothing behind; elsewhere to ".<name>.tessary-<pid>-XXXXXX" beside the
// target. Dropped without commit(), it leaves the target as it was.
class Writer {
 public:
  // Checks the target and opens the temporary file; throws ProfileWriteError.
  explicit Writer(const QString& path, std::optional<unsigned> newMode = std::nullopt);
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  void append(const char* data, qint64 size);  // throws ProfileWriteError
  void commit();                               // replaces the target; throws ProfileWriteError

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};

// The process's file creation mask (read without changing it for good).
unsigned currentUmask();
// The permission bits of the file at path (links followed); nullopt when there is none.
std::optional<unsigned> modeOf(const QString& path);

// Removes the temporary files of replacing writes in folder whose process has
// ended (a crash or a kill in the middle of a write); returns how many. Every
// write runs it on its own folder.
int removeStaleTemporaries(const QString& folder);

// Paths as the system sees them: bytes. A name that is not UTF-8 (an old
// "caf\xE9.cfg") is decoded with each stray byte kept as a lone surrogate
// U+DC80..U+DCFF and encoded back to that very byte, so it names the same file
// after a round trip through the program (command line, History.ini).
QString decodePath(const QByteArray& native);
QByteArray nativePath(const QString& path);

// A name of one file inside a folder, nothing more: not empty, no folder
// separator of either system, no "..", no control characters.
bool isPlainFileName(const QString& name);
// Reads a regular file of the user's own without following a link at its
// last step and without blocking on a pipe; nullopt when path is anything
// else (missing, a link, a FIFO, a device, another user's). mode receives its
// permission bits.
std::optional<QByteArray> readOwnRegular(const QString& path, unsigned* mode = nullptr);
// Whether something exists at path (a dangling link counts: it names a file).
bool exists(const QString& path);
// Why folder may not be trusted with files that only its user may see (a link,
// not a folder, another user's), or empty when it may; the user's own folder is
// made private on the way. Empty too when nothing is there.
QString privateFolderProblem(const QString& folder);
// A regular file of the user's own is at path (a link is not followed).
bool isOwnRegular(const QString& path);
// What is at path, a link not followed.
enum class Kind { None, Regular, Link, Other };
Kind kindAt(const QString& path);
// Renames from to to, never over something already at to. TargetTaken: something
// is there; OtherVolume: the two lie on different file systems (copy instead);
// Failed: *why says why (the system's words).
enum class Rename { Done, TargetTaken, OtherVolume, Failed };
Rename renameNoReplace(const QString& from, const QString& to, QString* why = nullptr);
// Makes the renames and removals in folder so far survive a power cut.
void syncFolder(const QString& folder);
// Makes folder (and its parents) when missing; a folder of the user's own is made private.
void makePrivateFolder(const QString& folder);
// Claims path as a new empty file with the permission bits mode (default: 0666
// less the umask); false when something is there already or it cannot be made.
bool createNew(const QString& path, std::optional<unsigned> mode = std::nullopt);
// Appends bytes to the file at path (made when missing, emptied first when
// fresh) and waits until they are on the disk; never through a link.
bool appendDurably(const QString& path, const QByteArray& bytes, bool fresh, QString* why);
bool setMode(const QString& path, unsigned mode, QString* why = nullptr);
// The last-write time of the regular file at path (links followed), in seconds
// since the epoch; nullopt when there is none.
std::optional<qint64> modifiedSeconds(const QString& path);
// The size and last-write time (nanoseconds since the epoch) of whatever is at
// path, links followed; nullopt when nothing is there.
struct SizeAndTime {
  qint64 size = 0;
  qint64 modifiedNs = 0;
};
std::optional<SizeAndTime> sizeAndTime(const QString& path);
// Sets the last-write time (milliseconds since the epoch); the last access stays as it is.
bool setModifiedMs(const QString& path, qint64 ms);
// Whether this process may write into path (a folder) as the system sees it.
bool mayWrite(const QString& path);
// Removes the file at path; false when it could not.
bool remove(const QString& path);

// How a test makes the writes fail: as a full disk (no room after
// writableBytes more bytes; negative: room enough) or a disk error at one step
// of the next write.
enum class Step { None, Sync, Rename };
struct FaultPlan {
  qint64 writableBytes = -1;
  Step failStep = Step::None;
};
// The plan holds while this lives, and ends with it however the test ends;
// one at a time. The program itself never makes one.
class Faults {
 public:
  explicit Faults(const FaultPlan& plan);
  ~Faults();
  Faults(const Faults&) = delete;
  Faults& operator=(const Faults&) = delete;
};

}  // namespace AtomicFile
