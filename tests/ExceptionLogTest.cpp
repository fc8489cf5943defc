#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <cstring>

#include "app/ExceptionLog.h"
#include "app/MainForm.h"
#include "profile/TessaryError.h"
#include "tests/TestSupport.h"

namespace {
ExceptionInfo sample(size_t stackDepth) {
  ExceptionInfo info;
  info.typeName = QStringLiteral("ConvertError");
  info.message = QStringLiteral("'abc' is not a valid integer value");
  info.raisedAt = 0x1234;
  for (size_t i = 0; i < stackDepth; ++i) info.stack.push_back(0x1000 + i * 16);
  return info;
}

QStringList recordLines(const QString& record) { return record.split(QStringLiteral("\r\n")); }
// The stack lines of a record from line 10 on, numbered from 0, each as stackLine says.
void expectStackLines(const QStringList& lines, const QRegularExpression& stackLine) {
  int stackLines = 0;
  for (int i = 10; i < lines.size() && !lines[i].isEmpty(); ++i) {
    const QRegularExpressionMatch m = stackLine.match(lines[i]);
    ASSERT_TRUE(m.hasMatch()) << lines[i].toStdString();
    EXPECT_EQ(m.captured(1).toInt(), stackLines++);
  }
  EXPECT_GT(stackLines, 0);
  EXPECT_LE(stackLines, ExceptionLog::kMaxStackLines);
}
}  // namespace

TEST(ExceptionLog, LogSitsBesideTheExecutableUnderItsName) {
  const QString folder = QDir::rootPath() + QStringLiteral("opt/t/");
  EXPECT_EQ(ExceptionLog::logPathFor(folder + QStringLiteral("tessary")),
            folder + QStringLiteral("tessary.error.log"));
  EXPECT_EQ(ExceptionLog::logPathFor(folder + QStringLiteral("Other.bin")),
            folder + QStringLiteral("Other.error.log"));
  EXPECT_EQ(ExceptionLog::logPathFor(folder + QStringLiteral("tessary.exe")),
            folder + QStringLiteral("tessary.error.log"));
}

TEST(ExceptionLog, RecordHasTheFixedLayout) {
  const QString record = ExceptionLog::buildRecord(sample(3), QStringLiteral("tessary"),
                                                   QDateTime(QDate(2026, 12, 9), QTime(4, 5, 6)));
  const QStringList lines = recordLines(record);
  ASSERT_EQ(lines.size(),
            16);  // 10 header lines, 3 stack lines, 2 empty lines, the empty rest after the last CR LF
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("tessary ")));
  EXPECT_EQ(lines[1], QStringLiteral("Type ConvertError"));
  EXPECT_EQ(lines[2], QStringLiteral("Message: 'abc' is not a valid integer value"));
  EXPECT_EQ(lines[3], QStringLiteral("Exception @ address: $00001234"));
  EXPECT_EQ(lines[4], QString());
  EXPECT_EQ(lines[5], QStringLiteral("Routines Stack:"));
  EXPECT_EQ(lines[6], QStringLiteral("Exception code: 0"));
  EXPECT_EQ(lines[7], QStringLiteral("Exception flags: 0"));
  EXPECT_EQ(lines[8], QStringLiteral("Number of parameters: 0"));
  EXPECT_EQ(lines[9], QStringLiteral("(no debug info) Find error: 00000000"));
  EXPECT_EQ(lines[10], QStringLiteral("call stack - 0 : (no debug info) Find error: 00001000"));
  EXPECT_EQ(lines[12], QStringLiteral("call stack - 2 : (no debug info) Find error: 00001020"));
  EXPECT_TRUE(record.endsWith(QStringLiteral("00001020\r\n\r\n\r\n")));
}

TEST(ExceptionLog, StackIsCutAt27LinesAndMayBeEmpty) {
  const QString deep =
      ExceptionLog::buildRecord(sample(40), QStringLiteral("t"), QDateTime::currentDateTime());
  EXPECT_EQ(deep.count(QStringLiteral("call stack - ")), 27);
  EXPECT_TRUE(deep.contains(QStringLiteral("call stack - 26 : ")));
  EXPECT_FALSE(deep.contains(QStringLiteral("call stack - 27 : ")));
  const QString none =
      ExceptionLog::buildRecord(sample(0), QStringLiteral("t"), QDateTime::currentDateTime());
  EXPECT_TRUE(none.endsWith(QStringLiteral("Find error: 00000000\r\n\r\n\r\n")));
}

TEST(ExceptionLog, AddressesAreModuleOffsetsInUpperCaseHex) {
  // A code address of this program: the offset inside the module, not the raw pointer.
  const auto here = reinterpret_cast<std::uintptr_t>(&ExceptionLog::formatAddress);
  const QString text = ExceptionLog::formatAddress(here);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8,}$")).match(text).hasMatch())
      << text.toStdString();
  EXPECT_LT(text.toULongLong(nullptr, 16), static_cast<qulonglong>(here));
}

TEST(ExceptionLog, OwnErrorsKnowWhereTheyWereRaised) {
  try {
    throw ConvertError(QStringLiteral("bad"));
  } catch (...) {
    const ExceptionInfo info = ExceptionLog::describeCurrent();
    EXPECT_EQ(info.typeName, QStringLiteral("ConvertError"));
    EXPECT_EQ(info.message, QStringLiteral("bad"));
    EXPECT_NE(info.raisedAt, 0u);
    const std::vector<std::uintptr_t> stack = ExceptionLog::captureStack();
    EXPECT_FALSE(stack.empty());
    EXPECT_LE(stack.size(), 27u);
    EXPECT_NE(stack.front(), info.raisedAt);
  }
  try {
    throw std::out_of_range("std error");
  } catch (...) {
    const ExceptionInfo info = ExceptionLog::describeCurrent();
    EXPECT_EQ(info.typeName, QStringLiteral("std::out_of_range"));
    EXPECT_EQ(info.raisedAt, 0u);
  }
}

TEST(ExceptionLog, BoxTextEndsWithAFullStopWhereNeeded) {
  EXPECT_EQ(ExceptionLog::boxText(QStringLiteral("Unable to write to /x")),
            QStringLiteral("Unable to write to /x."));
  EXPECT_EQ(ExceptionLog::boxText(QStringLiteral("Done.")), QStringLiteral("Done."));
  EXPECT_EQ(ExceptionLog::boxText(QStringLiteral("Error!")),
            QStringLiteral("Error!"));  // '!' sorts before '.'
  EXPECT_EQ(ExceptionLog::boxText(QString()), QString());
}

TEST(ExceptionLog, AppendsAndNeverTruncates) {
  TempApp app;
  const QString log = app.path(QStringLiteral("t.error.log"));
  EXPECT_TRUE(ExceptionLog::appendToLog(log, QStringLiteral("one\r\n")));
  EXPECT_TRUE(ExceptionLog::appendToLog(log, QStringLiteral("two\r\n")));
  EXPECT_EQ(readBytes(log), QByteArray("one\r\ntwo\r\n"));
  EXPECT_FALSE(
      ExceptionLog::appendToLog(app.path(QStringLiteral("no/such/folder/t.error.log")), QStringLiteral("x")));
}

namespace {
class ThrowingObject : public QObject {
 public:
  int handled = 0;
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw ConvertError(QStringLiteral("'x' is not a valid integer value"));
    if (e->type() == QEvent::User + 1) ++handled;
    return QObject::event(e);
  }
};
}  // namespace

TEST(ExceptionLog, EscapingExceptionIsLoggedShownAndTheProgramGoesOn) {
  MainWindowFixture fx;
  ThrowingObject target;
  const QString log = fx.form->exceptionLogPath();
  for (int i = 0; i < 2; ++i) QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&target, new QEvent(static_cast<QEvent::Type>(QEvent::User + 1)));
  QCoreApplication::sendPostedEvents(&target);
  EXPECT_EQ(target.handled, 1);  // events after the failures still run
  const QString text = QString::fromUtf8(readBytes(log));
  EXPECT_EQ(text.count(QStringLiteral("Type ConvertError\r\n")), 2);  // one record each, appended
  EXPECT_EQ(text.count(QStringLiteral("\r\n\r\n\r\n")), 2);
  ASSERT_EQ(fx.prompts.asked.size(), 2u);
  EXPECT_EQ(fx.prompts.asked[0].title, applicationTitle());
  EXPECT_EQ(fx.prompts.asked[0].text, QStringLiteral("'x' is not a valid integer value."));
}

TEST(ExceptionLog, UnwritableLogStillShowsTheError) {
  MainWindowFixture fx;
  QFile::remove(fx.form->exceptionLogPath());
  QDir().mkpath(fx.form->exceptionLogPath());  // a folder where the log should be: it cannot be written
  ThrowingObject target;
  QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
  QCoreApplication::sendPostedEvents(&target);
  EXPECT_EQ(fx.prompts.messages(), QStringList{QStringLiteral("'x' is not a valid integer value.")});
}

#ifdef _WIN32
TEST(ExceptionLog, AnExceptionNobodyHandlesWritesTheRecordFromTheFilter) {
  TempApp app;
  const QString log = app.path(QStringLiteral("crash.error.log"));
  QProcess child;
  child.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--crash-into"), QDir::toNativeSeparators(log)});
  ASSERT_TRUE(child.waitForFinished(30000));
  // It still ends with the exception's code, without a box of the system's own.
  EXPECT_EQ(static_cast<quint32>(child.exitCode()), 0xC0000094u);
  const QByteArray bytes = readBytes(log);
  ASSERT_FALSE(bytes.isEmpty());
  EXPECT_TRUE(bytes.endsWith("\r\n\r\n\r\n"));
  const QStringList lines = recordLines(QString::fromUtf8(bytes));
  ASSERT_GT(lines.size(), 10);
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("tessary_tests "))) << lines[0].toStdString();
  EXPECT_EQ(lines[1], QStringLiteral("Type EDivByZero"));
  EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Message: Exception C0000094 at ")))
      << lines[2].toStdString();
  EXPECT_EQ(lines[6], QStringLiteral("Exception code: 3221225620"));
  EXPECT_EQ(lines[7], QStringLiteral("Exception flags: 0"));
  EXPECT_EQ(lines[8], QStringLiteral("Number of parameters: 0"));
  expectStackLines(lines, QRegularExpression(QStringLiteral("^call stack - (\\d+) : .+$")));
}
#endif

TEST(ExceptionLog, AFatalSignalWritesTheRecordFromItsHandler) {
  SKIP_ON_WINDOWS("fatal POSIX signals in a forked child; the filter for exceptions has the test above");
#ifndef _WIN32
  TempApp app;
  const QString log = app.path(QStringLiteral("crash.error.log"));
  const QDateTime before = QDateTime::currentDateTime();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ExceptionLog::installSignalHandlers(log, QStringLiteral("tessary_tests"));
    ::raise(SIGFPE);
    ::_exit(0);  // not reached: the handler passes the signal on
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  const QDateTime after = QDateTime::currentDateTime();
  ASSERT_TRUE(WIFSIGNALED(status));  // still dies of it, as before
  EXPECT_EQ(WTERMSIG(status), SIGFPE);
  const QByteArray bytes = readBytes(log);
  ASSERT_FALSE(bytes.isEmpty());
  EXPECT_TRUE(bytes.endsWith("\r\n\r\n\r\n"));
  const QStringList lines = recordLines(QString::fromUtf8(bytes));

  // The same layout as the record of an exception: compare with buildRecord line by line.
  ExceptionInfo info;
  info.typeName = QStringLiteral("Signal ") + QString::fromUtf8(strsignal(SIGFPE));
  info.message = QString::fromUtf8(strsignal(SIGFPE));
  info.code = SIGFPE;
  info.flags = static_cast<std::uint32_t>(SI_TKILL);
  bool timeMatches = false;
  for (QDateTime t = before.addSecs(-1); t <= after.addSecs(1); t = t.addSecs(1))
    timeMatches = timeMatches || recordLines(ExceptionLog::buildRecord(info, QStringLiteral("tessary_tests"),
                                                                       t))[0] == lines[0];
  EXPECT_TRUE(timeMatches) << lines[0].toStdString();
  const QStringList expected =
      recordLines(ExceptionLog::buildRecord(info, QStringLiteral("tessary_tests"), before));
  for (int i = 1; i <= 8; ++i) EXPECT_EQ(lines[i], expected[i]) << i;
  EXPECT_TRUE(lines[9].startsWith(QStringLiteral("(no debug info) Find error: ")));
  expectStackLines(lines, QRegularExpression(QStringLiteral(
                              "^call stack - (\\d+) : \\(no debug info\\) Find error: [0-9A-F]{8,}$")));
#endif
}
