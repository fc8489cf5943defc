#include "documents/RangeCheck.h"

#include "profile/AtomicFile.h"
#include "profile/ProfileFile.h"
#include "profile/TessaryError.h"

namespace {
constexpr int kTrailingSections = 5;  // ShipSections and the notes after it hold no rules

bool toInt64(const QString& text, std::int64_t* out) {
  bool ok = false;
  const qlonglong v = text.trimmed().toLongLong(&ok, 10);
  if (ok) *out = v;
  return ok;
}
}  // namespace

namespace RangeCheck {

QStringList splitFields(const QString& value) {
  QStringList fields;
  QString field;
  bool quoted = false;
  bool any = false;
  for (QChar c : value) {
    if (c == QLatin1Char('"')) {
      quoted = !quoted;
      any = true;
    } else if (!quoted && (c == QLatin1Char(':') || c == QLatin1Char(' ') || c == QLatin1Char('\t'))) {
      if (any) fields.append(field);
      field.clear();
      any = false;
    } else {
      field += c;
      any = true;
    }
  }
  if (any) fields.append(field);
  return fields;
}

Rules loadRules(const QString& path) {
  // Without its rules a check would find nothing and call that a pass.
  const std::optional<QByteArray> bytes = AtomicFile::read(path);
  if (!bytes) throw ProfileReadError(QStringLiteral("Unable to read %1").arg(path));
  const ProfileFile file(*bytes, ProfileFile::FromMemory{});
  Rules result;
  result.shipSections = file.keys(QStringLiteral("ShipSections"));
  const QStringList sections = file.sections();
  for (qsizetype s = 0; s + kTrailingSections < sections.size(); ++s) {
    const QString& section = sections[s];
    const ProfileFile::TextEntries entries = file.textEntries(section);
    for (qsizetype e = 0; e < entries.keys.size(); ++e) {
      const QString& key = entries.keys[e];
      const QStringList f = splitFields(entries.values[e]);
      auto bad = [&](const QString& why) {
        return TessaryError(QStringLiteral("The rule %1 - %2 in %3 %4").arg(section, key, path, why));
      };
      if (f.isEmpty()) throw bad(QStringLiteral("is empty"));
      Rule rule;
      int at = 1;
      if (f[0] == QStringLiteral("1")) {
        rule.ship = true;
        if (f.size() < 4) throw bad(QStringLiteral("needs 1:Key:Minimum:Maximum"));
      } else if (f[0] == QStringLiteral("2")) {
        if (f.size() < 5) throw bad(QStringLiteral("needs 2:Section:Key:Minimum:Maximum"));
        rule.section = f[at++];
      } else {
        throw bad(QStringLiteral("starts with \"%1\", not 1 (ship rule) or 2 (section rule)").arg(f[0]));
      }
      rule.key = f[at++];
      if (!toInt64(f[at], &rule.minimum) || !toInt64(f[at + 1], &rule.maximum))
        throw bad(QStringLiteral("has a bound that is not a whole number"));
      at += 2;
      rule.required = at < f.size() && f[at].compare(QStringLiteral("required"), Qt::CaseInsensitive) == 0;
      result.rules.append(rule);
    }
  }
  return result;
}

QList<Finding> check(const ProfileFile& config, const Rules& rules) {
  QList<Finding> findings;
  auto test = [&](const QString& section, const Rule& rule) {
    const QString absent = QStringLiteral("\x01");
    const QString value = config.text(section, rule.key, absent);
    if (value == absent || value.isEmpty()) {
      if (rule.required) findings.append({section, rule.key, QStringLiteral("missing, a value is required")});
      return;
    }
    std::int64_t v = 0;
    if (!toInt64(value, &v)) {
      findings.append({section, rule.key, QStringLiteral("\"%1\" is not a whole number").arg(value)});
    } else if (v < rule.minimum) {
      findings.append(
          {section, rule.key, QStringLiteral("%1 is below the minimum %2").arg(v).arg(rule.minimum)});
    } else if (v > rule.maximum) {
      findings.append(
          {section, rule.key, QStringLiteral("%1 is above the maximum %2").arg(v).arg(rule.maximum)});
    }
  };
  for (const Rule& rule : rules.rules) {
    if (rule.ship) {
      for (const QString& ship : rules.shipSections) test(ship, rule);
    } else {
      test(rule.section, rule);
    }
  }
  return findings;
}

}  // namespace RangeCheck
