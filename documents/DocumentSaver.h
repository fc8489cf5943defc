#pragma once
#include <QString>
#include <optional>

#include "profile/DiskStamp.h"

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
// is. expected, when given, is what the target must still hold: anything else
// (another program wrote it since) throws FileChangedError and nothing is
// written. Throws TessaryError with the reason when anything fails; the target
// is then exactly as it was. Returns the stamp of the file as written.
DiskStamp save(const QString& workingCopy, const QString& target, const QString& backup,
               const std::optional<DiskStamp>& expected = std::nullopt);
inline DiskStamp save(const QString& workingCopy, const QString& target) {
  return save(workingCopy, target, target + QLatin1Char('x'));
}

}  // namespace DocumentSaver
