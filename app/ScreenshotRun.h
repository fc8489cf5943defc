#pragma once
#include <QObject>
#include <QString>
#include <functional>

#include "app/CommandLine.h"

class QTimer;
class TMainForm;
class QWidget;

// A run that saves a picture and ends (--screenshot): it opens the arena, shows
// what the command line asks for (a side page, an Options page, the About box,
// the validation window after a check), waits until that is on screen, saves
// the picture and closes the windows. It stands apart from a running copy.
class ScreenshotRun : public QObject {
 public:
  ScreenshotRun(TMainForm& form, CommandLine line, QString configPath,
                std::function<void(const QString&)> report);
  void start();
  // 0 when the picture was saved; else the run failed and said why on standard error.
  int exitCode() const { return m_exitCode; }

 private:
  void showWhatWasAskedFor();
  void takeWhenReady();
  // Ends the run at once with code: nobody is there to answer a box.
  void fail(const QString& why, int code);

  TMainForm& m_form;
  CommandLine m_line;
  QString m_configPath;
  std::function<void(const QString&)> m_report;
  QWidget* m_pictured = nullptr;
  bool m_ready = false;  // what was asked for has happened (a check, the credits scrolling in)
  qint64 m_started = 0;
  int m_exitCode = 0;
  QTimer* m_poll = nullptr;
};
