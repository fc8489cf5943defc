#include "documents/EditCommands.h"

#include <QSet>
#include <utility>

#include "profile/ProfileFile.h"

namespace {
QByteArray folded(const QByteArray& name) { return name.trimmed().toLower(); }

// The key names of a section, or just onlyKey when the section has it.
QList<QByteArray> keysOf(const ProfileFile& file, const QByteArray& section,
                         const std::optional<QByteArray>& onlyKey) {
  if (onlyKey) return file.hasKey(section, *onlyKey) ? QList<QByteArray>{*onlyKey} : QList<QByteArray>{};
  return file.keyNames(section);
}

// Sets section.key to value unless it already holds it.
void change(std::vector<ValueChange>& out, const ProfileFile& file, const QByteArray& section,
            const QByteArray& key, const QByteArray& value) {
  const bool existed = file.hasKey(section, key);
  const QByteArray before = existed ? file.value(section, key) : QByteArray();
  if (existed && before == value) return;
  out.push_back(ValueChange{section, key, before, value, existed});
}
}  // namespace

namespace ShipEdits {

std::vector<ValueChange> copy(const ProfileFile& file, const QByteArray& from, const QList<QByteArray>& to,
                              const std::optional<QByteArray>& onlyKey) {
  std::vector<ValueChange> out;
  const QList<QByteArray> keys = keysOf(file, from, onlyKey);
  out.reserve(static_cast<std::size_t>(keys.size() * to.size()));
  for (const QByteArray& target : to) {
    if (ProfileFile::sameName(target, from)) continue;
    for (const QByteArray& key : keys) change(out, file, target, key, file.value(from, key));
  }
  return out;
}

std::vector<ValueChange> swap(const ProfileFile& file, const QByteArray& a, const QByteArray& b,
                              const std::optional<QByteArray>& onlyKey) {
  std::vector<ValueChange> out;
  if (ProfileFile::sameName(a, b)) return out;
  const QList<QByteArray> keysA = keysOf(file, a, onlyKey);
  const QList<QByteArray> keysB = keysOf(file, b, onlyKey);
  QSet<QByteArray> inA;
  for (const QByteArray& key : keysA) inA.insert(folded(key));
  // Both sides read before either is written: the values cross.
  for (const QByteArray& key : keysA) {
    const QByteArray valueA = file.value(a, key);
    if (file.hasKey(b, key)) {
      const QByteArray valueB = file.value(b, key);
      if (valueA == valueB) continue;
      out.push_back(ValueChange{a, key, valueA, valueB, true});
      out.push_back(ValueChange{b, key, valueB, valueA, true});
    } else {
      out.push_back(ValueChange{b, key, QByteArray(), valueA, false});
    }
  }
  for (const QByteArray& key : keysB)
    if (!inA.contains(folded(key)))
      out.push_back(ValueChange{a, key, QByteArray(), file.value(b, key), false});
  return out;
}

int copyCount(const ProfileFile& file, const QByteArray& from, const std::optional<QByteArray>& onlyKey) {
  return static_cast<int>(keysOf(file, from, onlyKey).size());
}

int swapCount(const ProfileFile& file, const QByteArray& a, const QByteArray& b,
              const std::optional<QByteArray>& onlyKey) {
  QSet<QByteArray> keys;
  for (const QByteArray& key : keysOf(file, a, onlyKey)) keys.insert(folded(key));
  for (const QByteArray& key : keysOf(file, b, onlyKey)) keys.insert(folded(key));
  return static_cast<int>(keys.size());
}

void apply(ProfileFile& file, const std::vector<ValueChange>& changes, bool after) {
  for (const ValueChange& c : changes)
    if (after || c.existed) file.setValue(c.section, c.key, after ? c.after : c.before);
}

}  // namespace ShipEdits

std::optional<QByteArray> contentIfAdding(const ProfileFile& file, const std::vector<ValueChange>& changes) {
  for (const ValueChange& c : changes)
    if (!c.existed) return file.content();
  return std::nullopt;
}

ValueEditCommand::ValueEditCommand(EditTarget* target, const QString& text, std::vector<ValueChange> changes,
                                   std::optional<QByteArray> contentBefore)
    : QUndoCommand(text),
      m_target(target),
      m_changes(std::move(changes)),
      m_contentBefore(std::move(contentBefore)) {}

void ValueEditCommand::redo() {
  if (std::exchange(m_done, false)) return;
  m_target->writeValues(m_changes, true);
}

void ValueEditCommand::undo() {
  if (m_contentBefore)
    m_target->restoreContent(*m_contentBefore);
  else
    m_target->writeValues(m_changes, false);
}
