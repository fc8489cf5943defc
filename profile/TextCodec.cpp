#include "profile/TextCodec.h"

#include <QStringDecoder>
#include <optional>

namespace {
// Windows-1252 0x80..0x9F; 0 marks the five undefined bytes (shown as Latin-1 controls).
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
}  // namespace

namespace TextCodec {

bool isValidUtf8(const QByteArray& bytes) { return QByteArrayView(bytes).isValidUtf8(); }

QString decode(QByteArrayView bytes) {
  if (bytes.isValidUtf8()) {
    // Qt drops a leading byte-order mark; inside a value it is data and must come back.
    if (bytes.startsWith("\xEF\xBB\xBF")) return QChar(0xFEFF) + QString::fromUtf8(bytes.sliced(3));
    return QString::fromUtf8(bytes);
  }
  QString text;
  text.reserve(bytes.size());
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b >= 0x80 && b < 0xA0 && kCp1252High[b - 0x80] != 0)
      text.append(QChar(kCp1252High[b - 0x80]));
    else
      text.append(QChar(b));
  }
  return text;
}

namespace {
// Windows-1252 bytes for text, or nothing when a character has none. The five
// bytes the code page leaves undefined decode to U+0081 and so on, and come back
// as themselves, so every byte string survives a decode and encode.
std::optional<QByteArray> toCp1252(const QString& text) {
  QByteArray out;
  out.reserve(text.size());
  for (QChar qc : text) {
    const char16_t c = qc.unicode();
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.append(static_cast<char>(c));
      continue;
    }
    if (c >= 0x80 && c < 0xA0 && kCp1252High[c - 0x80] == 0) {
      out.append(static_cast<char>(c));
      continue;
    }
    int found = -1;
    for (int i = 0; i < 32; ++i)
      if (kCp1252High[i] == c) found = i;
    if (found < 0) return std::nullopt;
    out.append(static_cast<char>(0x80 + found));
  }
  return out;
}
}  // namespace

QByteArray encode(const QString& text, bool legacy) {
  if (legacy) {
    // Only when it reads back as the same text: "Ã©" in Windows-1252 would read back as "é".
    if (const std::optional<QByteArray> bytes = toCp1252(text); bytes && decode(*bytes) == text)
      return *bytes;
  }
  return text.toUtf8();
}

bool isAscii(const QByteArray& bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

QByteArray encodeLike(const QString& text, const QByteArray& previous, bool fileIsLegacy) {
  const bool legacy = isAscii(previous) ? fileIsLegacy : !isValidUtf8(previous);
  return encode(text, legacy);
}

QChar separatorOf(const QString& format, QChar fallback) {
  for (QChar c : format)
    if (!c.isLetter() && c != QLatin1Char(' ') && c != QLatin1Char('\'')) return c;
  return fallback;
}

}  // namespace TextCodec
