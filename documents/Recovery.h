#pragma once
#include <QDateTime>
#include <QList>
#include <QString>

// Unsaved edits survive a crash: while a document has unsaved edits, a small
// record lies beside its working copy (base/temp/<copy>.recovery) naming the
// file it belongs to, the time, and the running copy of the program that owns
// it (process id and start time, so a reused process id is no owner). A start
// that finds records of a copy that no longer runs offers to recover them.
namespace Recovery {

struct Record {
  QString recordPath;
  QString workingCopy;
  QString source;   // the document's file; empty for a new document never saved
  QString caption;  // the document's name as its window shows it
  QString type;
  QDateTime time;
  qint64 pid = 0;
  QString started;  // the owner's start time, as the system counts it
  QString disk;     // what the file held when the document read it (DiskStamp text)
};

QString recordPathFor(const QString& workingCopy);
// Writes (or renews) the record of a working copy for this running copy. Never throws.
void write(const QString& workingCopy, const QString& source, const QString& caption, const QString& type,
           const QString& disk = {});
void remove(const QString& workingCopy);
// Records in folder whose owner has ended and whose working copy is still there.
QList<Record> orphans(const QString& folder);
// Whether the process pid still runs and started at started (empty: any start).
bool isRunning(qint64 pid, const QString& started);
QString startTimeOf(qint64 pid);

// Test seam: records written from now on name this owner (0: this process again).
void setOwnerForTesting(qint64 pid, const QString& started);

}  // namespace Recovery
