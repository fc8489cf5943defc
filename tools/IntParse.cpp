#include "tools/IntParse.h"

#include "profile/TessaryError.h"

std::optional<std::int32_t> parseInt32(const QString& text) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t'))) ++i;
  bool negative = false;
  if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
    negative = text[i] == QLatin1Char('-');
    ++i;
  }
  int base = 10;
  if (i < n && text[i] == QLatin1Char('$')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == QLatin1Char('0') && text[i + 1].toLower() == QLatin1Char('x')) {
    base = 16;
    i += 2;
  } else if (i < n && text[i].toLower() == QLatin1Char('x')) {
    base = 16;
    ++i;
  }
  if (i >= n) return std::nullopt;
  std::int64_t value = 0;
  for (; i < n; ++i) {
    const int digit =
        text[i].isDigit() && text[i].unicode() < 128 ? text[i].unicode() - '0'
        : base == 16 && text[i].toLower() >= QLatin1Char('a') && text[i].toLower() <= QLatin1Char('f')
            ? text[i].toLower().unicode() - 'a' + 10
            : -1;
    if (digit < 0 || digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > std::int64_t{1} << 32) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::int32_t toInt32(const QString& text) {
  if (auto v = parseInt32(text)) return *v;
  throw ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}
