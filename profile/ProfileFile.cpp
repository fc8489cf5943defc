#include "profile/ProfileFile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "profile/AtomicFile.h"
#include "profile/ByteScan.h"
#include "profile/ProfileFileDetail.h"
#include "profile/TessaryError.h"
#include "profile/TextCodec.h"

using namespace ProfileFileDetail;

QString ProfileFile::configFolder() {
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (!base.isEmpty() && !QDir::isRelativePath(base)) return base + QStringLiteral("/tessary");
#ifdef Q_OS_WIN
  // The user's roaming application data, where Windows programs keep their settings.
  const QString roaming = QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
  if (!roaming.isEmpty() && QDir::isAbsolutePath(roaming)) return roaming + QStringLiteral("/Tessary");
#endif
  return QDir::homePath() + QStringLiteral("/.config/tessary");
}

QString ProfileFile::resolve(const QString& fileName) {
  if (fileName.contains(QLatin1Char('/'))) return fileName;
#ifdef Q_OS_WIN
  // C:\zone\arena.cfg and C:arena.cfg name files too, not bare names.
  if (fileName.contains(QLatin1Char('\\')) || fileName.contains(QLatin1Char(':'))) return fileName;
#endif
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

namespace {
struct Room {
  std::size_t lines, sections, keys;
};

// Room for every line, header and key line the data can hold.
Room roomFor(const char* data, std::uint32_t size) {
  const ByteCounts c = countShapingBytes(data, size);
  return Room{c.lf + c.cr - c.crlf + 1, c.open, c.equals};
}

// Room counted first, so that a big file's tables are never copied as they grow.
template <typename Lines, typename Sections>
void reserveFor(const Room& room, Lines& lines, Sections& sections, Table<std::uint32_t>& hashes,
                Table<std::uint32_t>& keys) {
  lines.reserve(room.lines);
  sections.reserve(room.sections);
  hashes.reserve(room.sections);
  keys.reserve(room.keys);
}

// What a line is, with the same decisions as classify(): a header starts a
// section (its name hashed while the line is at hand), a key line joins the
// section being read. Keys before the first section belong to none and are never found.
template <typename Sections>
void noteLine(const char* data, std::uint32_t b, std::uint32_t end, std::uint32_t lineIndex,
              Sections& sections, Table<std::uint32_t>& hashes, Table<std::uint32_t>& keys,
              typename Sections::value_type*& current) {
  while (b < end && isBlank(data[b])) ++b;
  if (b == end) return;
  if (data[b] == '[') {
    sections.push_back({lineIndex, static_cast<std::uint32_t>(keys.size()), 0, false, -1});
    current = &sections.back();
    QByteArrayView name;
    classify(QByteArrayView(data + b, end - b), &name);
    hashes.push_back(nameHash(name));
  } else if (data[b] != ';' && data[b] != '#' && current != nullptr) {
    const char* eq = findByte(data + b, data + end, '=');
    if (eq < data + end && eq > data + b) {
      keys.push_back(lineIndex);
      ++current->keyCount;
    }
  }
}

// The table, without more than 1/slack of its size unused.
template <typename T>
Table<T> withoutSlack(Table<T>&& table, std::size_t slack) {
  if (table.capacity() > table.size() + table.size() / slack) table.shrink_to_fit();
  return std::move(table);
}
}  // namespace

void ProfileFile::parse() {
  const char* data = m_data.constData();
  const auto size = static_cast<std::uint32_t>(m_data.size());
  std::uint32_t pos = 0;
  if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) pos = m_bom = 3;
  // Built in locals, which the compiler keeps in registers, and moved in at the end.
  Table<Line> lines;
  Table<std::uint32_t> keys;
  Table<Section> sections;
  Table<std::uint32_t> hashes;  // of each section's name, taken while the line is at hand
  reserveFor(roomFor(data, size), lines, sections, hashes, keys);

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
    noteLine(data, pos, end, lineIndex, sections, hashes, keys, current);
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
  // Where the guess of their room was far off, the tables give back what they do not use.
  m_lines = withoutSlack(std::move(lines), 32);
  m_keys = withoutSlack(std::move(keys), 2);
  m_sections = withoutSlack(std::move(sections), 32);
  rebuildSectionTable(tableSizeFor(m_sections.size()), hashes);
}

QByteArrayView ProfileFile::sectionName(const Section& s) const {
  QByteArrayView name;
  classify(lineText(s.header), &name);
  return name;
}

QByteArrayView ProfileFile::keyName(std::uint32_t keyIndex) const { return entryOf(keyIndex).key; }

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
    m_sections.push_back(Section{header, static_cast<std::uint32_t>(m_keys.size() - 1), 1, false, -1});
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

bool ProfileFile::sameName(QByteArrayView a, QByteArrayView b) { return ProfileFileDetail::sameName(a, b); }

QByteArray ProfileFile::foldedName(QByteArrayView name) { return ProfileFileDetail::foldedName(name); }

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
