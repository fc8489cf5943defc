#include "app/ExceptionLog.h"

#include <cxxabi.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "profile/TessaryError.h"

namespace {

QString demangle(const char* name) {
  if (!name) return QStringLiteral("unknown");
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
  return QString::fromUtf8(status == 0 && out ? out.get() : name);
}

}  // namespace

namespace ExceptionLog {

// Qt adds the time zone ("t") to the long time; the record's time is local.
QString longTimeWithoutZone(const QLocale& locale) {
  QString format = locale.timeFormat(QLocale::LongFormat);
  QString out;
  bool quoted = false;
  for (QChar c : format) {
    if (c == QLatin1Char('\'')) quoted = !quoted;
    if (!quoted && c == QLatin1Char('t')) continue;
    out.append(c);
  }
  return out.trimmed();
}

QString hex8(std::uintptr_t value) {
  return QStringLiteral("%1").arg(static_cast<qulonglong>(value), 8, 16, QLatin1Char('0')).toUpper();
}

QString logPathFor(const QString& executablePath) {
  const QFileInfo info(executablePath);
  const QString stem = info.suffix().isEmpty() ? info.fileName() : info.completeBaseName();
  return info.absolutePath() + QLatin1Char('/') + stem + QStringLiteral(".error.log");
}

ExceptionInfo describeCurrent() {
  ExceptionInfo info;
  std::exception_ptr current = std::current_exception();
  if (!current) return info;
  info.typeName =
      demangle(abi::__cxa_current_exception_type() ? abi::__cxa_current_exception_type()->name() : nullptr);
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

QString locationText(std::uintptr_t address) {
  return QStringLiteral("(no debug info) Find error: ") + formatAddress(address);
}

QString buildRecord(const ExceptionInfo& info, const QString& executableName, const QDateTime& now) {
  const QString crlf = QStringLiteral("\r\n");
  const QLocale locale = QLocale::system();
  QString r;
  r += executableName + QLatin1Char(' ') + locale.toString(now.date(), QLocale::ShortFormat) +
       QLatin1Char(' ') + locale.toString(now.time(), longTimeWithoutZone(locale)) + crlf;
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

}  // namespace ExceptionLog
