// The single-instance lock on POSIX systems: flock() on a file of the user's
// own, which the kernel releases with the process.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

#include "app/InstanceLock.h"
#include "profile/AtomicFile.h"

namespace {
QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// A folder that only this user can use: a real folder (not a link), owned by
// the user, with no access for group or others.
bool isPrivateFolder(const QByteArray& path, QString* why) {
  struct stat st {};
  if (::lstat(path.constData(), &st) != 0) {
    *why = QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(path),
                                        QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *why = QStringLiteral("%1 is not a folder").arg(QString::fromLocal8Bit(path));
    return false;
  }
  if (st.st_uid != ::geteuid()) {
    *why = QStringLiteral("%1 belongs to another user").arg(QString::fromLocal8Bit(path));
    return false;
  }
  if ((st.st_mode & 077) != 0) {
    *why = QStringLiteral("%1 is open to other users").arg(QString::fromLocal8Bit(path));
    return false;
  }
  return true;
}

// Makes (or finds) a private folder of this user's at path.
bool privateFolder(const QByteArray& path, QString* why) {
  if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
    *why = QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(path),
                                        QString::fromLocal8Bit(std::strerror(errno)));
    return false;
  }
  return isPrivateFolder(path, why);
}
}  // namespace

struct InstanceLock::Impl {
  int fd = -1;
};

InstanceLock::InstanceLock() : d(std::make_unique<Impl>()) {}

InstanceLock::~InstanceLock() {
  if (d->fd >= 0) ::close(d->fd);
}

bool InstanceLock::held() const { return d->fd >= 0; }

bool InstanceLock::release(QString* why) {
  const int fd = std::exchange(d->fd, -1);
  if (fd < 0 || ::close(fd) == 0) return true;
  if (why) *why = systemError(errno);
  return false;
}

InstanceLock::Result InstanceLock::take(const QString& path, int waitMs, const QString& name, QString* why) {
  // Never through a link: nobody may point this program's lock at a file of their choosing.
  const int fd =
      ::open(AtomicFile::nativePath(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    *why = systemError(errno);
    return Result::Failed;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);
    *why = QStringLiteral("%1 is not a file of this user's").arg(path);
    return Result::Failed;
  }
  auto tryLock = [fd] { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; };
  bool locked = tryLock();
  if (!locked && errno == EWOULDBLOCK && waitMs > 0) {
    // The copy that started this one is still ending: its lock goes with it.
    std::fprintf(stderr, "%s: waiting for the running copy to end\n", name.toLocal8Bit().constData());
    QElapsedTimer clock;
    clock.start();
    while (!locked && errno == EWOULDBLOCK && clock.elapsed() < waitMs) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      locked = tryLock();
    }
  }
  if (locked) {
    d->fd = fd;
    return Result::Taken;
  }
  const int err = errno;
  ::close(fd);
  if (err == EWOULDBLOCK) return Result::HeldElsewhere;
  *why = systemError(err);
  return Result::Failed;
}

bool InstanceLock::isHeld(const QString& path) {
  const int fd = ::open(AtomicFile::nativePath(path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

QString InstanceLock::runtimeFolder(QString* why) {
  QString reasons;
  QString reason;
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty()) {
    if (isPrivateFolder(runtime, &reason)) return AtomicFile::decodePath(runtime);
    reasons += reason + QLatin1Char('\n');
  }
  const QByteArray tmp =
      AtomicFile::nativePath(QDir::tempPath()) + "/tessary-" + QByteArray::number(::geteuid());
  if (privateFolder(tmp, &reason)) return AtomicFile::decodePath(tmp);
  reasons += reason + QLatin1Char('\n');
  QByteArray cache = qgetenv("XDG_CACHE_HOME");
  if (cache.isEmpty()) cache = qgetenv("HOME") + "/.cache";
  if (::mkdir(cache.constData(), 0700) == 0 || errno == EEXIST) {
    const QByteArray own = cache + "/tessary";
    if (privateFolder(own, &reason)) return AtomicFile::decodePath(own);
    reasons += reason;
  }
  if (why) *why = reasons.trimmed();
  return {};
}
