#include "documents/DocumentSaver.h"

#include <QDateTime>
#include <QFileInfo>

#include "documents/ConfigModel.h"
#include "documents/WorkingCopies.h"
#include "profile/AtomicFile.h"
#include "profile/TessaryError.h"

namespace DocumentSaver {

QString refusal(const WorkingCopies& copies, const QString& target) {
  if (!copies.isInsideFolder(target)) return {};
  return QStringLiteral(
             "%1 is in the program's folder of working copies (%2), which hold the unsaved content of open "
             "documents.\nPlease choose another name or folder.")
      .arg(target, copies.folder());
}

DiskStamp save(const QString& workingCopy, const QString& target, const QString& backup,
               const std::optional<DiskStamp>& expected) {
  const std::optional<QByteArray> data = AtomicFile::read(workingCopy);
  if (!data)
    throw TessaryError(
        QStringLiteral("The working copy %1 is missing, so nothing was saved").arg(workingCopy));
  const std::optional<QByteArray> previous = AtomicFile::read(target);
  // The last look before the replace: what the user agreed to replace is what is there.
  if (expected && expected->contentDiffers(DiskStamp(*expected).withContent(previous)))
    throw FileChangedError(QStringLiteral("%1 has changed on disk, so it was not replaced").arg(target));
  if (previous && !backup.isEmpty()) {
    // Users restore from name + "x"; an older backup there is kept as it is.
    if (!AtomicFile::exists(backup)) {
      try {
        // A private file's backup is as private as the file.
        AtomicFile::write(backup, *previous, AtomicFile::modeOf(target));
      } catch (const TessaryError& e) {
        throw TessaryError(QStringLiteral("Unable to write the backup %1, so %2 was not replaced (%3)")
                               .arg(backup, target, e.message()));
      }
    }
  }
  AtomicFile::write(target, *data);
  setFileModifiedTime(target, QDateTime::currentDateTime());
  DiskStamp written = DiskStamp::look(target);
  return written.withContent(*data);
}

}  // namespace DocumentSaver
