#include "profile/ProfileFile.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <exception>

#include "profile/AtomicFile.h"
#include "profile/ByteScan.h"
#include "profile/TessaryError.h"
#include "profile/TextCodec.h"

namespace {

constexpr std::uint32_t kLengthMask = (1u << 29) - 1;
constexpr std::uint32_t kEolShift = 29;
constexpr std::uint32_t kEolMask = 3u << kEolShift;
constexpr std::uint32_t kExtra = 1u << 31;
enum : std::uint32_t { kNoEol = 0, kLf = 1, kCrLf = 2, kCr = 3 };
constexpr std::size_t kLinearKeys = 8;  // sections this small are searched without a table

QByteArrayView eolText(std::uint32_t eol) {
  switch (eol) {
    case kLf:
      return "\n";
    case kCrLf:
      return "\r\n";
    case kCr:
      return "\r";
    default:
      return {};
  }
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

QByteArrayView trimmed(QByteArrayView s) {
  qsizetype b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.sliced(b, e - b);
}

char fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

QByteArray foldedName(QByteArrayView name) {
  QByteArray out(name.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < name.size(); ++i) out[i] = fold(name[i]);
  return out;
}

bool sameName(QByteArrayView a, QByteArrayView b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

// Eight bytes at a time, the last word overlapping the one before it. Letter
// case is folded by clearing bit 5 of every byte: names that differ only in
// case hash alike, and the few other bytes this pairs up are told apart by
// sameName().
constexpr std::uint64_t kFold = 0xDFDFDFDFDFDFDFDFull;

std::uint64_t word64(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return w & kFold;
}

std::uint64_t word32(const char* p) {
  std::uint32_t w;
  std::memcpy(&w, p, 4);
  return w & 0xDFDFDFDFu;
}

std::uint64_t mix(std::uint64_t h, std::uint64_t w) {
  h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
  return h ^ (h >> 31);
}

std::uint32_t nameHash(QByteArrayView name) {
  const char* p = name.data();
  const auto n = static_cast<std::size_t>(name.size());
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
  if (n >= 8) {
    std::size_t i = 0;
    for (; i + 8 < n; i += 8) h = mix(h, word64(p + i));
    h = mix(h, word64(p + n - 8));
  } else if (n >= 4) {
    h = mix(h, word32(p) | word32(p + n - 4) << 32);
  } else if (n > 0) {
    const auto byte = [&](std::size_t i) {
      return static_cast<std::uint64_t>(static_cast<unsigned char>(p[i]) & 0xDF);
    };
    h = mix(h, byte(0) | byte(n / 2) << 8 | byte(n - 1) << 16);
  }
  h *= 0x94D049BB133111EBull;
  return static_cast<std::uint32_t>(h >> 32);
}

enum class Kind { Other, Header, Key };

// What a line is, and its name (section or key), without copying.
Kind classify(QByteArrayView line, QByteArrayView* name) {
  const char* b = line.data();
  const char* e = b + line.size();
  while (b < e && isBlank(*b)) ++b;
  if (b == e || *b == ';' || *b == '#') return Kind::Other;
  const char* nameEnd;
  const char* nameStart;
  Kind kind;
  if (*b == '[') {
    nameStart = b + 1;
    const auto* close =
        static_cast<const char*>(std::memchr(nameStart, ']', static_cast<std::size_t>(e - nameStart)));
    nameEnd = close ? close : e;
    kind = Kind::Header;
  } else {
    const auto* eq = static_cast<const char*>(std::memchr(b, '=', static_cast<std::size_t>(e - b)));
    if (!eq || eq == b) return Kind::Other;
    nameStart = b;
    nameEnd = eq;
    kind = Kind::Key;
  }
  while (nameStart < nameEnd && isBlank(*nameStart)) ++nameStart;
  while (nameEnd > nameStart && isBlank(nameEnd[-1])) --nameEnd;
  *name = QByteArrayView(nameStart, nameEnd - nameStart);
  if (kind == Kind::Key && name->isEmpty()) return Kind::Other;
  return kind;
}

QByteArrayView valueOf(QByteArrayView line) { return trimmed(line.sliced(line.indexOf('=') + 1)); }

std::size_t tableSizeFor(std::size_t entries) {
  std::size_t size = 16;
  while (size < entries * 2) size *= 2;
  return size;
}

}  // namespace

QString ProfileFile::configFolder() {
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
  return base + QStringLiteral("/tessary");
}

QString ProfileFile::resolve(const QString& fileName) {
  if (fileName.contains(QLatin1Char('/'))) return fileName;
  return configFolder() + QLatin1Char('/') + fileName;
}

ProfileFile::ProfileFile(const QString& fileName) : m_path(resolve(fileName)) {
  // A file that exists but cannot be read is an error, never an empty file:
  // a later write would otherwise put one key over the whole file.
  std::optional<QByteArray> data = AtomicFile::read(m_path);
  m_existed = data.has_value();
  if (data) m_data = std::move(*data);
  if (static_cast<std::uint64_t>(m_data.size()) >= 0xFFFFFFFFull)
    throw ProfileReadError(QStringLiteral("Unable to read %1: the file is larger than 4 GB").arg(m_path));
  parse();
}

ProfileFile::ProfileFile(const QByteArray& content, FromMemory) : m_inMemory(true), m_data(content) {
  if (static_cast<std::uint64_t>(m_data.size()) >= 0xFFFFFFFFull)
    throw ProfileReadError(QStringLiteral("Unable to read: the content is larger than 4 GB"));
  parse();
}

ProfileFile::~ProfileFile() {
  if (!m_dirty || m_commitFailed || m_inMemory) return;  // a failed commit was reported to its caller already
  // Dropped by an exception between two writes: what was set so far is half an
  // intent, and half an intent is not written.
  if (std::uncaught_exceptions() > m_uncaughtAtStart) return;
  try {
    commit();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  }
}

// ---- the line table ---------------------------------------------------------------------------

ProfileFile::Line ProfileFile::longLine(std::uint32_t start, std::uint32_t length, std::uint32_t eol) {
  // A line of half a gigabyte or more keeps its own copy; the table has no room for its length.
  m_extra.push_back(m_data.mid(start, length));
  return Line{static_cast<std::uint32_t>(m_extra.size() - 1), kExtra | (eol << kEolShift)};
}

inline QByteArrayView ProfileFile::lineText(std::uint32_t line) const {
  const Line& l = m_lines[line];
  if (l.info & kExtra) return m_extra[l.start];
  return QByteArrayView(m_data.constData() + l.start, l.info & kLengthMask);
}

std::uint32_t ProfileFile::eolOf(std::uint32_t line) const {
  return (m_lines[line].info & kEolMask) >> kEolShift;
}

void ProfileFile::setLineText(std::uint32_t line, const QByteArray& text) {
  Line& l = m_lines[line];
  if (l.info & kExtra) {
    m_extra[l.start] = text;
    return;
  }
  m_extra.push_back(text);
  l.start = static_cast<std::uint32_t>(m_extra.size() - 1);
  l.info = kExtra | (l.info & kEolMask);
}

void ProfileFile::setLineEol(std::uint32_t line, std::uint32_t eol) {
  Line& l = m_lines[line];
  l.info = (l.info & ~kEolMask) | (eol << kEolShift);
}

void ProfileFile::insertLine(std::uint32_t at, const QByteArray& text) {
  // A CR directly followed by an LF would read back as one CR LF ending and a
  // line would vanish; in files that mix endings pick one that keeps both lines.
  std::uint32_t eol = m_defaultEol;
  if (eol == kLf && text.isEmpty() && at > 0 && eolOf(at - 1) == kCr) eol = kCr;
  if (eol == kCr && at < m_lines.size() && lineText(at).isEmpty() && eolOf(at) == kLf) eol = kCrLf;
  m_extra.push_back(text);
  m_lines.insert(m_lines.begin() + at,
                 Line{static_cast<std::uint32_t>(m_extra.size() - 1), kExtra | (eol << kEolShift)});
  for (std::uint32_t& k : m_keys)
    if (k >= at) ++k;
  for (Section& s : m_sections)
    if (s.header >= at) ++s.header;
}

void ProfileFile::parse() {
  const char* data = m_data.constData();
  const auto size = static_cast<std::uint32_t>(m_data.size());
  std::uint32_t pos = 0;
  if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) pos = m_bom = 3;
  // Built in locals, which the compiler keeps in registers, and moved in at the end.
  std::vector<Line> lines;
  std::vector<std::uint32_t> keys;
  std::vector<Section> sections;
  // Room for lines of 16 bytes on average; trimmed below if the guess was far off.
  lines.reserve(size / 16 + 16);

  // LF, CR LF and a lone CR all end a line. The candidates come 64 bytes at a
  // time as a bit mask, taken in order; the LF of a CR LF is skipped as it
  // lies before the next line's start.
  bool eolKnown = false;
  Section* current = nullptr;  // the section whose keys are being read
  std::uint64_t high = 0;      // bytes of 0x80 or more seen
  const auto addLine = [&](std::uint32_t end, std::uint32_t eol, std::uint32_t eolLength) {
    if (eol != kNoEol && !eolKnown) {
      m_defaultEol = eol;
      eolKnown = true;
    }
    const std::uint32_t length = end - pos;
    const auto lineIndex = static_cast<std::uint32_t>(lines.size());
    if (length > kLengthMask) [[unlikely]]
      lines.push_back(longLine(pos, length, eol));
    else
      lines.push_back(Line{pos, length | (eol << kEolShift)});
    // The same decisions as classify().
    std::uint32_t b = pos;
    while (b < end && isBlank(data[b])) ++b;
    if (b < end) {
      if (data[b] == '[') {
        sections.push_back(Section{lineIndex, static_cast<std::uint32_t>(keys.size()), 0, -1, false});
        current = &sections.back();
      } else if (data[b] != ';' && data[b] != '#' && current != nullptr) {
        // Keys before the first section belong to no section and are never found.
        const char* eq = findByte(data + b, data + end, '=');
        if (eq < data + end && eq > data + b) {
          keys.push_back(lineIndex);
          ++current->keyCount;
        }
      }
    }
    pos = end + eolLength;
  };
  for (std::size_t block = 0; block < size; block += 64) {
    for (std::uint64_t m = matchMask(data, size, block, '\n', '\r', high); m != 0; m &= m - 1) {
      const auto end = static_cast<std::uint32_t>(block + static_cast<std::size_t>(std::countr_zero(m)));
      if (end < pos) continue;
      if (data[end] == '\n')
        addLine(end, kLf, 1);
      else if (end + 1 < size && data[end + 1] == '\n')
        addLine(end, kCrLf, 2);
      else
        addLine(end, kCr, 1);
    }
  }
  if (pos < size) addLine(size, kNoEol, 0);  // a last line without a line end
  // Bytes below 0x80 only are UTF-8; anything else gets the full check.
  m_legacy = high != 0 && !QByteArrayView(m_data).isValidUtf8();
  if (lines.capacity() > lines.size() + lines.size() / 2) lines.shrink_to_fit();
  if (keys.capacity() > 2 * keys.size()) keys.shrink_to_fit();
  sections.shrink_to_fit();
  m_lines = std::move(lines);
  m_keys = std::move(keys);
  m_sections = std::move(sections);
  rebuildSectionTable(tableSizeFor(m_sections.size()));
}

QByteArrayView ProfileFile::sectionName(const Section& s) const {
  QByteArrayView name;
  classify(lineText(s.header), &name);
  return name;
}

// Inline: called once per key when whole sections are read.
inline ProfileFile::Entry ProfileFile::entryOf(std::uint32_t keyIndex) const {
  const QByteArrayView line = lineText(m_keys[keyIndex]);
  const char* b = line.data();
  const char* e = b + line.size();
  while (b < e && isBlank(*b)) ++b;
  const char* eq = findByte(b, e, '=');
  const char* nameEnd = eq;
  while (nameEnd > b && isBlank(nameEnd[-1])) --nameEnd;
  return Entry{QByteArrayView(b, nameEnd - b), trimmed(QByteArrayView(eq + 1, e - eq - 1))};
}

QByteArrayView ProfileFile::keyName(std::uint32_t keyIndex) const { return entryOf(keyIndex).key; }

// ---- lookups ---------------------------------------------------------------------------------

void ProfileFile::rebuildSectionTable(std::size_t tableSize) {
  m_sectionTable.assign(tableSize, -1);
  m_uniqueSections = 0;
  std::vector<int> last;  // per table slot: the last section of that name so far
  last.assign(tableSize, -1);
  const std::size_t mask = tableSize - 1;
  for (std::size_t i = 0; i < m_sections.size(); ++i) {
    Section& s = m_sections[i];
    const QByteArrayView name = sectionName(s);
    std::size_t slot = nameHash(name) & mask;
    s.next = -1;
    s.first = false;
    for (;;) {
      const int at = m_sectionTable[slot];
      if (at < 0) {
        m_sectionTable[slot] = static_cast<int>(i);
        last[slot] = static_cast<int>(i);
        s.first = true;
        ++m_uniqueSections;
        break;
      }
      if (sameName(sectionName(m_sections[static_cast<std::size_t>(at)]), name)) {
        m_sections[static_cast<std::size_t>(last[slot])].next = static_cast<int>(i);
        last[slot] = static_cast<int>(i);
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
  const int first = findSection(section);
  if (first < 0) return out;
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
    if (keysDistinct(first, std::move(hashes))) return out;
    out.clear();
  }
  const bool repeated = only.next >= 0;
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
  return out;
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

// ---- writing ---------------------------------------------------------------------------------

QString ProfileFile::nameProblem(const QByteArray& section, const QByteArray& key) {
  const QByteArrayView s = trimmed(section);
  const QByteArrayView k = trimmed(key);
  if (s.isEmpty()) return QStringLiteral("A section name cannot be empty.");
  if (s.contains(']') || s.contains('\n') || s.contains('\r'))
    return QStringLiteral("The section name \"%1\" cannot hold \"]\" or a line break.")
        .arg(TextCodec::decode(s.toByteArray()));
  if (k.isEmpty()) return QStringLiteral("A key name cannot be empty.");
  if (k.contains('=') || k.contains('\n') || k.contains('\r'))
    return QStringLiteral("The key name \"%1\" cannot hold \"=\" or a line break.")
        .arg(TextCodec::decode(k.toByteArray()));
  if (k[0] == '[' || k[0] == ';' || k[0] == '#')
    return QStringLiteral("The key name \"%1\" cannot start with \"[\", \";\" or \"#\".")
        .arg(TextCodec::decode(k.toByteArray()));
  return {};
}

void ProfileFile::setValue(const QByteArray& sectionName, const QByteArray& keyName, const QByteArray& val) {
  const QByteArray section = trimmed(sectionName).toByteArray();
  const QByteArray key = trimmed(keyName).toByteArray();
  // A name the layout cannot hold would read back as something else later.
  if (const QString problem = nameProblem(section, key); !problem.isEmpty()) throw ProfileNameError(problem);
  // A value is one line: a line break inside it would split the file's structure.
  QByteArray v = val;
  v.replace('\r', ' ').replace('\n', ' ');
  v = trimmed(v).toByteArray();

  if (const int k = findKeyAnywhere(section, key); k >= 0) {
    const std::uint32_t line = m_keys[static_cast<std::size_t>(k)];
    const QByteArrayView text = lineText(line);
    if (valueOf(text) == v) return;
    // Keep the key as written and the blanks after "="; only the value changes.
    qsizetype cut = text.indexOf('=') + 1;
    while (cut < text.size() && (text[cut] == ' ' || text[cut] == '\t')) ++cut;
    setLineText(line, text.first(cut).toByteArray() + v);
    m_dirty = true;
    return;
  }
  const QByteArray added = key + '=' + v;
  const int s = findSection(section);
  if (s < 0) {
    if (!m_lines.empty()) {
      const auto last = static_cast<std::uint32_t>(m_lines.size() - 1);
      if (eolOf(last) == kNoEol) setLineEol(last, m_defaultEol);
      if (!trimmed(lineText(last)).isEmpty()) insertLine(static_cast<std::uint32_t>(m_lines.size()), {});
    }
    const auto header = static_cast<std::uint32_t>(m_lines.size());
    insertLine(header, '[' + section + ']');
    insertLine(header + 1, added);
    m_keys.push_back(header + 1);
    m_sections.push_back(Section{header, static_cast<std::uint32_t>(m_keys.size() - 1), 1, -1, false});
    insertIntoSectionTable(static_cast<int>(m_sections.size() - 1), nameHash(section));
    m_dirty = true;
    return;
  }
  // New key: after the section's last key (or its header), so that blank lines
  // and comments in front of the next section stay with that section.
  Section& sec = m_sections[static_cast<std::size_t>(s)];
  const std::uint32_t after = sec.keyCount == 0 ? sec.header : m_keys[sec.firstKey + sec.keyCount - 1];
  if (eolOf(after) == kNoEol) setLineEol(after, m_defaultEol);
  insertLine(after + 1, added);
  const std::uint32_t slot = sec.firstKey + sec.keyCount;
  m_keys.insert(m_keys.begin() + slot, after + 1);
  ++sec.keyCount;
  for (std::size_t t = static_cast<std::size_t>(s) + 1; t < m_sections.size(); ++t) ++m_sections[t].firstKey;
  m_keyTables.erase(s);  // rebuilt on next use
  m_dirty = true;
}

QByteArray ProfileFile::sectionBytes(const QString& section) const {
  // The file's own spelling of the name when it has one, in either encoding.
  const QByteArray legacy = TextCodec::encode(section, true);
  if (findSection(legacy) >= 0) return legacy;
  const QByteArray utf8 = section.toUtf8();
  if (findSection(utf8) >= 0) return utf8;
  return TextCodec::encode(section, m_legacy);
}

QByteArray ProfileFile::keyBytes(const QByteArray& section, const QString& key) const {
  const QByteArray legacy = TextCodec::encode(key, true);
  if (findKeyAnywhere(section, legacy) >= 0) return legacy;
  const QByteArray utf8 = key.toUtf8();
  if (findKeyAnywhere(section, utf8) >= 0) return utf8;
  return TextCodec::encode(key, m_legacy);
}

QString ProfileFile::text(const QString& section, const QString& key, const QString& def) const {
  const QByteArray s = sectionBytes(section);
  const int k = findKeyAnywhere(s, keyBytes(s, key));
  return k < 0 ? def
               : TextCodec::decode(valueOf(lineText(m_keys[static_cast<std::size_t>(k)])).toByteArray());
}

QStringList ProfileFile::sections() const {
  QStringList out;
  for (const QByteArray& n : sectionNames()) out.append(TextCodec::decode(n));
  return out;
}

QStringList ProfileFile::keys(const QString& section) const {
  QStringList out;
  for (const QByteArray& n : keyNames(sectionBytes(section))) out.append(TextCodec::decode(n));
  return out;
}

ProfileFile::TextEntries ProfileFile::textEntries(const QString& section) const {
  TextEntries out;
  const std::vector<Entry> all = entries(sectionBytes(section));
  out.keys.reserve(static_cast<qsizetype>(all.size()));
  out.values.reserve(static_cast<qsizetype>(all.size()));
  for (const Entry& e : all) {
    out.keys.append(TextCodec::decode(e.key));
    out.values.append(TextCodec::decode(e.value));
  }
  return out;
}

bool ProfileFile::sameName(QByteArrayView a, QByteArrayView b) { return ::sameName(a, b); }

QByteArray ProfileFile::foldedName(QByteArrayView name) { return ::foldedName(name); }

ProfileFile::Encoded ProfileFile::encode(const QString& section, const QString& key,
                                         const QString& value) const {
  const QByteArray s = sectionBytes(section);
  const QByteArray k = keyBytes(s, key);
  const int found = findKeyAnywhere(s, k);
  // Each value keeps the encoding it was read in, so an edit writes back what the user saw.
  QByteArray bytes =
      found >= 0
          ? TextCodec::encodeLike(
                value, valueOf(lineText(m_keys[static_cast<std::size_t>(found)])).toByteArray(), m_legacy)
          : TextCodec::encode(value, m_legacy);
  // As setValue stores it: one line, no blanks around.
  bytes.replace('\r', ' ').replace('\n', ' ');
  return Encoded{s, k, trimmed(bytes).toByteArray()};
}

void ProfileFile::setText(const QString& section, const QString& key, const QString& value) {
  const Encoded e = encode(section, key, value);
  setValue(e.section, e.key, e.value);
}

QByteArray ProfileFile::content() const {
  if (m_extra.empty()) return m_data;  // nothing changed: the bytes as read
  qsizetype size = m_bom;
  for (std::uint32_t i = 0; i < m_lines.size(); ++i) size += lineText(i).size() + eolText(eolOf(i)).size();
  QByteArray out;
  out.reserve(size);
  out.append(m_data.constData(), m_bom);
  for (std::uint32_t i = 0; i < m_lines.size(); ++i) {
    out.append(lineText(i));
    out.append(eolText(eolOf(i)));
  }
  return out;
}

void ProfileFile::commit() {
  if (!m_dirty || m_inMemory) return;
  const QByteArray data = content();
  // Only the program's own configuration folder is made on demand; any other
  // missing folder is a mistyped path, not a place to create.
  const QString folder = QFileInfo(m_path).absolutePath();
  if (QDir::cleanPath(folder) == QDir::cleanPath(configFolder())) QDir().mkpath(folder);
  try {
    AtomicFile::write(m_path, data);
  } catch (...) {
    m_commitFailed = true;
    throw;
  }
  m_dirty = false;
  m_commitFailed = false;
  m_existed = true;
}

QString ProfileFile::readText(const QString& file, const QString& section, const QString& key,
                              const QString& def) {
  return ProfileFile(file).text(section, key, def);
}

void ProfileFile::writeText(const QString& file, const QString& section, const QString& key,
                            const QString& value) {
  ProfileFile profile(file);
  profile.setText(section, key, value);
  profile.commit();
}
