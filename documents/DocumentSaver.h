#pragma once
#include <QString>

class WorkingCopies;

// The save transaction of a document: the target's previous content kept under
// the backup name (target + "x"), the working copy written over the target in
// one atomic replace, and the target's last-write time set to now.
namespace DocumentSaver {

// Why target may not be saved to, or empty when it may. Nothing is saved into
// the working folder: its files belong to open documents.
QString refusal(const WorkingCopies& copies, const QString& target);

// Writes the working copy over target, first keeping target's previous content
// under backup (empty: no backup). An existing backup is older and stays as it
// is. Throws TessaryError with the reason when anything fails; the target is
// then exactly as it was.
void save(const QString& workingCopy, const QString& target, const QString& backup);
inline void save(const QString& workingCopy, const QString& target) {
  save(workingCopy, target, target + QLatin1Char('x'));
}

}  // namespace DocumentSaver
