#pragma once
#include <QByteArray>
#include <QList>
#include <optional>

class ProfileFile;

// The differences between two configuration files, setting by setting. Names
// compare without regard to letter case, as everywhere in the program; values
// compare as the files hold them (blanks around them aside).
namespace ConfigDiff {

struct Difference {
  QByteArray section;           // the spelling of the first file that has it
  QByteArray key;               // empty: the section itself is missing on one side and has no keys
  std::optional<QByteArray> a;  // nullopt: missing in the first file
  std::optional<QByteArray> b;  // nullopt: missing in the second file
};

// In the first file's order, then what only the second file has.
QList<Difference> compare(const ProfileFile& a, const ProfileFile& b);

// "Section - Key: A-value | B-value", with kMissing for a side that lacks it.
inline constexpr char kMissing[] = "(missing)";
QByteArray line(const Difference& d);

}  // namespace ConfigDiff
