#pragma once
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

class QAction;
class QMenu;
class Prompts;

enum class TSeparatorStyle { sepNone, sepTop, sepBottom, sepBoth };

// The recent-files list: remembers the files opened last, most recent first,
// in a history file of its own, and shows them as items of a menu. The file
// keeps keys "1".."MaxItems" of one section, plus a spare key MaxItems + 1
// holding the entry that last dropped off the shown list.
class THistoryFiles : public QObject {
  Q_OBJECT
 public:
  using ItemEvent = std::function<void(THistoryFiles* sender, QAction* item, const QString& fileName)>;

  explicit THistoryFiles(Prompts* prompts, QObject* parent = nullptr);

  quint8 MaxItems = 5;
  QString IniKey = QStringLiteral("History Files");
  QString IniFile = QStringLiteral("History.ini");  // a bare name: the per-user configuration folder
  QString LocalPath;  // folder put in front of a bare file name, with its trailing "/"
  bool ShowFullPath = true;
  bool ShowNumber = true;
  bool FileMustExist = false;
  bool Sorted = false;
  TSeparatorStyle Separator = TSeparatorStyle::sepNone;
  ItemEvent OnClickHistoryItem;
  ItemEvent OnCreateItem;

  QMenu* parentMenu() const { return m_parentMenu; }
  // Lowers Position silently to the menu's item count when it is greater.
  void setParentMenu(QMenu* menu);
  int position() const { return m_position; }
  // "Position out of range" when beyond the menu's items; Position keeps its value.
  void setPosition(int position);

  void AddFile(const QString& name);
  void RebuildMenu();
  QStringList fileNames() const { return m_files; }  // what the inserted items stand for, in menu order
  QList<QAction*> insertedItems() const { return m_inserted; }

 private:
  void insertItem(QAction* item);
  static QString folded(const QString& s);  // a-z to upper case, other characters as they are

  Prompts* m_prompts;
  QPointer<QMenu> m_parentMenu;
  int m_position = 0;
  QList<QAction*> m_inserted;  // separators included
  QStringList m_files;
};
