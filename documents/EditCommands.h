#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QUndoCommand>
#include <optional>
#include <vector>

class ProfileFile;

// One value of the working copy as an edit leaves it: its bytes before and
// after, and whether the key was there before at all.
struct ValueChange {
  QByteArray section;
  QByteArray key;
  QByteArray before;
  QByteArray after;
  bool existed = true;
};

// The changes that copying or swapping ship settings makes, worked out from
// the file as it is; a value that stays as it is makes no change.
namespace ShipEdits {
// Copies every key of section from (or only onlyKey) into each of to. Keys the
// source lacks stay as each target has them.
std::vector<ValueChange> copy(const ProfileFile& file, const QByteArray& from, const QList<QByteArray>& to,
                              const std::optional<QByteArray>& onlyKey = std::nullopt);
// Exchanges the values of a and b key by key (or only onlyKey). A key that only
// one of them has is copied to the other, so nothing is dropped.
std::vector<ValueChange> swap(const ProfileFile& file, const QByteArray& a, const QByteArray& b,
                              const std::optional<QByteArray>& onlyKey = std::nullopt);
// How many settings a copy or swap concerns: the keys of from (copy), of a and b together (swap).
int copyCount(const ProfileFile& file, const QByteArray& from, const std::optional<QByteArray>& onlyKey);
int swapCount(const ProfileFile& file, const QByteArray& a, const QByteArray& b,
              const std::optional<QByteArray>& onlyKey);
// Writes the changes' after (or before) values into file.
void apply(ProfileFile& file, const std::vector<ValueChange>& changes, bool after);
}  // namespace ShipEdits

// What an edit command works on: the document's working copy and its windows.
class EditTarget {
 public:
  virtual ~EditTarget() = default;
  // Writes the values and shows them.
  virtual void writeValues(const std::vector<ValueChange>& changes, bool after) = 0;
  // Puts the working copy back to content and shows it (the undo of an edit that added keys).
  virtual void restoreContent(const QByteArray& content) = 0;
};

// The undo history's entries. Each holds the old and new bytes of the values it
// changed; one that added keys also keeps the working copy's bytes from before,
// since taking a line back out is not a write the file engine makes.
class ValueEditCommand : public QUndoCommand {
 public:
  ValueEditCommand(EditTarget* target, const QString& text, std::vector<ValueChange> changes,
                   std::optional<QByteArray> contentBefore);
  void redo() override;
  void undo() override;
  const std::vector<ValueChange>& changes() const { return m_changes; }
  // The changes were written already: the push's own redo() does nothing.
  void markDone() { m_done = true; }
  // About how many bytes of memory the step holds.
  qint64 memoryCost() const;
  // The same step again, as done already (for a history that drops its oldest steps).
  virtual ValueEditCommand* cloneDone() const = 0;

 protected:
  template <typename T>
  T* cloneAs() const {
    auto* c = new T(m_target, text(), m_changes, m_contentBefore);
    c->markDone();
    return c;
  }

 private:
  bool m_done = false;
  EditTarget* m_target;
  std::vector<ValueChange> m_changes;
  std::optional<QByteArray> m_contentBefore;
};

// A value typed into the edit box (a ship page, "Other", or a tool).
class EditValueCommand : public ValueEditCommand {
 public:
  using ValueEditCommand::ValueEditCommand;
  ValueEditCommand* cloneDone() const override { return cloneAs<EditValueCommand>(); }
};

// "Copy To" / "Copy Setting: To" / "Copy Ship: To".
class CopySettingsCommand : public ValueEditCommand {
 public:
  using ValueEditCommand::ValueEditCommand;
  ValueEditCommand* cloneDone() const override { return cloneAs<CopySettingsCommand>(); }
};

// "Swap With" / "Swap Setting: With" / "Swap Ship: With".
class SwapSettingsCommand : public ValueEditCommand {
 public:
  using ValueEditCommand::ValueEditCommand;
  ValueEditCommand* cloneDone() const override { return cloneAs<SwapSettingsCommand>(); }
};

// Bounds a document's history: at most maxSteps steps and about maxBytes of
// memory; the oldest steps go first (the newest always stays). The clean state
// stays where it was, or, when its step went, no state is clean any more: a
// dropped step never makes a document with unsaved edits look saved. Meant to
// run right after a push. Returns how many steps went.
class QUndoStack;
int trimHistory(QUndoStack* stack, int maxSteps, qint64 maxBytes);

// The content before the changes when they add a key, else nothing.
std::optional<QByteArray> contentIfAdding(const ProfileFile& file, const std::vector<ValueChange>& changes);
