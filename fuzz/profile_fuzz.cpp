// Fuzz target for the profile engine. The input is a file's bytes, optionally
// followed by a NUL byte and one write: "section \x01 key \x01 value".
//
// Checked for every input: nothing crashes or trips a sanitizer; reading and
// committing nothing gives the bytes back unchanged; sections, keys and values
// read as a plain line-by-line reading of the layout finds them. For a write whose names
// the layout can hold: the key reads back the value, every other key reads as
// before (also after parsing the written bytes again), and only that key's line
// changed, or lines were added for it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

#include "profile/ProfileFile.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "profile_fuzz: %s\n", what);
  std::abort();
}

using Snapshot = std::map<std::pair<QByteArray, QByteArray>, QByteArray>;

QByteArray upper(const QByteArray& s) {
  QByteArray u = s;
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

Snapshot snapshot(const ProfileFile& p) {
  Snapshot all;
  for (const QByteArray& s : p.sectionNames())
    for (const QByteArray& k : p.keyNames(s)) all[{upper(s), upper(k)}] = p.value(s, k);
  return all;
}

// Line texts, split as the engine splits them (LF, CR LF, CR), byte-order mark aside.
std::vector<QByteArray> lines(const QByteArray& data) {
  std::vector<QByteArray> out;
  qsizetype pos = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
  while (pos < data.size()) {
    qsizetype end = pos;
    while (end < data.size() && data[end] != '\n' && data[end] != '\r') ++end;
    out.push_back(data.mid(pos, end - pos));
    if (end < data.size() && data[end] == '\r' && end + 1 < data.size() && data[end + 1] == '\n') ++end;
    pos = end + 1;
  }
  return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

QByteArray trimmed(QByteArray s) {
  qsizetype b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.mid(b, e - b);
}

// What the file holds by a plain reading of the layout, line by line, written
// without the engine's tables and scans: every section (letter case aside) with
// its keys in file order, the first occurrence of a key winning.
struct Reading {
  std::vector<QByteArray> sections;                        // first spelling, file order
  std::map<QByteArray, std::vector<QByteArray>> keyOrder;  // by upper-case section
  Snapshot values;
};

Reading plainReading(const QByteArray& content) {
  Reading r;
  QByteArray current;
  bool inSection = false;
  for (const QByteArray& raw : lines(content)) {
    const QByteArray line = trimmed(raw);
    if (line.isEmpty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const qsizetype close = line.indexOf(']');
      const QByteArray name = trimmed(line.mid(1, close < 0 ? -1 : close - 1));
      current = upper(name);
      inSection = true;
      if (r.keyOrder.emplace(current, std::vector<QByteArray>{}).second) r.sections.push_back(name);
      continue;
    }
    const qsizetype eq = line.indexOf('=');
    if (eq <= 0 || !inSection) continue;
    const QByteArray key = trimmed(line.left(eq));
    if (r.values.emplace(std::make_pair(current, upper(key)), trimmed(line.mid(eq + 1))).second)
      r.keyOrder[current].push_back(key);
  }
  return r;
}

// The engine's whole-section reads against the plain reading.
void checkReads(const ProfileFile& p, const QByteArray& content) {
  const Reading expected = plainReading(content);
  const QList<QByteArray> sections = p.sectionNames();
  if (std::vector<QByteArray>(sections.begin(), sections.end()) != expected.sections)
    fail("sections read wrong");
  for (const QByteArray& s : sections) {
    std::vector<QByteArray> keys;
    for (const ProfileFile::Entry& e : p.entries(s)) {
      keys.push_back(e.key.toByteArray());
      const auto it = expected.values.find({upper(s), upper(e.key.toByteArray())});
      if (it == expected.values.end() || it->second != e.value.toByteArray()) fail("a value read wrong");
      if (p.value(s, e.key.toByteArray(),
                  "\x01"
                  "absent") != it->second)
        fail("a lookup disagrees with the section read");
    }
    if (keys != expected.keyOrder.at(upper(s))) fail("keys read wrong");
  }
}

void checkWrite(const QByteArray& content, const QByteArray& section, const QByteArray& key,
                const QByteArray& value) {
  if (!ProfileFile::nameProblem(section, key).isEmpty()) {
    ProfileFile p(content, ProfileFile::FromMemory{});
    bool refused = false;
    try {
      p.setValue(section, key, value);
    } catch (const std::exception&) {
      refused = true;
    }
    if (!refused || p.content() != content) fail("a name the layout cannot hold was written");
    return;
  }
  ProfileFile p(content, ProfileFile::FromMemory{});
  const Snapshot before = snapshot(p);
  const bool existed = p.hasKey(section, key);
  p.setValue(section, key, value);
  QByteArray expected = value;
  expected.replace('\r', ' ').replace('\n', ' ');
  expected = trimmed(expected);
  const QByteArray written = p.content();
  ProfileFile again(written, ProfileFile::FromMemory{});
  for (const ProfileFile* file : {&p, &again}) {
    if (file->value(section, key,
                    "\x01"
                    "absent") != expected)
      fail("the key does not read back the value written");
    Snapshot after = snapshot(*file);
    after.erase({upper(trimmed(section)), upper(trimmed(key))});
    Snapshot others = before;
    others.erase({upper(trimmed(section)), upper(trimmed(key))});
    if (after != others) fail("another key reads differently after a write");
  }
  checkReads(again, written);
  // Only that key's line changed, or lines were added.
  const std::vector<QByteArray> oldLines = lines(content);
  const std::vector<QByteArray> newLines = lines(written);
  if (existed) {
    if (oldLines.size() != newLines.size()) fail("an edit in place changed the number of lines");
    int changed = 0;
    for (std::size_t i = 0; i < oldLines.size(); ++i) changed += oldLines[i] != newLines[i];
    if (changed > 1) fail("an edit in place changed more than one line");
  } else {
    if (newLines.size() < oldLines.size() + 1 || newLines.size() > oldLines.size() + 3)
      fail("a new key added an unexpected number of lines");
    std::size_t matched = 0;
    for (std::size_t i = 0; i < newLines.size() && matched < oldLines.size(); ++i)
      if (newLines[i] == oldLines[matched]) ++matched;
    if (matched != oldLines.size()) fail("a new key changed an existing line");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const qsizetype nul = input.lastIndexOf('\0');
  const QByteArray content = nul < 0 ? input : input.left(nul);
  {
    ProfileFile p(content, ProfileFile::FromMemory{});
    if (p.content() != content) fail("reading changed the bytes");
    checkReads(p, content);
    (void)p.duplicateSectionNames();
    if (p.isDirty()) fail("reading marked the file changed");
  }
  if (nul >= 0) {
    const QList<QByteArray> parts = input.mid(nul + 1).split('\x01');
    if (parts.size() >= 3) checkWrite(content, parts[0], parts[1], parts[2]);
  }
  return 0;
}
