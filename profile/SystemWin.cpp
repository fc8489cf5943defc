#include "profile/SystemWin.h"

#include <windows.h>
// After windows.h:
#include <sddl.h>

#include <QScopeGuard>
#include <string>

namespace SystemWin {

QString errorWords(unsigned long err) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  QString words = n ? QString::fromWCharArray(text, static_cast<qsizetype>(n)).trimmed() : QString();
  if (text) LocalFree(text);
  if (words.endsWith(QLatin1Char('.'))) words.chop(1);
  return words.isEmpty() ? QStringLiteral("system error %1").arg(err) : words;
}

QString currentUserSid() {
  static const QString sid = [] {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return QString();
    const auto closer = qScopeGuard([token] { CloseHandle(token); });
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return QString();
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
      return QString();
    const QString out = QString::fromWCharArray(text);
    LocalFree(text);
    return out;
  }();
  return sid;
}

}  // namespace SystemWin
