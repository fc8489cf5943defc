#pragma once
#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>
#include <ostream>

#include "prefs/AppPaths.h"

// What every test uses, with or without windows: readable failure messages,
// files, a throw-away application folder, environment variables put back.

// Readable failure messages for QString and QByteArray values.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os) { *os << '"' << b.toStdString() << '"'; }

// A test of a facility that Windows does not have (FIFOs, permission bits for
// group and others, setuid, /proc): there it is skipped, and says why.
#ifdef _WIN32
#define SKIP_ON_WINDOWS(reason) GTEST_SKIP() << "not on Windows: " << reason
#else
#define SKIP_ON_WINDOWS(reason) (void)0
#endif

QString sourceDir();
// An executable's bytes with another build number (of the same length) in its
// version block: the ELF section's "FileVersion=" line, or the UTF-16 string
// "FileVersion" of the Windows resource. Empty when the block is not found once.
QByteArray withFileVersion(const QByteArray& exe, const QByteArray& version);
// What the system says of a folder that is not there, as the program quotes it.
QString missingFolderWords();
// The permission bits of a file (on Windows: its read-only mark, from the owner's write bit).
void setModeOf(const QString& path, unsigned mode);
unsigned modeOf(const QString& path);
// Whether this process may read and write anything (root): then permission bits alone decide.
bool runningAsRoot();
// The test program itself, asked to wait until it is killed: a process a test may end at will.
QStringList sleeperArguments();
bool answerSleeperRequest(int argc, char** argv);
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
