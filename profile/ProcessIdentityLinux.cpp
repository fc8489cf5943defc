#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "profile/AtomicFile.h"
#include "profile/ProcessIdentity.h"

namespace ProcessIdentity {

qint64 currentPid() { return static_cast<qint64>(::getpid()); }

QString startTimeOf(qint64 pid) {
  // Field 22 of /proc/<pid>/stat, after the command name in parentheses (which may hold blanks).
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return {};
  const QByteArray text = stat.readAll();
  const qsizetype close = text.lastIndexOf(')');
  if (close < 0) return {};
  const QList<QByteArray> fields = text.mid(close + 2).split(' ');
  return fields.size() > 19 ? QString::fromLatin1(fields[19]) : QString();
}

QString ownExecutable() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  return n > 0 ? AtomicFile::decodePath(QByteArray(self, static_cast<qsizetype>(n))) : QString();
}

QStringList arguments(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args.append(AtomicFile::decodePath(QByteArray(argv[i])));
  return args;
}

void useBinaryStandardStreams() {}

bool isRunning(qint64 pid) {
  if (pid <= 0) return false;
  // EPERM: it runs, as another user's process.
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

}  // namespace ProcessIdentity
