#pragma once
// Small words of the Windows system that several of its files need.
#include <QString>

namespace SystemWin {
// The system's text for an error code (GetLastError), without a closing full stop;
// "system error N" when it has none.
QString errorWords(unsigned long err);
// The current user's security identifier in its text form ("S-1-5-21-..."); empty when unknown.
QString currentUserSid();
}  // namespace SystemWin
