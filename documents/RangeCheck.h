#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

class ProfileFile;

// The range rules of base/cfgcheck.cdu (format: docs/cfgcheck-format.md) and the
// check of a configuration file against them.
namespace RangeCheck {

struct Rule {
  bool ship = false;  // applies to each ship section; else to section
  QString section;
  QString key;
  std::int64_t minimum = 0;
  std::int64_t maximum = 0;
  bool required = false;  // a missing or empty value is an error
};

struct Rules {
  QList<Rule> rules;
  QStringList shipSections;
};

struct Finding {
  QString section;
  QString key;
  QString problem;
  QString text() const { return section + QStringLiteral(" - ") + key + QStringLiteral(": ") + problem; }
};

// A rule value's fields: separated by ":" or blanks; a field in double quotes
// keeps its colons and blanks.
QStringList splitFields(const QString& value);

// Reads the rules: a missing or unreadable file throws ProfileReadError
// ("Unable to read <path>"). Every section but the last five holds rules; ShipSections
// names the ship sections. Throws TessaryError naming the section and key of a
// rule that lacks a field it needs or has a bound that is not a whole number.
Rules loadRules(const QString& path);

// Every value outside its range, not a whole number, or missing where required,
// in rule order.
QList<Finding> check(const ProfileFile& config, const Rules& rules);

}  // namespace RangeCheck
