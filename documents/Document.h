#pragma once
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "documents/ConfigModel.h"
#include "documents/EditCommands.h"
#include "documents/Recovery.h"
#include "profile/DiskStamp.h"
#include "profile/ProfileFile.h"

class QUndoStack;
class WorkingCopies;

// One open configuration file, without a window: its working copy under
// base/temp/ (every edit lands there at once, so nothing typed is lost), the
// undo history of its edits, copies and swaps, the recovery record that names
// it while it has unsaved edits, what its file held when it was read, and the
// save. Windows show a Document and listen to its signals; the compare window
// and the side panel read it.
class Document : public QObject, public EditTarget {
  Q_OBJECT
 public:
  explicit Document(WorkingCopies& workingCopies, QObject* parent = nullptr);
  ~Document() override;

  QString caption() const { return m_caption; }  // the window's title without the unsaved mark
  void setCaption(const QString& caption);
  QString filePath() const { return m_filePath; }
  void setFilePath(const QString& path);
  QString type() const { return m_type; }
  void setType(const QString& type);
  QString workingCopy() const { return m_workingCopy; }
  void setWorkingCopy(const QString& path);
  bool isNew() const { return m_new; }
  void setNew(bool isNew) { m_new = isNew; }
  bool isModified() const { return m_modified; }
  // While there are unsaved edits, a record beside the working copy names the document's file.
  void setModified(bool modified);
  // A document brought back after a crash: it differs from its file until saved.
  void markRecovered();
  // The program is ending without questions: the recovery record stays with the working copy.
  void keepRecoveryRecord() { m_keepRecord = true; }
  // Whom the recovery record names (by default this running copy; a test names a copy it then ends).
  void setRecoveryOwner(const Recovery::Owner& owner) { m_owner = owner; }

  // The history; clean while the document matches its file. It keeps at most
  // kHistorySteps steps and about kHistoryBytes of memory, the oldest going first.
  QUndoStack* undoStack() const { return m_undo; }
  static constexpr int kHistorySteps = 100;
  static constexpr qint64 kHistoryBytes = 64LL * 1024 * 1024;
  void setHistoryLimits(int steps, qint64 bytes) {
    m_historySteps = steps;
    m_historyBytes = bytes;
  }

  // What the pages show, read from the working copy.
  ConfigData read() const;
  ProfileFile::TextEntries sectionRows(const QString& section) const;
  // The working copy as it is now, parsed once and kept while nothing else writes it.
  const ProfileFile& content() const;

  // One value typed in: one step of the history. False when the working copy holds it already.
  // Throws when the working copy cannot be written; then nothing changed.
  bool editValue(const QString& section, const QString& key, const QString& value);

  // A copy or swap of ship settings, worked out before it is asked about.
  struct ShipPlan {
    enum class Kind { Copy, Swap } kind = Kind::Copy;
    QString question;  // "Copy the 12 settings of Warbird to Javelin?"
    QString text;      // the history step's name
    std::vector<ValueChange> changes;
    std::optional<QByteArray> contentBefore;
  };
  // toShip -1: the seven other ships. key empty: every setting of the ship.
  ShipPlan planCopy(int fromShip, int toShip, const QString& key) const;
  ShipPlan planSwap(int shipA, int shipB, const QString& key) const;
  // Makes the plan one step of the history (nothing when it changes nothing).
  void apply(ShipPlan plan);

  // EditTarget: the history's steps write through these.
  void writeValues(const std::vector<ValueChange>& changes, bool after) override;
  void restoreContent(const QByteArray& content) override;

  // What the document's file held when the document last read or wrote it.
  const DiskStamp& diskStamp() const { return m_diskStamp; }
  void setDiskStamp(const DiskStamp& stamp) { m_diskStamp = stamp; }
  // The document's file as it is now, against what the document read.
  enum class DiskState { Same, Changed, Deleted };
  DiskState diskState(DiskStamp* now = nullptr) const;
  // True when path names the document's own file (links followed).
  bool isOwnFile(const QString& path) const;
  // Reads the document's file again: its edits and history go.
  void reloadFromDisk();
  // Writes the working copy over target (backup: where target's old content goes,
  // empty for none); expected: what target must still hold. The document then
  // belongs to target and is clean. Throws when the save fails; nothing changes then.
  void saveTo(const QString& target, const QString& backup, const std::optional<DiskStamp>& expected);

 Q_SIGNALS:
  void modifiedChanged(bool modified);
  void identityChanged();  // caption, path or type
  // Values of the working copy changed (after: to the changes' after values).
  void valuesChanged(const std::vector<ValueChange>& changes, bool after);
  // The working copy was replaced as a whole: everything shown is read again.
  void contentReplaced();
  // A step of the history could not be written; the history is gone. Called inside the catch.
  void historyFailed();
  // The document was written to its file (which may have a new path).
  void saved();

 private:
  ProfileFile& parsed() const;
  void historyWriteFailed();
  void requireWorkingCopy() const;
  void push(ValueEditCommand* command);
  void writeValuesOrThrow(const std::vector<ValueChange>& changes, bool after);
  void forgetContent() const { m_content.reset(); }
  void writeWhole(const QByteArray& bytes);

  WorkingCopies& m_workingCopies;
  QUndoStack* m_undo = nullptr;
  QString m_caption;
  QString m_filePath;
  QString m_type;
  QString m_workingCopy;
  bool m_modified = false;
  bool m_new = false;
  bool m_keepRecord = false;
  Recovery::Owner m_owner;
  DiskStamp m_diskStamp;
  int m_historySteps = kHistorySteps;
  qint64 m_historyBytes = kHistoryBytes;
  // The parsed working copy and the stamp of what it read: another writer
  // (a tool writing the file directly) makes the stamp differ, and it is read again.
  mutable std::unique_ptr<ProfileFile> m_content;
  mutable DiskStamp m_contentStamp;
};
