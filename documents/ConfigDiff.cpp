#include "documents/ConfigDiff.h"

#include <QHash>
#include <vector>

#include "profile/ProfileFile.h"

namespace {
using Entries = std::vector<ProfileFile::Entry>;
using ConfigDiff::Difference;

std::optional<QByteArray> held(QByteArrayView v) { return v.toByteArray(); }

// The differences of one section that both files (or only a) have: a's keys in
// a's order, then the keys only b has.
void compareSection(QByteArrayView section, const Entries& a, const Entries& b, QList<Difference>& out) {
  const QByteArray name = section.toByteArray();
  // Most arenas list a section's keys in the same order on both sides: then
  // the values are compared pair by pair, with no look-up at all.
  std::size_t same = 0;
  while (same < a.size() && same < b.size() && ProfileFile::sameName(a[same].key, b[same].key)) {
    if (a[same].value != b[same].value)
      out.append(Difference{name, a[same].key.toByteArray(), held(a[same].value), held(b[same].value)});
    ++same;
  }
  if (same == a.size() && same == b.size()) return;
  // The rest by name, letter case aside.
  QHash<QByteArray, std::size_t> inB;
  inB.reserve(static_cast<qsizetype>(b.size() - same));
  for (std::size_t i = same; i < b.size(); ++i) inB.insert(ProfileFile::foldedName(b[i].key), i);
  for (std::size_t i = same; i < a.size(); ++i) {
    const auto found = inB.constFind(ProfileFile::foldedName(a[i].key));
    if (found == inB.cend()) {
      out.append(Difference{name, a[i].key.toByteArray(), held(a[i].value), std::nullopt});
      continue;
    }
    const ProfileFile::Entry& other = b[found.value()];
    if (a[i].value != other.value)
      out.append(Difference{name, a[i].key.toByteArray(), held(a[i].value), held(other.value)});
    inB.erase(found);
  }
  for (std::size_t i = same; i < b.size(); ++i)
    if (inB.contains(ProfileFile::foldedName(b[i].key)))
      out.append(Difference{name, b[i].key.toByteArray(), std::nullopt, held(b[i].value)});
}
}  // namespace

namespace ConfigDiff {

QList<Difference> compare(const ProfileFile& a, const ProfileFile& b) {
  QList<Difference> out;
  const Entries none;
  a.forEachSection([&](QByteArrayView section, const Entries& ours) {
    const QByteArray name = section.toByteArray();
    if (!b.hasSection(name)) {
      // Only here: each key, or the empty section itself.
      if (ours.empty()) out.append(Difference{name, {}, QByteArray(""), std::nullopt});
      compareSection(section, ours, none, out);
      return;
    }
    compareSection(section, ours, b.entries(name), out);
  });
  b.forEachSection([&](QByteArrayView section, const Entries& theirs) {
    const QByteArray name = section.toByteArray();
    if (a.hasSection(name)) return;
    if (theirs.empty()) out.append(Difference{name, {}, std::nullopt, QByteArray("")});
    for (const ProfileFile::Entry& e : theirs)
      out.append(Difference{name, e.key.toByteArray(), std::nullopt, held(e.value)});
  });
  return out;
}

QByteArray line(const Difference& d) {
  auto side = [](const std::optional<QByteArray>& v) { return v ? *v : QByteArray(kMissing); };
  const QByteArray key = d.key.isEmpty() ? QByteArray("[section]") : d.key;
  return d.section + " - " + key + ": " + side(d.a) + " | " + side(d.b);
}

}  // namespace ConfigDiff
