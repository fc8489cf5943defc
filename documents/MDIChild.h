#pragma once
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

#include "documents/ConfigModel.h"
#include "documents/EditCommands.h"
#include "prefs/AppPaths.h"
#include "profile/DiskStamp.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;
class QToolButton;
class QUndoStack;
class PageSet;
class Prompts;
class ReportList;
class DocumentHost;
class WorkingCopies;

// The document window of one configuration file: eight ship pages, the
// "Other" page and a status bar with the file's path and type. Its edits go
// to the document's own working copy under base/temp/, each as one step of the
// document's undo history.
class TMDIChild : public QWidget, public EditTarget {
  Q_OBJECT
 public:
  TMDIChild(DocumentHost* host, Prompts& prompts, const AppPaths& paths, WorkingCopies& workingCopies);
  ~TMDIChild() override;

  // Document state.
  QString fileName() const { return m_caption; }  // the caption without the unsaved mark
  void setCaption(const QString& caption);
  QString filePath() const { return m_filePath; }  // empty while the panel still reads "File:"
  void setFilePath(const QString& path);
  QString docType() const { return m_type; }
  void setDocType(const QString& type);
  QString workingCopy() const { return m_workingCopy; }
  void setWorkingCopy(const QString& path) { m_workingCopy = path; }
  bool isModified() const { return m_modified; }
  void setModified(bool modified);
  bool isNewDocument() const { return m_newDocument; }
  void setNewDocument(bool isNew) { m_newDocument = isNew; }
  const QStringList& sectionNames() const { return m_sections; }
  const QStringList& keyNames() const { return m_keys; }

  // Controls.
  ReportList* shipList(int ship) const { return m_shipLists[static_cast<size_t>(ship)]; }
  ReportList* otherList() const { return m_otherList; }
  QComboBox* comboBox() const { return ComboBox1; }
  // "Find a setting": hides the rows of every list whose name does not hold its text.
  QLineEdit* filterBox() const { return m_filter; }
  PageSet* pages() const { return PageControl1; }
  QString currentShip() const;  // ship whose tab shows, empty on the "Other" page or a server document
  // The list with the input focus: ship lists in ship order, then "Other"; null when none.
  ReportList* focusedList() const;
  // The row Ship Comparisons shows: that of the ship list in use, also while a
  // dialog holds the focus (the edit box); 0 when no ship list is in use.
  int comparedRow() const;
  void setSelectText();  // the "Other" drop-down reads "[Select]"
  // Shows a setting: its ship page or its section on the "Other" page, the row selected.
  void selectSetting(const QString& section, const QString& key);
  int shipOf(const ReportList* list) const;  // 0..7, -1 for another list

  // Showing the pages.
  void showPageSet(const QString& type);
  void prepareOtherPage();  // drop-down enabled and reading "[Section]", "Other" list empty
  void LoadDocument(const QString& sourcePath);
  void FillOtherPage(const QString& workingCopy, const QString& section);
  QString otherSection() const { return m_otherSection; }

  // Handlers.
  void FormCreate();
  void FormActivate();
  // "Last Modified:" and "Owner:" of this document's file in the main window.
  void showFileDetails();
  void SelectItem();
  void editvalue();
  void ComboBox1Select();
  void PageControl1Change();
  // The work behind the handlers, on a given list.
  void selectItemIn(ReportList* list);
  void editValueIn(ReportList* list);
  // An edit made by a tool: the row shows it and the working copy gets it.
  void setShipValue(const QString& ship, const QString& key, const QString& value);
  // One value typed in: one step of the history. Nothing happens when the value is what the file holds.
  void editValue(const QString& section, const QString& key, const QString& value);

  // Copy and swap of ship settings, each asked once and made as one step of the
  // history. toShip -1: the seven other ships. onlySelected: the setting
  // selected on the source ship's page, else every setting of the ship.
  void copySettings(int fromShip, int toShip, bool onlySelected);
  void swapSettings(int shipA, int shipB, bool onlySelected);
  // The document's undo history; clean while the document matches its file.
  // It keeps at most kHistorySteps steps and about kHistoryBytes of memory, the oldest going first.
  QUndoStack* undoStack() const { return m_undo; }
  static constexpr int kHistorySteps = 100;
  static constexpr qint64 kHistoryBytes = 64LL * 1024 * 1024;
  void setHistoryLimits(int steps, qint64 bytes) {
    m_historySteps = steps;
    m_historyBytes = bytes;
  }

  // EditTarget: the history's steps write through these.
  void writeValues(const std::vector<ValueChange>& changes, bool after) override;
  void restoreContent(const QByteArray& content) override;

  // The save command: the save dialog (again after a refused target or a
  // "Cancel" in the overwrite question), then the save. False when cancelled.
  // Throws when the save fails; the document then stays as it was.
  bool saveWithDialog();
  // Asks "Save changes to <name>?" when there are unsaved edits. False: keep the window open.
  bool confirmClose();
  // The program is ending without questions: the recovery record stays with the working copy.
  void keepRecoveryRecord() { m_keepRecord = true; }
  // A document brought back after a crash: it differs from its file until saved.
  void markRecovered();

  // What the document's file held when the document last read or wrote it.
  const DiskStamp& diskStamp() const { return m_diskStamp; }
  void setDiskStamp(const DiskStamp& stamp) { m_diskStamp = stamp; }
  // The document's file as it is now, against what the document read.
  enum class DiskState { Same, Changed, Deleted };
  DiskState diskState(DiskStamp* now = nullptr) const;
  // Reads the document's file again: its edits and history go.
  void reloadFromDisk();

  // Close without asking again (the question was answered for it already).
  void setCloseConfirmed(bool confirmed) { m_closeConfirmed = confirmed; }

 Q_SIGNALS:
  void formClosed();
  // The document was written to its file (which may have a new path).
  void saved();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildToolBar();
  void buildPages();
  QMenu* buildCopySwapMenu();
  void updateCopySwapMenu();
  void showShipContextMenu(ReportList* list, const QPoint& pos);
  QString selectedKeyOf(int ship) const;
  // Makes a step: the first write happens here, so a failure leaves no step behind.
  void pushEdit(ValueEditCommand* command);
  void writeValuesOrThrow(const std::vector<ValueChange>& changes, bool after);
  void showChanges(const std::vector<ValueChange>& changes, bool after);
  void reloadKeepingView();
  void historyWriteFailed();
  void updateCaption();
  void onComboTextEdited(const QString& text);
  void chooseSection(int index);
  void requireWorkingCopy() const;
  bool isOwnFile(const QString& path) const;
  // Before a save replaces target: the overwrite question, or, for the
  // document's own file changed on disk since it was read, the choice to
  // overwrite, reload or cancel. expected: what target must still hold.
  enum class ReplaceAnswer { Replace, ChooseAgain, Stop };
  ReplaceAnswer confirmReplace(const QString& target, std::optional<DiskStamp>& expected);
  bool passesRangeCheck();
  void saveTo(const QString& target, const std::optional<DiskStamp>& expected);

  DocumentHost* m_main;  // the window holding this one
  WorkingCopies& m_workingCopies;
  Prompts& m_prompts;
  AppPaths m_paths;

  QToolBar* m_toolBar = nullptr;
  PageSet* PageControl1 = nullptr;   // ship pages and "Other"
  PageSet* m_serverPages = nullptr;  // "Server Settings": never filled
  std::array<ReportList*, Ships::kCount> m_shipLists{};
  ReportList* m_otherList = nullptr;
  QComboBox* ComboBox1 = nullptr;  // "Other" page's section drop-down
  ReportList* m_serverList = nullptr;
  QLabel* m_statusFile = nullptr;
  QLabel* m_statusType = nullptr;
  QMenu* m_copySwapMenu = nullptr;
  QLineEdit* m_filter = nullptr;
  QUndoStack* m_undo = nullptr;

  QString m_caption;
  QString m_filePath;
  QString m_type;
  QString m_workingCopy;
  QString m_otherSection;  // the section whose rows the "Other" list shows
  int m_chosenIndex = -1;
  QString m_lastTyped;
  QPointer<ReportList> m_lastList;      // the list last selected in or edited
  QPointer<ReportList> m_lastShipList;  // ... of the ship lists: the row Ship Comparisons shows
  QStringList m_sections;
  QStringList m_keys;
  bool m_modified = false;
  bool m_newDocument = false;
  bool m_closeConfirmed = false;
  bool m_keepRecord = false;
  DiskStamp m_diskStamp;
  int m_historySteps = kHistorySteps;
  qint64 m_historyBytes = kHistoryBytes;
};

// The close question for every way documents close (close box, "&Close",
// Close All, exit): asks about each document with unsaved edits, in order, and
// says whether all of them may close. A save that fails or is cancelled keeps
// its document, and the rest, open; an error is handed to reportError (inside
// the catch, so it can log the current exception) and counts as "not closed".
// Nothing is marked: a cancelled round leaves every document as it was.
bool confirmClosing(const QList<QPointer<TMDIChild>>& docs, const std::function<void()>& reportError);
