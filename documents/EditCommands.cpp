#include "documents/EditCommands.h"

#include <QSet>
#include <QSignalBlocker>
#include <QUndoStack>
#include <utility>

#include "profile/ProfileFile.h"

namespace {
// "The same setting name" is the file's own rule.
QByteArray folded(const QByteArray& name) { return ProfileFile::foldedName(name); }

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

qint64 ValueEditCommand::memoryCost() const {
  // Each byte array carries a header of its own besides its bytes.
  constexpr qint64 kPerArray = 32;
  qint64 cost =
      static_cast<qint64>(sizeof(*this)) + (m_contentBefore ? m_contentBefore->size() + kPerArray : 0);
  for (const ValueChange& c : m_changes)
    cost += static_cast<qint64>(sizeof(ValueChange)) + 4 * kPerArray + c.section.size() + c.key.size() +
            c.before.size() + c.after.size();
  return cost;
}

int trimHistory(QUndoStack* stack, int maxSteps, qint64 maxBytes) {
  const int count = stack->count();
  if (count <= 1 || stack->index() != count) return 0;
  std::vector<qint64> costs;
  qint64 total = 0;
  for (int i = 0; i < count; ++i) {
    const auto* step = dynamic_cast<const ValueEditCommand*>(stack->command(i));
    if (!step) return 0;  // a history of other steps is left alone
    costs.push_back(step->memoryCost());
    total += costs.back();
  }
  int drop = 0;
  while (count - drop > 1 && (count - drop > maxSteps || total > maxBytes))
    total -= costs[static_cast<std::size_t>(drop++)];
  if (drop == 0) return 0;
  // QUndoStack drops old steps only by a limit set while it is empty: the kept
  // steps go back onto it as steps already done, and nothing is written.
  std::vector<ValueEditCommand*> kept;
  for (int i = drop; i < count; ++i)
    kept.push_back(static_cast<const ValueEditCommand*>(stack->command(i))->cloneDone());
  const int clean = stack->cleanIndex();
  const QSignalBlocker quiet(stack);  // nothing the windows show changes: the same steps on top
  stack->clear();
  if (clean == drop) stack->setClean();
  for (std::size_t i = 0; i < kept.size(); ++i) {
    stack->push(kept[i]);
    if (clean == drop + static_cast<int>(i) + 1) stack->setClean();
  }
  if (clean < drop) stack->resetClean();
  return drop;
}
