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

// Readable failure messages for QString and QByteArray values.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os) { *os << '"' << b.toStdString() << '"'; }

class TMainForm;
class TMDIChild;
class ReportList;
class QMdiSubWindow;

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

QString sourceDir();
QByteArray readBytes(const QString& path);
void writeBytes(const QString& path, const QByteArray& bytes);

// A throw-away application folder with base/ laid out as the build lays it out,
// and XDG folders of its own so no real preferences or history are touched.
class TempApp {
 public:
  TempApp();
  QString path(const QString& relative) const { return m_dir.path() + QLatin1Char('/') + relative; }
  const AppPaths& paths() const { return m_paths; }
  // Writes a file below the temporary folder and returns its full path.
  QString file(const QString& relative, const QByteArray& content) const;

 private:
  QTemporaryDir m_dir;
  AppPaths m_paths;
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

// Sets (or, with nullopt, removes) an environment variable for as long as it
// lives, and puts back what was there however the test ends, an ASSERT included.
class EnvGuard {
 public:
  EnvGuard(const char* name, const std::optional<QByteArray>& value) : m_name(name) {
    m_had = qEnvironmentVariableIsSet(name);
    m_old = qgetenv(name);
    set(value);
  }
  ~EnvGuard() { set(m_had ? std::optional<QByteArray>(m_old) : std::nullopt); }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;
  void set(const std::optional<QByteArray>& value) const {
    if (value)
      qputenv(m_name, *value);
    else
      qunsetenv(m_name);
  }

 private:
  const char* m_name;
  bool m_had = false;
  QByteArray m_old;
};

// The title-bar close box of a document window, clicked with the mouse.
void clickCloseBox(QMdiSubWindow* sub);
