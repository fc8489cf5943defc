#pragma once
#include <QApplication>
#include <functional>

class Prompts;

// Writes the exception log record of the exception being handled and shows the error box.
class ExceptionReporter {
 public:
  ExceptionReporter(QString logPath, QString executableName, Prompts* prompts);
  void setPrompts(Prompts* prompts) { m_prompts = prompts; }
  QString logPath() const { return m_logPath; }
  // Call inside a catch block.
  void reportCurrent();

 private:
  QString m_logPath;
  QString m_executableName;
  Prompts* m_prompts;
};

// Catches every exception that escapes an event handler, so none crosses Qt's
// event loop, and hands it to the central handler; the program goes on.
class TessaryApplication : public QApplication {
  Q_OBJECT
 public:
  TessaryApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // Called inside the catch block; the main window installs its own.
  void setExceptionHandler(std::function<void()> handler) { m_handler = std::move(handler); }
  // Where an exception goes before the main window has its handler (by default beside the executable).
  void setLogPath(const QString& path) { m_logPath = path; }
  static TessaryApplication* instance();
  // Runs the installed handler for the exception being handled.
  void handleCurrentException();

 private:
  std::function<void()> m_handler;
  QString m_logPath;
};
