#pragma once
// Crash-recovery records as a crashed copy (or someone crafting one) leaves
// them, and real processes that end with kill -9: for the recovery tests with
// and without windows.
#include <QCoreApplication>
#include <QProcess>

#include "documents/Recovery.h"
#include "tests/CoreSupport.h"

// A real process that the test can end as kill -9 does (TerminateProcess on Windows).
struct Sleeper {
  QProcess process;
  Sleeper() {
    process.start(QCoreApplication::applicationFilePath(), sleeperArguments());
    process.waitForStarted(10000);
  }
  qint64 pid() const { return process.processId(); }
  void kill9() {
    process.kill();
    process.waitForFinished(10000);
  }
  ~Sleeper() {
    process.kill();
    process.waitForFinished(5000);
  }
};

// A record as a crashed copy (or someone crafting one) leaves it.
inline void plantRecord(const QString& working, const QByteArray& caption, qint64 pid,
                        const QByteArray& started, const QByteArray& source = {}) {
  writeBytes(Recovery::recordPathFor(working), "[Recovery]\nSource=" + source + "\nCaption=" + caption +
                                                   "\nType=Arena\nPid=" + QByteArray::number(pid) +
                                                   "\nStarted=" + started + "\n");
}

inline qint64 endedPid() {
  Sleeper gone;
  const qint64 pid = gone.pid();
  gone.kill9();
  return pid;
}
