#include "profile/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

#include "app/TessaryError.h"
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
  QFile file(m_path);
  QByteArray data;
  if (file.open(QIODevice::ReadOnly)) {
    m_existed = true;
    data = file.readAll();
  }
  parse(data);
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
  bool eolKnown = false;
  while (pos < data.size()) {
    qsizetype nl = data.indexOf('\n', pos);
    Line line;
    if (nl < 0) {
      line.text = data.mid(pos);
      pos = data.size();
    } else {
      const bool crlf = nl > pos && data[nl - 1] == '\r';
      line.text = data.mid(pos, nl - pos - (crlf ? 1 : 0));
      line.eol = crlf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
      if (!eolKnown) {
        m_defaultEol = line.eol;
        eolKnown = true;
      }
      pos = nl + 1;
    }
    QByteArray name;
    switch (classify(line.text, &name)) {
      case Kind::Header: {
        Section s;
        s.name = name;
        s.lines.push_back(std::move(line));
        const QByteArray key = upper(name);
        if (!m_sectionIndex.contains(key)) m_sectionIndex.insert(key, static_cast<int>(m_sections.size()));
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

QByteArray ProfileFile::lineValue(const QByteArray& line) { return trimmed(line.mid(line.indexOf('=') + 1)); }

QByteArray ProfileFile::value(const QByteArray& section, const QByteArray& key, const QByteArray& def) const {
  const Section* s = findSection(section);
  if (!s) return def;
  const auto it = s->index.constFind(upper(trimmed(key)));
  if (it == s->index.constEnd()) return def;
  return lineValue(s->lines[static_cast<size_t>(s->keys[static_cast<size_t>(*it)].line)].text);
}

bool ProfileFile::hasKey(const QByteArray& section, const QByteArray& key) const {
  const Section* s = findSection(section);
  return s && s->index.contains(upper(trimmed(key)));
}

QList<QByteArray> ProfileFile::sectionNames() const {
  QList<QByteArray> names;
  names.reserve(static_cast<qsizetype>(m_sections.size()));
  for (size_t i = 1; i < m_sections.size(); ++i) names.append(m_sections[i].name);
  return names;
}

QList<QByteArray> ProfileFile::keyNames(const QByteArray& section) const {
  QList<QByteArray> names;
  const Section* s = findSection(section);
  if (!s) return names;
  names.reserve(static_cast<qsizetype>(s->keys.size()));
  for (size_t i = 0; i < s->keys.size(); ++i)
    if (s->index.value(upper(s->keys[i].name)) == static_cast<int>(i)) names.append(s->keys[i].name);
  return names;
}

QList<QByteArray> ProfileFile::sectionLines(const QByteArray& section) const {
  QList<QByteArray> lines;
  for (const QByteArray& key : keyNames(section)) lines.append(key + '=' + value(section, key));
  return lines;
}

void ProfileFile::setValue(const QByteArray& sectionName, const QByteArray& keyName, const QByteArray& val) {
  const QByteArray section = trimmed(sectionName);
  const QByteArray key = trimmed(keyName);
  // A value is one line: a line break inside it would split the file's structure.
  QByteArray v = val;
  v.replace('\r', ' ').replace('\n', ' ');
  v = trimmed(v);
  Section* s = findSection(section);
  if (!s) {
    Section& last = m_sections.back();
    if (!last.lines.empty()) {
      if (last.lines.back().eol.isEmpty()) last.lines.back().eol = m_defaultEol;
      if (!trimmed(last.lines.back().text).isEmpty()) last.lines.push_back(Line{{}, m_defaultEol});
    }
    Section fresh;
    fresh.name = section;
    fresh.lines.push_back(Line{'[' + section + ']', m_defaultEol});
    m_sectionIndex.insert(upper(section), static_cast<int>(m_sections.size()));
    m_sections.push_back(std::move(fresh));
    s = &m_sections.back();
  }
  const auto it = s->index.constFind(upper(key));
  if (it != s->index.constEnd()) {
    Line& line = s->lines[static_cast<size_t>(s->keys[static_cast<size_t>(*it)].line)];
    if (lineValue(line.text) == v) return;
    // Keep the key as written and the blanks after "="; only the value changes.
    qsizetype cut = line.text.indexOf('=') + 1;
    while (cut < line.text.size() && (line.text[cut] == ' ' || line.text[cut] == '\t')) ++cut;
    line.text = line.text.left(cut) + v;
    m_dirty = true;
    return;
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

QByteArray ProfileFile::encodeName(const QString& name) const { return TextCodec::encode(name, m_legacy); }

QString ProfileFile::text(const QString& section, const QString& key, const QString& def) const {
  const Section* s = findSection(encodeName(section));
  if (!s) return def;
  const auto it = s->index.constFind(upper(trimmed(encodeName(key))));
  if (it == s->index.constEnd()) return def;
  return TextCodec::decode(lineValue(s->lines[static_cast<size_t>(s->keys[static_cast<size_t>(*it)].line)].text));
}

QStringList ProfileFile::sections() const {
  QStringList out;
  for (const QByteArray& n : sectionNames()) out.append(TextCodec::decode(n));
  return out;
}

QStringList ProfileFile::keys(const QString& section) const {
  QStringList out;
  for (const QByteArray& n : keyNames(encodeName(section))) out.append(TextCodec::decode(n));
  return out;
}

void ProfileFile::setText(const QString& section, const QString& key, const QString& value) {
  setValue(encodeName(section), encodeName(key), TextCodec::encode(value, m_legacy));
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
  QDir().mkpath(QFileInfo(m_path).absolutePath());
  QSaveFile out(m_path);
  if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit()) {
    m_commitFailed = true;
    throw ProfileWriteError(QStringLiteral("Unable to write to %1").arg(m_path));
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
