#pragma once
#include <QObject>
#include <QPointer>
#include <memory>

#include "documents/Recovery.h"
#include "prefs/AppPaths.h"

class QFileSystemWatcher;
class QMdiArea;
class QTimer;
class QMdiSubWindow;
class QWidget;
class DocumentHost;
class Prompts;
class TMDIChild;
class WorkingCopies;

// The document area: makes, places, arranges and closes the document windows,
// each with a working copy of its own.
class DocumentWindows : public QObject {
  Q_OBJECT
 public:
  DocumentWindows(DocumentHost& host, Prompts& prompts, const AppPaths& paths, QWidget* parent);
  ~DocumentWindows() override;

  QMdiArea* area() const { return m_area; }
  TMDIChild* active() const;
  QList<TMDIChild*> documents() const;
  bool isEmpty() const;
  WorkingCopies& workingCopies() { return *m_workingCopies; }

  TMDIChild* create(const QString& displayName, const QString& type, const QString& statusPath, bool isNew,
                    const QString& workingCopy);
  // Opens a file; nothing opens when its working copy cannot be made (throws).
  TMDIChild* open(const QString& path);
  // Recovery after a crash: a document from another (ended) copy's working copy,
  // with the original caption and path, marked as changed; the old working copy
  // and its record go. Throws when the working copy cannot be read or copied.
  TMDIChild* recover(const Recovery::Record& record);
  // The edits of an ended copy are thrown away: its working copy and record go.
  void discard(const Recovery::Record& record);
  // A new document from a template ("N/A": none), named New<n>.cfg.
  TMDIChild* newDocument(const QString& templatePath);

  // The close question, then the close. False when a document stayed open.
  bool closeActive();
  bool closeAll();
  // At exit: asks about every document; true when the program may end.
  bool confirmExit();
  // At the end of the program: every window goes, and this copy's working copies.
  void destroyAll();
  // The working copies of documents with unsaved edits are kept at the end (a
  // forced end: log-out, kill); the others still go.
  void keepUnsavedWorkingCopies();

  // Looks at the files of the open documents: one that changed on disk is read
  // again when its document has no unsaved edits; otherwise the status bar says
  // so once, and the next save asks. Runs when the program comes to the front
  // and when a watched file changes while it is there.
  void checkDisk();

  void cascade();
  void tile();
  void minimizeAll();
  void restoreAll();

 Q_SIGNALS:
  // A file was opened into a document window (not sent for new documents).
  void opened(TMDIChild* document, const QString& path);

 private:
  bool confirm(const QList<TMDIChild*>& docs);
  QPoint nextPlace(QMdiSubWindow* sub) const;
  void watch(TMDIChild* doc);
  void checkDocument(TMDIChild* doc);

  DocumentHost& m_host;
  Prompts& m_prompts;
  AppPaths m_paths;
  std::unique_ptr<WorkingCopies> m_workingCopies;
  QMdiArea* m_area;
  int m_placed = 0;
  QFileSystemWatcher* m_watcher = nullptr;
  QTimer* m_diskCheck = nullptr;  // gathers the watcher's bursts (a save is several events)
};
