#pragma once
#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "profile/DiskStamp.h"

// The working copies of one running copy of the program: a document's edits go
// to its working copy in the working folder (base/temp/) until it is saved.
//
// Each working copy gets a name of its own, after the document's file name,
// that neither another document of this copy nor any file already in the
// folder uses (another running copy keeps its working copies there too).
// At the end this copy removes exactly the files it made, and nothing else.
class WorkingCopies {
 public:
  explicit WorkingCopies(const QString& folder);
  WorkingCopies(const WorkingCopies&) = delete;
  WorkingCopies& operator=(const WorkingCopies&) = delete;

  const QString& folder() const { return m_folder; }

  // Makes a working copy named after fileName holding the content of source
  // (empty when source does not exist); returns its path. The source is only
  // read, even when it lies in the working folder itself. Throws
  // ProfileReadError when source cannot be read and ProfileWriteError when the
  // copy cannot be written; then no file is left behind.
  // stamp, when given, receives what the source held as it was read.
  QString create(const QString& fileName, const QString& source, DiskStamp* stamp = nullptr);
  // The same with given content; mode: the copy's permission bits (default: 0666 less the umask).
  QString createWith(const QString& fileName, const QByteArray& content,
                     std::optional<unsigned> mode = std::nullopt);

  // After a save under fileName the working copy takes a name after it, so it
  // still holds the document's whole content; returns the (maybe unchanged)
  // path. When the rename fails the old working copy stays in use.
  QString follow(const QString& workingCopy, const QString& fileName);

  bool owns(const QString& path) const;
  QStringList paths() const { return m_made; }
  // True when path lies in the working folder (symbolic links followed).
  bool isInsideFolder(const QString& path) const;

  // Leaves the working copy at path in place at the end (unsaved edits after a forced end).
  void keep(const QString& path) { m_made.removeAll(QDir::cleanPath(path)); }
  // For tests: runs right before follow() renames to a name (another copy may take it then).
  std::function<void(const QString& to)> beforeRename;

  // Removes every working copy this copy of the program made.
  void removeAll();

 private:
  QString freeName(const QString& fileName) const;
  void makeFolder() const;  // the folder, mode 0700

  QString m_folder;
  QStringList m_made;
};
