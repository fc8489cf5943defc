// Files on POSIX systems: a write to a temporary file beside the target,
// fsync, rename over the target, fsync of the folder; reads that refuse links
// and pipes where they must; paths as the bytes the system uses.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "profile/AtomicFile.h"
#include "profile/AtomicFileFaults.h"
#include "profile/TableMemory.h"
#include "profile/TessaryError.h"

namespace {

bool failsHere(AtomicFile::Step step) {
  if (!AtomicFile::Detail::failsAt(step)) return false;
  errno = EIO;  // as a disk error would say
  return true;
}

// The system's own words say why (disk full, permission denied), after the path.
[[noreturn]] void unableToWrite(const QString& path, const QString& why) {
  if (why.isEmpty()) throw ProfileWriteError(QStringLiteral("Unable to write to %1").arg(path));
  throw ProfileWriteError(QStringLiteral("Unable to write to %1: %2").arg(path, why));
}

QString systemWords(int err) { return err ? QString::fromLocal8Bit(std::strerror(err)) : QString(); }

[[noreturn]] void unableToRead(const QString& path) {
  throw ProfileReadError(QStringLiteral("Unable to read %1").arg(path));
}

// Closes a descriptor on every path out of a function.
class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }
  bool close() {
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
  }

 private:
  int m_fd;
};

// write(2) until every byte is out; false on any failure, a short write included.
bool writeAll(int fd, const char* data, qint64 size) {
  qint64 done = 0;
  while (done < size) {
    qint64 chunk = size - done;
    chunk = AtomicFile::Detail::roomFor(chunk);
    if (chunk == 0) {
      errno = ENOSPC;
      return false;
    }
    const ssize_t n = ::write(fd, data + done, static_cast<size_t>(std::min<qint64>(chunk, SSIZE_MAX)));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += n;
  }
  return true;
}

QByteArray folderOf(const QByteArray& native) {
  const qsizetype slash = native.lastIndexOf('/');
  if (slash < 0) return QByteArrayLiteral(".");
  if (slash == 0) return QByteArrayLiteral("/");
  return native.left(slash);
}

}  // namespace

namespace AtomicFile {

QString decodePath(const QByteArray& native) {
  QString out;
  out.reserve(native.size());
  const auto* b = reinterpret_cast<const unsigned char*>(native.constData());
  const qsizetype n = native.size();
  qsizetype i = 0;
  while (i < n) {
    const unsigned char c = b[i];
    int len = 0;
    char32_t cp = 0;
    if (c < 0x80) {
      len = 1;
      cp = c;
    } else if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    }
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) {
      if ((b[i + k] & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (b[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8 either.
    if (ok && ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) ||
               cp > 0x10FFFF))
      ok = false;
    if (!ok) {
      out.append(QChar(static_cast<char16_t>(0xDC00 + c)));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      out.append(QChar(QChar::highSurrogate(cp)));
      out.append(QChar(QChar::lowSurrogate(cp)));
    } else {
      out.append(QChar(static_cast<char16_t>(cp)));
    }
    i += len;
  }
  return out;
}

QByteArray nativePath(const QString& path) {
  QByteArray out;
  out.reserve(path.size());
  const qsizetype n = path.size();
  qsizetype runStart = 0;
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t c = path[i].unicode();
    const bool paired = i > 0 && QChar::isHighSurrogate(path[i - 1].unicode());
    if (c >= 0xDC80 && c <= 0xDCFF && !paired) {
      out += QStringView(path).mid(runStart, i - runStart).toUtf8();
      out += static_cast<char>(c - 0xDC00);
      runStart = i + 1;
    }
  }
  out += QStringView(path).mid(runStart).toUtf8();
  return out;
}

bool exists(const QString& path) {
  struct stat st {};
  return ::lstat(nativePath(path).constData(), &st) == 0;
}

QString privateFolderProblem(const QString& folder) {
  struct stat st {};
  if (::lstat(nativePath(folder).constData(), &st) != 0) return {};
  if (S_ISLNK(st.st_mode)) return QStringLiteral("the folder is a symbolic link");
  if (!S_ISDIR(st.st_mode)) return QStringLiteral("it is not a folder");
  if (st.st_uid != ::geteuid()) return QStringLiteral("the folder belongs to another user");
  if ((st.st_mode & 077) != 0 && ::chmod(nativePath(folder).constData(), 0700) != 0)
    return QStringLiteral("other users may write or read the folder");
  return {};
}

Kind kindAt(const QString& path) {
  struct stat st {};
  if (::lstat(nativePath(path).constData(), &st) != 0) return Kind::None;
  if (S_ISREG(st.st_mode)) return Kind::Regular;
  if (S_ISLNK(st.st_mode)) return Kind::Link;
  return Kind::Other;
}

Rename renameNoReplace(const QString& from, const QString& to, QString* why) {
  const QByteArray a = nativePath(from), b = nativePath(to);
  if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_NOREPLACE) == 0)
    return Rename::Done;
  int err = errno;
  if (err == EINVAL || err == ENOSYS) {
    // A file system without the flag: a hard link cannot replace a name either.
    if (::link(a.constData(), b.constData()) == 0) {
      ::unlink(a.constData());
      return Rename::Done;
    }
    err = errno;
  }
  if (err == EEXIST) return Rename::TargetTaken;
  if (err == EXDEV) return Rename::OtherVolume;
  if (why) *why = QString::fromLocal8Bit(std::strerror(err));
  return Rename::Failed;
}

void syncFolder(const QString& folder) {
  const int fd = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void makePrivateFolder(const QString& folder) {
  const QByteArray native = nativePath(folder);
  QDir().mkpath(folder);
  struct stat st {};
  if (::lstat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
      (st.st_mode & 0777) != 0700)
    (void)::chmod(native.constData(), 0700);
}

bool createNew(const QString& path, std::optional<unsigned> mode) {
  const int fd = ::open(nativePath(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  // Later writes keep the file's bits: it gets its own now.
  (void)::fchmod(fd, mode ? *mode : (0666 & ~currentUmask()));
  ::close(fd);
  return true;
}

bool appendDurably(const QString& path, const QByteArray& bytes, bool fresh, QString* why) {
  const int flags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (fresh ? O_TRUNC : 0);
  const int fd = ::open(nativePath(path).constData(), flags, 0600);
  if (fd < 0) {
    *why = QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  // Small records (a line of a journal): one write, outside the tests' fault plan.
  const bool ok =
      ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size() && ::fsync(fd) == 0;
  const int err = errno;
  ::close(fd);
  if (!ok) *why = QString::fromLocal8Bit(std::strerror(err));
  return ok;
}

bool setMode(const QString& path, unsigned mode, QString* why) {
  if (::chmod(nativePath(path).constData(), static_cast<mode_t>(mode)) == 0) return true;
  if (why) *why = QString::fromLocal8Bit(std::strerror(errno));
  return false;
}

std::optional<qint64> modifiedSeconds(const QString& path) {
  struct stat st {};
  if (::stat(nativePath(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<qint64>(st.st_mtim.tv_sec);
}

std::optional<SizeAndTime> sizeAndTime(const QString& path) {
  struct stat st {};
  if (::stat(nativePath(path).constData(), &st) != 0) return std::nullopt;
  return SizeAndTime{static_cast<qint64>(st.st_size),
                     static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool setModifiedMs(const QString& path, qint64 ms) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(ms / 1000);
  times[1].tv_nsec = static_cast<long>((ms % 1000) * 1000000);
  return ::utimensat(AT_FDCWD, nativePath(path).constData(), times, 0) == 0;
}

bool mayWrite(const QString& path) { return ::access(nativePath(path).constData(), W_OK) == 0; }

bool isOwnRegular(const QString& path) {
  struct stat st {};
  return ::lstat(nativePath(path).constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

bool remove(const QString& path) { return ::unlink(nativePath(path).constData()) == 0; }

std::optional<QByteArray> read(const QString& path) {
  const QByteArray native = nativePath(path);
  struct stat st {};
  if (::stat(native.constData(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    unableToRead(path);
  }
  // Only regular files: a pipe would block for ever and a device never ends.
  if (!S_ISREG(st.st_mode))
    throw ProfileReadError(QStringLiteral("Unable to read %1: it is not a regular file").arg(path));
  Fd fd(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) unableToRead(path);
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) unableToRead(path);
  // Straight into the result, with one byte to spare so that the end of a file
  // of the stated size is seen without growing; a file that grows meanwhile
  // (or states no size, as some system files do) still reads whole.
  QByteArray data(static_cast<qsizetype>(st.st_size) + 1, Qt::Uninitialized);
  TableMemory::preferLargePages(data.data(),
                                static_cast<std::size_t>(data.size()));  // before the read touches it
  qsizetype got = 0;
  for (;;) {
    if (got == data.size()) data.resize(got + std::max<qsizetype>(65536, got / 2));
    const ssize_t n = ::read(fd.get(), data.data() + got, static_cast<size_t>(data.size() - got));
    if (n < 0) {
      if (errno == EINTR) continue;
      unableToRead(path);
    }
    if (n == 0) break;
    got += n;
  }
  data.truncate(got);
  return data;
}

struct Writer::Impl {
  QString path;       // as the caller named it, for messages
  QByteArray target;  // the file that is replaced (a link's target)
  QByteArray folder;
  QByteArray tempName;  // the named temporary file, once there is one
  struct stat old {};
  bool existed = false;
  bool anonymous = false;  // an O_TMPFILE file: it has no name until the commit
  bool done = false;
  int fd = -1;
  mode_t newMode = 0;

  [[noreturn]] void fail() { fail(systemWords(errno)); }
  [[noreturn]] void fail(const QString& why) {
    discard();
    unableToWrite(path, why);
  }
  void discard() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    if (!tempName.isEmpty()) ::unlink(tempName.constData());
    tempName.clear();
  }
  // A fresh name of this program's own kind beside the target, created empty.
  int createNamed() {
    const qsizetype slash = target.lastIndexOf('/');
    tempName =
        folder + "/." + target.mid(slash + 1) + ".tessary-" + QByteArray::number(::getpid()) + "-XXXXXX";
    const int named = ::mkostemp(tempName.data(), O_CLOEXEC);
    if (named < 0) tempName.clear();
    return named;
  }
  // Gives the anonymous file a name, so it can be renamed over the target. The
  // name exists only between this link and the rename right after it.
  bool nameAnonymous() {
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
    const qsizetype slash = target.lastIndexOf('/');
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 20; ++attempt) {
      QByteArray suffix(6, 'x');
      for (char& c : suffix) c = kLetters[QRandomGenerator::global()->bounded(62)];
      tempName =
          folder + "/." + target.mid(slash + 1) + ".tessary-" + QByteArray::number(::getpid()) + '-' + suffix;
      if (::linkat(AT_FDCWD, proc.constData(), AT_FDCWD, tempName.constData(), AT_SYMLINK_FOLLOW) == 0)
        return true;
      const int err = errno;
      tempName.clear();
      if (err != EEXIST) break;
    }
    // No /proc, or a file system that cannot link it: copy into a named file instead.
    const int named = createNamed();
    if (named < 0) return false;
    off_t at = 0;
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || (n > 0 && !writeAll(named, buffer, n))) {
        ::close(named);
        return false;
      }
      if (n == 0) break;
      at += n;
    }
    ::close(fd);
    fd = named;
    return ::fsync(fd) == 0;
  }
};

Writer::Writer(const QString& path, std::optional<unsigned> newMode) : d(std::make_unique<Impl>()) {
  d->path = path;
  d->target = nativePath(path);
  d->newMode = newMode ? static_cast<mode_t>(*newMode & 07777)
                       : (0666 & ~static_cast<mode_t>(AtomicFile::currentUmask()));
  if (::lstat(d->target.constData(), &d->old) == 0) {
    if (S_ISLNK(d->old.st_mode)) {
      // Replace the file the link points at and keep the link itself.
      char resolved[PATH_MAX];
      if (::realpath(d->target.constData(), resolved) != nullptr) {
        d->target = QByteArray(resolved);
        d->existed = ::stat(d->target.constData(), &d->old) == 0;
      } else {
        d->existed = false;  // a dangling link: create the file it names
        char link[PATH_MAX];
        const ssize_t n = ::readlink(d->target.constData(), link, sizeof link - 1);
        if (n <= 0) d->fail();
        const QByteArray dest(link, n);
        d->target = dest.startsWith('/') ? dest : folderOf(d->target) + '/' + dest;
      }
    } else {
      d->existed = true;
    }
    if (d->existed && !S_ISREG(d->old.st_mode)) d->fail(QStringLiteral("it is not a regular file"));
    // A file its owner made read-only is not replaced behind the owner's back. Root
    // may write anything, so for root the permission bits alone decide.
    if (d->existed) {
      const bool writable = ::geteuid() == 0
                                ? (d->old.st_mode & 0222) != 0
                                : ::faccessat(AT_FDCWD, d->target.constData(), W_OK, AT_EACCESS) == 0;
      if (!writable) d->fail(QStringLiteral("the file is read-only"));
    }
  }
  d->folder = folderOf(d->target);
  removeStaleTemporaries(decodePath(d->folder));
  // An anonymous file cannot be left behind by a crash; where the file system
  // has none, a named one of this process's own naming is the fallback.
  d->fd = ::open(d->folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  d->anonymous = d->fd >= 0;
  if (!d->anonymous) d->fd = d->createNamed();
  if (d->fd < 0) d->fail();
}

Writer::~Writer() {
  if (d && !d->done) d->discard();
}

void Writer::append(const char* data, qint64 size) {
  if (d->done || d->fd < 0 || !writeAll(d->fd, data, size)) d->fail();
}

void Writer::commit() {
  if (d->done || d->fd < 0) d->fail();
  bool ok = ::fsync(d->fd) == 0 && !failsHere(Step::Sync);
  if (ok) {
    if (d->existed) {
      // A read-only or shared file stays so; owner and group only where allowed.
      ok = ::fchmod(d->fd, d->old.st_mode & 07777) == 0;
      if (ok && (d->old.st_uid != ::geteuid() || d->old.st_gid != ::getegid()))
        (void)!::fchown(d->fd, d->old.st_uid, d->old.st_gid);
    } else {
      ok = ::fchmod(d->fd, d->newMode) == 0;
    }
  }
  if (ok && d->anonymous) ok = d->nameAnonymous();
  if (ok) ok = !failsHere(Step::Rename) && ::rename(d->tempName.constData(), d->target.constData()) == 0;
  if (ok) {
    d->tempName.clear();  // it is the target now
    const int fd = d->fd;
    d->fd = -1;
    ok = ::close(fd) == 0;
  }
  if (!ok) d->fail();
  d->tempName.clear();
  d->done = true;
  // The rename is durable only once the folder is on disk too.
  Fd dir(::open(d->folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) (void)::fsync(dir.get());
}

void write(const QString& path, const QByteArray& data, std::optional<unsigned> newMode) {
  Writer writer(path, newMode);
  writer.append(data.constData(), data.size());
  writer.commit();
}

std::optional<unsigned> modeOf(const QString& path) {
  struct stat st {};
  if (::stat(nativePath(path).constData(), &st) != 0) return std::nullopt;
  return static_cast<unsigned>(st.st_mode & 07777);
}

int removeStaleTemporaries(const QString& folder) {
  // ".<name>.tessary-<pid>-XXXXXX": left only by a process that died in the
  // middle of a write. One whose process still runs may be in use.
  DIR* dir = ::opendir(nativePath(folder).constData());
  if (!dir) return 0;
  int removed = 0;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const QByteArray name(entry->d_name);
    if (!name.startsWith('.')) continue;
    const qsizetype mark = name.lastIndexOf(".tessary-");
    if (mark < 0) continue;
    const QByteArray rest = name.mid(mark + 9);
    const qsizetype dash = rest.indexOf('-');
    if (dash <= 0 || rest.size() - dash - 1 != 6) continue;
    bool isNumber = false;
    const long pid = rest.left(dash).toLong(&isNumber);
    if (!isNumber || pid <= 0) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // alive, or not ours to judge
    struct stat st {};
    if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::unlinkat(dirFd, entry->d_name, 0) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

unsigned currentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

std::optional<QByteArray> readOwnRegular(const QString& path, unsigned* mode) {
  const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const auto closer = qScopeGuard([fd] { ::close(fd); });
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return std::nullopt;
  if (mode) *mode = st.st_mode & 07777;
  QByteArray data;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    data.append(buffer, n);
  }
  return data;
}

}  // namespace AtomicFile
