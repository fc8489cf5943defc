#pragma once
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

#include "documents/ConfigModel.h"
#include "documents/Document.h"
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
class TMDIChild : public QWidget {
  Q_OBJECT
 public:
  TMDIChild(DocumentHost* host, Prompts& prompts, const AppPaths& paths, WorkingCopies& workingCopies);
  ~TMDIChild() override;

  // The document shown; it goes with the window.
  Document* document() const { return m_doc; }
  QString fileName() const;  // the caption without the unsaved mark
  void setCaption(const QString& caption);
  QString filePath() const;  // empty while the panel still reads "File:"
  void setFilePath(const QString& path);
  QString docType() const;
  void setDocType(const QString& type);
  QString workingCopy() const;
  void setWorkingCopy(const QString& path);
  bool isModified() const;
  void setModified(bool modified);
  bool isNewDocument() const;
  void setNewDocument(bool isNew);
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
  // The document's undo history (see Document).
  QUndoStack* undoStack() const;
  void setHistoryLimits(int steps, qint64 bytes);

  // The save command: the save dialog (again after a refused target or a
  // "Cancel" in the overwrite question), then the save. False when cancelled.
  // Throws when the save fails; the document then stays as it was.
  bool saveWithDialog();
  // Asks "Save changes to <name>?" when there are unsaved edits. False: keep the window open.
  bool confirmClose();
  // The program is ending without questions: the recovery record stays with the working copy.
  void keepRecoveryRecord();
  // A document brought back after a crash: it differs from its file until saved.
  void markRecovered();

  const DiskStamp& diskStamp() const;
  void setDiskStamp(const DiskStamp& stamp);
  using DiskState = Document::DiskState;
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
  void showChanges(const std::vector<ValueChange>& changes, bool after);
  void reloadKeepingView();
  void contentReplaced();
  // Asks the plan's question; a yes makes it one step of the history.
  void askAndApply(Document::ShipPlan plan);
  void updateCaption();
  void onComboTextEdited(const QString& text);
  void chooseSection(int index);
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
  Document* m_doc = nullptr;

  QString m_otherSection;  // the section whose rows the "Other" list shows
  int m_chosenIndex = -1;
  QString m_lastTyped;
  QPointer<ReportList> m_lastList;      // the list last selected in or edited
  QPointer<ReportList> m_lastShipList;  // ... of the ship lists: the row Ship Comparisons shows
  QStringList m_keys;
  bool m_closeConfirmed = false;
};

// The close question for every way documents close (close box, "&Close",
// Close All, exit): asks about each document with unsaved edits, in order, and
// says whether all of them may close. A save that fails or is cancelled keeps
// its document, and the rest, open; an error is handed to reportError (inside
// the catch, so it can log the current exception) and counts as "not closed".
// Nothing is marked: a cancelled round leaves every document as it was.
bool confirmClosing(const QList<QPointer<TMDIChild>>& docs, const std::function<void()>& reportError);
