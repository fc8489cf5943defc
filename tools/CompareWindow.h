#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class DifferenceModel;
class DifferenceFilter;
class QFileSystemWatcher;
class Prompts;
class TMDIChild;
class Document;

// "Compare With...": the settings whose values differ between one document
// (the active one when the command ran) and another arena file, by section
// with a count each, and a filter. The window stays with that document: it
// follows its every edit, undo and redo, and closes with it; it reads the other
// file again whenever that changes on disk. A row leads to its setting in the
// document; "Copy Into Document" takes the other file's value as one edit of
// the document (one step of its history).
class TCompareWindow : public QWidget {
  Q_OBJECT
 public:
  struct Host {
    std::function<TMDIChild*()> activeDocument;  // null when none is open
    std::function<void()> reportError;           // logs the exception being handled
  };
  // parent: the main window, on which the window and its file dialog are centred.
  TCompareWindow(Prompts& prompts, Host host, QWidget* parent = nullptr);

  // The command: asks for the other file, then shows the differences.
  void compareWith();
  // Shows the differences between document and otherFile.
  void compare(TMDIChild* document, const QString& otherFile);
  TMDIChild* document() const { return m_doc; }
  QTreeView* list() const { return m_list; }
  // What the list shows: every difference, and those the find box lets through.
  DifferenceModel* differences() const { return m_model; }
  DifferenceFilter* shownDifferences() const { return m_filtered; }
  QLineEdit* filterBox() const { return m_filter; }
  QPushButton* copyButton() const { return m_copy; }
  void copyIntoDocument();

 private:
  void bind(TMDIChild* window);
  void refill();
  void refreshQuietly();
  void selectionChanged();
  void placeOnMainWindow();

  Prompts& m_prompts;
  Host m_host;
  QPointer<TMDIChild> m_doc;      // the window showing it, for leading to a setting
  QPointer<Document> m_document;  // what is compared
  QString m_other;
  QFileSystemWatcher* m_watcher = nullptr;
  bool m_placed = false;
  QLabel* m_summary = nullptr;
  QLineEdit* m_filter = nullptr;
  QTreeView* m_list = nullptr;
  DifferenceModel* m_model = nullptr;
  DifferenceFilter* m_filtered = nullptr;
  QPushButton* m_copy = nullptr;
};
