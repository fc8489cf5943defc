#pragma once
#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>

#include "components/Prompts.h"
#include "prefs/AppPaths.h"
#include "tests/CoreSupport.h"

class TMainForm;
class TMDIChild;
class ReportList;
class QMdiSubWindow;

class QProcessEnvironment;

// The executable's file name as the system wants it ("tessary.exe" on Windows).
QString executableFile(const QString& stem);

// The lock and the hand-over's folder of a test, inside its application
// folder: $XDG_RUNTIME_DIR, or on Windows %LOCALAPPDATA%\Tessary. The variable
// is put back however the test ends.
class RuntimeFolder {
 public:
  explicit RuntimeFolder(const TempApp& app);
  const QString& path() const { return m_folder; }
  // The runtime folder of app for a program the test starts.
  static void addTo(QProcessEnvironment& env, const TempApp& app);

 private:
  EnvGuard m_guard;
  QString m_folder;
};

// Answers dialogs from queues and records every question asked.
class ScriptedPrompts : public Prompts {
 public:
  struct Asked {
    QString kind;  // "open", "save", "folder", "text", "message"
    QString title;
    QString text;  // message text, input prompt, proposed or offered name
    QString value;
  };
  std::deque<std::optional<QString>> openAnswers;
  std::deque<std::optional<QString>> saveAnswers;
  std::deque<std::optional<QString>> textAnswers;
  std::deque<std::optional<QString>> folderAnswers;
  std::deque<QMessageBox::StandardButton> messageAnswers;
  std::vector<Asked> asked;
  // Runs while a message box is "open", before it is answered (things that happen meanwhile).
  std::function<void(const QString& text)> duringMessage;

  std::optional<QString> openFile(QWidget*, const QString& title, const QString& filter,
                                  const QString& start = {}) override;
  std::optional<QString> saveFile(QWidget*, const QString& title, const QString& filter,
                                  const QString& proposed) override;
  std::optional<QString> pickFolder(QWidget*, const QString& title, const QString& start) override;
  std::optional<QString> askText(QWidget*, const QString& title, const QString& label,
                                 const QString& value) override;
  QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon, const QString& title, const QString& text,
                                      QMessageBox::StandardButtons buttons) override;
  QStringList messages() const;  // texts of the message boxes shown
};

// The main window on a temporary application folder, shown and active.
struct MainWindowFixture {
  TempApp app;
  ScriptedPrompts prompts;
  std::unique_ptr<TMainForm> form;
  explicit MainWindowFixture(const QStringList& args = {}, bool freshPreferences = false);
  ~MainWindowFixture();
  TMDIChild* active() const;
  ReportList* shipList(TMDIChild* child, const QString& ship) const;
  // Gives the list the focus and selects a row, as a click would.
  void focusAndSelect(ReportList* list, int row) const;
};

// The title-bar close box of a document window, clicked with the mouse.
void clickCloseBox(QMdiSubWindow* sub);
