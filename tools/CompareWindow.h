#pragma once
#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class Prompts;

// "Compare With...": the settings whose values differ between the active
// document and another arena file, by section with a count each, and a filter.
// A row leads to its setting in the document; "Copy Into Document" takes the
// other file's value as one edit of the document (one step of its history).
class TCompareWindow : public QWidget {
  Q_OBJECT
 public:
  struct Host {
    std::function<QString()> documentWorkingCopy;  // the active document's working copy, empty for none
    std::function<QString()> documentName;
    std::function<QString()> documentPath;  // the active document's file, where the file dialog opens
    std::function<void(const QString& section, const QString& key)> selectSetting;
    std::function<void(const QString& section, const QString& key, const QString& value)> setValue;
    std::function<void()> reportError;  // logs the exception being handled
  };
  TCompareWindow(Prompts& prompts, Host host, QWidget* parent = nullptr);

  // The command: asks for the other file, then shows the differences.
  void compareWith();
  // Shows the differences between the active document and otherFile.
  void compare(const QString& otherFile);
  QTreeWidget* list() const { return m_list; }
  QLineEdit* filterBox() const { return m_filter; }
  QPushButton* copyButton() const { return m_copy; }
  void copyIntoDocument();

 private:
  void refill();
  void applyFilter();
  void selectionChanged();

  Prompts& m_prompts;
  Host m_host;
  QString m_other;
  QLabel* m_summary = nullptr;
  QLineEdit* m_filter = nullptr;
  QTreeWidget* m_list = nullptr;
  QPushButton* m_copy = nullptr;
};
