// Stacks, module offsets and the last chance for an exception no handler took,
// on Windows: RtlCaptureStackBackTrace, the module that holds an address, and
// SetUnhandledExceptionFilter, whose record carries the exception's code, flags
// and parameters as the log writes them.
#include <windows.h>

#include <QDateTime>
#include <QFile>
#include <cstdint>
#include <cstdio>

#include "app/ExceptionLog.h"

namespace {
QString g_logPath;
QString g_executableName;

std::uintptr_t moduleBase(std::uintptr_t address) {
  HMODULE module = nullptr;
  if (address == 0 || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                          reinterpret_cast<LPCWSTR>(address), &module))
    return 0;
  return reinterpret_cast<std::uintptr_t>(module);
}

const char* nameOf(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
      return "EAccessViolation";
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
      return "EDivByZero";
    case EXCEPTION_STACK_OVERFLOW:
      return "EStackOverflow";
    case EXCEPTION_ILLEGAL_INSTRUCTION:
      return "EPrivilege";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
      return "EZeroDivide";
    default:
      return "EExternalException";
  }
}

LONG WINAPI onUnhandled(EXCEPTION_POINTERS* pointers) {
  // The process is about to end; the record is worth the risk of allocating.
  const EXCEPTION_RECORD* r = pointers ? pointers->ExceptionRecord : nullptr;
  ExceptionInfo info;
  info.typeName = QString::fromLatin1(nameOf(r ? r->ExceptionCode : 0));
  info.message =
      QStringLiteral("Exception %1 at %2")
          .arg(ExceptionLog::hex8(r ? r->ExceptionCode : 0),
               ExceptionLog::formatAddress(r ? reinterpret_cast<std::uintptr_t>(r->ExceptionAddress) : 0));
  if (r) {
    info.raisedAt = reinterpret_cast<std::uintptr_t>(r->ExceptionAddress);
    info.code = r->ExceptionCode;
    info.flags = r->ExceptionFlags;
    info.parameters = r->NumberParameters;
    info.recordAddress = reinterpret_cast<std::uintptr_t>(r->ExceptionAddress);
  }
  info.stack = ExceptionLog::captureStack();
  const QString record = ExceptionLog::buildRecord(info, g_executableName, QDateTime::currentDateTime());
  const QByteArray bytes = record.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
  ExceptionLog::appendToLog(g_logPath, record);
  return EXCEPTION_EXECUTE_HANDLER;  // ends the process without the system's own box
}
}  // namespace

namespace ExceptionLog {

__attribute__((noinline)) std::vector<std::uintptr_t> captureStack() {
  void* frames[kMaxStackLines + 2];
  const USHORT n = RtlCaptureStackBackTrace(2, kMaxStackLines, frames, nullptr);
  std::vector<std::uintptr_t> out;
  for (USHORT i = 0; i < n; ++i) out.push_back(reinterpret_cast<std::uintptr_t>(frames[i]) - 1);
  return out;
}

QString formatAddress(std::uintptr_t address) {
  const std::uintptr_t base = moduleBase(address);
  return hex8(base ? address - base : address);
}

void installSignalHandlers(const QString& logPath, const QString& executableName) {
  g_logPath = logPath;
  g_executableName = executableName;
  // No box of the system's own on a crash: the record is the report.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(onUnhandled);
}

}  // namespace ExceptionLog
