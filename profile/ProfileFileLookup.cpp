// Finding sections and keys in a parsed file: the open-addressing tables over
// section names and, per large section, over its key names; and the reads.
#include <algorithm>
#include <unordered_map>

#include "profile/ProfileFile.h"
#include "profile/ProfileFileDetail.h"
#include "profile/TextCodec.h"

using namespace ProfileFileDetail;

void ProfileFile::rebuildSectionTable(std::size_t tableSize, const Table<std::uint32_t>& knownHashes) {
  m_sectionTable.assign(tableSize, -1);
  m_uniqueSections = 0;
  const bool known = knownHashes.size() == m_sections.size();
  Table<std::uint32_t> hashes;  // when not given: made here, one per section
  if (!known) {
    hashes.reserve(m_sections.size());
    for (const Section& s : m_sections) hashes.push_back(nameHash(sectionName(s)));
  }
  const Table<std::uint32_t>& hashOf = known ? knownHashes : hashes;
  // The last section of each repeated name so far, by its first one: repeats are rare.
  std::unordered_map<int, int> last;
  const std::size_t mask = tableSize - 1;
  // A big file's table is far larger than the cache: each slot is fetched a few
  // sections ahead, so that its wait overlaps the work on the sections before.
  constexpr std::size_t kAhead = 16;
  for (std::size_t i = 0; i < m_sections.size(); ++i) {
    if (i + kAhead < m_sections.size()) __builtin_prefetch(&m_sectionTable[hashOf[i + kAhead] & mask], 1);
    Section& s = m_sections[i];
    const std::uint32_t hash = hashOf[i];
    std::size_t slot = hash & mask;
    s.next = -1;
    s.first = false;
    for (;;) {
      const int at = m_sectionTable[slot];
      if (at < 0) {
        m_sectionTable[slot] = static_cast<int>(i);
        s.first = true;
        ++m_uniqueSections;
        break;
      }
      // Names are compared only where the hashes agree.
      if (hashOf[static_cast<std::size_t>(at)] == hash &&
          sameName(sectionName(m_sections[static_cast<std::size_t>(at)]), sectionName(s))) {
        const auto [place, isNew] = last.try_emplace(at, at);
        m_sections[static_cast<std::size_t>(place->second)].next = static_cast<int>(i);
        place->second = static_cast<int>(i);
        break;
      }
      slot = (slot + 1) & mask;
    }
  }
}

void ProfileFile::insertIntoSectionTable(int section, std::uint32_t hash) {
  if ((m_uniqueSections + 1) * 2 > m_sectionTable.size()) {
    rebuildSectionTable(tableSizeFor(m_uniqueSections + 1));
    return;  // the rebuild took the new section in
  }
  const std::size_t mask = m_sectionTable.size() - 1;
  std::size_t slot = hash & mask;
  while (m_sectionTable[slot] >= 0) slot = (slot + 1) & mask;
  m_sectionTable[slot] = section;
  m_sections[static_cast<std::size_t>(section)].first = true;
  ++m_uniqueSections;
}

int ProfileFile::findSection(QByteArrayView raw) const {
  const QByteArrayView name = trimmed(raw);
  const std::size_t mask = m_sectionTable.size() - 1;
  for (std::size_t slot = nameHash(name) & mask;; slot = (slot + 1) & mask) {
    const int at = m_sectionTable[slot];
    if (at < 0) return -1;
    if (sameName(sectionName(m_sections[static_cast<std::size_t>(at)]), name)) return at;
  }
}

const ProfileFile::KeyIndex& ProfileFile::keyIndex(int section, std::vector<std::uint32_t> hashes) const {
  auto it = m_keyTables.find(section);
  if (it != m_keyTables.end()) return it->second;
  const Section& s = m_sections[static_cast<std::size_t>(section)];
  // The hashes first, in one sequential pass; the table is then filled with
  // each slot fetched a few keys ahead, as its memory is touched at random.
  if (hashes.size() != s.keyCount) {
    hashes.resize(s.keyCount);
    for (std::uint32_t k = 0; k < s.keyCount; ++k) hashes[k] = nameHash(keyName(s.firstKey + k));
  }
  KeyIndex index;
  std::vector<std::int32_t>& table = index.table;
  table.assign(tableSizeFor(s.keyCount), -1);
  const std::size_t mask = table.size() - 1;
  constexpr std::uint32_t kAhead = 8;
  for (std::uint32_t k = 0; k < s.keyCount; ++k) {
    if (k + kAhead < s.keyCount) __builtin_prefetch(&table[hashes[k + kAhead] & mask], 1);
    for (std::size_t slot = hashes[k] & mask;; slot = (slot + 1) & mask) {
      const int at = table[slot];
      if (at < 0) {
        table[slot] = static_cast<std::int32_t>(k);
        break;
      }
      if (hashes[static_cast<std::size_t>(at)] == hashes[k] &&
          sameName(keyName(s.firstKey + static_cast<std::uint32_t>(at)), keyName(s.firstKey + k))) {
        index.distinct = false;  // the first one stays
        break;
      }
    }
  }
  return m_keyTables.emplace(section, std::move(index)).first->second;
}

int ProfileFile::findKey(int section, QByteArrayView name, std::uint32_t hash) const {
  const Section& s = m_sections[static_cast<std::size_t>(section)];
  if (s.keyCount <= kLinearKeys) {
    for (std::uint32_t k = 0; k < s.keyCount; ++k)
      if (sameName(keyName(s.firstKey + k), name)) return static_cast<int>(s.firstKey + k);
    return -1;
  }
  const std::vector<std::int32_t>& table = keyIndex(section).table;
  const std::size_t mask = table.size() - 1;
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const int at = table[slot];
    if (at < 0) return -1;
    if (sameName(keyName(s.firstKey + static_cast<std::uint32_t>(at)), name))
      return static_cast<int>(s.firstKey + static_cast<std::uint32_t>(at));
  }
}

int ProfileFile::findKeyAnywhere(QByteArrayView section, QByteArrayView rawKey) const {
  // A section may appear more than once; its keys are those of all its
  // occurrences, and the first occurrence of a key is the one that counts.
  const QByteArrayView key = trimmed(rawKey);
  const std::uint32_t hash = nameHash(key);
  for (int s = findSection(section); s >= 0; s = m_sections[static_cast<std::size_t>(s)].next) {
    const int found = findKey(s, key, hash);
    if (found >= 0) return found;
  }
  return -1;
}

QByteArray ProfileFile::value(const QByteArray& section, const QByteArray& key, const QByteArray& def) const {
  const int k = findKeyAnywhere(section, key);
  return k < 0 ? def : valueOf(lineText(m_keys[static_cast<std::size_t>(k)])).toByteArray();
}

bool ProfileFile::hasKey(const QByteArray& section, const QByteArray& key) const {
  return findKeyAnywhere(section, key) >= 0;
}

bool ProfileFile::hasBlankValue(const QByteArray& section, const QByteArray& key) const {
  const int k = findKeyAnywhere(section, key);
  if (k < 0) return false;
  const QByteArrayView text = lineText(m_keys[static_cast<std::size_t>(k)]);
  const QByteArrayView raw = text.sliced(text.indexOf('=') + 1);
  return !raw.isEmpty() && trimmed(raw).isEmpty();
}

QList<QByteArray> ProfileFile::sectionNames() const {
  QList<QByteArray> names;
  names.reserve(static_cast<qsizetype>(m_uniqueSections));
  for (const Section& s : m_sections)
    if (s.first) names.append(sectionName(s).toByteArray());
  return names;
}

void ProfileFile::forEachSectionName(const std::function<void(QByteArrayView)>& visit) const {
  for (const Section& s : m_sections)
    if (s.first) visit(sectionName(s));
}

QList<QByteArray> ProfileFile::duplicateSectionNames() const {
  QList<QByteArray> names;
  for (const Section& s : m_sections)
    if (s.first && s.next >= 0) names.append(sectionName(s).toByteArray());
  return names;
}

bool ProfileFile::keysDistinct(int section, std::vector<std::uint32_t> hashes) const {
  const Section& s = m_sections[static_cast<std::size_t>(section)];
  if (s.keyCount > kLinearKeys) return keyIndex(section, std::move(hashes)).distinct;
  for (std::uint32_t a = 1; a < s.keyCount; ++a)
    for (std::uint32_t b = 0; b < a; ++b)
      if (sameName(keyName(s.firstKey + a), keyName(s.firstKey + b))) return false;
  return true;
}

std::vector<ProfileFile::Entry> ProfileFile::entries(const QByteArray& section) const {
  std::vector<Entry> out;
  if (const int first = findSection(section); first >= 0) entriesInto(first, out);
  return out;
}

void ProfileFile::forEachSection(
    const std::function<void(QByteArrayView name, const std::vector<Entry>& entries)>& visit) const {
  std::vector<Entry> entries;  // one buffer for every section
  for (std::size_t s = 0; s < m_sections.size(); ++s) {
    if (!m_sections[s].first) continue;
    entriesInto(static_cast<int>(s), entries);
    visit(sectionName(m_sections[s]), entries);
  }
}

void ProfileFile::entriesInto(int first, std::vector<Entry>& out) const {
  out.clear();
  const Section& only = m_sections[static_cast<std::size_t>(first)];
  if (only.next < 0) {
    // Every key, then a check that none repeats; the names are hashed for that
    // check while they are at hand. The common case needs no lookups.
    out.reserve(only.keyCount);
    std::vector<std::uint32_t> hashes;
    const bool needsTable = only.keyCount > kLinearKeys && m_keyTables.find(first) == m_keyTables.end();
    if (needsTable) hashes.resize(only.keyCount);
    for (std::uint32_t k = 0; k < only.keyCount; ++k) {
      out.push_back(entryOf(only.firstKey + k));
      if (needsTable) hashes[k] = nameHash(out.back().key);
    }
    if (keysDistinct(first, std::move(hashes))) return;
    out.clear();
  }
  const bool repeated = only.next >= 0;
  const QByteArrayView section = sectionName(only);
  for (int s = first; s >= 0; s = m_sections[static_cast<std::size_t>(s)].next) {
    const Section& sec = m_sections[static_cast<std::size_t>(s)];
    for (std::uint32_t k = 0; k < sec.keyCount; ++k) {
      const Entry entry = entryOf(sec.firstKey + k);
      // Listed where the key is found: its first occurrence.
      const int found =
          repeated ? findKeyAnywhere(section, entry.key) : findKey(s, entry.key, nameHash(entry.key));
      if (found == static_cast<int>(sec.firstKey + k)) out.push_back(entry);
    }
  }
}

QList<QByteArray> ProfileFile::keyNames(const QByteArray& section) const {
  const std::vector<Entry> all = entries(section);
  QList<QByteArray> names;
  names.reserve(static_cast<qsizetype>(all.size()));
  for (const Entry& e : all) names.append(e.key.toByteArray());
  return names;
}

QList<QByteArray> ProfileFile::sectionLines(const QByteArray& section) const {
  QList<QByteArray> lines;
  for (const QByteArray& key : keyNames(section)) lines.append(key + '=' + value(section, key));
  return lines;
}
