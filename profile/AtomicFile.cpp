#include "profile/AtomicFile.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "profile/TessaryError.h"

namespace {

std::atomic<qint64> g_failAfter{-1};

[[noreturn]] void unableToWrite(const QString& path) {
  throw ProfileWriteError(QStringLiteral("Unable to write to %1").arg(path));
}

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
    const qint64 limit = g_failAfter.load();
    if (limit >= 0) {
      if (limit == 0) {
        errno = ENOSPC;
        return false;
      }
      chunk = std::min(chunk, limit);
      g_failAfter.store(limit - chunk);
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

mode_t currentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
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

bool remove(const QString& path) { return ::unlink(nativePath(path).constData()) == 0; }

void failWritesAfterForTesting(qint64 bytes) { g_failAfter.store(bytes); }

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

void write(const QString& path, const QByteArray& data) {
  QByteArray target = nativePath(path);
  struct stat old {};
  bool existed = false;
  if (::lstat(target.constData(), &old) == 0) {
    if (S_ISLNK(old.st_mode)) {
      // Replace the file the link points at and keep the link itself.
      char resolved[PATH_MAX];
      if (::realpath(target.constData(), resolved) != nullptr) {
        target = QByteArray(resolved);
        existed = ::stat(target.constData(), &old) == 0;
      } else {
        existed = false;  // a dangling link: create the file it names
        char link[PATH_MAX];
        const ssize_t n = ::readlink(target.constData(), link, sizeof link - 1);
        if (n <= 0) unableToWrite(path);
        const QByteArray dest(link, n);
        target = dest.startsWith('/') ? dest : folderOf(target) + '/' + dest;
      }
    } else {
      existed = true;
    }
    if (existed && !S_ISREG(old.st_mode)) unableToWrite(path);
  }

  const QByteArray folder = folderOf(target);
  const qsizetype slash = target.lastIndexOf('/');
  QByteArray templ = folder + "/." + target.mid(slash + 1) + ".tessary-XXXXXX";
  Fd fd(::mkostemp(templ.data(), O_CLOEXEC));
  if (fd.get() < 0) unableToWrite(path);
  const QByteArray temp = templ;
  bool ok = writeAll(fd.get(), data.constData(), data.size()) && ::fsync(fd.get()) == 0;
  if (ok) {
    if (existed) {
      // A read-only or shared file stays so; owner and group only where allowed.
      ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
      if (ok && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
        (void)!::fchown(fd.get(), old.st_uid, old.st_gid);
    } else {
      ok = ::fchmod(fd.get(), 0666 & ~currentUmask()) == 0;
    }
  }
  ok = fd.close() && ok;
  if (ok) ok = ::rename(temp.constData(), target.constData()) == 0;
  if (!ok) {
    ::unlink(temp.constData());
    unableToWrite(path);
  }
  // The rename is durable only once the folder is on disk too.
  Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) (void)::fsync(dir.get());
}

}  // namespace AtomicFile
