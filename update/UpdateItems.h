#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The rules of an update's item list that need no window: how the manifest's
// list splits, which items name files and which folder operations, which files
// the installer knows, and what may be touched at all.
namespace UpdateItems {

// Splits text at separator: blanks and control characters around an item are
// dropped, and one inside an unquoted item ends it; an item that starts with a
// double quote runs to the closing one (a doubled quote stands for one); two
// separators in a row give an empty item, and so does one at the very end.
QStringList split(const QString& text, QChar separator);

// An item's parts (the same split at colons). Fewer than two: a file item.
QStringList parts(const QString& item);
inline bool isFileItem(const QString& item) { return parts(item).size() < 2; }

// The files the installer puts in place; every other file stays in base/updates/.
enum class Kind { Executable, Preferences, Help, Rules, Other };
// executableName: the running executable's file name. "Tessary.exe" names it too.
Kind kindOf(const QString& item, const QString& executableName);
// The file a file item ends up as, letter case aside: the executable, one of
// the known files of base/, or the item's own name in base/updates/. Two items
// with the same target would have the second remove what the first kept.
QString targetOf(const QString& item, const QString& executableName);
// The first file item of items whose target an earlier item has too (set
// *earlier to that one), or empty when every target is named once.
QString repeatedTarget(const QStringList& items, const QString& executableName, QString* earlier);

// A folder of a folder operation as a relative path with "/" separators, or
// nullopt when it would leave the application folder or names no sub-folder:
// empty, absolute, or with a ".." part ("\" counts as a separator first).
std::optional<QString> relativeFolder(const QString& folder);

// Whether appFolder/relative lies inside appFolder once symbolic links along
// the way are followed: its parent must resolve into the application folder,
// and the folder itself must not be a link. Empty when it does; else why not.
QString outsideProblem(const QString& appFolder, const QString& relative);

// The name the running executable keeps during an update: its extension
// replaced by ".BAK" ("tessary" gets one: "tessary.BAK").
QString backupNameOf(const QString& executablePath);

// The SHA-256 digest of a file as lower-case hex; nullopt when it cannot be read.
std::optional<QByteArray> sha256Of(const QString& path);
// A digest as the manifest gives it: 64 hex digits, either case, blanks around.
bool digestMatches(const QByteArray& expected, const QByteArray& actualHex);

// The overall bar's percentage text: position / n rounded to the nearest whole
// number, halves to the even neighbour, then "%". Never above 100%: an item
// with several folder operations makes more than its one step.
QString percentText(qint64 position, qint64 n);

}  // namespace UpdateItems
