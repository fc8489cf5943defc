#pragma once
#include <QString>
#include <cstdint>
#include <optional>

// Whole numbers as users type them: leading blanks, an optional sign, decimal
// digits, or hexadecimal digits after "$", "x" or "0x" (any letter case). The
// value must fit a signed 32-bit integer.
std::optional<std::int32_t> parseInt32(const QString& text);
// As parseInt32, but throws ConvertError "'<text>' is not a valid integer value".
std::int32_t toInt32(const QString& text);
