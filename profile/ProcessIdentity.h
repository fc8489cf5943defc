#pragma once
#include <QString>
#include <QStringList>

// Which process is which, as the system tells it: enough for a record to name
// the running copy that wrote it, so that a later start can tell whether that
// copy still runs (a process id alone may have been taken again since).
namespace ProcessIdentity {
qint64 currentPid();
// When the process started, in the system's own terms; empty when it cannot be told.
QString startTimeOf(qint64 pid);
// The file this program runs from, links resolved; empty when it cannot be told.
// Works before any QCoreApplication exists.
QString ownExecutable();
// The arguments after the program's own name, as the system passed them: a
// file name that is not UTF-8 (Linux) or not in the ANSI code page (Windows,
// where the wide command line is read) still names its file.
QStringList arguments(int argc, char** argv);
// Standard output and error carry the bytes as written: no LF becomes CR LF on
// the way (Windows' text mode), so a script reads the same bytes everywhere.
void useBinaryStandardStreams();
// A process of this id exists (whoever it is).
bool isRunning(qint64 pid);
}  // namespace ProcessIdentity
