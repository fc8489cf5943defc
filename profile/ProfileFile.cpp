#include "profile/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cstdio>
#include <utility>

#include "app/TessaryError.h"
#include "profile/AtomicFile.h"
#include "profile/TextCodec.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

QByteArray trimmed(const QByteArray& s) {
  qsizetype b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.mid(b, e - b);
}

QByteArray upper(const QByteArray& s) {
  QByteArray u = s;
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

enum class Kind { Other, Header, Key };

Kind classify(const QByteArray& raw, QByteArray* name) {
  const QByteArray t = trimmed(raw);
  if (t.isEmpty() || t[0] == ';' || t[0] == '#') return Kind::Other;
  if (t[0] == '[') {
    const qsizetype close = t.indexOf(']');
    *name = trimmed(close < 0 ? t.mid(1) : t.mid(1, close - 1));
    return Kind::Header;
  }
  const qsizetype eq = t.indexOf('=');
  if (eq <= 0) return Kind::Other;
  *name = trimmed(t.left(eq));
  return name->isEmpty() ? Kind::Other : Kind::Key;
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
  const std::optional<QByteArray> data = AtomicFile::read(m_path);
  m_existed = data.has_value();
  parse(data.value_or(QByteArray()));
}

ProfileFile::~ProfileFile() {
  if (!m_dirty || m_commitFailed) return;  // a failed commit was reported to its caller already
  try {
    commit();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  }
}

void ProfileFile::parse(const QByteArray& data) {
  qsizetype pos = 0;
  if (data.startsWith("\xEF\xBB\xBF")) {
    m_bom = data.left(3);
    pos = 3;
  }
  m_legacy = !TextCodec::isValidUtf8(data);
  m_sections.clear();
  m_sections.push_back(Section{});
  QHash<QByteArray, int> lastOfName;  // upper-case name -> last occurrence so far
  bool eolKnown = false;
  while (pos < data.size()) {
    // LF, CR LF and a lone CR all end a line; each line keeps its own ending.
    qsizetype end = pos;
    while (end < data.size() && data[end] != '\n' && data[end] != '\r') ++end;
    Line line;
    line.text = data.mid(pos, end - pos);
    if (end < data.size()) {
      if (data[end] == '\r' && end + 1 < data.size() && data[end + 1] == '\n')
        line.eol = QByteArrayLiteral("\r\n");
      else
        line.eol = data[end] == '\r' ? QByteArrayLiteral("\r") : QByteArrayLiteral("\n");
      if (!eolKnown) {
        m_defaultEol = line.eol;
        eolKnown = true;
      }
    }
    pos = end + line.eol.size();
    if (line.eol.isEmpty()) pos = data.size();
    QByteArray name;
    switch (classify(line.text, &name)) {
      case Kind::Header: {
        Section s;
        s.name = name;
        s.lines.push_back(std::move(line));
        const QByteArray key = upper(name);
        const int at = static_cast<int>(m_sections.size());
        if (const auto it = lastOfName.find(key); it != lastOfName.end()) {
          m_sections[static_cast<size_t>(*it)].next = at;
          *it = at;
        } else {
          s.first = true;
          m_sectionIndex.insert(key, at);
          lastOfName.insert(key, at);
        }
        m_sections.push_back(std::move(s));
        break;
      }
      case Kind::Key: {
        Section& s = m_sections.back();
        const QByteArray key = upper(name);
        if (!s.index.contains(key)) s.index.insert(key, static_cast<int>(s.keys.size()));
        s.keys.push_back(Key{name, static_cast<int>(s.lines.size())});
        s.lines.push_back(std::move(line));
        break;
      }
      case Kind::Other:
        m_sections.back().lines.push_back(std::move(line));
        break;
    }
  }
}

const ProfileFile::Section* ProfileFile::findSection(const QByteArray& name) const {
  const auto it = m_sectionIndex.constFind(upper(trimmed(name)));
  return it == m_sectionIndex.constEnd() ? nullptr : &m_sections[static_cast<size_t>(*it)];
}

ProfileFile::Section* ProfileFile::findSection(const QByteArray& name) {
  const auto it = m_sectionIndex.constFind(upper(trimmed(name)));
  return it == m_sectionIndex.constEnd() ? nullptr : &m_sections[static_cast<size_t>(*it)];
}

const ProfileFile::Section* ProfileFile::nextOccurrence(const Section* s) const {
  return s->next < 0 ? nullptr : &m_sections[static_cast<size_t>(s->next)];
}

ProfileFile::Line* ProfileFile::findKeyLine(const QByteArray& section, const QByteArray& key) {
  return const_cast<Line*>(std::as_const(*this).findKeyLine(section, key));
}

const ProfileFile::Line* ProfileFile::findKeyLine(const QByteArray& section, const QByteArray& key) const {
  // A section may appear more than once; its keys are those of all its
  // occurrences, and the first occurrence of a key is the one that counts.
  const QByteArray wanted = upper(trimmed(key));
  for (const Section* s = findSection(section); s; s = nextOccurrence(s)) {
    const auto it = s->index.constFind(wanted);
    if (it != s->index.constEnd())
      return &s->lines[static_cast<size_t>(s->keys[static_cast<size_t>(*it)].line)];
  }
  return nullptr;
}

QByteArray ProfileFile::lineValue(const QByteArray& line) { return trimmed(line.mid(line.indexOf('=') + 1)); }

QByteArray ProfileFile::value(const QByteArray& section, const QByteArray& key, const QByteArray& def) const {
  const Line* line = findKeyLine(section, key);
  return line ? lineValue(line->text) : def;
}

bool ProfileFile::hasKey(const QByteArray& section, const QByteArray& key) const {
  return findKeyLine(section, key) != nullptr;
}

QList<QByteArray> ProfileFile::sectionNames() const {
  QList<QByteArray> names;
  names.reserve(static_cast<qsizetype>(m_sectionIndex.size()));
  for (size_t i = 1; i < m_sections.size(); ++i)
    if (m_sections[i].first) names.append(m_sections[i].name);
  return names;
}

bool ProfileFile::hasDuplicateSections() const {
  return static_cast<size_t>(m_sectionIndex.size()) + 1 < m_sections.size();
}

QList<QByteArray> ProfileFile::duplicateSectionNames() const {
  QList<QByteArray> names;
  for (size_t i = 1; i < m_sections.size(); ++i)
    if (m_sections[i].first && m_sections[i].next >= 0) names.append(m_sections[i].name);
  return names;
}

QList<QByteArray> ProfileFile::keyNames(const QByteArray& section) const {
  QList<QByteArray> names;
  const Section* first = findSection(section);
  if (!first) return names;
  if (first->next < 0) {
    names.reserve(static_cast<qsizetype>(first->keys.size()));
    for (size_t i = 0; i < first->keys.size(); ++i)
      if (first->index.value(upper(first->keys[i].name)) == static_cast<int>(i)) names.append(first->keys[i].name);
    return names;
  }
  QSet<QByteArray> seen;
  for (const Section* s = first; s; s = nextOccurrence(s))
    for (const Key& k : s->keys) {
      const QByteArray u = upper(k.name);
      if (seen.contains(u)) continue;
      seen.insert(u);
      names.append(k.name);
    }
  return names;
}

QList<QByteArray> ProfileFile::sectionLines(const QByteArray& section) const {
  QList<QByteArray> lines;
  for (const QByteArray& key : keyNames(section)) lines.append(key + '=' + value(section, key));
  return lines;
}

QString ProfileFile::nameProblem(const QByteArray& section, const QByteArray& key) {
  const QByteArray s = trimmed(section);
  const QByteArray k = trimmed(key);
  if (s.isEmpty()) return QStringLiteral("A section name cannot be empty.");
  if (s.contains(']') || s.contains('\n') || s.contains('\r'))
    return QStringLiteral("The section name \"%1\" cannot hold \"]\" or a line break.").arg(TextCodec::decode(s));
  if (k.isEmpty()) return QStringLiteral("A key name cannot be empty.");
  if (k.contains('=') || k.contains('\n') || k.contains('\r'))
    return QStringLiteral("The key name \"%1\" cannot hold \"=\" or a line break.").arg(TextCodec::decode(k));
  if (k[0] == '[' || k[0] == ';' || k[0] == '#')
    return QStringLiteral("The key name \"%1\" cannot start with \"[\", \";\" or \"#\".").arg(TextCodec::decode(k));
  return {};
}

void ProfileFile::setValue(const QByteArray& sectionName, const QByteArray& keyName, const QByteArray& val) {
  const QByteArray section = trimmed(sectionName);
  const QByteArray key = trimmed(keyName);
  // A name the layout cannot hold would read back as something else later.
  if (const QString problem = nameProblem(section, key); !problem.isEmpty()) throw ProfileNameError(problem);
  // A value is one line: a line break inside it would split the file's structure.
  QByteArray v = val;
  v.replace('\r', ' ').replace('\n', ' ');
  v = trimmed(v);
  if (Line* line = findKeyLine(section, key)) {
    if (lineValue(line->text) == v) return;
    // Keep the key as written and the blanks after "="; only the value changes.
    qsizetype cut = line->text.indexOf('=') + 1;
    while (cut < line->text.size() && (line->text[cut] == ' ' || line->text[cut] == '\t')) ++cut;
    line->text = line->text.left(cut) + v;
    m_dirty = true;
    return;
  }
  Section* s = findSection(section);
  if (!s) {
    Section& last = m_sections.back();
    if (!last.lines.empty()) {
      if (last.lines.back().eol.isEmpty()) last.lines.back().eol = m_defaultEol;
      if (!trimmed(last.lines.back().text).isEmpty()) last.lines.push_back(Line{{}, m_defaultEol});
    }
    Section fresh;
    fresh.name = section;
    fresh.first = true;
    fresh.lines.push_back(Line{'[' + section + ']', m_defaultEol});
    m_sectionIndex.insert(upper(section), static_cast<int>(m_sections.size()));
    m_sections.push_back(std::move(fresh));
    s = &m_sections.back();
  }
  // New key: after the section's last key (or its header), so that blank lines
  // and comments in front of the next section stay with that section.
  const size_t at = s->keys.empty() ? 0 : static_cast<size_t>(s->keys.back().line);
  if (s->lines[at].eol.isEmpty()) s->lines[at].eol = m_defaultEol;
  Line added{key + '=' + v, m_defaultEol};
  s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(at + 1), std::move(added));
  // Entries after the insertion point never hold keys (it follows the last key).
  s->index.insert(upper(key), static_cast<int>(s->keys.size()));
  s->keys.push_back(Key{key, static_cast<int>(at + 1)});
  m_dirty = true;
}

QByteArray ProfileFile::sectionBytes(const QString& section) const {
  // The file's own spelling of the name when it has one, in either encoding.
  const QByteArray legacy = TextCodec::encode(section, true);
  if (findSection(legacy)) return legacy;
  const QByteArray utf8 = section.toUtf8();
  if (findSection(utf8)) return utf8;
  return TextCodec::encode(section, m_legacy);
}

QByteArray ProfileFile::keyBytes(const QByteArray& section, const QString& key) const {
  const QByteArray legacy = TextCodec::encode(key, true);
  if (findKeyLine(section, legacy)) return legacy;
  const QByteArray utf8 = key.toUtf8();
  if (findKeyLine(section, utf8)) return utf8;
  return TextCodec::encode(key, m_legacy);
}

QString ProfileFile::text(const QString& section, const QString& key, const QString& def) const {
  const QByteArray s = sectionBytes(section);
  const Line* line = findKeyLine(s, keyBytes(s, key));
  return line ? TextCodec::decode(lineValue(line->text)) : def;
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

void ProfileFile::setText(const QString& section, const QString& key, const QString& value) {
  const QByteArray s = sectionBytes(section);
  const QByteArray k = keyBytes(s, key);
  const Line* line = findKeyLine(s, k);
  // Each value keeps the encoding it was read in, so an edit writes back what the user saw.
  const QByteArray bytes = line ? TextCodec::encodeLike(value, lineValue(line->text), m_legacy)
                                : TextCodec::encode(value, m_legacy);
  setValue(s, k, bytes);
}

QByteArray ProfileFile::content() const {
  QByteArray out = m_bom;
  for (const Section& s : m_sections)
    for (const Line& l : s.lines) {
      out += l.text;
      out += l.eol;
    }
  return out;
}

void ProfileFile::commit() {
  if (!m_dirty) return;
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
