#include "app/Restart.h"

#include <QFileInfo>
#include <QProcess>
#include <cstdio>

#include "app/OneInstance.h"

namespace Restart {

bool startNewCopy(std::unique_ptr<TOneInstance>& lock, const QString& executable, const Starter& start) {
  lock.reset();  // closes the lock file and the socket: the lock is free from here on
  const QStringList arguments{QStringLiteral("--restarted")};
  const QString folder = QFileInfo(executable).absolutePath();
  const bool started =
      start ? start(executable, arguments, folder) : QProcess::startDetached(executable, arguments, folder);
  if (!started)
    std::fprintf(stderr, "tessary: the new build %s could not be started\n",
                 executable.toLocal8Bit().constData());
  return started;
}

}  // namespace Restart
