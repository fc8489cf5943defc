// Which process is which on Windows: its id, and its creation time as
// GetProcessTimes gives it (100-nanosecond ticks since 1601), which a later
// process of the same id cannot have.
#include <windows.h>
// After windows.h:
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <QString>
#include <QStringList>
#include <cstdio>
#include <vector>

#include "profile/ProcessIdentity.h"

namespace ProcessIdentity {

qint64 currentPid() { return static_cast<qint64>(GetCurrentProcessId()); }

QString startTimeOf(qint64 pid) {
  if (pid <= 0 || pid > 0xFFFFFFFFLL) return {};
  HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!h) return {};
  FILETIME created{}, exited{}, kernel{}, user{};
  const bool ok = GetProcessTimes(h, &created, &exited, &kernel, &user) != 0;
  CloseHandle(h);
  if (!ok) return {};
  const quint64 ticks = (static_cast<quint64>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  return QString::number(ticks);
}

QString ownExecutable() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      QString path = QString::fromWCharArray(buffer.data(), static_cast<qsizetype>(n));
      if (path.startsWith(QStringLiteral("\\\\?\\"))) path.remove(0, 4);
      return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

QStringList arguments(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  QStringList args;
  for (int i = 1; wide && i < count; ++i) args.append(QString::fromWCharArray(wide[i]));
  if (wide) LocalFree(wide);
  return args;
}

void useBinaryStandardStreams() {
  // A window program started from a console has no output of its own: it
  // writes to that console (--version, --help), unless its output goes elsewhere.
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    (void)std::freopen("CONOUT$", "w", stdout);
    (void)std::freopen("CONOUT$", "w", stderr);
  }
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool isRunning(qint64 pid) {
  if (pid <= 0 || pid > 0xFFFFFFFFLL) return false;
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  // Access denied: it runs, as another user's process.
  if (!h) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  CloseHandle(h);
  return running;
}

}  // namespace ProcessIdentity
