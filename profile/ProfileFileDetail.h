#pragma once
// The pieces of the file engine that its two source files share: line endings,
// blanks, name folding and hashing, line kinds. Not for use outside profile/ProfileFile*.
#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <cstring>

#include "profile/ByteScan.h"
#include "profile/ProfileFile.h"

namespace ProfileFileDetail {

constexpr std::uint32_t kLengthMask = (1u << 29) - 1;
constexpr std::uint32_t kEolShift = 29;
constexpr std::uint32_t kEolMask = 3u << kEolShift;
constexpr std::uint32_t kExtra = 1u << 31;
enum : std::uint32_t { kNoEol = 0, kLf = 1, kCrLf = 2, kCr = 3 };
constexpr std::size_t kLinearKeys = 8;  // sections this small are searched without a table

inline QByteArrayView eolText(std::uint32_t eol) {
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

inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

inline QByteArrayView trimmed(QByteArrayView s) {
  qsizetype b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.sliced(b, e - b);
}

inline char fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline QByteArray foldedName(QByteArrayView name) {
  QByteArray out(name.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < name.size(); ++i) out[i] = fold(name[i]);
  return out;
}

inline bool sameName(QByteArrayView a, QByteArrayView b) {
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

inline std::uint64_t word64(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return w & kFold;
}

inline std::uint64_t word32(const char* p) {
  std::uint32_t w;
  std::memcpy(&w, p, 4);
  return w & 0xDFDFDFDFu;
}

inline std::uint64_t mix(std::uint64_t h, std::uint64_t w) {
  h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
  return h ^ (h >> 31);
}

inline std::uint32_t nameHash(QByteArrayView name) {
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
inline Kind classify(QByteArrayView line, QByteArrayView* name) {
  const char* b = line.data();
  const char* e = b + line.size();
  while (b < e && isBlank(*b)) ++b;
  if (b == e || *b == ';' || *b == '#') return Kind::Other;
  const char* nameEnd;
  const char* nameStart;
  Kind kind;
  if (*b == '[') {
    nameStart = b + 1;
    nameEnd = findByte(nameStart, e, ']');  // none: the name runs to the end
    kind = Kind::Header;
  } else {
    const char* eq = findByte(b, e, '=');
    if (eq == e || eq == b) return Kind::Other;
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

inline QByteArrayView valueOf(QByteArrayView line) { return trimmed(line.sliced(line.indexOf('=') + 1)); }

inline std::size_t tableSizeFor(std::size_t entries) {
  std::size_t size = 16;
  while (size < entries * 2) size *= 2;
  return size;
}

}  // namespace ProfileFileDetail

inline QByteArrayView ProfileFile::lineText(std::uint32_t line) const {
  using namespace ProfileFileDetail;
  const Line& l = m_lines[line];
  if (l.info & kExtra) return m_extra[l.start];
  return QByteArrayView(m_data.constData() + l.start, l.info & kLengthMask);
}

// Inline: called once per key when whole sections are read.
inline ProfileFile::Entry ProfileFile::entryOf(std::uint32_t keyIndex) const {
  using namespace ProfileFileDetail;
  const QByteArrayView line = lineText(m_keys[keyIndex]);
  const char* b = line.data();
  const char* e = b + line.size();
  while (b < e && isBlank(*b)) ++b;
  const char* eq = findByte(b, e, '=');
  const char* nameEnd = eq;
  while (nameEnd > b && isBlank(nameEnd[-1])) --nameEnd;
  return Entry{QByteArrayView(b, nameEnd - b), trimmed(QByteArrayView(eq + 1, e - eq - 1))};
}
