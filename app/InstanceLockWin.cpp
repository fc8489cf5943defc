// The single-instance lock on Windows: a named mutex in the session's own
// namespace, named after the executable's file name and the user, which the
// system destroys with its last handle, however the process ends. CreateMutexW
// creates or finds it in one step, so two copies started at the same moment
// cannot both take it.
#include <windows.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

#include "app/InstanceLock.h"
#include "profile/AtomicFile.h"
#include "profile/SystemWin.h"

namespace {
// "Local\Tessary-<user>-<folder>-<executable file name>": one per user and
// executable name (the folder is the user's own runtime folder, the same for
// every copy of that user).
std::wstring mutexName(const QString& lockPath) {
  const QFileInfo info(lockPath);
  QString name = info.fileName();
  if (name.endsWith(QStringLiteral(".lock"))) name.chop(5);
  name.replace(QLatin1Char('\\'), QLatin1Char('_'));
  const QByteArray folder =
      QCryptographicHash::hash(info.absolutePath().toLower().toUtf8(), QCryptographicHash::Sha256)
          .toHex()
          .left(16);
  return (QStringLiteral("Local\\Tessary-") + SystemWin::currentUserSid() + QLatin1Char('-') +
          QString::fromLatin1(folder) + QLatin1Char('-') + name)
      .toStdWString();
}
}  // namespace

struct InstanceLock::Impl {
  HANDLE mutex = nullptr;
};

InstanceLock::InstanceLock() : d(std::make_unique<Impl>()) {}

InstanceLock::~InstanceLock() {
  if (d->mutex) CloseHandle(d->mutex);
}

bool InstanceLock::held() const { return d->mutex != nullptr; }

bool InstanceLock::release(QString* why) {
  const HANDLE mutex = std::exchange(d->mutex, nullptr);
  if (!mutex || CloseHandle(mutex)) return true;
  if (why) *why = SystemWin::errorWords(GetLastError());
  return false;
}

InstanceLock::Result InstanceLock::take(const QString& path, int waitMs, const QString& name, QString* why) {
  const std::wstring mutex = mutexName(path);
  // Made, or found: the one call answers both, so no other copy comes between.
  auto tryTake = [&mutex](HANDLE* made) {
    *made = CreateMutexW(nullptr, FALSE, mutex.c_str());
    if (!*made) return false;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return true;
    CloseHandle(*made);
    *made = nullptr;
    SetLastError(ERROR_ALREADY_EXISTS);
    return false;
  };
  HANDLE made = nullptr;
  bool taken = tryTake(&made);
  if (!taken && GetLastError() == ERROR_ALREADY_EXISTS && waitMs > 0) {
    // The copy that started this one is still ending: its mutex goes with it.
    std::fprintf(stderr, "%s: waiting for the running copy to end\n", name.toLocal8Bit().constData());
    QElapsedTimer clock;
    clock.start();
    while (!taken && GetLastError() == ERROR_ALREADY_EXISTS && clock.elapsed() < waitMs) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      taken = tryTake(&made);
    }
  }
  if (taken) {
    d->mutex = made;
    return Result::Taken;
  }
  const DWORD err = GetLastError();
  if (err == ERROR_ALREADY_EXISTS || err == ERROR_ACCESS_DENIED) return Result::HeldElsewhere;
  *why = SystemWin::errorWords(err);
  return Result::Failed;
}

bool InstanceLock::isHeld(const QString& path) {
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, mutexName(path).c_str());
  if (!mutex) return GetLastError() == ERROR_ACCESS_DENIED;
  CloseHandle(mutex);
  return true;
}

QString InstanceLock::runtimeFolder(QString* why) {
  // %LOCALAPPDATA%\Tessary: the user's own, and it names the hand-over pipe too.
  QString local = qEnvironmentVariable("LOCALAPPDATA");
  if (local.isEmpty() || QDir::isRelativePath(local))
    local = QDir::homePath() + QStringLiteral("/AppData/Local");
  const QString folder = QDir::fromNativeSeparators(local) + QStringLiteral("/Tessary");
  AtomicFile::makePrivateFolder(folder);
  const QString problem = AtomicFile::privateFolderProblem(folder);
  if (problem.isEmpty() && QFileInfo(folder).isDir()) return folder;
  if (why)
    *why = problem.isEmpty() ? QStringLiteral("%1 cannot be made").arg(folder)
                             : folder + QStringLiteral(": ") + problem;
  return {};
}
