#include "app/TessaryApplication.h"

#include <QDateTime>
#include <QFileInfo>
#include <cstdio>

#include "app/ExceptionLog.h"
#include "components/Prompts.h"

ExceptionReporter::ExceptionReporter(QString logPath, QString executableName, Prompts* prompts)
    : m_logPath(std::move(logPath)), m_executableName(std::move(executableName)), m_prompts(prompts) {}

void ExceptionReporter::reportCurrent() {
  ExceptionInfo info = ExceptionLog::describeCurrent();
  info.stack = ExceptionLog::captureStack();
  const QString record = ExceptionLog::buildRecord(info, m_executableName, QDateTime::currentDateTime());
  std::fputs(record.toLocal8Bit().constData(), stderr);
  // A log that cannot be written must not hide the error from the user.
  if (!ExceptionLog::appendToLog(m_logPath, record))
    std::fprintf(stderr, "Could not write the exception log %s\n", m_logPath.toLocal8Bit().constData());
  if (m_prompts)
    m_prompts->message(nullptr, QMessageBox::Critical, applicationTitle(),
                       ExceptionLog::boxText(info.message), QMessageBox::Ok);
}

namespace {
// Qt's offscreen platform (pictures, tests) reads fonts from a folder of its own
// rather than asking the system; on Windows it is the system's font folder.
// Before the platform starts, so it comes with the arguments.
int& withFontFolder(int& argc) {
  const QString windows = qEnvironmentVariable("WINDIR");
  if (!windows.isEmpty() && qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR"))
    qputenv("QT_QPA_FONTDIR", (windows + QStringLiteral("\\Fonts")).toLocal8Bit());
  return argc;
}
}  // namespace

TessaryApplication::TessaryApplication(int& argc, char** argv) : QApplication(withFontFolder(argc), argv) {
  setApplicationName(QStringLiteral("tessary"));
  // No display name: the platform would append it to every dialog's title.
  setApplicationVersion(QStringLiteral(TESSARY_VERSION));
}

TessaryApplication* TessaryApplication::instance() {
  return qobject_cast<TessaryApplication*>(QCoreApplication::instance());
}

void TessaryApplication::handleCurrentException() {
  try {
    if (m_handler) {
      m_handler();
    } else {
      static QtPrompts prompts;
      ExceptionReporter(m_logPath.isEmpty() ? ExceptionLog::logPathFor(applicationFilePath()) : m_logPath,
                        QFileInfo(applicationFilePath()).fileName(), &prompts)
          .reportCurrent();
    }
  } catch (...) {
    std::fputs("The exception handler failed\n", stderr);
  }
}

bool TessaryApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    handleCurrentException();
    return false;
  }
}
