// Files on Windows: a write to a temporary file beside the target, flushed to
// the disk, given the old file's own access list and marks, then moved over it
// in one step (MoveFileExW, written through); wide-character calls
// only, with the long-path prefix where a path needs it. Windows keeps no
// permission bits: a file's read-only attribute stands for its owner's write bit.
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#include <sddl.h>

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <string>

#include "profile/AtomicFile.h"
#include "profile/AtomicFileFaults.h"
#include "profile/SystemWin.h"
#include "profile/TableMemory.h"
#include "profile/TessaryError.h"

namespace {

// The path as the wide-character calls take it: backslashes, absolute, and
// with the \\?\ prefix once it is too long for the old limit of 260.
std::wstring wide(const QString& path) {
  if (path.isEmpty()) return {};
  QString full = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
  if (full.size() >= MAX_PATH - 12 && !full.startsWith(QStringLiteral("\\\\?\\"))) {
    if (full.startsWith(QStringLiteral("\\\\")))
      full = QStringLiteral("\\\\?\\UNC\\") + full.mid(2);
    else
      full.prepend(QStringLiteral("\\\\?\\"));
  }
  return full.toStdWString();
}

QString systemWords(DWORD err) { return err == 0 ? QString() : SystemWin::errorWords(err); }

[[noreturn]] void unableToWrite(const QString& path, const QString& why) {
  if (why.isEmpty()) throw ProfileWriteError(QStringLiteral("Unable to write to %1").arg(path));
  throw ProfileWriteError(QStringLiteral("Unable to write to %1: %2").arg(path, why));
}

[[noreturn]] void unableToRead(const QString& path) {
  throw ProfileReadError(QStringLiteral("Unable to read %1").arg(path));
}

bool failsHere(AtomicFile::Step step) {
  if (!AtomicFile::Detail::failsAt(step)) return false;
  SetLastError(ERROR_CRC);  // as a disk error would say
  return true;
}

// Closes a handle on every path out of a function.
class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return m_h; }
  bool valid() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
  void reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (valid()) CloseHandle(m_h);
    m_h = h;
  }
  bool close() {
    const HANDLE h = m_h;
    m_h = INVALID_HANDLE_VALUE;
    return CloseHandle(h) != 0;
  }

 private:
  HANDLE m_h;
};

DWORD attributesOf(const QString& path) { return GetFileAttributesW(wide(path).c_str()); }

bool isReparse(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool isFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// WriteFile until every byte is out; false on any failure, a short write included.
bool writeAll(HANDLE h, const char* data, qint64 size) {
  qint64 done = 0;
  while (done < size) {
    qint64 chunk = AtomicFile::Detail::roomFor(std::min<qint64>(size - done, 1 << 30));
    if (chunk == 0) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    DWORD wrote = 0;
    if (!WriteFile(h, data + done, static_cast<DWORD>(chunk), &wrote, nullptr) || wrote == 0) return false;
    done += wrote;
  }
  return true;
}

QString sidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) return {};
  const QString out = QString::fromWCharArray(text);
  LocalFree(text);
  return out;
}

// Whether the owner of the open file or folder is this user (or, as for files an
// elevated copy of the program made, the Administrators group this user is in).
bool ownedByUs(HANDLE h) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      &sd) != ERROR_SUCCESS)
    return false;
  const auto freer = qScopeGuard([sd] { LocalFree(sd); });
  const QString text = sidText(owner);
  if (text.isEmpty()) return false;
  if (text == SystemWin::currentUserSid()) return true;
  BOOL member = FALSE;
  return text == QStringLiteral("S-1-5-32-544") && CheckTokenMembership(nullptr, owner, &member) && member;
}

bool ownedByUs(const QString& path, bool folder) {
  Handle h(CreateFileW(wide(path).c_str(), READ_CONTROL,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | (folder ? FILE_FLAG_BACKUP_SEMANTICS : 0), nullptr));
  return h.valid() && ownedByUs(h.get());
}

constexpr qint64 kEpochIn100ns = 116444736000000000LL;  // 1601-01-01 to 1970-01-01

qint64 nsSinceEpoch(const FILETIME& t) {
  const qint64 ticks = (static_cast<qint64>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  return (ticks - kEpochIn100ns) * 100;
}

bool processRuns(DWORD pid) {
  HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!h) return GetLastError() == ERROR_ACCESS_DENIED;  // another user's: not ours to judge
  const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  CloseHandle(h);
  return running;
}

QString folderOf(const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  return full.left(std::max<qsizetype>(full.lastIndexOf(QLatin1Char('/')), 0));
}

QString tempNameFor(const QString& target) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  QString suffix;
  for (int i = 0; i < 6; ++i) suffix += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(36)]);
  const QFileInfo info(target);
  return info.absolutePath() + QStringLiteral("/.") + info.fileName() +
         QStringLiteral(".tessary-%1-").arg(GetCurrentProcessId()) + suffix;
}

}  // namespace

namespace AtomicFile {

// File names are UTF-16 on Windows; stored paths are UTF-8 everywhere.
QString decodePath(const QByteArray& native) { return QString::fromUtf8(native); }
QByteArray nativePath(const QString& path) { return path.toUtf8(); }

bool exists(const QString& path) { return attributesOf(path) != INVALID_FILE_ATTRIBUTES; }

QString privateFolderProblem(const QString& folder) {
  const DWORD a = attributesOf(folder);
  if (a == INVALID_FILE_ATTRIBUTES) return {};
  if (isReparse(a)) return QStringLiteral("the folder is a symbolic link");
  if (!isFolder(a)) return QStringLiteral("it is not a folder");
  // A folder under the user's own profile is private by its inherited access list.
  if (!ownedByUs(folder, true)) return QStringLiteral("the folder belongs to another user");
  return {};
}

Kind kindAt(const QString& path) {
  const DWORD a = attributesOf(path);
  if (a == INVALID_FILE_ATTRIBUTES) return Kind::None;
  if (isReparse(a)) return Kind::Link;
  if (isFolder(a) || (a & FILE_ATTRIBUTE_DEVICE)) return Kind::Other;
  return Kind::Regular;
}

Rename renameNoReplace(const QString& from, const QString& to, QString* why) {
  if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) return Rename::Done;
  const DWORD err = GetLastError();
  if (err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS) return Rename::TargetTaken;
  if (err == ERROR_NOT_SAME_DEVICE) return Rename::OtherVolume;
  if (why) *why = systemWords(err);
  return Rename::Failed;
}

// NTFS journals its names, and every rename here is written through: nothing to do.
void syncFolder(const QString&) {}

// Folders under %LOCALAPPDATA% inherit an access list that lets in only the user.
void makePrivateFolder(const QString& folder) { QDir().mkpath(folder); }

bool createNew(const QString& path, std::optional<unsigned> mode) {
  const DWORD attributes = mode && (*mode & 0200) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
  Handle h(CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr));
  return h.valid();
}

bool appendDurably(const QString& path, const QByteArray& bytes, bool fresh, QString* why) {
  if (isReparse(attributesOf(path))) {
    *why = QStringLiteral("it is a link");
    return false;
  }
  Handle h(CreateFileW(wide(path).c_str(), fresh ? GENERIC_WRITE : FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                       fresh ? CREATE_ALWAYS : OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.valid()) {
    *why = systemWords(GetLastError());
    return false;
  }
  if (!fresh) SetFilePointer(h.get(), 0, nullptr, FILE_END);
  DWORD wrote = 0;
  const bool ok = WriteFile(h.get(), bytes.constData(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
                  wrote == static_cast<DWORD>(bytes.size()) && FlushFileBuffers(h.get());
  if (!ok) *why = systemWords(GetLastError());
  return ok;
}

bool setMode(const QString& path, unsigned mode, QString* why) {
  const DWORD a = attributesOf(path);
  if (a == INVALID_FILE_ATTRIBUTES) {
    if (why) *why = systemWords(GetLastError());
    return false;
  }
  const DWORD wanted = (mode & 0200) ? (a & ~FILE_ATTRIBUTE_READONLY) : (a | FILE_ATTRIBUTE_READONLY);
  if (wanted == a || SetFileAttributesW(wide(path).c_str(), wanted)) return true;
  if (why) *why = systemWords(GetLastError());
  return false;
}

std::optional<SizeAndTime> sizeAndTime(const QString& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  const qint64 size = (static_cast<qint64>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return SizeAndTime{size, nsSinceEpoch(data.ftLastWriteTime)};
}

std::optional<qint64> modifiedSeconds(const QString& path) {
  const DWORD a = attributesOf(path);
  if (a == INVALID_FILE_ATTRIBUTES || isFolder(a)) return std::nullopt;
  const std::optional<SizeAndTime> st = sizeAndTime(path);
  if (!st) return std::nullopt;
  return st->modifiedNs >= 0 ? st->modifiedNs / 1000000000 : -((-st->modifiedNs + 999999999) / 1000000000);
}

bool setModifiedMs(const QString& path, qint64 ms) {
  Handle h(CreateFileW(wide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.valid()) return false;
  const qint64 ticks = ms * 10000 + kEpochIn100ns;
  FILETIME t{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
  return SetFileTime(h.get(), nullptr, nullptr, &t) != 0;
}

bool mayWrite(const QString& path) {
  // Access lists decide, not attributes: ask by making a file that goes when closed.
  const QString probe = path + QStringLiteral("/.tessary-probe-%1").arg(GetCurrentProcessId());
  Handle h(CreateFileW(wide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return h.valid();
}

bool isOwnRegular(const QString& path) {
  const DWORD a = attributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && !isReparse(a) && !isFolder(a) && ownedByUs(path, false);
}

bool remove(const QString& path) { return DeleteFileW(wide(path).c_str()) != 0; }

std::optional<QByteArray> read(const QString& path) {
  const DWORD a = attributesOf(path);
  if (a == INVALID_FILE_ATTRIBUTES) {
    const DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_INVALID_NAME)
      return std::nullopt;
    unableToRead(path);
  }
  if (isFolder(a))
    throw ProfileReadError(QStringLiteral("Unable to read %1: it is not a regular file").arg(path));
  // Others may go on reading and writing it meanwhile, as Notepad lets them.
  Handle h(CreateFileW(wide(path).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!h.valid()) unableToRead(path);
  if (GetFileType(h.get()) != FILE_TYPE_DISK)
    throw ProfileReadError(QStringLiteral("Unable to read %1: it is not a regular file").arg(path));
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h.get(), &size)) unableToRead(path);
  QByteArray data(static_cast<qsizetype>(size.QuadPart) + 1, Qt::Uninitialized);
  TableMemory::preferLargePages(data.data(),
                                static_cast<std::size_t>(data.size()));  // before the read touches it
  qsizetype got = 0;
  for (;;) {
    if (got == data.size()) data.resize(got + std::max<qsizetype>(65536, got / 2));
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<qsizetype>(data.size() - got, 1 << 30));
    if (!ReadFile(h.get(), data.data() + got, want, &n, nullptr)) unableToRead(path);
    if (n == 0) break;
    got += n;
  }
  data.truncate(got);
  return data;
}

struct Writer::Impl {
  QString path;    // as the caller named it, for messages
  QString target;  // the file that is replaced
  QString temp;    // the temporary file beside it
  Handle file;
  bool existed = false;
  bool readOnlyNew = false;
  bool done = false;

  [[noreturn]] void fail() { fail(systemWords(GetLastError())); }
  [[noreturn]] void fail(const QString& why) {
    discard();
    unableToWrite(path, why);
  }
  void discard() {
    file.reset();
    if (!temp.isEmpty()) DeleteFileW(wide(temp).c_str());
    temp.clear();
  }
  // Puts the temporary file in the target's place in one step. Not ReplaceFileW:
  // it moves the old file aside first, and for that moment the name is free for
  // anyone (two writers under Wine saw the other take it). The old file's own
  // access list and its marks are put on the new one first, as ReplaceFileW would.
  bool replace() {
    if (existed) keepSecurityAndMarks();
    // A reader that lets nobody delete the file while it reads (most programs: an
    // editor, a virus scanner, the indexer, a second copy of this one reading its
    // settings) holds the name for a moment: the move is tried again for a while
    // before it counts as refused.
    for (int attempt = 1;; ++attempt) {
      if (MoveFileExW(wide(temp).c_str(), wide(target).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
      const DWORD err = GetLastError();
      const bool held =
          err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION;
      if (!held || attempt == kReplaceAttempts) {
        SetLastError(err);
        return false;
      }
      Sleep(kReplacePauseMs);
    }
  }
  static constexpr int kReplaceAttempts = 40;  // about two seconds in all
  static constexpr DWORD kReplacePauseMs = 50;
  void keepSecurityAndMarks() {
    const DWORD marks = attributesOf(target);
    if (marks != INVALID_FILE_ATTRIBUTES)
      SetFileAttributesW(wide(temp).c_str(),
                         marks & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED));
    // A list set on the file itself (not inherited from its folder) goes with it.
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    std::wstring old = wide(target);
    if (GetNamedSecurityInfoW(old.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &sd) != ERROR_SUCCESS)
      return;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityDescriptorControl(sd, &control, &revision) && (control & SE_DACL_PROTECTED) && dacl) {
      std::wstring now = wide(temp);
      SetNamedSecurityInfoW(now.data(), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            dacl, nullptr);
    }
    LocalFree(sd);
  }
};

Writer::Writer(const QString& path, std::optional<unsigned> newMode) : d(std::make_unique<Impl>()) {
  d->path = path;
  d->target = QFileInfo(path).absoluteFilePath();
  d->readOnlyNew = newMode && (*newMode & 0200) == 0;
  const DWORD a = attributesOf(d->target);
  d->existed = a != INVALID_FILE_ATTRIBUTES;
  if (d->existed && isFolder(a)) d->fail(QStringLiteral("it is not a regular file"));
  // A file its owner made read-only is not replaced behind the owner's back.
  if (d->existed && (a & FILE_ATTRIBUTE_READONLY)) d->fail(QStringLiteral("the file is read-only"));
  removeStaleTemporaries(folderOf(d->target));
  for (int attempt = 0; attempt < 20 && !d->file.valid(); ++attempt) {
    d->temp = tempNameFor(d->target);
    d->file.reset(CreateFileW(wide(d->temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (!d->file.valid() && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!d->file.valid()) {
    d->temp.clear();
    d->fail();
  }
}

Writer::~Writer() {
  if (d && !d->done) d->discard();
}

void Writer::append(const char* data, qint64 size) {
  if (d->done || !d->file.valid() || !writeAll(d->file.get(), data, size)) d->fail();
}

void Writer::commit() {
  if (d->done || !d->file.valid()) d->fail();
  bool ok = FlushFileBuffers(d->file.get()) && !failsHere(Step::Sync);
  if (ok) ok = d->file.close();
  if (ok) {
    // The temporary file's own marks must not pass to the target.
    const DWORD marks = d->readOnlyNew && !d->existed ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    ok = SetFileAttributesW(wide(d->temp).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (ok) ok = !failsHere(Step::Rename) && d->replace();
    if (ok && marks != FILE_ATTRIBUTE_NORMAL) SetFileAttributesW(wide(d->target).c_str(), marks);
  }
  if (!ok) d->fail();
  d->temp.clear();
  d->done = true;
}

void write(const QString& path, const QByteArray& data, std::optional<unsigned> newMode) {
  Writer writer(path, newMode);
  writer.append(data.constData(), data.size());
  writer.commit();
}

std::optional<unsigned> modeOf(const QString& path) {
  const DWORD a = attributesOf(path);
  if (a == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return (a & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u;
}

int removeStaleTemporaries(const QString& folder) {
  // ".<name>.tessary-<pid>-XXXXXX": left only by a process that died in the
  // middle of a write. One whose process still runs may be in use.
  WIN32_FIND_DATAW found{};
  const std::wstring pattern = wide(folder + QStringLiteral("/.*.tessary-*"));
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int removed = 0;
  do {
    const QString name = QString::fromWCharArray(found.cFileName);
    const qsizetype mark = name.lastIndexOf(QStringLiteral(".tessary-"));
    if (mark < 0 || (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
      continue;
    const QString rest = name.mid(mark + 9);
    const qsizetype dash = rest.indexOf(QLatin1Char('-'));
    if (dash <= 0 || rest.size() - dash - 1 != 6) continue;
    bool isNumber = false;
    const ulong pid = rest.left(dash).toULong(&isNumber);
    if (!isNumber || pid == 0 || processRuns(static_cast<DWORD>(pid))) continue;
    const QString full = folder + QLatin1Char('/') + name;
    SetFileAttributesW(wide(full).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(wide(full).c_str())) ++removed;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return removed;
}

// Windows has no creation mask; what a new file may do is its folder's access list.
unsigned currentUmask() { return 022; }

std::optional<QByteArray> readOwnRegular(const QString& path, unsigned* mode) {
  Handle h(CreateFileW(wide(path).c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.valid()) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h.get(), &info) || GetFileType(h.get()) != FILE_TYPE_DISK ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
      !ownedByUs(h.get()))
    return std::nullopt;
  if (mode) *mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444u : 0666u;
  QByteArray data;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(h.get(), buffer, sizeof buffer, &n, nullptr)) return std::nullopt;
    if (n == 0) break;
    data.append(buffer, n);
  }
  return data;
}

}  // namespace AtomicFile
