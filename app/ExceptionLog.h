#pragma once
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <exception>
#include <vector>

// What the exception log records about one exception.
struct ExceptionInfo {
  QString typeName;  // demangled C++ type, or the signal's name
  QString message;
  std::uintptr_t raisedAt = 0;  // where it was raised; 0 when unknown
  // The platform's record: for a signal its number, si_code and fault address;
  // all 0 for exceptions the program's own code raised.
  std::uint32_t code = 0;
  std::uint32_t flags = 0;
  std::uint32_t parameters = 0;
  std::uintptr_t recordAddress = 0;
  std::vector<std::uintptr_t> stack;  // innermost caller first, at most 27
};

namespace ExceptionLog {
constexpr int kMaxStackLines = 27;

// The log beside the executable: its path with the extension (if any) replaced by ".error.log".
QString logPathFor(const QString& executablePath);
// Describes the exception currently being handled (call inside a catch block).
ExceptionInfo describeCurrent();
// The callers of the function calling this, innermost first, at most 27.
std::vector<std::uintptr_t> captureStack();
// An address as an offset inside its module, 8 upper-case hex digits or more.
QString formatAddress(std::uintptr_t address);
// "(no debug info) Find error: 0001A2B4"
QString locationText(std::uintptr_t address);
// The record as it is written, lines ended by CR LF, closed by its two empty lines.
QString buildRecord(const ExceptionInfo& info, const QString& executableName, const QDateTime& now);
// Appends to the log; false when it cannot (the caller still shows the error).
bool appendToLog(const QString& logPath, const QString& record);
// The error box's text: a full stop is added when the last character sorts after '.'.
QString boxText(const QString& message);
// The locale's long time pattern without its time-zone letter.
QString longTimeWithoutZone(const QLocale& locale);
// A value as 8 upper-case hex digits or more.
QString hex8(std::uintptr_t value);
// Writes a record for fatal signals (segmentation fault and the like) before the program dies.
void installSignalHandlers(const QString& logPath, const QString& executableName);
}  // namespace ExceptionLog
