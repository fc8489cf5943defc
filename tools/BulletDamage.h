#pragma once
#include <QString>
#include <array>
#include <cstdint>

// Damage of a bullet whose level-1 damage term is x: the rounded square root of
// (x^2 + 1) * K, K = 1 - 23 * 2^-61, in extended precision (1 for x = 0, |x| otherwise).
std::int64_t bulletDamage(std::int32_t x);

// Levels 1 to 3 for level-1 damage p and upgrade amount q: D(p), D(p + q), D(p + 2q).
// Throws TessaryError when p + q or p + 2q leaves the signed 32-bit range.
std::array<std::int64_t, 3> bulletLevels(std::int32_t p, std::int32_t q);
