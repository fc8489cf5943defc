#pragma once
#include <QDateTime>
#include <QLocale>
#include <QString>

// The rules of the update check that need no window.
namespace UpdateCheck {

// Where updates come from: $TESSARY_UPDATE_URL when set (tests and operators),
// else the project's server with the updater's path. Ends in "/".
QString baseUrl();

// Whether latest names a newer build than current. Versions compare by their
// dotted numbers (2.2.0.10 is newer than 2.2.0.2, 2.3 than 2.2.0.2); a text
// that is not a dotted number is never newer.
bool isNewer(const QString& latest, const QString& current);
// Whether both are dotted numbers naming the same build (2.2.0.3 and 2.2.0.3.0 do).
bool sameVersion(const QString& a, const QString& b);

// The time of the last check as stored: "mm/dd/yy hh:mm:ss" with the locale's
// date and time separators; and read back (invalid when it does not parse).
QString formatChecked(const QDateTime& time, const QLocale& locale = QLocale::system());
QDateTime parseChecked(const QString& text, const QLocale& locale = QLocale::system());

// The fetched files are stale 340 seconds after the check (or at once without a
// valid check time), by full date and time.
bool cacheIsStale(const QDateTime& checked, const QDateTime& now);

// "dd/mm/yy t" (right after a check) and "mm/dd/yy t" (after an activation):
// two-digit fields with the locale's date separator, then the short time.
QString dayFirst(const QDateTime& time, const QLocale& locale = QLocale::system());
QString monthFirst(const QDateTime& time, const QLocale& locale = QLocale::system());

}  // namespace UpdateCheck
