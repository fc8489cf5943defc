#pragma once
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "update/UpdateItems.h"

// Puts the downloaded files of an update in their places as one step: the
// program's executable (the old one kept as ".BAK"), the preferences file (the
// old one kept in base/backups/config.inb, the user's values carried over), the
// help file and the validation rules. Every replacement is checked; when one
// fails, rollback() puts back everything this run replaced, so the four files
// are as they were before. Destroyed without commit(), it rolls back.
//
// Every move is written to a journal (base/updates/install.journal) before it
// is made, so that a run cut short (a kill, a power cut) is rolled back at the
// next start by resumeInterrupted(): the program folder is always one whole build.
class UpdateInstall {
 public:
  // Moves a test makes fail: the failAt-th move of a run from now on (1: the next); 0: none.
  struct MoveFaults {
    int failAt = 0;
  };
  struct Places {
    QString appFolder;             // the application folder
    QString executable;            // the running executable's file (in the application folder)
    MoveFaults* faults = nullptr;  // a test's, else none
  };
  enum class Result { Installed, Skipped, Failed };

  explicit UpdateInstall(Places places);
  ~UpdateInstall();
  UpdateInstall(const UpdateInstall&) = delete;
  UpdateInstall& operator=(const UpdateInstall&) = delete;

  // Installs base/updates/<item> as kind says. Skipped: nothing to do (an item
  // the installer does not know, or a preferences file when the user has none
  // to carry over). Failed: *why says what went wrong, and nothing of this item
  // is left half done.
  Result install(const QString& item, UpdateItems::Kind kind, QString* why);
  // Puts back, newest first, what install() replaced; the downloads go back to base/updates/.
  void rollback();
  // Keeps what was installed and drops the copies kept for a rollback.
  void commit();

  // Carries the user's values into a new preferences file: each key of each
  // section of newFile takes oldFile's value (empty when oldFile lacks it).
  // Throws ProfileReadError / ProfileWriteError.
  static void carryOver(const QString& newFile, const QString& oldFile);

  // At start, before anything else touches the program's folder: a journal left
  // by a run that did not end puts back what that run moved (or, when it had
  // committed, removes the copies it kept aside). Entries that name anything but
  // the installer's own files are not acted on.
  struct Resumed {
    bool found = false;               // there was a journal
    bool rolledBack = false;          // moves were put back
    bool executableRestored = false;  // the executable in place now is the old build again
    QString problem;                  // why the journal was not acted on, if so
  };
  static Resumed resumeInterrupted(const Places& places);
  static QString journalPath(const QString& appFolder);

 private:
  QString base() const { return m_places.appFolder + QStringLiteral("/base"); }
  QString updates() const { return base() + QStringLiteral("/updates"); }
  QString backups() const { return base() + QStringLiteral("/backups"); }
  bool installExecutable(const QString& item, QString* why);
  Result installPreferences(const QString& item, QString* why);
  bool installBaseFile(const QString& item, const QString& name, QString* why);
  void undoFrom(std::size_t mark);
  bool journal(const QByteArray& line, QString* why);
  // A move the rollback can take back: journalled, made, and remembered.
  bool moveWithUndo(const QString& from, const QString& to, QString* why);
  bool claimTarget(const QString& target, QString* why);

  Places m_places;
  std::vector<std::function<void()>> m_undo;      // newest last
  std::vector<std::function<void()>> m_onCommit;  // clean-ups once the run stands
  bool m_done = false;
  bool m_journalled = false;
  QSet<QString> m_targets;  // the files this run installed: none twice
};
