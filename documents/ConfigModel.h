#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

class ProfileFile;

// The eight ships, in the fixed order of the ship pages; also the section names.
namespace Ships {
constexpr int kCount = 8;
const std::array<QString, kCount>& names();
int indexOf(const QString& name);  // exact match, letter case included; -1 when not a ship
}  // namespace Ships

// What a configuration file shows: the rows of the eight ship pages (the key
// names of "Warbird", each ship's own value or empty) and the other sections.
struct ConfigData {
  QStringList otherSections;                      // sections whose name is not exactly a ship name
  QStringList keys;                               // key names of "Warbird", file order
  std::array<QStringList, Ships::kCount> values;  // values[ship][i] belongs to keys[i]
  bool legacyEncoding = false;                    // the file is not UTF-8
  QStringList repeatedSections;                   // sections that appear more than once, read as one
};
ConfigData loadConfigData(const QString& path);
ConfigData configDataOf(const ProfileFile& file);

// Order of setting names in the lists: locale-aware, letter case only as a tie-break.
bool settingLess(const QString& a, const QString& b);
// Positions of names in list order.
std::vector<int> settingOrder(const QStringList& names);

// Last-write time in local time at the two-second resolution of file dates
// (seconds rounded down to even); invalid when the file cannot be read.
QDateTime fileModifiedTime(const QString& path);
bool setFileModifiedTime(const QString& path, const QDateTime& localTime);
// "d/mm/yy hh:mm:ss", with the user's locale separators for "/" and ":".
QString formatDetailsTime(const QDateTime& time);
