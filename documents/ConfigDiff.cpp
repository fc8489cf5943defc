#include "documents/ConfigDiff.h"

#include <QHash>
#include <QSet>

#include "profile/ProfileFile.h"

namespace {
// "The same setting name" is the file's own rule.
QByteArray folded(const QByteArray& name) { return ProfileFile::foldedName(name); }

// Each name once, letter case aside, in the order given.
QList<QByteArray> unique(const QList<QByteArray>& names, QSet<QByteArray>* seen) {
  QList<QByteArray> out;
  for (const QByteArray& n : names)
    if (!seen->contains(folded(n))) {
      seen->insert(folded(n));
      out.append(n);
    }
  return out;
}

std::optional<QByteArray> valueIn(const ProfileFile& file, const QByteArray& section, const QByteArray& key) {
  if (!file.hasKey(section, key)) return std::nullopt;
  return file.value(section, key);
}
}  // namespace

namespace ConfigDiff {

QList<Difference> compare(const ProfileFile& a, const ProfileFile& b) {
  QList<Difference> out;
  QSet<QByteArray> seenSections;
  QList<QByteArray> sections = unique(a.sectionNames(), &seenSections);
  sections += unique(b.sectionNames(), &seenSections);
  QSet<QByteArray> sectionsOfA, sectionsOfB;
  for (const QByteArray& s : a.sectionNames()) sectionsOfA.insert(folded(s));
  for (const QByteArray& s : b.sectionNames()) sectionsOfB.insert(folded(s));
  for (const QByteArray& section : sections) {
    QSet<QByteArray> seenKeys;
    QList<QByteArray> keys = unique(a.keyNames(section), &seenKeys);
    keys += unique(b.keyNames(section), &seenKeys);
    const bool inA = sectionsOfA.contains(folded(section));
    const bool inB = sectionsOfB.contains(folded(section));
    if (keys.isEmpty() && inA != inB) {
      out.append(Difference{section,
                            {},
                            inA ? std::optional<QByteArray>("") : std::nullopt,
                            inB ? std::optional<QByteArray>("") : std::nullopt});
      continue;
    }
    for (const QByteArray& key : keys) {
      const std::optional<QByteArray> va = valueIn(a, section, key);
      const std::optional<QByteArray> vb = valueIn(b, section, key);
      if (va != vb) out.append(Difference{section, key, va, vb});
    }
  }
  return out;
}

QByteArray line(const Difference& d) {
  auto side = [](const std::optional<QByteArray>& v) { return v ? *v : QByteArray(kMissing); };
  const QByteArray key = d.key.isEmpty() ? QByteArray("[section]") : d.key;
  return d.section + " - " + key + ": " + side(d.a) + " | " + side(d.b);
}

}  // namespace ConfigDiff
