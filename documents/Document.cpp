#include "documents/Document.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QUndoStack>
#include <utility>

#include "documents/DocumentSaver.h"
#include "documents/Recovery.h"
#include "documents/WorkingCopies.h"
#include "profile/AtomicFile.h"
#include "profile/TessaryError.h"
#include "profile/TextCodec.h"

Document::Document(WorkingCopies& workingCopies, QObject* parent)
    : QObject(parent), m_workingCopies(workingCopies) {
  // The history lives as long as the document; the unsaved mark follows it back and forth.
  m_undo = new QUndoStack(this);
  m_undo->setObjectName(QStringLiteral("UndoStack"));
  connect(m_undo, &QUndoStack::cleanChanged, this, [this](bool clean) { setModified(!clean); });
}

Document::~Document() {
  // The history goes first, and silently: its end is no change of the document,
  // for the document or for anyone following its history.
  m_undo->disconnect();
  delete std::exchange(m_undo, nullptr);
  if (!m_keepRecord && m_modified) Recovery::remove(m_workingCopy);
}

void Document::setCaption(const QString& caption) {
  m_caption = caption;
  Q_EMIT identityChanged();
}

void Document::setFilePath(const QString& path) {
  m_filePath = path;
  Q_EMIT identityChanged();
}

void Document::setType(const QString& type) {
  m_type = type;
  Q_EMIT identityChanged();
}

void Document::setWorkingCopy(const QString& path) {
  m_workingCopy = path;
  forgetContent();
}

void Document::setModified(bool modified) {
  if (modified && !m_workingCopy.isEmpty())
    Recovery::write(m_workingCopy, m_new ? QString() : m_filePath, m_caption, m_type,
                    m_new ? QString() : m_diskStamp.toText(), m_owner);
  else if (m_modified && !modified)
    Recovery::remove(m_workingCopy);
  m_modified = modified;
  Q_EMIT modifiedChanged(modified);
}

void Document::markRecovered() {
  m_undo->resetClean();  // no step of this history matches the file
  setModified(true);
}

const ProfileFile& Document::content() const { return parsed(); }

ProfileFile& Document::parsed() const {
  // Size and time in nanoseconds tell whether anyone wrote the working copy
  // since it was parsed; the few tools that write it directly are caught so.
  const DiskStamp now = DiskStamp::look(m_workingCopy);
  if (!m_content || m_contentStamp.looksDifferent(now)) {
    m_content.reset();
    auto parsed = std::make_unique<ProfileFile>(m_workingCopy);
    m_contentStamp = now;
    m_content = std::move(parsed);
  }
  return *m_content;
}

ConfigData Document::read() const { return configDataOf(content()); }

ProfileFile::TextEntries Document::sectionRows(const QString& section) const {
  return content().textEntries(section);
}

void Document::requireWorkingCopy() const {
  // Writing into a missing working copy would create a file holding only this
  // change, and a later save would put that over the user's file.
  if (!AtomicFile::exists(m_workingCopy))
    throw TessaryError(
        QStringLiteral("The working copy %1 is missing, so the change cannot be kept").arg(m_workingCopy));
}

bool Document::editValue(const QString& section, const QString& key, const QString& value) {
  requireWorkingCopy();
  const ProfileFile& file = content();
  const ProfileFile::Encoded e = file.encode(section, key, value);
  const bool existed = file.hasKey(e.section, e.key);
  const QByteArray before = existed ? file.value(e.section, e.key) : QByteArray();
  if (existed && before == e.value) return false;  // nothing to write, nothing to take back
  std::vector<ValueChange> changes{ValueChange{e.section, e.key, before, e.value, existed}};
  std::optional<QByteArray> contentBefore = contentIfAdding(file, changes);
  push(new EditValueCommand(this, QStringLiteral("Edit %1 %2").arg(section, key), std::move(changes),
                            std::move(contentBefore)));
  return true;
}

Document::ShipPlan Document::planCopy(int fromShip, int toShip, const QString& key) const {
  ShipPlan plan;
  if (fromShip < 0 || fromShip >= Ships::kCount || toShip == fromShip || toShip >= Ships::kCount) return plan;
  requireWorkingCopy();
  const ProfileFile& file = content();
  const QString from = Ships::names()[static_cast<size_t>(fromShip)];
  const bool onlyOne = !key.isEmpty();
  const ProfileFile::Encoded source = file.encode(from, key, QString());
  const std::optional<QByteArray> only = onlyOne ? std::optional<QByteArray>(source.key) : std::nullopt;
  QList<QByteArray> targets;
  for (int i = 0; i < Ships::kCount; ++i)
    if (i != fromShip && (toShip < 0 || i == toShip))
      targets.append(file.encode(Ships::names()[static_cast<size_t>(i)], QString(), QString()).section);
  const QString where =
      toShip < 0 ? QStringLiteral("the seven other ships") : Ships::names()[static_cast<size_t>(toShip)];
  const QString what = onlyOne ? QStringLiteral("the setting %1 of %2").arg(key, from)
                               : QStringLiteral("the %1 settings of %2")
                                     .arg(ShipEdits::copyCount(file, source.section, only))
                                     .arg(from);
  plan.kind = ShipPlan::Kind::Copy;
  plan.question = QStringLiteral("Copy %1 to %2?").arg(what, where);
  plan.text = QStringLiteral("Copy %1 to %2").arg(what, where);
  plan.changes = ShipEdits::copy(file, source.section, targets, only);
  plan.contentBefore = contentIfAdding(file, plan.changes);
  return plan;
}

Document::ShipPlan Document::planSwap(int shipA, int shipB, const QString& key) const {
  ShipPlan plan;
  plan.kind = ShipPlan::Kind::Swap;
  if (shipA < 0 || shipA >= Ships::kCount || shipB < 0 || shipB >= Ships::kCount || shipA == shipB)
    return plan;
  requireWorkingCopy();
  const ProfileFile& file = content();
  const QString a = Ships::names()[static_cast<size_t>(shipA)];
  const QString b = Ships::names()[static_cast<size_t>(shipB)];
  const bool onlyOne = !key.isEmpty();
  const ProfileFile::Encoded sideA = file.encode(a, key, QString());
  const QByteArray sectionB = file.encode(b, key, QString()).section;
  const std::optional<QByteArray> only = onlyOne ? std::optional<QByteArray>(sideA.key) : std::nullopt;
  const QString what = onlyOne ? QStringLiteral("the setting %1 of %2").arg(key, a)
                               : QStringLiteral("the %1 settings of %2")
                                     .arg(ShipEdits::swapCount(file, sideA.section, sectionB, only))
                                     .arg(a);
  plan.question = QStringLiteral("Swap %1 with %2?").arg(what, b);
  plan.text = QStringLiteral("Swap %1 with %2").arg(what, b);
  plan.changes = ShipEdits::swap(file, sideA.section, sectionB, only);
  plan.contentBefore = contentIfAdding(file, plan.changes);
  return plan;
}

void Document::apply(ShipPlan plan) {
  if (plan.changes.empty()) return;  // the targets hold these values already
  if (plan.kind == ShipPlan::Kind::Copy)
    push(new CopySettingsCommand(this, plan.text, std::move(plan.changes), std::move(plan.contentBefore)));
  else
    push(new SwapSettingsCommand(this, plan.text, std::move(plan.changes), std::move(plan.contentBefore)));
}

void Document::push(ValueEditCommand* command) {
  std::unique_ptr<ValueEditCommand> owned(command);
  writeValuesOrThrow(command->changes(), true);  // a failure throws here and leaves no step
  owned->markDone();
  m_undo->push(owned.release());
  trimHistory(m_undo, m_historySteps, m_historyBytes);
}

void Document::writeValuesOrThrow(const std::vector<ValueChange>& changes, bool after) {
  requireWorkingCopy();
  // The parsed copy takes the changes, and the working copy its new bytes in
  // one atomic replace; when that fails, the parsed copy is read again from
  // the file, which stayed as it was.
  ProfileFile& file = parsed();
  try {
    ShipEdits::apply(file, changes, after);
    file.commit();
  } catch (...) {
    file.abandon();  // half of the changes, or ones the disk did not take
    forgetContent();
    throw;
  }
  m_contentStamp = DiskStamp::look(m_workingCopy);
  Q_EMIT valuesChanged(changes, after);
}

void Document::writeValues(const std::vector<ValueChange>& changes, bool after) {
  try {
    writeValuesOrThrow(changes, after);
  } catch (...) {
    historyWriteFailed();
  }
}

void Document::historyWriteFailed() {
  // The working copy stays as it was (every write is whole or nothing), so the
  // history no longer matches it: it goes, and the document counts as changed.
  Q_EMIT historyFailed();
  // Not now: the stack is in the middle of the step that failed.
  QTimer::singleShot(0, this, [this] {
    m_undo->clear();
    // A cleared stack counts as clean; no state of it matches the file now.
    m_undo->resetClean();
    setModified(true);
    Q_EMIT contentReplaced();
  });
}

void Document::writeWhole(const QByteArray& bytes) {
  requireWorkingCopy();
  forgetContent();
  AtomicFile::write(m_workingCopy, bytes);
}

void Document::restoreContent(const QByteArray& bytes) {
  try {
    writeWhole(bytes);
    Q_EMIT contentReplaced();
  } catch (...) {
    historyWriteFailed();
  }
}

Document::DiskState Document::diskState(DiskStamp* nowOut) const {
  if (m_new || !QDir::isAbsolutePath(m_filePath)) return DiskState::Same;
  const DiskStamp now = DiskStamp::of(m_filePath);
  if (nowOut) *nowOut = now;
  if (!m_diskStamp.contentDiffers(now)) return DiskState::Same;
  return now.exists ? DiskState::Changed : DiskState::Deleted;
}

bool Document::isOwnFile(const QString& path) const {
  if (m_new || !QDir::isAbsolutePath(m_filePath)) return false;
  if (QDir::cleanPath(path) == QDir::cleanPath(m_filePath)) return true;
  const QString a = QFileInfo(path).canonicalFilePath();
  return !a.isEmpty() && a == QFileInfo(m_filePath).canonicalFilePath();
}

void Document::reloadFromDisk() {
  DiskStamp seen = DiskStamp::look(m_filePath);
  const std::optional<QByteArray> bytes = AtomicFile::read(m_filePath);
  if (!bytes)
    throw TessaryError(QStringLiteral("%1 no longer exists, so it cannot be read again").arg(m_filePath));
  writeWhole(*bytes);
  m_diskStamp = seen.withContent(bytes);
  m_undo->clear();  // the history was of the content that is gone; the file is the clean state
  setModified(false);
  Q_EMIT contentReplaced();
}

void Document::saveTo(const QString& target, const QString& backup,
                      const std::optional<DiskStamp>& expected) {
  m_diskStamp = DocumentSaver::save(m_workingCopy, target, backup, expected);
  m_caption = QFileInfo(target).fileName();
  m_filePath = target;
  // The working copy follows the document, so later edits and saves keep its whole content.
  Recovery::remove(m_workingCopy);
  setWorkingCopy(m_workingCopies.follow(m_workingCopy, m_caption));
  m_new = false;
  m_undo->setClean();  // undoing from here makes the document differ from its file again
  setModified(false);
  Q_EMIT identityChanged();
  Q_EMIT saved();
}
