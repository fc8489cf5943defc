// Closing and saving a document window: the close question, the save dialog,
// the question before a file is replaced (or found changed on disk), the range
// check, and the save itself.
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>

#include "components/Prompts.h"
#include "documents/DocumentHost.h"
#include "documents/DocumentSaver.h"
#include "documents/MDIChild.h"
#include "documents/RangeCheck.h"
#include "documents/WorkingCopies.h"
#include "prefs/Preferences.h"
#include "profile/TessaryError.h"

bool TMDIChild::confirmClose() {
  if (!isModified()) return true;
  const auto answer = m_prompts.message(this, QMessageBox::Question, applicationTitle(),
                                        QStringLiteral("Save changes to %1?").arg(fileName()),
                                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
  if (answer == QMessageBox::Save) return saveWithDialog();
  return answer == QMessageBox::Discard;
}

void TMDIChild::closeEvent(QCloseEvent* event) {
  if (!m_closeConfirmed &&
      !confirmClosing({QPointer<TMDIChild>(this)}, [this] { m_main->reportException(); })) {
    event->ignore();
    return;
  }
  event->accept();
  Q_EMIT formClosed();
}

bool TMDIChild::saveWithDialog() {
  // A document never saved offers its name in the user's folder, not in the
  // program's current folder (base/temp/, the working copies).
  const QString path = filePath();
  const QString proposed = QDir::isAbsolutePath(path) && !m_workingCopies.isInsideFolder(path)
                               ? path
                               : Preferences(m_paths).dialogFolder() + QLatin1Char('/') + fileName();
  for (;;) {
    const std::optional<QString> chosen = m_prompts.saveFile(this, QStringLiteral("File Save/Save As"),
                                                             QStringLiteral("Config File(*.cfg)"), proposed);
    if (!chosen || chosen->isEmpty()) return false;
    const QString target = *chosen;
    if (const QString refused = DocumentSaver::refusal(m_workingCopies, target); !refused.isEmpty()) {
      m_prompts.message(this, QMessageBox::Warning, applicationTitle(), refused);
      continue;
    }
    for (;;) {
      std::optional<DiskStamp> expected;
      const ReplaceAnswer answer = confirmReplace(target, expected);
      if (answer == ReplaceAnswer::Stop) return false;
      if (answer == ReplaceAnswer::ChooseAgain) break;
      if (!passesRangeCheck()) return false;
      try {
        saveTo(target, expected);
        return true;
      } catch (const FileChangedError&) {
        // Written by someone else between the question and the replace: ask again.
      }
    }
  }
}

TMDIChild::ReplaceAnswer TMDIChild::confirmReplace(const QString& target,
                                                   std::optional<DiskStamp>& expected) {
  if (m_doc->isOwnFile(target)) {
    DiskStamp now;
    const DiskState state = diskState(&now);
    if (state == DiskState::Changed) {
      const auto answer = m_prompts.choose(
          this, QMessageBox::Warning, applicationTitle(),
          QStringLiteral(
              "%1 has changed on disk since this document read it (another program or another copy of "
              "Tessary wrote it).\n\nOverwrite it with this document, and lose what was written there; "
              "reload it from disk, and lose this document's unsaved changes; or cancel? Compare shows what "
              "differs first.")
              .arg(target),
          {{QMessageBox::Save, QStringLiteral("&Overwrite")},
           {QMessageBox::Reset, QStringLiteral("&Reload")},
           {QMessageBox::Open, QStringLiteral("Co&mpare")},
           {QMessageBox::Cancel, QStringLiteral("&Cancel")}});
      if (answer == QMessageBox::Open) {
        // Nothing is saved; the list shows this document against the file as it is now.
        m_main->compareWithFile(this, target);
        return ReplaceAnswer::Stop;
      }
      if (answer == QMessageBox::Save) {
        expected = now;
        return ReplaceAnswer::Replace;
      }
      if (answer == QMessageBox::Reset &&
          (!isModified() ||
           m_prompts.message(this, QMessageBox::Warning, applicationTitle(),
                             QStringLiteral("Discard the unsaved changes to %1 and read the file "
                                            "again from disk?\n\nYou Cannot Undo This Operation!")
                                 .arg(fileName()),
                             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes))
        reloadFromDisk();
      return ReplaceAnswer::Stop;
    }
    if (state == DiskState::Deleted) {
      const auto answer = m_prompts.choose(
          this, QMessageBox::Warning, applicationTitle(),
          QStringLiteral("%1 has been deleted or moved since this document read it.\n\nSave it there again?")
              .arg(target),
          {{QMessageBox::Save, QStringLiteral("&Save")}, {QMessageBox::Cancel, QStringLiteral("&Cancel")}});
      if (answer != QMessageBox::Save) return ReplaceAnswer::Stop;
      expected = DiskStamp{};  // still missing when it is written
      return ReplaceAnswer::Replace;
    }
    expected = now;
  } else {
    expected = DiskStamp::of(target);
  }
  // Asked only for a file that is there: a new name replaces nothing.
  if (expected->exists) {
    const auto answer = m_prompts.message(
        this, QMessageBox::Warning, QStringLiteral("Warning"),
        QStringLiteral("Are You Sure You Want To Overwrite \n%1 ???\n\nYou Cannot Undo This Operation!")
            .arg(target),
        QMessageBox::Ok | QMessageBox::Cancel);
    if (answer != QMessageBox::Ok) return ReplaceAnswer::ChooseAgain;
  }
  return ReplaceAnswer::Replace;
}

bool TMDIChild::passesRangeCheck() {
  if (!Preferences(m_paths).checkOnSave()) return true;
  // The range check first; findings are the user's call, not a refusal.
  const QList<RangeCheck::Finding> findings =
      RangeCheck::check(m_doc->content(), RangeCheck::loadRules(m_paths.rulesFile()));
  if (findings.isEmpty()) return true;
  QStringList lines;
  for (qsizetype i = 0; i < findings.size() && i < 10; ++i) lines.append(findings[i].text());
  if (findings.size() > 10) lines.append(QStringLiteral("..."));
  return m_prompts.message(
             this, QMessageBox::Warning, applicationTitle(),
             QStringLiteral("%1 setting(s) of %2 lie outside their known ranges:\n%3\n\nSave anyway?")
                 .arg(findings.size())
                 .arg(fileName(), lines.join(QLatin1Char('\n'))),
             QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TMDIChild::saveTo(const QString& target, const std::optional<DiskStamp>& expected) {
  const Preferences prefs(m_paths);
  m_doc->saveTo(target, prefs.createBackups() ? prefs.backupPathFor(target) : QString(), expected);
  m_main->showLastModified(QStringLiteral("Last Modified: ") + formatDetailsTime(fileModifiedTime(target)));
}

void TMDIChild::reloadFromDisk() {
  m_doc->reloadFromDisk();
  showFileDetails();
}

bool confirmClosing(const QList<QPointer<TMDIChild>>& docs, const std::function<void()>& reportError) {
  try {
    for (const QPointer<TMDIChild>& doc : docs)
      if (doc && !doc->confirmClose()) return false;
    return true;
  } catch (...) {
    reportError();
    return false;
  }
}
