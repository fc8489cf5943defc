#pragma once
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

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
// The running copy a record names: its process id and start time. Null: this process.
struct Owner {
  qint64 pid = 0;
  QString started;
};
// Writes (or renews) the record of a working copy for owner (by default this
// running copy). Never throws.
void write(const QString& workingCopy, const QString& source, const QString& caption, const QString& type,
           const QString& disk = {}, const Owner& owner = {});
void remove(const QString& workingCopy);
// What a start finds in the working folder: the records of ended copies that
// may be offered, and the ones skipped, each with why. A record counts only
// when the folder is private to the user (mode 0700, no link), the record and
// its working copy are regular files of the user's own (no link followed, no
// pipe opened), the caption is a plain file name and the source a full path.
struct Scan {
  QList<Record> records;
  QStringList skipped;  // "<record>: <why>"
};
Scan scan(const QString& folder);
// The records of scan(folder).
QList<Record> orphans(const QString& folder);
// The working copy's content and permission bits, read as scan() checked it:
// nullopt when it is no longer a regular file of the user's own.
std::optional<QByteArray> readWorkingCopy(const Record& record, unsigned* mode = nullptr);
// Whether the process pid still runs and started at started (empty: it cannot be told, so no).
bool isRunning(qint64 pid, const QString& started);
QString startTimeOf(qint64 pid);

}  // namespace Recovery
