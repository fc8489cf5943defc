#pragma once
#include <QKeySequence>
#include <QList>
#include <QString>
#include <functional>

#include "components/Pictures.h"

class QAction;
class QMenu;
class QToolBar;
class QWidget;

// The commands' names (their objectName): written once here, so that a misspelt
// name is a compile error rather than a command that is silently missing.
namespace Command {
inline constexpr char FileNew1[] = "FileNew1";
inline constexpr char FileNewServer1[] = "FileNewServer1";
inline constexpr char FileOpen1[] = "FileOpen1";
inline constexpr char FileClose1[] = "FileClose1";
inline constexpr char ReRead1[] = "ReRead1";
inline constexpr char Import1[] = "Import1";
inline constexpr char Export1[] = "Export1";
inline constexpr char Save1[] = "Save1";
inline constexpr char SaveAs1[] = "SaveAs1";
inline constexpr char FileExit1[] = "FileExit1";
inline constexpr char CompareSettings1[] = "CompareSettings1";
inline constexpr char ViewNotes1[] = "ViewNotes1";
inline constexpr char ErrorCheckCFG1[] = "ErrorCheckCFG1";
inline constexpr char Options1[] = "Options1";
inline constexpr char MultifireTool1[] = "MultifireTool1";
inline constexpr char WindowCascade1[] = "WindowCascade1";
inline constexpr char WindowTile1[] = "WindowTile1";
inline constexpr char WindowMinimizeAll1[] = "WindowMinimizeAll1";
inline constexpr char WindowArrangeAll1[] = "WindowArrangeAll1";
inline constexpr char HelpAbout1[] = "HelpAbout1";
inline constexpr char CheckForUpdates1[] = "CheckForUpdates1";
inline constexpr char CloseAll1[] = "CloseAll1";
inline constexpr char SaveAsButton[] = "SaveAsButton";
inline constexpr char TileButton[] = "TileButton";
inline constexpr char SideToggle[] = "SideToggle";
inline constexpr char Undo1[] = "Undo1";
inline constexpr char Redo1[] = "Redo1";
inline constexpr char CompareWith1[] = "CompareWith1";
}  // namespace Command

// One command of the main window: its menu item, its tool button and its key.
struct ActionSpec {
  const char* name;     // objectName, also the name tests and the key map use
  const char* caption;  // menu text, "&" marks the access key
  Picture picture;      // its picture, Picture::None for none
  QKeySequence key;
  const char* hint;  // "tool tip|status text", or one text for both
  bool enabled;
  bool visible;
  std::function<void()> handler;
};

// Makes the actions of a table, owned by window and found by objectName.
QList<QAction*> buildActions(QWidget* window, const QList<ActionSpec>& table);

// A menu or tool bar entry: an action's name, "-" for a separator, "-hidden"
// for a separator that stays hidden.
struct EntrySpec {
  const char* action;
  const char* buttonName = nullptr;  // objectName of the tool button (tool bars only)
};
void fillMenu(QMenu* menu, QWidget* window, const QList<EntrySpec>& entries);
void fillToolBar(QToolBar* bar, QWidget* window, const QList<EntrySpec>& entries);
