#include "app/ExceptionLog.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <typeinfo>

#include "app/TessaryError.h"

namespace {

QString demangle(const char* name) {
  if (!name) return QStringLiteral("unknown");
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
  return QString::fromUtf8(status == 0 && out ? out.get() : name);
}

QString hex8(std::uintptr_t value) {
  return QStringLiteral("%1").arg(static_cast<qulonglong>(value), 8, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

namespace ExceptionLog {

QString logPathFor(const QString& executablePath) {
  const QFileInfo info(executablePath);
  const QString stem = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
  return info.absolutePath() + QLatin1Char('/') + stem + QStringLiteral(".error.log");
}

ExceptionInfo describeCurrent() {
  ExceptionInfo info;
  std::exception_ptr current = std::current_exception();
  if (!current) return info;
  info.typeName = demangle(abi::__cxa_current_exception_type() ? abi::__cxa_current_exception_type()->name()
                                                               : nullptr);
  try {
    std::rethrow_exception(current);
  } catch (const TessaryError& e) {
    info.message = e.message();
    info.raisedAt = e.raisedAt();
  } catch (const std::exception& e) {
    info.message = QString::fromUtf8(e.what());
  } catch (...) {
    info.message = QString();
  }
  return info;
}

__attribute__((noinline)) std::vector<std::uintptr_t> captureStack() {
  void* frames[kMaxStackLines + 2];
  const int n = backtrace(frames, kMaxStackLines + 2);
  std::vector<std::uintptr_t> out;
  // Frame 0 is this function, frame 1 the return into the capturing handler itself.
  for (int i = 2; i < n && static_cast<int>(out.size()) < kMaxStackLines; ++i)
    out.push_back(reinterpret_cast<std::uintptr_t>(frames[i]) - 1);  // inside the call instruction
  return out;
}

QString formatAddress(std::uintptr_t address) {
  Dl_info dl{};
  if (address != 0 && dladdr(reinterpret_cast<void*>(address), &dl) != 0 && dl.dli_fbase)
    return hex8(address - reinterpret_cast<std::uintptr_t>(dl.dli_fbase));
  return hex8(address);
}

QString locationText(std::uintptr_t address) {
  return QStringLiteral("(no debug info) Find error: ") + formatAddress(address);
}

QString buildRecord(const ExceptionInfo& info, const QString& executableName, const QDateTime& now) {
  const QString crlf = QStringLiteral("\r\n");
  const QLocale locale = QLocale::system();
  QString r;
  r += executableName + QLatin1Char(' ') + locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
       locale.toString(now.time(), QLocale::LongFormat) + crlf;
  r += QStringLiteral("Type ") + info.typeName + crlf;
  r += QStringLiteral("Message: ") + info.message + crlf;
  r += QStringLiteral("Exception @ address: $") + formatAddress(info.raisedAt) + crlf;
  r += crlf;
  r += QStringLiteral("Routines Stack:") + crlf;
  r += QStringLiteral("Exception code: %1").arg(info.code) + crlf;
  r += QStringLiteral("Exception flags: %1").arg(info.flags) + crlf;
  r += QStringLiteral("Number of parameters: %1").arg(info.parameters) + crlf;
  r += locationText(info.recordAddress) + crlf;
  const size_t lines = std::min<size_t>(info.stack.size(), kMaxStackLines);
  for (size_t i = 0; i < lines; ++i)
    r += QStringLiteral("call stack - %1 : ").arg(i) + locationText(info.stack[i]) + crlf;
  r += crlf;
  r += crlf;
  return r;
}

bool appendToLog(const QString& logPath, const QString& record) {
  QFile file(logPath);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
  const QByteArray bytes = record.toUtf8();
  const bool ok = file.write(bytes) == bytes.size();
  file.close();
  return ok;
}

QString boxText(const QString& message) {
  if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
  return message;
}

namespace {
char g_logPath[4096];
char g_exeName[256];

void writeAll(int fd, const char* s) {
  size_t len = std::strlen(s);
  while (len > 0) {
    const ssize_t w = ::write(fd, s, len);
    if (w <= 0) return;
    s += w;
    len -= static_cast<size_t>(w);
  }
}

void onFatalSignal(int sig, siginfo_t* si, void*) {
  // Best effort: the process is going down, so build the record with what is at hand.
  ExceptionInfo info;
  info.typeName = QStringLiteral("Signal ") + QString::fromUtf8(strsignal(sig));
  info.message = QString::fromUtf8(strsignal(sig));
  info.code = static_cast<std::uint32_t>(sig);
  info.flags = static_cast<std::uint32_t>(si ? si->si_code : 0);
  info.recordAddress = si ? reinterpret_cast<std::uintptr_t>(si->si_addr) : 0;
  info.stack = captureStack();
  const QByteArray text =
      buildRecord(info, QString::fromUtf8(g_exeName), QDateTime::currentDateTime()).toUtf8();
  writeAll(2, text.constData());
  const int fd = ::open(g_logPath, O_WRONLY | O_APPEND | O_CREAT, 0644);
  if (fd >= 0) {
    writeAll(fd, text.constData());
    ::close(fd);
  }
  signal(sig, SIG_DFL);
  raise(sig);
}
}  // namespace

void installSignalHandlers(const QString& logPath, const QString& executableName) {
  std::strncpy(g_logPath, logPath.toLocal8Bit().constData(), sizeof g_logPath - 1);
  std::strncpy(g_exeName, executableName.toLocal8Bit().constData(), sizeof g_exeName - 1);
  struct sigaction sa {};
  sa.sa_sigaction = onFatalSignal;
  sa.sa_flags = SA_SIGINFO | SA_RESETHAND;
  for (int sig : {SIGSEGV, SIGFPE, SIGILL, SIGBUS, SIGABRT}) sigaction(sig, &sa, nullptr);
}

}  // namespace ExceptionLog
